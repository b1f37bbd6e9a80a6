#include "config_document_walk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json_plain_document.h"
#include "json/json_reader.h"
#include "json/json_writer.h"

namespace kovaStore {
namespace {

// Records each call as one item and answers false to the `stopAt`-th.
class Recorder : public ConfigDocumentHandler {
 public:
  explicit Recorder(size_t stopAt = 0) : m_stopAt(stopAt) {}

  bool OnGroup(const ConfigDocumentPlace& p, KovaConfigGroup group) override {
    EXPECT_EQ(p.groupKey, groupName(group));
    return add(std::string(p.groupKey) + " " + std::to_string(p.groupIndex) +
               "/" + std::to_string(p.groupCount) + " n" +
               std::to_string(p.entryCount));
  }
  bool OnEntry(const ConfigDocumentPlace& p, KovaConfigGroup,
               json::StringRef name, std::string_view value) override {
    std::string item =
        std::string(p.groupKey) + "[" + std::to_string(p.entryIndex) + "] ";
    for (char c : name) item += c == '\0' ? '@' : c;
    return add(item + "=" + std::string(value));
  }
  bool OnProblem(const ConfigDocumentPlace& p, ConfigDocumentProblem problem,
                 const json::Value* offending) override {
    static const char* const kNames[] = {
        "not-object",       "unknown-group",  "not-array",
        "entry-not-object", "no-key",         "no-value",
        "no-key-value",     "key-not-string", "value-not-string"};
    return add(std::string(kNames[static_cast<int>(problem)]) + " " +
               std::string(p.groupKey) + " " + std::to_string(p.groupIndex) +
               (p.entryIndex == p.kNoEntry
                    ? std::string()
                    : "[" + std::to_string(p.entryIndex) + "]") +
               " " + (offending ? json::ValueToText(*offending) : "-"));
  }

  std::vector<std::string> items;

 private:
  bool add(std::string item) {
    items.push_back(std::move(item));
    return items.size() != m_stopAt;
  }
  size_t m_stopAt;
};

std::string joined(const std::vector<std::string>& items, size_t count) {
  std::string text;
  for (size_t i = 0; i < count && i < items.size(); ++i)
    text += (i ? "; " : "") + items[i];
  return text;
}

// Each document walked from its text (plainly written ones without the tree)
// and from its tree gives the same calls, in byte order of the group keys,
// and an answer of false at any call stops both walks right there.
TEST(ConfigDocumentWalkTest, TextAndTreeWalksMakeTheSameCallsAndStopWhenTold) {
  const struct {
    const char* text;
    bool bPlain;
    const char* calls;  // of a handler that always goes on
  } rows[] = {
      // The plain reading keeps nothing after Common's incomplete entry: the
      // walk reads the tree from that group on.
      {R"({"Zed":[],"Video":[{"key":"v","value":"1"}],"Apply":[],
          "Common":[{"key":"a","value":" 1 "},{"value":"x"},
          {"key":"b","value":"2"}],"Audio":[{"key":"c","value":"3"}]})",
       true,
       "unknown-group Apply 0 -; Audio 1/5 n1; Audio[0] c=3; Common 2/5 n3; "
       "Common[0] a=1; no-key Common 2[1] {\"value\":\"x\"}; Common[2] b=2; "
       "Video 3/5 n1; Video[0] v=1; unknown-group Zed 4 -"},
      {R"({"Common":[7,{"Key":"a","Value":"1"},{"key":"a"},
          {"key":5,"value":"1"},{"key":"k","value":true},
          {"key":"a\u0000b","value":"x"}],"Audio":null,"Feature":{}})",
       false,
       "not-array Audio 0 null; Common 1/3 n6; entry-not-object Common 1[0] 7; "
       "no-key-value Common 1[1] {\"Key\":\"a\",\"Value\":\"1\"}; "
       "no-value Common 1[2] {\"key\":\"a\"}; key-not-string Common 1[3] 5; "
       "value-not-string Common 1[4] true; Common[5] a@b=x; "
       "not-array Feature 2 {}"},
      {"[1]", false, "not-object  0 [1]"},
  };
  for (const auto& row : rows) {
    json::PlainDocument plain;
    EXPECT_EQ(json::ReadPlainConfigDocument(row.text, plain), row.bPlain);
    const json::Value tree = json::FromText(row.text);
    Recorder all;
    const bool bWhole = WalkConfigDocumentText(row.text, all);
    EXPECT_EQ(joined(all.items, all.items.size()), row.calls) << row.text;
    EXPECT_EQ(bWhole, row.text[0] == '{');
    for (size_t stopAt = 1; stopAt <= all.items.size(); ++stopAt) {
      Recorder fromText(stopAt), fromTree(stopAt);
      EXPECT_FALSE(WalkConfigDocumentText(row.text, fromText));
      EXPECT_FALSE(WalkConfigDocument(tree, fromTree));
      EXPECT_EQ(joined(fromText.items, 99), joined(all.items, stopAt));
      EXPECT_EQ(joined(fromTree.items, 99), joined(all.items, stopAt));
    }
  }
}

}  // namespace
}  // namespace kovaStore
