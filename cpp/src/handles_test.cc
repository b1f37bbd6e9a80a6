#include <gtest/gtest.h>
#include <ostrel/cpp.h>

#include <functional>
#include <optional>
#include <string>

namespace {

using kovaStore::KovaConfigGroup_Audio;
using kovaStore::KovaConfigGroup_Video;

// A handle's cached answer follows every kind of change; that a read is
// never torn or older than the last is the stress test's.
TEST(HandlesTest, ValueAndToggleSeeEveryKindOfChange) {
  ostrel::Store call(6101);
  kovaStore::IKovaConfig* raw = call.Raw();
  ostrel::Value<int> fps(call, KovaConfigGroup_Video, "MaxFps");
  const ostrel::Toggle relay(call, KOVA_FT_EnableRelayMode);
  const auto set = [&](const char* value, const char* on) {
    return [&call, &relay, value, on] {
      (void)call.Set(KovaConfigGroup_Video, "MaxFps", value);
      (void)relay.Set(on);
    };
  };
  const std::nullopt_t no = std::nullopt;
  struct Step {
    const char* what;
    std::function<void()> change;
    std::optional<int> fps;
    bool have, on, onOrTrue;  // the toggle: Have(), GetOr(false), GetOr(true)
  } const steps[] = {
      {"set", set("30", "1"), 30, true, true, true},
      {"not an int", set("fast", "false"), no, true, false, false},
      {"apply",
       [&] {
         (void)call.Apply(R"({"Video":[{"key":"MaxFps","value":"25"}],
             "Feature":[{"key":"EnableRelayMode","value":"yes"}]})");
       },
       25, true, false, true},
      {"notify-only set",
       [&] {
         raw->SetKovaConfig(KovaConfigGroup_Video, "MaxFps", ConfigData("1"),
                            false, true);
       },
       no, true, false, true},
      {"other group",
       [&] { (void)call.Set(KovaConfigGroup_Audio, "MaxFps", 5); }, no, true,
       false, true},
      {"set again", set("24", "true"), 24, true, true, true},
      {"remove the groups",
       [&] {
         raw->RemoveKovaConfigByGroup(KovaConfigGroup_Video);
         raw->RemoveKovaConfigByGroup(kovaStore::KovaConfigGroup_Feature);
       },
       no, false, false, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    EXPECT_EQ(fps.GetOr(-1), step.fps.value_or(-1));  // read again
    EXPECT_EQ(fps.Get(), step.fps);                   // the cached answer
    EXPECT_EQ(fps.GetOr(-1), step.fps.value_or(-1));
    EXPECT_EQ(relay.Have(), step.have);
    EXPECT_EQ(relay.GetOr(false), step.on);
    EXPECT_EQ(relay.GetOr(true), step.onOrTrue);
    EXPECT_EQ(ostrel::Toggle(call, KOVA_FT_EnableRelayMode).GetOr(false),
              step.on);
  }
  ostrel::Value<int> copy = fps;  // a copy per thread
  (void)call.Set(KovaConfigGroup_Video, "MaxFps", 50);
  EXPECT_EQ(copy.Get(), 50);
  const ostrel::Toggle bad(call, static_cast<KovaFeatureToggleID>(251));
  EXPECT_FALSE(bad.Have());
  EXPECT_TRUE(bad.GetOr(true));
  EXPECT_FALSE(ostrel::Toggle(ostrel::Store(), KOVA_FT_EnableRelayMode).IsOn());
  EXPECT_EQ(ostrel::Value<int>().Get(), std::nullopt);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(6101), KOVA_S_OK);
}

// Reads through a view are the stress test's; here the refusals, each of
// which hands out a view that reads absent.
TEST(HandlesTest, TheLibraryHandsOutViewsOnlyForItsOwnStores) {
  ostrel::Store call(6103);
  ConfigData value;
  struct Refused {
    kovaStore::IKovaConfig* store;
    kovaStore::KovaConfigGroup group;
    const char* name;
    KOVA_RESULT result;
  } const refused[] = {
      {nullptr, KovaConfigGroup_Video, "Fps", KOVA_E_INVALIDARG},
      {call.Raw(), kovaStore::KovaConfigGroup_LastGroup, "Fps",
       KOVA_E_INVALIDARG},
      {call.Raw(), KovaConfigGroup_Video, "", KOVA_E_INVALIDARG},
      {reinterpret_cast<kovaStore::IKovaConfig*>(&value), KovaConfigGroup_Video,
       "Fps", KOVA_E_FAIL},
  };
  for (const Refused& row : refused) {
    kovaStore::KovaConfigCell absent;
    EXPECT_EQ(
        kovaStore::GetKovaConfigCell(row.store, row.group, row.name, &absent),
        row.result);
    EXPECT_EQ(absent.pState->load(), 0u);
    EXPECT_FALSE(absent.pfnRead(absent.pState, value, nullptr));
  }
  EXPECT_EQ(kovaStore::GetKovaConfigCell(call.Raw(), KovaConfigGroup_Video,
                                         "Fps", nullptr),
            KOVA_E_INVALIDARG);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(6103), KOVA_S_OK);
}

}  // namespace
