#include "config_document_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "json/json_plain_document.h"
#include "json/json_reader.h"
#include "json/json_writer.h"

namespace kovaStore {
namespace {

// Records each call as "<group key> <index>/<count>[<entry>] <what>" and
// answers false to the `stopAt`-th.
struct Recorder : ConfigDocumentHandler {
  explicit Recorder(size_t stop = 0) : stopAt(stop) {}
  bool OnGroup(const ConfigDocumentPlace& p, KovaConfigGroup group) override {
    EXPECT_EQ(p.groupKey, groupName(group));
    return add(p, "n" + std::to_string(p.entryCount));
  }
  bool OnEntry(const ConfigDocumentPlace& p, KovaConfigGroup,
               json::StringRef name, std::string_view value) override {
    std::string item(name);
    std::replace(item.begin(), item.end(), '\0', '@');
    return add(p, item + "=" + std::string(value));
  }
  bool OnProblem(const ConfigDocumentPlace& p, ConfigDocumentProblem problem,
                 const json::Value* offending) override {
    static const char* const kNames[] = {
        "not-object",       "unknown-group",  "not-array",
        "entry-not-object", "no-key",         "no-value",
        "no-key-value",     "key-not-string", "value-not-string"};
    return add(p, std::string(kNames[static_cast<int>(problem)]) + " " +
                      (offending ? json::ValueToText(*offending) : "-"));
  }
  bool add(const ConfigDocumentPlace& p, const std::string& what) {
    std::string item = std::string(p.groupKey) + " " +
                       std::to_string(p.groupIndex) + "/" +
                       std::to_string(p.groupCount);
    if (p.entryIndex != p.kNoEntry)
      item += "[" + std::to_string(p.entryIndex) + "]";
    items.push_back(item + " " + what);
    return items.size() != stopAt;
  }
  size_t stopAt;
  std::vector<std::string> items;
};

// Each document walked from its text (plainly written ones without the tree)
// and from its tree gives the same calls, in byte order of the group keys,
// and an answer of false at any call stops both walks right there.
TEST(ConfigDocumentWalkTest, TextAndTreeWalksMakeTheSameCallsAndStopWhenTold) {
  const struct {
    const char* text;
    const char* calls;  // of a handler that always goes on
  } rows[] = {
      // The plain reading keeps nothing after Common's incomplete entry: the
      // walk reads the tree from that group on.
      {R"({"Zed":[],"Video":[{"key":"v","value":"1"}],"Apply":[],
          "Common":[{"key":"a","value":" 1 "},{"value":"x"},
          {"key":"b","value":"2"}],"Audio":[{"key":"c","value":"3"}]})",
       "Apply 0/5 unknown-group -; Audio 1/5 n1; Audio 1/5[0] c=3; "
       "Common 2/5 n3; Common 2/5[0] a=1; "
       "Common 2/5[1] no-key {\"value\":\"x\"}; Common 2/5[2] b=2; "
       "Video 3/5 n1; Video 3/5[0] v=1; Zed 4/5 unknown-group -"},
      {R"({"Common":[7,{"Key":"a","Value":"1"},{"key":"a"},
          {"key":5,"value":"1"},{"key":"k","value":true},
          {"key":"a\u0000b","value":"x"}],"Audio":null,"Feature":{}})",
       "Audio 0/3 not-array null; Common 1/3 n6; "
       "Common 1/3[0] entry-not-object 7; "
       "Common 1/3[1] no-key-value {\"Key\":\"a\",\"Value\":\"1\"}; "
       "Common 1/3[2] no-value {\"key\":\"a\"}; "
       "Common 1/3[3] key-not-string 5; Common 1/3[4] value-not-string true; "
       "Common 1/3[5] a@b=x; Feature 2/3 not-array {}"},
      {"[1]", " 0/0 not-object [1]"},
  };
  json::PlainDocument plain;
  EXPECT_TRUE(json::ReadPlainConfigDocument(rows[0].text, plain));
  for (const auto& row : rows) {
    const json::Value tree = json::FromText(row.text);
    Recorder all;
    EXPECT_EQ(WalkConfigDocumentText(row.text, all), row.text[0] == '{');
    std::string calls;
    for (const std::string& item : all.items)
      calls += (calls.empty() ? "" : "; ") + item;
    EXPECT_EQ(calls, row.calls);
    for (size_t stopAt = 1; stopAt <= all.items.size(); ++stopAt) {
      Recorder fromText(stopAt), fromTree(stopAt);
      EXPECT_FALSE(WalkConfigDocumentText(row.text, fromText));
      EXPECT_FALSE(WalkConfigDocument(tree, fromTree));
      const std::vector<std::string> upToStop(all.items.begin(),
                                              all.items.begin() + stopAt);
      EXPECT_EQ(fromText.items, upToStop);
      EXPECT_EQ(fromTree.items, upToStop);
    }
  }
}

}  // namespace
}  // namespace kovaStore
