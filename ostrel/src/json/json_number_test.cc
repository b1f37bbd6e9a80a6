#include "json_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace json {
namespace {

// The tests run in the "C" locale, so the C library is the reference. The
// Windows C runtime is no conforming one (atof reads no hexadecimal, infinity
// or NaN forms, strtod and printf treat signs and NaNs their own way), so
// there the comparisons with it are skipped; the conversions are the
// library's own code, the same on every platform.
#if defined(_WIN32)
#define SKIP_WITHOUT_C99_REFERENCE() \
  GTEST_SKIP() << "the C runtime is no C99 reference here"
#else
#define SKIP_WITHOUT_C99_REFERENCE() static_cast<void>(0)
#endif

bool SameDouble(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  }
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(JsonNumberTest, ParsesLikeAtofOnHandPickedForms) {
  SKIP_WITHOUT_C99_REFERENCE();
  const char* cases[] = {
      "",
      "x",
      "-",
      "+",
      ".",
      "-.",
      "1",
      "-1",
      "+1.5",
      ".5",
      "5.",
      "1e",
      "1e+",
      "1e-2",
      "1E5",
      "1.5e+3x",
      "  \t42",
      "0x",
      "0x1",
      "0X1P4",
      "0x.8",
      "0x1.8p1",
      "0x1p",
      "0xg",
      "-0x10",
      "0x1p-1074",
      "0x1p-1080",
      "0x1p1024",
      "0x1.fffffffffffff8p1023",
      "1e308",
      "1.8e308",
      "1e-320",
      "1e-400",
      "-1e-400",
      "1e999999999999999999",
      "inf",
      "-INF",
      "Infinity",
      "infinit",
      "nan",
      "-nan",
      "NaN(123)",
      "nan(",
      "0000000000000000000001.5",
      "123456789012345678901234567890",
      "4.9406564584124654e-324",
      "2.4703282292062328e-324",
      "2.4703282292062327e-324",
      "--1",
      "+-1",
      "1.2.3",
      "12abc",
      "1,5",
  };
  for (const char* text : cases) {
    EXPECT_TRUE(SameDouble(parseClassicDouble(text), std::atof(text)))
        << text << ": " << parseClassicDouble(text) << " vs "
        << std::atof(text);
  }
  // A NUL ends the number as it ends a C string.
  EXPECT_EQ(parseClassicDouble(std::string("12\0003", 4)), 12.0);
}

TEST(JsonNumberTest, ParsesLikeAtofOnGeneratedForms) {
  SKIP_WITHOUT_C99_REFERENCE();
  std::mt19937 rng(7);
  const char kBytes[] = "0123456789012345.eE+-xXpPabcdefinty";
  std::uniform_int_distribution<int> pick(0, sizeof(kBytes) - 2);
  std::uniform_int_distribution<int> length(1, 24);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    int n = length(rng);
    if (i % 3 == 0) text = "0x";
    for (int k = 0; k < n; ++k) text += kBytes[pick(rng)];
    ASSERT_TRUE(SameDouble(parseClassicDouble(text), std::atof(text.c_str())))
        << text;
  }
}

TEST(JsonNumberTest, ParsesIntegersLikeAtoiAndSaturates) {
  for (const char* text : {"", "0", "-0", "42abc", " \n-17", "+8", "2147483647",
                           "-2147483648", "1e3", "0x10", "- 1", "12.9"}) {
    EXPECT_EQ(parseClassicInt(text), std::atoi(text)) << text;
  }
  EXPECT_EQ(parseClassicInt("2147483648"), 2147483647);
  EXPECT_EQ(parseClassicInt("-99999999999999999999999"), -2147483647 - 1);
}

TEST(JsonNumberTest, FormatsLikePrintfFixed) {
  SKIP_WITHOUT_C99_REFERENCE();
  std::mt19937_64 rng(11);
  std::vector<double> values = {0.0,
                                -0.0,
                                2.5,
                                1000,
                                1e-7,
                                0.5e-6,
                                1.5e-6,
                                2.0000025,
                                -1.25,
                                1e300,
                                -1.7976931348623157e308,
                                HUGE_VAL,
                                -HUGE_VAL,
                                NAN,
                                -NAN,
                                4.9e-324};
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    values.push_back(d);
    values.push_back(static_cast<double>(static_cast<int64_t>(bits)) / 1e6);
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
