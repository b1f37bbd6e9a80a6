#include "commands.h"

#include <gtest/gtest.h>

#include "json_out.h"
#include "ostrel/KovaConfigTypes.h"

namespace ostrel_cli {
namespace {

TEST(ParseGroupMaskTest, AcceptsNamesAndNumbersAndRejectsTheRest) {
  uint32_t mask = 0;
  std::string error;
  EXPECT_TRUE(ParseGroupMask("Audio, Video", mask, error));
  EXPECT_EQ(mask, (1u << kovaStore::KovaConfigGroup_Audio) |
                      (1u << kovaStore::KovaConfigGroup_Video));
  EXPECT_TRUE(ParseGroupMask("all", mask, error));
  EXPECT_EQ(mask, 0xFFFu);
  for (const char* bad : {"audio", "Audio,", "0x1FFFFFFFF", "12abc", "", "0",
                          "0x1000", "0xFFFFFFFF"})
    EXPECT_FALSE(ParseGroupMask(bad, mask, error)) << bad;
}

// Well-formed UTF-8 passes; every other byte is escaped as \u00XX, and so
// are quotes, backslashes and control bytes. The structure is the --json
// end-to-end test's.
TEST(JsonOutTest, EscapesWhatStrictJsonRequires) {
  JsonOut out;
  out.BeginObject().Key("a\"b").String(
      "\xe2\x82\xac\xf0\x9f\x98\x80|\xff|\xc0\xaf|\xed\xa0\x80|\xe2\x82|"
      "q\"\\\n\x01\x7f");
  EXPECT_EQ(
      out.EndObject().Text(),
      "{\"a\\\"b\":\"\xe2\x82\xac\xf0\x9f\x98\x80|\\u00FF|\\u00C0\\u00AF|"
      "\\u00ED\\u00A0\\u0080|\\u00E2\\u0082|q\\\"\\\\\\n\\u0001\\u007F\"}");
}

}  // namespace
}  // namespace ostrel_cli
