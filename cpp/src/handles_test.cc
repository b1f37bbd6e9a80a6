#include <gtest/gtest.h>
#include <ostrel/cpp.h>

#include <optional>
#include <string>

namespace {

using kovaStore::KovaConfigGroup_Audio;
using kovaStore::KovaConfigGroup_Video;

TEST(HandlesTest, ValueSeesEveryKindOfChange) {
  ostrel::Store call(6101);
  kovaStore::IKovaConfig* raw = call.Raw();
  ostrel::Value<int> fps(call, KovaConfigGroup_Video, "MaxFps");
  ostrel::Value<std::string> name(call, KovaConfigGroup_Video, "Name");
  const std::string longName(200, 'n');
  const auto set = [&](kovaStore::KovaConfigGroup group, const char* name,
                       std::string value) {
    return [&call, group, name, value] { (void)call.Set(group, name, value); };
  };
  const std::nullopt_t no = std::nullopt;
  struct Step {
    const char* what;
    std::function<void()> change;
    std::optional<int> fps;
    std::optional<std::string> name;
  } const steps[] = {
      {"set", set(KovaConfigGroup_Video, "MaxFps", "30"), 30, no},
      {"long value", set(KovaConfigGroup_Video, "Name", longName), 30,
       longName},
      {"not an int", set(KovaConfigGroup_Video, "MaxFps", "fast"), no,
       longName},
      {"apply",
       [&] {
         (void)call.Apply(R"({"Video":[{"key":"MaxFps","value":"25"},
                                       {"key":"Name","value":"cam"}]})");
       },
       25, "cam"},
      {"remove",
       [&] { raw->RemoveKovaConfig(KovaConfigGroup_Video, "MaxFps"); }, no,
       "cam"},
      {"set again", set(KovaConfigGroup_Video, "MaxFps", "24"), 24, "cam"},
      {"notify-only set",
       [&] {
         raw->SetKovaConfig(KovaConfigGroup_Video, "MaxFps", ConfigData("1"),
                            false, true);
       },
       no, "cam"},
      {"other group", set(KovaConfigGroup_Audio, "MaxFps", "5"), no, "cam"},
      {"remove the group",
       [&] { raw->RemoveKovaConfigByGroup(KovaConfigGroup_Video); }, no, no},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    EXPECT_EQ(fps.Get(), step.fps);
    EXPECT_EQ(fps.Get(), step.fps);  // the cached answer
    EXPECT_EQ(name.Get(), step.name);
  }
  ostrel::Value<int> copy = fps;  // a copy per thread
  (void)call.Set(KovaConfigGroup_Video, "MaxFps", 50);
  EXPECT_EQ(copy.Get(), 50);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(6101), KOVA_S_OK);
}

TEST(HandlesTest, ToggleReadsByHandleAndByTemporary) {
  ostrel::Store call(6102);
  const ostrel::Toggle relay(call, KOVA_FT_EnableRelayMode);
  const ostrel::Toggle copy = relay;
  struct Row {
    const char* text;  // null: removed
    bool have;
    bool on;        // GetOr(false)
    bool onOrTrue;  // GetOr(true)
  } const rows[] = {
      {"1", true, true, true},       {"false", true, false, false},
      {"yes", true, false, true},    {"true", true, true, true},
      {nullptr, false, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text ? row.text : "(removed)");
    if (row.text)
      (void)relay.Set(row.text);
    else
      (void)call.Raw()->RemoveKovaConfig(kovaStore::KovaConfigGroup_Feature,
                                         relay.Name());
    for (const ostrel::Toggle* t : {&relay, &copy}) {
      EXPECT_EQ(t->Have(), row.have);
      EXPECT_EQ(t->GetOr(false), row.on);
      EXPECT_EQ(t->GetOr(true), row.onOrTrue);
    }
    EXPECT_EQ(ostrel::Toggle(call, KOVA_FT_EnableRelayMode).GetOr(false),
              row.on);
  }
  const ostrel::Toggle bad(call, static_cast<KovaFeatureToggleID>(251));
  EXPECT_FALSE(bad.Have());
  EXPECT_TRUE(bad.GetOr(true));
  const ostrel::Toggle storeless(ostrel::Store(), KOVA_FT_EnableRelayMode);
  EXPECT_FALSE(storeless.IsOn());
  EXPECT_EQ(ostrel::Value<int>().Get(), std::nullopt);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(6102), KOVA_S_OK);
}

TEST(HandlesTest, TheLibraryHandsOutViewsOnlyForItsOwnStores) {
  ostrel::Store call(6103);
  kovaStore::KovaConfigCell cell;
  EXPECT_EQ(kovaStore::GetKovaConfigCell(call.Raw(), KovaConfigGroup_Video,
                                         "Fps", &cell),
            KOVA_S_OK);
  ConfigData value;
  uint64_t state = 1;
  EXPECT_FALSE(cell.pfnRead(cell.pState, value, &state));
  (void)call.Set(KovaConfigGroup_Video, "Fps", 9);
  EXPECT_TRUE(cell.pfnRead(cell.pState, value, &state));
  EXPECT_EQ(value, ConfigData("9"));
  EXPECT_EQ(state, cell.pState->load());

  struct Refused {
    kovaStore::IKovaConfig* store;
    kovaStore::KovaConfigGroup group;
    const char* name;
    KOVA_RESULT result;
  } const refused[] = {
      {nullptr, KovaConfigGroup_Video, "Fps", KOVA_E_INVALIDARG},
      {call.Raw(), kovaStore::KovaConfigGroup_LastGroup, "Fps",
       KOVA_E_INVALIDARG},
      {call.Raw(), KovaConfigGroup_Video, nullptr, KOVA_E_INVALIDARG},
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
