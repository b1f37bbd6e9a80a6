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

bool hasNote(const std::string& text, ScanNoteKind kind,
             const std::string& part = std::string()) {
  for (const ScanNote& note : ScanDocumentText(text))
    if (note.kind == kind && note.message.find(part) != std::string::npos)
      return true;
  return false;
}

TEST(DocumentScanTest, CleanCompactDocumentHasNoNotes) {
  EXPECT_TRUE(kindsOf("{\"Audio\":[{\"key\":\"AecMode\",\"value\":\"2\"}],"
                      "\"Video\":[]}")
                  .empty());
  EXPECT_TRUE(kindsOf("").empty());
}

TEST(DocumentScanTest, ValueStringsThatTheReaderTrimsOrDecodesLossily) {
  EXPECT_TRUE(hasNote("{\"A\":[{\"key\":\"k\",\"value\":\"  on \"}]}",
                      ScanNoteKind::TrimmedValue, "\"on\""));
  // A \n escape at the end is trimmed too, after decoding.
  EXPECT_TRUE(hasNote("{\"A\":[{\"key\":\"k\",\"value\":\"on\\n\"}]}",
                      ScanNoteKind::TrimmedValue));
  EXPECT_TRUE(hasNote("{\"A\":[{\"key\":\"k\",\"value\":\"\\u20AC\"}]}",
                      ScanNoteKind::LossyUnicodeEscape, "0xAC"));
  EXPECT_FALSE(hasNote("{\"A\":[{\"key\":\"k\",\"value\":\"x\\u0041\"}]}",
                       ScanNoteKind::LossyUnicodeEscape));
  EXPECT_TRUE(hasNote("{\"A\":[{\"key\":\"k\",\"value\":\"\\u12\"}]}",
                      ScanNoteKind::LossyUnicodeEscape, "four hex digits"));
  EXPECT_TRUE(hasNote("{\"A\":[{\"key\":\"k\",\"value\":\"a\\qb\"}]}",
                      ScanNoteKind::DroppedEscape, "\\q"));
}

TEST(DocumentScanTest, EscapesInKeysAreKeptRawAndDuplicatesReported) {
  EXPECT_TRUE(hasNote("{\"Au\\u0064io\":[]}", ScanNoteKind::RawKeyEscape));
  EXPECT_TRUE(hasNote("{\"Audio\":[],\"Audio\":[]}", ScanNoteKind::DuplicateKey,
                      "only the last one"));
  EXPECT_TRUE(hasNote("{\"A\":[{\"key\":\"a\",\"key\":\"b\",\"value\":\"1\"}]}",
                      ScanNoteKind::DuplicateKey, "last one wins"));
  // The same key in two different objects is no duplicate.
  EXPECT_TRUE(kindsOf("{\"A\":[{\"key\":\"a\",\"value\":\"1\"},"
                      "{\"key\":\"a\",\"value\":\"2\"}]}")
                  .empty());
}

TEST(DocumentScanTest, ArrayElementsTheReaderDropsOrSplits) {
  EXPECT_TRUE(hasNote("{\"A\":[null,{\"key\":\"k\",\"value\":\"v\"}]}",
                      ScanNoteKind::DroppedElement, "null"));
  EXPECT_TRUE(
      hasNote("{\"A\":[{\"key\":\"k\",\"value\":\"v\"},,"
              "{\"key\":\"j\",\"value\":\"v\"}]}",
              ScanNoteKind::DroppedElement, "empty"));
  // A trailing comma in an array drops nothing.
  EXPECT_TRUE(kindsOf("{\"A\":[{\"key\":\"k\",\"value\":\"v\"},]}").empty());
  EXPECT_TRUE(hasNote("{\"A\":[\"a,b\"]}", ScanNoteKind::StringBreaksArray));
  EXPECT_TRUE(hasNote("{\"A\":[\"a]b\"]}", ScanNoteKind::StringBreaksArray));
  // A '[' first makes the reader read the string whole; strings inside
  // nested objects are not split either.
  EXPECT_FALSE(hasNote("{\"A\":[\"a[,b\"]}", ScanNoteKind::StringBreaksArray));
  EXPECT_FALSE(hasNote("{\"A\":[{\"key\":\"k\",\"value\":\"1,2\"}]}",
                       ScanNoteKind::StringBreaksArray));
}

