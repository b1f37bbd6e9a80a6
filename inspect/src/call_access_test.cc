#include "call_access.h"

#include <gtest/gtest.h>

#include <map>

namespace ostrel::inspect {
namespace {

using Stored = std::map<std::pair<int, std::string>, std::string>;

bool readStored(void* context, int group, const std::string& name,
                std::string& value) {
  const auto& stored = *static_cast<const Stored*>(context);
  const auto found = stored.find({group, name});
  if (found == stored.end()) return false;
  value = found->second;
  return true;
}

// The store's dump writes names and values without escaping; the reads
// decide where each one ends, and a value changed since the dump is taken
// from the dump.
TEST(CallAccessTest, DumpIsSplitWhereTheStoreConfirmsTheNames) {
  const Stored stored = {
      {{0, "a"}, "new"},
      {{3, "plain"}, "1"},
      {{3, "q\",\"value\":\"x"}, "y"},
      {{3, "z"}, "\"},{\"key\":\"w"},
      {{5, "empty"}, ""},
      {{5, "nul"}, std::string("ab\0cd", 5)},
  };
  const std::string dump =
      "{\"Common\":[{\"key\":\"a\",\"value\":\"old\"}],"
      "\"Audio\":[{\"key\":\"plain\",\"value\":\"1\"},"
      "{\"key\":\"q\",\"value\":\"x\",\"value\":\"y\"},"
      "{\"key\":\"z\",\"value\":\"\"},{\"key\":\"w\"}],"
      "\"Video\":[{\"key\":\"empty\",\"value\":\"\"},"
      "{\"key\":\"nul\",\"value\":\"ab\"}]}";
  const StoreConfig config =
      ParseDump(dump, readStored, const_cast<Stored*>(&stored));
  ASSERT_EQ(config[0].size(), 1u);
  EXPECT_EQ(config[0][0].name, "a");
  EXPECT_EQ(config[0][0].value, "old");
  ASSERT_EQ(config[3].size(), 3u);
  EXPECT_EQ(config[3][0].name, "plain");
  EXPECT_EQ(config[3][1].name, "q\",\"value\":\"x");
  EXPECT_EQ(config[3][1].value, "y");
  EXPECT_EQ(config[3][2].name, "z");
  EXPECT_EQ(config[3][2].value, "\"},{\"key\":\"w");
  ASSERT_EQ(config[5].size(), 2u);
  EXPECT_EQ(config[5][0].value, "");
  EXPECT_EQ(config[5][1].value, std::string("ab\0cd", 5));
}

TEST(CallAccessTest, MalformedDumpGivesWhatParsedBeforeIt) {
  const Stored stored = {{{0, "a"}, "1"}};
  for (const char* dump : {"", "{\"Nope\":[]}",
                           "{\"Common\":[{\"key\":\"a\",\"value\":\"1\"},{"}) {
    const StoreConfig config =
        ParseDump(dump, readStored, const_cast<Stored*>(&stored));
    EXPECT_LE(config[0].size(), 1u) << dump;
  }
}

}  // namespace
}  // namespace ostrel::inspect
