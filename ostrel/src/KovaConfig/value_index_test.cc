// The store's lock-free read side: reads agree with the value tables after
// every kind of change. Readers racing writers and retired copies are in
// ostrel/test/thread_exit_stress_test.cc and epoch_reclaim_test.cc.
#include "value_index.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "kova_config.h"
#include "ostrel/KovaConfigHelper.h"

namespace kovaStore {
namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Audio;
constexpr uint32_t kRelayMode = KOVA_FT_EnableRelayMode;

TEST(ValueIndexTest, ReadsAgreeWithTheTableAfterEveryChange) {
  KovaConfig store(1);
  std::map<std::string, ConfigData> expected;
  const auto name = [](int i) { return "Name" + std::to_string(i); };
  auto check = [&] {
    // Also into one value that keeps whatever the last read left there.
    ConfigData reused(std::string(40, 'y'));
    for (int i = 0; i < 200; ++i) {
      ConfigData value("stale");
      const auto it = expected.find(name(i));
      const bool bStored = it != expected.end();
      ASSERT_EQ(store.GetKovaConfig(kGroup, name(i).c_str(), value),
                bStored ? KOVA_S_OK : KOVA_E_FAIL);
      EXPECT_EQ(value, bStored ? it->second : ConfigData());
      store.GetKovaConfig(kGroup, name(i).c_str(), reused);
      EXPECT_EQ(reused, value);
    }
    ConfigData toggle, pinned("stale");
    const bool bStored =
        store.GetKovaConfig(KovaConfigGroup_Feature, "EnableRelayMode",
                            toggle) == KOVA_S_OK;
    EXPECT_EQ(store.HaveFeatureToggle(kRelayMode), bStored);
    EXPECT_EQ(store.GetFeatureToggle(kRelayMode, pinned) == KOVA_S_OK, bStored);
    EXPECT_EQ(pinned, toggle);
  };
  // Every packing of an inline value, mid values of every word remainder
  // (bytes that differ, so that a misplaced word shows), and long ones.
  std::vector<ConfigData> values = {ConfigData("a\0b", 3),
                                    ConfigData(std::string(300, 'x'))};
  for (size_t size = 0; size <= 16; ++size)
    values.push_back(ConfigData(std::string("0123456789abcdefg", size)));
  for (size_t size : {17, 18, 19, 20, 21, 22, 23, 24, 100, 255, 256}) {
    std::string text(size, ' ');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>(i * 7 + 1);
    values.push_back(ConfigData(text));
  }
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 200; ++i) {
      const ConfigData& value = values[(i + round) % values.size()];
      store.SetKovaConfig(kGroup, name(i).c_str(), value, false, false);
      expected[name(i)] = value;
    }
    store.SetKovaConfig(KovaConfigGroup_Feature, "EnableRelayMode",
                        values[round], false, false);
    check();
    for (int i = 0; i < 200; i += 3) {  // removed or told notify-only
      i % 2 ? store.SetKovaConfig(kGroup, name(i).c_str(), ConfigData("n"),
                                  false, true)
            : store.RemoveKovaConfig(kGroup, name(i).c_str());
      expected.erase(name(i));
    }
    store.RemoveKovaConfig(KovaConfigGroup_Feature, "EnableRelayMode");
    check();
  }
  store.ApplyKovaConfigs("{\"Audio\":[{\"key\":\"Name7\",\"value\":\"v\"}]}");
  expected["Name7"] = ConfigData("v");
  check();
  store.RemoveKovaConfigByGroup(kGroup);
  expected.clear();
  check();
}

}  // namespace
}  // namespace kovaStore