TEST(DocumentScanTest, PlacesWhereTheReaderTurnsAnObjectIntoNull) {
  EXPECT_TRUE(hasNote("{\"A\":[{\"key\":\"k\",\"value\":\"v\",}]}",
                      ScanNoteKind::ObjectReadsAsNull,
                      "dropped from its array"));
  EXPECT_TRUE(hasNote("{\"A\":[],}", ScanNoteKind::ObjectReadsAsNull,
                      "document reads as null"));
  EXPECT_TRUE(hasNote("{\"A\":\"x\" junk}", ScanNoteKind::ObjectReadsAsNull,
                      "\"junk\""));
  EXPECT_TRUE(hasNote("{\"A\":[{\"key\" \"value\"}]}",
                      ScanNoteKind::ObjectReadsAsNull));
  EXPECT_TRUE(
      hasNote("{\"\":[]}", ScanNoteKind::ObjectReadsAsNull, "empty key"));
  EXPECT_TRUE(hasNote("{\"A\":[]} extra", ScanNoteKind::ObjectReadsAsNull,
                      "after the end"));
  // A word before a key is skipped, not fatal.
  EXPECT_TRUE(hasNote("{junk \"A\":[]}", ScanNoteKind::SkippedText));
  EXPECT_FALSE(hasNote("{junk \"A\":[]}", ScanNoteKind::ObjectReadsAsNull));
}

TEST(DocumentScanTest, BareValueWithoutCommaSwallowsTheNextMember) {
  const std::string text = "{\"A\":[{\"n\":1 \"key\":\"k\",\"value\":\"v\"}]}";
  EXPECT_TRUE(hasNote(text, ScanNoteKind::SwallowedMember, "\"key\""));
  // The scan resumes at the comma and still sees the rest of the document.
  EXPECT_TRUE(hasNote("{\"A\":[{\"n\":1 \"key\":\"k\",\"value\":\" v\"}]}",
                      ScanNoteKind::TrimmedValue));
}

TEST(DocumentScanTest, UnclosedAndMismatchedBracketsAreReportedOnce) {
  EXPECT_EQ(kindsOf("{\"A\":[")[0], ScanNoteKind::Unterminated);
  EXPECT_EQ(kindsOf("{\"A\":[}").size(), 1u);
  EXPECT_EQ(kindsOf("{\"A\":\"open").size(), 1u);
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
  const char* const elements[] = {
      "{\"key\":\"k\",\"value\":\"v\"}",
      "{\"key\":\"k\",\"value\":\"v\" }",
      "{ \"key\" : \"k\" , \"value\" : \"v\" }",
      "{\"key\":\"k\",\"value\":\"v\",}",
      "{\"key\":\"k\",\"value\":\"v\", }",
      "{\"key\":\"k\",\"value\":\"v\" junk}",
      "{junk \"key\":\"k\",\"value\":\"v\"}",
      "{\"key\":\"k\",\"value\"}",
      "{\"key\" \"k\"}",
      "{\"\":\"k\"}",
      "{\"key\":7,\"value\":\"v\"}",
      "{\"key\":7 \"value\":\"v\"}",
      "{\"key\":\"k\",\"value\":[1,\"a,b\"]}",
      "{\"key\":\"k\",\"value\":{\"x\":1,}}",
      "{}",
      "null",
      "NULL",
      "\"a,b\"",
      "\"a[b,\"",
      "7",
      "[]",
      "[null]",
  };
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
