#include <ConfigData.h>
#include <gtest/gtest.h>

#include <string>

namespace {

// A first set compares against the default value, so the invalid value must
// never equal a valid one, not even an empty one; a value marked invalid is
// the default value again.
TEST(ConfigDataTest, EqualityComparesValidityAndAllBytes) {
  EXPECT_FALSE(ConfigData(static_cast<const char*>(nullptr)).IsValid());
  ConfigData marked("on");
  marked.SetInvalid();
  EXPECT_STREQ("", marked.ToCstr());
  const struct {
    ConfigData a, b;
    bool bEqual;
  } cases[] = {
      {ConfigData(), marked, true},
      {ConfigData(), ConfigData(""), false},
      {ConfigData("abc"), ConfigData(std::string("abc")), true},
      {ConfigData(std::string("a\0b", 3)), ConfigData(std::string("a\0c", 3)),
       false},
      {ConfigData(std::string("a\0", 2)), ConfigData("a"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a.ToString() + " vs " + c.b.ToString());
    EXPECT_EQ(c.bEqual, c.a == c.b);
    EXPECT_EQ(c.bEqual, c.b == c.a);
  }
}

TEST(ConfigDataTest, ToStringEscapesUnprintableBytes) {
  EXPECT_EQ("<invalid>", ConfigData().ToString());
  EXPECT_EQ("a\\\\b\\nc\\x00\\x09\\x7F\\xFF",
            ConfigData(std::string("a\\b\nc\0\t\x7F\xFF", 9)).ToString());
}

}  // namespace
