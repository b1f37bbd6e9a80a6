#include "json_number.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace json {
namespace {

// The C library is the reference ("C" locale); the Windows C runtime is no
// conforming one, so there the comparisons are skipped.
#if defined(_WIN32)
#define SKIP_WITHOUT_C99_REFERENCE() GTEST_SKIP() << "no C99 C runtime"
#else
#define SKIP_WITHOUT_C99_REFERENCE() static_cast<void>(0)
#endif

bool SameDouble(double a, double b) {
  return std::isnan(a) ? std::isnan(b) && std::signbit(a) == std::signbit(b)
                       : std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(JsonNumberTest, ParsesLikeAtof) {
  SKIP_WITHOUT_C99_REFERENCE();
  // Hand-picked boundaries, then generated forms.
  std::vector<std::string> texts = {
      "",        "x",        "-.",      "+1.5",      "5.",        "1e",
      "1e+",     "1E5",      "  \t42",  "0x",        "0X1P4",     "0x.8",
      "0x1p",    "0xg",      "-0x10",   "0x1p-1074", "0x1p-1080", "0x1p1024",
      "1.8e308", "1e-320",   "-1e-400", "-INF",      "Infinity",  "infinit",
      "-nan",    "NaN(123)", "nan(",    "--1",       "1.2.3",     "1,5"};
  texts.insert(texts.end(),
               {"0x1.fffffffffffff8p1023", "1e999999999999999999",
                "123456789012345678901234567890", "2.4703282292062328e-324",
                "2.4703282292062327e-324"});
  std::mt19937 rng(7);
  const char kBytes[] = "0123456789012345.eE+-xXpPabcdefinty";
  std::uniform_int_distribution<int> pick(0, sizeof(kBytes) - 2);
  for (int i = 0; i < 200000; ++i) {
    texts.emplace_back(i % 3 ? "" : "0x");
    for (int k = rng() % 24; k >= 0; --k) texts.back() += kBytes[pick(rng)];
  }
  for (const std::string& text : texts) {
    ASSERT_TRUE(SameDouble(parseClassicDouble(text), std::atof(text.c_str())))
        << text;
  }
  // A NUL ends the number as it ends a C string.
  EXPECT_EQ(parseClassicDouble(std::string("12\0003", 4)), 12.0);
}

// The short path for pointed numbers of 16 to 19 digits must give what
// std::from_chars gives, bit for bit: random digits with the point at every
// place, texts one digit short of the halfway point between neighbouring
// doubles, or one digit past it (where a rounding fault would show), and
// texts just outside the shape the short path takes.
TEST(JsonNumberTest, ReadsGeneralDoublesAsFromChars) {
  std::vector<std::string> texts = {"1.5e3",
                                    "12345678901234567.5e1",
                                    "1234567890123456789.",
                                    "-.12345678901234567",
                                    "12345678901234567890.1",
                                    "9007199254740993.0",
                                    "9007199254740992.0",
                                    "0.00000000000000000001",
                                    "-9999999999999999999.",
                                    "999999999999999999.9x"};
  std::mt19937_64 rng(20261206);
  char buffer[64];
  for (int i = 0; i < 300000; ++i) {
    const int digits = 16 + static_cast<int>(rng() % 4);
    std::string text = i % 2 ? "-" : "";
    for (int d = 0; d < digits; ++d)
      text += static_cast<char>('0' + rng() % 10);
    text.insert(text.size() - 1 - rng() % (digits - 1), ".");
    texts.push_back(text + (i % 7 ? "" : ",1"));
    // A double and its successor: their midpoint (exact in a long double)
    // written to 17 to 19 significant digits, and with its last digit one
    // lower and one higher.
    const uint64_t bits = (rng() % 70 + 1013) << 52 | (rng() >> 12);
    double low;
    std::memcpy(&low, &bits, sizeof low);
    const long double middle =
        (static_cast<long double>(low) + std::nextafter(low, HUGE_VAL)) / 2;
    const int intDigits = static_cast<int>(std::floor(std::log10(middle))) + 1;
    const int decimals = 17 + i % 3 - std::max(intDigits, 1);
    if (decimals < 1) continue;
    std::snprintf(buffer, sizeof buffer, "%.*Lf", decimals, middle);
    std::string near = buffer;
    texts.push_back(near);
    for (int step : {-1, 1}) {
      char& last = near.back();
      if ((step < 0 && last > '0') || (step > 0 && last < '9')) {
        last = static_cast<char>(last + step);
        texts.push_back(near);
        last = static_cast<char>(last - step);
      }
    }
  }
  for (const std::string& text : texts) {
    const char* first = text.data();
    const char* last = first + text.size();
    double expected = 0, read = 0;
    const std::from_chars_result want = std::from_chars(first, last, expected);
    const std::from_chars_result got = readGeneralDouble(first, last, read);
    ASSERT_TRUE(got.ptr == want.ptr && got.ec == want.ec &&
                SameDouble(read, expected))
        << text;
  }
}

TEST(JsonNumberTest, ParsesIntegersLikeAtoiAndSaturates) {
  for (const char* text : {"", " \n-17", "+8", "-2147483648", "1e3", "- 1"})
    EXPECT_EQ(parseClassicInt(text), std::atoi(text)) << text;
  EXPECT_EQ(parseClassicInt("2147483648"), 2147483647);
  EXPECT_EQ(parseClassicInt("-99999999999999999999999"), -2147483647 - 1);
}

TEST(JsonNumberTest, FormatsLikePrintfFixed) {
  SKIP_WITHOUT_C99_REFERENCE();
  // Boundaries, then random bit patterns and random fractions.
  std::vector<double> values = {
      -0.0,      1e-7, 0.5e-6, 1.5e-6,  2.0000025, -1.7976931348623157e308,
      -HUGE_VAL, NAN,  -NAN,   4.9e-324};
  std::mt19937_64 rng(11);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = rng();
    values.push_back(static_cast<double>(static_cast<int64_t>(bits)) / 1e6);
    values.push_back(0);  // then the same bits as a double
    std::memcpy(&values.back(), &bits, sizeof bits);
  }
  for (double d : values) {
    char expected[512];
    std::snprintf(expected, sizeof expected, "%f", d);
    std::string text;
    appendFixed(text, d);
    ASSERT_EQ(text, expected);
  }
}

}  // namespace
}  // namespace json
