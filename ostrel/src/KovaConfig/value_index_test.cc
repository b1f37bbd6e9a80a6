// The store's lock-free read side: reads agree with the value tables after
// every kind of change, and readers racing writers, removals, applies and
// the store's destruction see only whole values, never older than one seen.
#include "value_index.h"

#include <CmTrace.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
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
  // Every packing of an inline value, and long ones.
  std::vector<ConfigData> values = {ConfigData("a\0b", 3),
                                    ConfigData(std::string(300, 'x'))};
  for (size_t size = 0; size <= 16; ++size)
    values.push_back(ConfigData(std::string("0123456789abcdefg", size)));
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
      if (i % 2 == 0)
        store.RemoveKovaConfig(kGroup, name(i).c_str());
      else
        store.SetKovaConfig(kGroup, name(i).c_str(), ConfigData("n"), false,
                            true);
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

// A value telling its counter, then filler derived from it, short or long.
std::string valueOf(uint64_t counter, bool bLong) {
  std::string text = std::to_string(counter) + "|";
  text.resize(bLong ? 40 : 15, static_cast<char>('a' + counter % 26));
  return text;
}

// The counter of a whole value; fails the test for a torn one.
uint64_t counterOf(const ConfigData& value) {
  const std::string text(value.GetData(), value.GetLength());
  const uint64_t counter = std::stoull(text.substr(0, text.find('|')));
  EXPECT_EQ(text, valueOf(counter, text.size() > 15));
  return counter;
}

// Bounded rounds of: a fresh store, readers of a short and a long counter and
// a toggle, a writer of each counter, and a churn thread that removes,
// clears the group, applies and flips the toggle; then the store is
// destroyed with long values still waiting to be freed.
TEST(ValueIndexStressTest, ReadersSeeWholeAndNeverOlderValues) {
  const int previousMask = get_external_trace_mask();
  set_external_trace_mask(0);
  for (int round = 0; round < 4; ++round) {
    auto store = std::make_unique<KovaConfig>(1);
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> lastSet[2] = {{0}, {0}};  // returned sets
    const char* const names[2] = {"ShortCounter", "LongCounter"};
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w) {
      threads.emplace_back([&, w] {
        for (uint64_t n = 1; !stop; ++n) {
          store->SetKovaConfig(kGroup, names[w], ConfigData(valueOf(n, w == 1)),
                               false, false);
          lastSet[w] = n;
        }
      });
    }
    threads.emplace_back([&] {
      const std::string document =
          "{\"Audio\":[{\"key\":\"Churn\",\"value\":\"" + valueOf(1, true) +
          "\"}]}";
      for (int n = 0; !stop; ++n) {
        store->ApplyKovaConfigs(document.c_str());
        store->RemoveKovaConfig(kGroup, "Churn");
        store->SetKovaConfig(KovaConfigGroup_Feature, "EnableRelayMode",
                             ConfigData(valueOf(n, n % 2 == 0)), false,
                             n % 3 == 0);
        if (n % 16 == 0) store->RemoveKovaConfigByGroup(kGroup);
      }
    });
    for (int r = 0; r < 2; ++r) {
      threads.emplace_back([&] {
        uint64_t seen[2] = {0, 0};
        ConfigData value;
        while (!stop) {
          for (int w = 0; w < 2; ++w) {
            const uint64_t floor = lastSet[w];
            if (store->GetKovaConfig(kGroup, names[w], value) != KOVA_S_OK)
              continue;  // cleared by the churn thread
            const uint64_t counter = counterOf(value);
            ASSERT_GE(counter, seen[w]);
            ASSERT_GE(counter, floor);
            seen[w] = counter;
          }
          store->GetKovaConfig(kGroup, "Churn", value);
          if (store->GetFeatureToggle(kRelayMode, value) == KOVA_S_OK)
            counterOf(value);
        }
      });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    stop = true;
    for (std::thread& thread : threads) thread.join();
    store.reset();
  }
  set_external_trace_mask(previousMask);
}

}  // namespace
}  // namespace kovaStore
