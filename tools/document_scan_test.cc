#include "document_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json_reader.h"

namespace ostrel_cli {
namespace {

std::vector<ScanNoteKind> kindsOf(const std::string& text) {
  std::vector<ScanNoteKind> kinds;
  for (const ScanNote& note : ScanDocumentText(text))
    kinds.push_back(note.kind);
  return kinds;
}

TEST(DocumentScanTest, CleanDocumentsHaveNoNotes) {
  for (const char* text : {
           R"({"Audio":[{"key":"AecMode","value":"2"}],"Video":[]})",
           "",
           // The same key in two different objects is no duplicate.
           R"({"A":[{"key":"a","value":"1"},{"key":"a","value":"2"}]})",
           // A trailing comma in an array drops nothing.
           R"({"A":[{"key":"k","value":"v"},]})",
       })
    EXPECT_TRUE(kindsOf(text).empty()) << text;
}

// A document whose only entry has this value text, as written in JSON.
std::string value(const std::string& text) {
  return R"({"A":[{"key":"k","value":")" + text + R"("}]})";
}

TEST(DocumentScanTest, NotesWhatTheReaderChangesOrDrops) {
  using K = ScanNoteKind;
  struct Case {
    std::string text;
    ScanNoteKind kind;
    const char* part;  // in the note's message
    bool bNoted;
  };
  const Case cases[] = {
      {value(R"(  on )"), K::TrimmedValue, "\"on\"", true},
      // A \n escape at the end is trimmed too, after decoding.
      {value(R"(on\n)"), K::TrimmedValue, "", true},
      {value(R"(\u20AC)"), K::LossyUnicodeEscape, "0xAC", true},
      {value(R"(x\u0041)"), K::LossyUnicodeEscape, "", false},
      {value(R"(\u12)"), K::LossyUnicodeEscape, "four hex digits", true},
      {value(R"(a\qb)"), K::DroppedEscape, "\\q", true},
      {R"({"Au\u0064io":[]})", K::RawKeyEscape, "", true},
      {R"({"Audio":[],"Audio":[]})", K::DuplicateKey, "only the last one",
       true},
      {R"({"A":[{"key":"a","key":"b","value":"1"}]})", K::DuplicateKey,
       "last one wins", true},
      {R"({"A":[null,{"key":"k","value":"v"}]})", K::DroppedElement, "null",
       true},
      {R"({"A":[{"key":"k","value":"v"},,{"key":"j","value":"v"}]})",
       K::DroppedElement, "empty", true},
      {R"({"A":["a,b"]})", K::StringBreaksArray, "", true},
      {R"({"A":["a]b"]})", K::StringBreaksArray, "", true},
      // A '[' first makes the reader read the string whole; strings inside
      // nested objects are not split either.
      {R"({"A":["a[,b"]})", K::StringBreaksArray, "", false},
      {value(R"(1,2)"), K::StringBreaksArray, "", false},
      {R"({"A":[{"key":"k","value":"v",}]})", K::ObjectReadsAsNull,
       "dropped from its array", true},
      {R"({"A":[],})", K::ObjectReadsAsNull, "document reads as null", true},
      {R"({"A":"x" junk})", K::ObjectReadsAsNull, "\"junk\"", true},
      {R"({"A":[{"key" "value"}]})", K::ObjectReadsAsNull, "", true},
      {R"({"":[]})", K::ObjectReadsAsNull, "empty key", true},
      {R"({"A":[]} extra)", K::ObjectReadsAsNull, "after the end", true},
      // A word before a key is skipped, not fatal.
      {R"({junk "A":[]})", K::SkippedText, "", true},
      {R"({junk "A":[]})", K::ObjectReadsAsNull, "", false},
      // A bare value without a comma swallows the next member; the scan
      // resumes at the comma and still sees the rest of the document.
      {R"({"A":[{"n":1 "key":"k","value":"v"}]})", K::SwallowedMember,
       "\"key\"", true},
      {R"({"A":[{"n":1 "key":"k","value":" v"}]})", K::TrimmedValue, "", true},
  };
  for (const Case& c : cases) {
    bool bNoted = false;
    for (const ScanNote& note : ScanDocumentText(c.text))
      bNoted = bNoted || (note.kind == c.kind &&
                          note.message.find(c.part) != std::string::npos);
    EXPECT_EQ(c.bNoted, bNoted) << ScanNoteKindName(c.kind) << " in " << c.text;
  }
}

TEST(DocumentScanTest, UnclosedAndMismatchedBracketsAreReportedOnce) {
  const ScanNoteKind kOpen = ScanNoteKind::Unterminated;
  EXPECT_EQ(kindsOf(R"({"A":[)"), std::vector<ScanNoteKind>(2, kOpen));
  EXPECT_EQ(kindsOf(R"({"A":[})"), std::vector<ScanNoteKind>{kOpen});
  EXPECT_EQ(kindsOf(R"({"A":"open)"), std::vector<ScanNoteKind>{kOpen});
}

TEST(DocumentScanTest, NotesCarryLineAndColumnInTextOrder) {
  const std::vector<ScanNote> notes = ScanDocumentText(
      "{\"A\":[\n  null,\n  {\"key\":\"k\",\"value\":\" v\"}]}");
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].line, 2u);
  EXPECT_EQ(notes[0].column, 3u);
  EXPECT_EQ(notes[1].line, 3u);
  EXPECT_LT(notes[0].offset, notes[1].offset);
}

TEST(DocumentScanTest, AnyBytesAreScannedWithoutFault) {
  std::string noise;
  for (int i = 0; i < 4096; ++i)
    noise += static_cast<char>((i * 7919 + 13) % 256);
  ScanDocumentText(noise);
  ScanDocumentText(std::string(10000, '['));
  ScanDocumentText(std::string(10000, '"'));
  ScanDocumentText(std::string(10000, '\\'));
  EXPECT_EQ(MaxNestingDepth(std::string(10000, '[')), 10000u);
  EXPECT_EQ(MaxNestingDepth("{\"[[[\":[]}"), 2u);
}

TEST(DocumentScanTest, QuotedShowsBytesReadably) {
  EXPECT_EQ(Quoted("a\"b\\c\n"), "\"a\\\"b\\\\c\\x0A\"");
  EXPECT_EQ(Quoted("abcdef", 3), "\"abc...\"");
}

// The notes that explain why an array element goes missing must appear
// exactly when the library's reader loses the element.
TEST(DocumentScanTest, ExplainsEveryElementTheReaderLoses) {
  // clang-format off
  const char* const elements[] = {
      R"({"key":"k","value":"v"})", R"({"key":"k","value":"v" })",
      R"({ "key" : "k" , "value" : "v" })", R"({"key":"k","value":"v",})",
      R"({"key":"k","value":"v", })", R"({"key":"k","value":"v" junk})",
      R"({junk "key":"k","value":"v"})", R"({"key":"k","value"})",
      R"({"key" "k"})", R"({"":"k"})", R"({"key":7,"value":"v"})",
      R"({"key":7 "value":"v"})", R"({"key":"k","value":[1,"a,b"]})",
      R"({"key":"k","value":{"x":1,}})", "{}", "null", "NULL", R"("a,b")",
      R"("a[b,")", "7", "[]", "[null]"};
  // clang-format on
  for (const char* element : elements) {
    const std::string text = std::string("{\"A\":[") + element + "]}";
    const json::Value document = json::FromText(text);
    const json::Value& group = document.GetObject().begin()->second;
    const bool bLost =
        group.GetKind() != json::KindArray || group.GetArray().size() != 1;
    // Only notes about the element itself count: notes about parts nested
    // inside it explain losses that leave the element in place.
    const size_t elementOffset = 6;
    bool bExplained = false;
    for (const ScanNote& note : ScanDocumentText(text)) {
      const bool bAtElement = note.offset == elementOffset;
      bExplained =
          bExplained ||
          (note.kind == ScanNoteKind::DroppedElement && bAtElement) ||
          (note.kind == ScanNoteKind::StringBreaksArray && bAtElement) ||
          (note.kind == ScanNoteKind::ObjectReadsAsNull &&
           note.message.find("dropped from its array") != std::string::npos);
    }
    EXPECT_EQ(bLost, bExplained) << text;
  }
}

}  // namespace
}  // namespace ostrel_cli
