// Typed values, result names and the version, on a real call store.
#include <gtest/gtest.h>
#include <ostrel/cpp.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

const std::nullopt_t no = std::nullopt;

TEST(ValuesTest, ParseTable) {
  struct Row {
    const char* text;  // null: the invalid value
    std::optional<bool> b;
    std::optional<int> i;
    std::optional<unsigned> u;
    std::optional<double> d;
  };
  std::vector<Row> rows = {
      {"1", true, 1, 1u, 1.0},
      {"0", false, 0, 0u, 0.0},
      {"true", true, no, no, no},
      {"false", false, no, no, no},
      {"-1", no, -1, no, -1.0},
      {"2.5", no, no, no, 2.5},
      {"1e3", no, no, no, 1000.0},
      {nullptr, no, no, no, no},
      {"4294967296", no, no, no, 4294967296.0},
  };
  // Only the plain forms parse: no words, spaces, units, hex, plus signs.
  for (const char* text :
       {"on", "TRUE", " 30", "30ms", "0x1E", "+5", "inf", ""})
    rows.push_back({text, no, no, no, no});
  for (const Row& row : rows) {
    const ConfigData value(row.text);
    SCOPED_TRACE(row.text ? row.text : "(absent)");
    EXPECT_EQ(ostrel::Parse<bool>(value), row.b);
    EXPECT_EQ(ostrel::Parse<int>(value), row.i);
    EXPECT_EQ(ostrel::Parse<unsigned>(value), row.u);
    EXPECT_EQ(ostrel::Parse<double>(value), row.d);
    EXPECT_EQ(ostrel::Parse<std::string>(value),
              row.text ? std::optional<std::string>(row.text) : no);
  }
  EXPECT_EQ(ostrel::Parse<uint8_t>(ConfigData("300")), no);
  EXPECT_EQ(ostrel::Parse<int64_t>(ConfigData("-9223372036854775808")),
            INT64_MIN);
}

TEST(ValuesTest, FormatReadsBack) {
  EXPECT_EQ(ostrel::Format(true), ConfigData("1"));
  EXPECT_EQ(ostrel::Format(-42), ConfigData("-42"));
  EXPECT_EQ(ostrel::Format(0.1), ConfigData("0.1"));
  EXPECT_FALSE(
      ostrel::Format(std::numeric_limits<double>::infinity()).IsValid());
  for (double d : {0.1, 1e300, -3.25, 1.0 / 3})
    EXPECT_EQ(ostrel::Parse<double>(ostrel::Format(d)), d);
}

TEST(ValuesTest, TypedStoreAccessAndToggles) {
  ostrel::Store call(771);
  EXPECT_EQ(call.Set(kovaStore::KovaConfigGroup_Video, "MaxFps", 60),
            KOVA_E_NOOBSERVER);
  EXPECT_EQ(call.Get<int>(kovaStore::KovaConfigGroup_Video, "MaxFps"), 60);
  EXPECT_EQ(call.Get<bool>(kovaStore::KovaConfigGroup_Video, "MaxFps"), no);
  EXPECT_EQ(call.GetOr(kovaStore::KovaConfigGroup_Video, "Missing", 30), 30);
  EXPECT_EQ(call.GetOr(kovaStore::KovaConfigGroup_Video, "MaxFps", "none"),
            "60");

  const ostrel::Entry relay = ostrel::Toggle(call, KOVA_FT_EnableRelayMode);
  EXPECT_STREQ(relay.Name(), "EnableRelayMode");
  EXPECT_FALSE(relay.GetOr(false));
  EXPECT_EQ(relay.Set(true), KOVA_E_NOOBSERVER);
  EXPECT_EQ(relay.Set(true), KOVA_E_UNCHANGED);
  // The same store as the exported helper of the call sees.
  kovaStore::KovaConfigHelper helper(771);
  EXPECT_EQ(helper.GetFeatureToggle(KOVA_FT_EnableRelayMode), ConfigData("1"));
  const ostrel::Store same = ostrel::Store::Of(helper);
  EXPECT_TRUE(ostrel::Toggle(same, KOVA_FT_EnableRelayMode).GetOr(false));

  const ostrel::Entry bad =
      ostrel::Toggle(call, static_cast<KovaFeatureToggleID>(251));
  EXPECT_EQ(bad.Name(), nullptr);
  EXPECT_EQ(bad.Get<bool>(), no);
  EXPECT_EQ(bad.Set(true), KOVA_E_INVALIDARG);

  const ostrel::Store none;
  EXPECT_EQ(none.Get<int>(kovaStore::KovaConfigGroup_Video, "MaxFps"), no);
  EXPECT_EQ(none.Set(kovaStore::KovaConfigGroup_Video, "MaxFps", 1),
            KOVA_E_INVALIDARG);
  EXPECT_FALSE(ostrel::Store::Of(kovaStore::KovaConfigHelper()));
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(771), KOVA_S_OK);
}

TEST(ResultsTest, NamesSuccessAndVersion) {
  EXPECT_EQ(ostrel::ResultName(KOVA_E_NOOBSERVER), "KOVA_E_NOOBSERVER");
  EXPECT_EQ(ostrel::ResultName(0x12AB), "0x000012AB");
  using ostrel::Operation;
  struct Row {
    KOVA_RESULT code;
    Operation operation;
    bool succeeded;
  } const rows[] = {
      {KOVA_E_NOOBSERVER, Operation::kSet, true},
      {KOVA_E_UNCHANGED, Operation::kSet, true},
      {KOVA_E_INVALIDARG, Operation::kSet, false},
      {KOVA_E_NOOBSERVER, Operation::kGetDynamic, false},
      {KOVA_E_FAIL, Operation::kGet, false},
      {KOVA_S_FALSE, Operation::kRelease, false},
      {KOVA_S_FALSE, Operation::kCleanUp, true},
      {KOVA_S_OK, Operation::kApply, true},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ostrel::Succeeded(row.code, row.operation), row.succeeded)
        << ostrel::ResultName(row.code);
  EXPECT_TRUE(ostrel::Succeeded(KOVA_E_UNCHANGED));
  EXPECT_EQ(std::string(ostrel::Version()),
            std::to_string(OSTREL_VERSION_MAJOR) + "." +
                std::to_string(OSTREL_VERSION_MINOR) + "." +
                std::to_string(OSTREL_VERSION_PATCH));
}

}  // namespace
