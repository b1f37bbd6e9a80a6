#include <gtest/gtest.h>
#include <ostrel/cpp.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
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
  // Only the plain forms parse.
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

namespace media {
enum class Layout { kMono = 1, kStereo = 2 };
struct Resolution {
  int width = 0;
  int height = 0;
  bool operator==(const Resolution& o) const {
    return width == o.width && height == o.height;
  }
};
// "1280x720".
bool OstrelParse(std::string_view text, Resolution* out) {
  const size_t x = text.find('x');
  if (x == std::string_view::npos) return false;
  const std::optional<int> w = ostrel::ParseText<int>(text.substr(0, x));
  const std::optional<int> h = ostrel::ParseText<int>(text.substr(x + 1));
  if (!w || !h) return false;
  *out = Resolution{*w, *h};
  return true;
}
std::string OstrelFormat(const Resolution& value) {
  return std::to_string(value.width) + "x" + std::to_string(value.height);
}
}  // namespace media

namespace {

TEST(ValuesTest, FloatEnumsAndUserTypes) {
  EXPECT_EQ(ostrel::Parse<float>(ConfigData("0.1")), 0.1f);
  EXPECT_EQ(ostrel::Parse<float>(ConfigData("1e39")), no);  // beyond float
  EXPECT_EQ(ostrel::Format(0.1f), ConfigData("0.1"));
  EXPECT_FALSE(
      ostrel::Format(std::numeric_limits<float>::quiet_NaN()).IsValid());
  EXPECT_EQ(ostrel::Parse<media::Layout>(ConfigData("2")),
            media::Layout::kStereo);
  EXPECT_EQ(ostrel::Parse<media::Layout>(ConfigData("stereo")), no);
  EXPECT_EQ(ostrel::Format(media::Layout::kMono), ConfigData("1"));
  EXPECT_EQ(ostrel::Parse<media::Resolution>(ConfigData("1280x720")),
            (media::Resolution{1280, 720}));
  EXPECT_EQ(ostrel::Parse<media::Resolution>(ConfigData("1280")), no);
  EXPECT_EQ(ostrel::Format(media::Resolution{640, 360}), ConfigData("640x360"));
  static_assert(!ostrel::IsValueType<char>::value);
  static_assert(!ostrel::IsValueType<std::vector<int>>::value);
}

TEST(ValuesTest, ReadsSayWhyAndTextGoesIntoTheCallersBuffer) {
  ostrel::Store call(772);
  const auto group = kovaStore::KovaConfigGroup_Video;
  ASSERT_EQ(call.Set(group, "Size", media::Resolution{1920, 1080}),
            KOVA_E_NOOBSERVER);
  ASSERT_EQ(call.Set(group, "Fps", "fast"), KOVA_E_NOOBSERVER);
  const ostrel::Reading<media::Resolution> size =
      call.Read<media::Resolution>(group, "Size");
  EXPECT_EQ(size.status, ostrel::ReadStatus::kParsed);
  EXPECT_EQ(*size, (media::Resolution{1920, 1080}));
  EXPECT_EQ(size.raw, "1920x1080");
  const ostrel::Reading<int> fps = call.Read<int>(group, "Fps");
  EXPECT_EQ(fps.status, ostrel::ReadStatus::kNotA);
  EXPECT_FALSE(fps);
  EXPECT_EQ(fps.raw, "fast");
  EXPECT_EQ(fps.ValueOr(30), 30);
  const ostrel::Reading<int> none = call.Read<int>(group, "None");
  EXPECT_EQ(none.status, ostrel::ReadStatus::kAbsent);
  EXPECT_EQ(none.raw, "");

  char small[4];
  char large[64];
  EXPECT_EQ(call.GetText(group, "Fps", small), std::string_view("fast"));
  EXPECT_EQ(call.GetText(group, "Size", small), std::nullopt);  // too long
  const std::optional<std::string_view> text =
      call.GetText(group, "Size", large);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "1920x1080");
  EXPECT_EQ(text->data(), large);
  EXPECT_EQ(call.GetText(group, "None", large), std::nullopt);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(772), KOVA_S_OK);
}

}  // namespace
