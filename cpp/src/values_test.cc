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
      {"false", false, no, no, no},
      {"-1", no, -1, no, -1.0},
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

TEST(ResultsTest, NamesAndSuccessPerOperation) {
  EXPECT_EQ(ostrel::ResultName(KOVA_E_NOOBSERVER), "KOVA_E_NOOBSERVER");
  EXPECT_EQ(ostrel::ResultName(0x12AB), "0x000012AB");
  using ostrel::Operation;
  struct Row {
    KOVA_RESULT code;
    Operation operation;
    bool succeeded;
  } const rows[] = {
      {KOVA_E_NOOBSERVER, Operation::kSet, true},
      {KOVA_E_INVALIDARG, Operation::kSet, false},
      {KOVA_E_NOOBSERVER, Operation::kGetDynamic, false},
      {KOVA_S_FALSE, Operation::kRelease, false},
      {KOVA_S_FALSE, Operation::kCleanUp, true},
      {KOVA_S_OK, Operation::kApply, true},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ostrel::Succeeded(row.code, row.operation), row.succeeded)
        << ostrel::ResultName(row.code);
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

// Formats read back; types beyond the table's, and what is no value type.
TEST(ValuesTest, FormatsReadBackAndUserTypesJoinIn) {
  EXPECT_EQ(ostrel::Format(true), ConfigData("1"));
  EXPECT_FALSE(
      ostrel::Format(std::numeric_limits<double>::infinity()).IsValid());
  for (double d : {0.1, 1e300, -3.25, 1.0 / 3})
    EXPECT_EQ(ostrel::Parse<double>(ostrel::Format(d)), d);
  EXPECT_EQ(ostrel::Parse<float>(ConfigData("1e39")), no);  // beyond float
  EXPECT_EQ(ostrel::Format(0.1f), ConfigData("0.1"));
  EXPECT_EQ(ostrel::Parse<media::Layout>(ConfigData("2")),
            media::Layout::kStereo);
  EXPECT_EQ(ostrel::Format(media::Layout::kMono), ConfigData("1"));
  EXPECT_EQ(ostrel::Parse<media::Resolution>(ConfigData("1280")), no);
  static_assert(!ostrel::IsValueType<char>::value);
  static_assert(!ostrel::IsValueType<std::vector<int>>::value);
}

TEST(ValuesTest, StoreReadsSayWhyAndTextGoesIntoTheCallersBuffer) {
  ostrel::Store call(772);
  const auto group = kovaStore::KovaConfigGroup_Video;
  ASSERT_EQ(call.Set(group, "Size", media::Resolution{1920, 1080}),
            KOVA_E_NOOBSERVER);
  ASSERT_EQ(call.Set(group, "Fps", "fast"), KOVA_E_NOOBSERVER);
  const ostrel::Reading<media::Resolution> size =
      call.Read<media::Resolution>(group, "Size");
  EXPECT_EQ(size.status, ostrel::ReadStatus::kParsed);
  EXPECT_EQ(*size, (media::Resolution{1920, 1080}));
  const ostrel::Reading<int> fps = call.Read<int>(group, "Fps");
  EXPECT_EQ(fps.status, ostrel::ReadStatus::kNotA);
  EXPECT_EQ(fps.raw, "fast");
  EXPECT_EQ(call.Read<int>(group, "None").status, ostrel::ReadStatus::kAbsent);
  EXPECT_EQ(call.GetOr(group, "None", 30), 30);
  kovaStore::KovaConfigHelper helper(772);
  EXPECT_EQ(ostrel::Store::Of(helper).GetOr(group, "Fps", "none"), "fast");
  EXPECT_FALSE(ostrel::Store::Of(kovaStore::KovaConfigHelper()));
  EXPECT_EQ(ostrel::Store().Set(group, "Fps", 1), KOVA_E_INVALIDARG);
  EXPECT_EQ(
      ostrel::Toggle(call, static_cast<KovaFeatureToggleID>(251)).Set(true),
      KOVA_E_INVALIDARG);

  char small[4];
  char large[64];
  EXPECT_EQ(call.GetText(group, "Fps", small), std::string_view("fast"));
  EXPECT_EQ(call.GetText(group, "Size", small), std::nullopt);  // too long
  const std::optional<std::string_view> text =
      call.GetText(group, "Size", large);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "1920x1080");
  EXPECT_EQ(text->data(), large);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(772), KOVA_S_OK);
}

}  // namespace
