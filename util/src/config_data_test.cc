#include "ConfigData.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(ConfigDataTest, OnlyTheDefaultAndMarkedValuesAreInvalid) {
  EXPECT_FALSE(ConfigData().IsValid());
  EXPECT_FALSE(ConfigData(static_cast<const char*>(nullptr)).IsValid());
  EXPECT_TRUE(ConfigData("").IsValid());
  EXPECT_TRUE(ConfigData(std::string()).IsValid());
  EXPECT_TRUE(ConfigData("on").IsValid());

  ConfigData value("on");
  value.SetInvalid();
  EXPECT_FALSE(value.IsValid());
  EXPECT_EQ(0u, value.GetLength());
  EXPECT_STREQ("", value.ToCstr());
  EXPECT_EQ(ConfigData(), value);
}

TEST(ConfigDataTest, InvalidDiffersFromEveryValidValue) {
  // A first set compares against the default value; it must never look equal.
  EXPECT_NE(ConfigData(), ConfigData(""));
  EXPECT_NE(ConfigData(), ConfigData(std::string(1, '\0')));
  EXPECT_EQ(ConfigData(), ConfigData());
}

TEST(ConfigDataTest, EqualityComparesAllBytes) {
  EXPECT_EQ(ConfigData("abc"), ConfigData(std::string("abc")));
  EXPECT_NE(ConfigData("abc"), ConfigData("abd"));
  EXPECT_NE(ConfigData("abc"), ConfigData("ab"));
  EXPECT_NE(ConfigData(std::string("a\0b", 3)),
            ConfigData(std::string("a\0c", 3)));
  EXPECT_NE(ConfigData(std::string("a\0", 2)), ConfigData("a"));
}

TEST(ConfigDataTest, CopiesAreEqualAndIndependent) {
  const std::string longText(100, 'z');
  for (const std::string& text : {std::string("short"), longText}) {
    ConfigData original(text);
    ConfigData copy(original);
    EXPECT_EQ(original, copy);
    ConfigData assigned;
    assigned = original;
    EXPECT_EQ(original, assigned);
    original.SetInvalid();
    EXPECT_EQ(ConfigData(text), copy);
    EXPECT_EQ(ConfigData(text), assigned);
    ConfigData moved(std::move(copy));
    EXPECT_EQ(ConfigData(text), moved);
  }
}

TEST(ConfigDataTest, TextRoundTripsThroughToCstr) {
  const ConfigData value(std::string("{\"k\":1}"));
  EXPECT_STREQ("{\"k\":1}", value.ToCstr());
  EXPECT_EQ(value, ConfigData(value.ToCstr()));
  EXPECT_EQ(7u, value.GetLength());
  EXPECT_EQ(value.ToCstr(), value.GetData());
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
