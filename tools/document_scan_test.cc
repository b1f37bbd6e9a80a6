#include "document_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "json/json_reader.h"

namespace ostrel_cli {
namespace {

// A document whose only entry has this value text, as written in JSON.
std::string value(const std::string& text) {
  return R"({"A":[{"key":"k","value":")" + text + R"("}]})";
}

// Whether the scan of `text` has a note of `kind` whose message has `part`.
bool noted(const std::string& text, ScanNoteKind kind, const char* part) {
  for (const ScanNote& note : ScanDocumentText(text))
    if (note.kind == kind && note.message.find(part) != std::string::npos)
      return true;
  return false;
}

TEST(DocumentScanTest, NotesWhatTheReaderChangesOrDropsAndNothingElse) {
  using K = ScanNoteKind;
  // The same key in two different objects is no duplicate, and a trailing
  // comma in an array drops nothing.
  EXPECT_TRUE(noted(" \n", K::EmptyDocument, "empty"));
  EXPECT_TRUE(noted("\xEF\xBB\xBF{}", K::ByteOrderMark, "byte order mark"));
  EXPECT_TRUE(noted("{'A':[]}", K::SingleQuote, "\"'A'\""));
  EXPECT_TRUE(noted("{\"A\":[] // x\n}", K::Comment, "\"//\""));
  EXPECT_TRUE(ScanDocumentText(
                  R"({"A":[{"key":"a","value":"1"},{"key":"a","value":"2"},]})")
                  .empty());
  EXPECT_TRUE(noted(value(R"(  on )"), K::TrimmedValue, "\"on\""));
  EXPECT_TRUE(noted(value(R"(\u20AC)"), K::LossyUnicodeEscape, "0xAC"));
  EXPECT_FALSE(noted(value(R"(x\u0041)"), K::LossyUnicodeEscape, ""));
  EXPECT_TRUE(noted(value(R"(\u12)"), K::LossyUnicodeEscape, "four hex"));
  EXPECT_TRUE(noted(value(R"(a\qb)"), K::DroppedEscape, "\\q"));
  EXPECT_TRUE(noted(R"({"Au\u0064io":[]})", K::RawKeyEscape, ""));
  EXPECT_TRUE(noted(R"({"A":[{"key":"a","key":"b","value":"1"}]})",
                    K::DuplicateKey, "last one wins"));
  // Strings inside nested objects are not split.
  EXPECT_FALSE(noted(value(R"(1,2)"), K::StringBreaksArray, ""));
  EXPECT_TRUE(noted(R"({"A":[],})", K::TrailingComma, "document as null"));
  EXPECT_TRUE(noted(R"({"A":"x" junk})", K::ObjectReadsAsNull, "\"junk\""));
  // A word before a key is skipped, not fatal (the element agreement below
  // shows it costs nothing).
  EXPECT_TRUE(noted(R"({junk "A":[]})", K::SkippedText, ""));
  // A bare value without a comma swallows the next member; the scan resumes
  // at the comma and still sees the rest of the document.
  const std::string swallowed = R"({"A":[{"n":1 "key":"k","value":" v"}]})";
  EXPECT_TRUE(noted(swallowed, K::SwallowedMember, "\"key\""));
  EXPECT_TRUE(noted(swallowed, K::TrimmedValue, ""));
}

// Unclosed and mismatched brackets are reported once each; notes carry line
// and column and come in text order; any bytes and any depth are scanned
// without fault.
TEST(DocumentScanTest, UnclosedBracketsOnceNotesInTextOrderAnyBytes) {
  std::string noise;
  for (int i = 0; i < 4096; ++i)
    noise += static_cast<char>((i * 7919 + 13) % 256);
  ScanDocumentText(noise);
  ScanDocumentText(std::string(10000, '['));
  EXPECT_EQ(MaxNestingDepth(std::string(10000, '[')), 10000u);
  EXPECT_EQ(MaxNestingDepth("{\"[[[\":[]}"), 2u);
  for (const auto& row :
       {std::make_pair(R"({"A":[)", 2u), std::make_pair(R"({"A":[})", 1u),
        std::make_pair(R"({"A":"open)", 1u)}) {
    const std::vector<ScanNote> notes = ScanDocumentText(row.first);
    EXPECT_EQ(notes.size(), row.second) << row.first;
    for (const ScanNote& note : notes)
      EXPECT_EQ(note.kind, ScanNoteKind::Unterminated) << row.first;
  }
  const std::vector<ScanNote> notes = ScanDocumentText(
      "{\"A\":[\n  null,\n  {\"key\":\"k\",\"value\":\" v\"}]}");
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].line, 2u);
  EXPECT_EQ(notes[0].column, 3u);
  EXPECT_EQ(notes[1].line, 3u);
  EXPECT_LT(notes[0].offset, notes[1].offset);
}

// The notes that explain why an array element goes missing must appear
// exactly when the library's reader loses the element.
TEST(DocumentScanTest, ExplainsEveryElementTheReaderLoses) {
  // clang-format off
  const char* const elements[] = {
      R"({ "key" : "k" , "value" : "v" })", R"({"key":"k","value":"v", })",
      R"({"key":"k","value":"v" junk})", R"({junk "key":"k","value":"v"})",
      R"({"key":"k","value"})", R"({"key" "k"})", R"({"":"k"})",
      R"({"key":7 "value":"v"})", R"({"key":"k","value":[1,"a,b"]})",
      R"({"key":"k","value":{"x":1,}})", "{}", "null", R"("a,b")",
      R"("a[b,")", "7", "[null]"};
  // clang-format on
  for (const char* element : elements) {
    const std::string text = std::string("{\"A\":[") + element + "]}";
    const json::Value document = json::FromText(text);
    const json::Value& group = document.GetObject().begin()->second;
    const bool bLost =
        group.GetKind() != json::KindArray || group.GetArray().size() != 1;
    // Only notes about the element itself, at offset 6, count: notes about
    // parts nested inside it explain losses that leave the element in place.
    bool bExplained = false;
    for (const ScanNote& note : ScanDocumentText(text)) {
      const bool bAtElement = note.offset == 6;
      bExplained =
          bExplained ||
          (note.kind == ScanNoteKind::DroppedElement && bAtElement) ||
          (note.kind == ScanNoteKind::StringBreaksArray && bAtElement) ||
          note.message.find("dropped from its array") != std::string::npos;
    }
    EXPECT_EQ(bLost, bExplained) << text;
  }
}

}  // namespace
}  // namespace ostrel_cli
