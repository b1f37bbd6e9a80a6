#include "commands.h"

#include <gtest/gtest.h>

#include "json_out.h"

namespace ostrel_cli {
namespace {

TEST(ParseGroupMaskTest, AcceptsNamesAndNumbersAndRejectsTheRest) {
  uint32_t mask = 0;
  std::string error;
  EXPECT_TRUE(ParseGroupMask("Audio, Video", mask, error));
  EXPECT_EQ(mask, (1u << 3) | (1u << 5));
  EXPECT_TRUE(ParseGroupMask("0xFFF", mask, error));
  EXPECT_EQ(mask, 0xFFFu);
  EXPECT_TRUE(ParseGroupMask("8", mask, error));
  EXPECT_EQ(mask, 8u);
  EXPECT_FALSE(ParseGroupMask("audio", mask, error));
  EXPECT_NE(error.find("did you mean \"Audio\""), std::string::npos);
  EXPECT_FALSE(ParseGroupMask("Audio,", mask, error));
  EXPECT_FALSE(ParseGroupMask("0x1FFFFFFFF", mask, error));
  EXPECT_FALSE(ParseGroupMask("12abc", mask, error));
  EXPECT_FALSE(ParseGroupMask("", mask, error));
}

TEST(JsonOutTest, EscapesWhatStrictJsonRequires) {
  JsonOut out;
  out.BeginObject()
      .Key("a\"b")
      .String(std::string("q\"\\\n\x01\x7f\xc3\xa9", 8))
      .Key("list")
      .BeginArray()
      .Int(-3)
      .Bool(true)
      .Null()
      .BeginObject()
      .EndObject()
      .EndArray()
      .EndObject();
  EXPECT_EQ(out.Text(),
            "{\"a\\\"b\":\"q\\\"\\\\\\n\\u0001\\u007F\xc3\xa9\","
            "\"list\":[-3,true,null,{}]}");
}

}  // namespace
}  // namespace ostrel_cli
