#include "ConfigData.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ConfigDataTest, OnlyTheDefaultAndMarkedValuesAreInvalid) {
  EXPECT_FALSE(ConfigData().IsValid());
  EXPECT_FALSE(ConfigData(static_cast<const char*>(nullptr)).IsValid());
  EXPECT_TRUE(ConfigData("").IsValid());
  EXPECT_TRUE(ConfigData(std::string()).IsValid());

  ConfigData value("on");
  value.SetInvalid();
  EXPECT_EQ(0u, value.GetLength());
  EXPECT_STREQ("", value.ToCstr());
  EXPECT_EQ(ConfigData(), value);
}

TEST(ConfigDataTest, EqualityComparesValidityAndAllBytes) {
  // A first set compares against the default value, so the invalid value
  // must never equal a valid one, not even an empty one.
  struct Case {
    ConfigData a, b;
    bool bEqual;
  };
  const Case cases[] = {
      {ConfigData(), ConfigData(), true},
      {ConfigData(), ConfigData(""), false},
      {ConfigData(), ConfigData(std::string(1, '\0')), false},
      {ConfigData("abc"), ConfigData(std::string("abc")), true},
      {ConfigData("abc"), ConfigData("abd"), false},
      {ConfigData("abc"), ConfigData("ab"), false},
      {ConfigData(std::string("a\0b", 3)), ConfigData(std::string("a\0c", 3)),
       false},
      {ConfigData(std::string("a\0", 2)), ConfigData("a"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a.ToString() + " vs " + c.b.ToString());
    EXPECT_EQ(c.bEqual, c.a == c.b);
    EXPECT_EQ(c.bEqual, c.b == c.a);
  }
}

TEST(ConfigDataTest, ToStringEscapesUnprintableBytes) {
  EXPECT_EQ("<invalid>", ConfigData().ToString());
  EXPECT_EQ("", ConfigData("").ToString());
  EXPECT_EQ("plain text ~!", ConfigData("plain text ~!").ToString());
  EXPECT_EQ("a\\\\b\\nc\\x00\\x09\\x7F\\xFF",
            ConfigData(std::string("a\\b\nc\0\t\x7F\xFF", 9)).ToString());
}

TEST(ConfigDataTest, SafeCopyCopiesSourceToDestination) {
  char dst[4] = {'-', '-', '-', '-'};
  ConfigData::SafeCopy("abc", dst, 3);
  EXPECT_EQ("abc-", std::string(dst, 4));
  ConfigData::SafeCopy(nullptr, dst, 3);
  ConfigData::SafeCopy("xyz", nullptr, 3);
  ConfigData::SafeCopy("xyz", dst, 0);
  EXPECT_EQ("abc-", std::string(dst, 4));
}

}  // namespace
