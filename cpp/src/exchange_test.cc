#include <gtest/gtest.h>
#include <ostrel/cpp.h>

#include <optional>
#include <string>
#include <string_view>

#include "exchange_text.h"

namespace {

using kovaStore::KovaConfigGroup_Audio;
using kovaStore::KovaConfigGroup_Video;

TEST(ExchangeTest, ApplyReportsWhatChanged) {
  ostrel::Store call(5101);
  ASSERT_EQ(call.Set(KovaConfigGroup_Video, "Codec", "vp8"), KOVA_E_NOOBSERVER);
  ASSERT_EQ(call.Set(KovaConfigGroup_Audio, "Aec", 1), KOVA_E_NOOBSERVER);
  ostrel::ApplyReport report;
  EXPECT_EQ(call.Apply(R"({"Audio":[{"key":"Aec","value":"1"}],
                           "Video":[{"key":"Codec","value":"av1"},
                                    {"key":"Fps","value":"30"}]})",
                       &report),
            KOVA_S_OK);
  // Aec is set to what it held already: no change.
  EXPECT_EQ(report.ToText(),
            "KOVA_S_OK\nVideo/Codec: vp8 -> av1\nVideo/Fps: (new) -> 30\n");

  // A failing document: the result, and what was stored before it stopped.
  EXPECT_EQ(
      call.Apply(R"({"Audio":[{"key":"Ns","value":"2"}],"audio":[]})", &report),
      KOVA_E_FAIL);
  EXPECT_EQ(report.ToText(), "KOVA_E_FAIL\nAudio/Ns: (new) -> 2\n");
  EXPECT_EQ(ostrel::Store().Apply("{}", &report), KOVA_E_INVALIDARG);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(5101), KOVA_S_OK);
}

TEST(ExchangeTest, DumpAsWrittenAndAsValidJson) {
  ostrel::Store call(5102);
  ASSERT_TRUE(ostrel::Succeeded(
      call.Set(KovaConfigGroup_Audio, "Quote", std::string("say \"hi\"\\\n"))));
  ASSERT_TRUE(ostrel::Succeeded(call.Set(KovaConfigGroup_Audio, "A", 1)));
  const uint32_t audioAndVideo =
      (1u << KovaConfigGroup_Audio) | (1u << KovaConfigGroup_Video);
  EXPECT_EQ(call.Dump(audioAndVideo),
            "{\"Audio\":[{\"key\":\"A\",\"value\":\"1\"},{\"key\":\"Quote\","
            "\"value\":\"say \"hi\"\\\n\"}],\"Video\":[]}");
  EXPECT_EQ(call.Dump(audioAndVideo, ostrel::DumpForm::kJson),
            "{\"Audio\":[{\"key\":\"A\",\"value\":\"1\"},{\"key\":\"Quote\","
            "\"value\":\"say \\\"hi\\\"\\\\\\u000A\"}],\"Video\":[]}");
  EXPECT_EQ(ostrel::Store().Dump(), "{}");
  // With nothing to escape, the JSON form is the library's own dump.
  ASSERT_EQ(call.Set(KovaConfigGroup_Audio, "Quote", "plain"),
            KOVA_E_NOOBSERVER);
  EXPECT_EQ(call.Dump(ostrel::kAllGroups, ostrel::DumpForm::kJson),
            call.Dump());
  EXPECT_EQ(ostrel::detail::ReadDumpText("{\"Audio\":[}"), std::nullopt);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(5102), KOVA_S_OK);
}

TEST(ExchangeTest, TypedQueriesAndProviders) {
  ostrel::Store call(5103);
  ostrel::Subscription provider = call.Bind<int>(
      KovaConfigGroup_Video, "MaxFps", [](const ostrel::Query& query) {
        EXPECT_EQ(query.Name(), "MaxFps");
        return query.ParameterOr<int>(0) > 2 ? 30 : 60;
      });
  ASSERT_TRUE(provider);
  EXPECT_EQ(*call.Query<int>(KovaConfigGroup_Video, "MaxFps", 3), 30);
  EXPECT_EQ(*call.Query<int>(KovaConfigGroup_Video, "MaxFps", "1"), 60);
  EXPECT_EQ(call.Query<bool>(KovaConfigGroup_Video, "MaxFps").status,
            ostrel::ReadStatus::kNotA);
  // An optional answer of std::nullopt answers nothing.
  ostrel::Subscription maybe = call.Bind<std::string>(
      KovaConfigGroup_Video, "Maybe",
      [](const ostrel::Query& query) -> std::optional<std::string> {
        if (query.Parameter<bool>().ValueOr(false)) return "yes";
        return std::nullopt;
      });
  EXPECT_EQ(*call.Query<std::string>(KovaConfigGroup_Video, "Maybe", true),
            "yes");
  EXPECT_EQ(
      call.Query<std::string>(KovaConfigGroup_Video, "Maybe", false).status,
      ostrel::ReadStatus::kAbsent);
  provider.reset();
  EXPECT_EQ(call.Query<int>(KovaConfigGroup_Video, "MaxFps", 3).status,
            ostrel::ReadStatus::kAbsent);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(5103), KOVA_S_OK);
}

}  // namespace
