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
  for (const char* bad : {"audio", "Audio,", "0x1FFFFFFFF", "12abc", ""})
    EXPECT_FALSE(ParseGroupMask(bad, mask, error)) << bad;
}

TEST(JsonOutTest, EscapesWhatStrictJsonRequires) {
  JsonOut out;
  out.BeginObject().Key("a\"b").String(
      std::string("q\"\\\n\x01\x7f\xc3\xa9", 8));
  out.Key("list").BeginArray().Int(-3).Bool(true).Null();
  out.BeginObject().EndObject().EndArray().EndObject();
  EXPECT_EQ(out.Text(),
            "{\"a\\\"b\":\"q\\\"\\\\\\n\\u0001\\u007F\xc3\xa9\","
            "\"list\":[-3,true,null,{}]}");
}

}  // namespace
}  // namespace ostrel_cli
