// A light scan of the raw text of a configuration document that finds what
// the store's forgiving JSON reader silently changes or drops: values trimmed
// of surrounding whitespace, escapes kept raw in keys, \u escapes that keep
// only their low byte, dropped escapes, null or empty array elements,
// duplicate keys, strings that break an array at a comma, and the places
// after which the reader turns an object into null; and hints for what trips
// people (a byte order mark, an empty file, single quotes, comments, a
// trailing comma). It also records where each group and each entry the
// reader keeps stands in the text, so reports can point at them.
//
// The scan runs beside the real reader, never instead of it: what is stored
// is decided by the parsed value. It is one linear pass over the bytes with a
// stack of open brackets, so any input, however broken, is scanned in time
// proportional to its length; nesting is tracked on the heap, not by
// recursion. Pure functions of their input; any thread may call them.
#ifndef TOOLS_DOCUMENT_SCAN_H_
#define TOOLS_DOCUMENT_SCAN_H_

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "report_text.h"

namespace ostrel_cli {

enum class ScanNoteKind {
  TrimmedValue,        // whitespace or NUL at either end of a string value
  RawKeyEscape,        // a backslash in a key: the escape is not decoded
  LossyUnicodeEscape,  // \uXXXX keeps only its low byte
  DroppedEscape,       // \q and other unknown escapes produce nothing
  DroppedElement,      // null or empty array element, left out of the array
  DuplicateKey,        // the last of two equal keys wins
  StringBreaksArray,   // a ',' or ']' inside a string element of an array
  ObjectReadsAsNull,   // the reader turns the enclosing object into null
  SkippedText,         // text before a key that the reader skips unread
  SwallowedMember,     // a member read into the bare value before it
  Unterminated,        // a string or bracket that is never closed
  TooDeep,             // brackets nested deeper than the reader reads
  EndsAtNul,           // a NUL byte: the apply reads only the text before it
  TrailingComma,       // a ',' before '}': the reader turns the object null
  ByteOrderMark,       // hint: a UTF-8 byte order mark before the document
  EmptyDocument,       // hint: nothing but blanks
  SingleQuote,         // hint: a word in single quotes (first one only)
  Comment,             // hint: a // or /* comment, which JSON does not have
};

// Stable lower-case name of a kind ("trimmed-value", ...), used in --json.
const char* ScanNoteKindName(ScanNoteKind kind);

struct ScanNote {
  ScanNoteKind kind;
  size_t offset;    // byte offset of the construct in the text
  unsigned line;    // 1-based
  unsigned column;  // 1-based, in bytes
  std::string message;
  Severity severity = Severity::Warning;  // hints are notes
};

const size_t kNoOffset = std::string::npos;

// Where an entry the reader keeps stands: its first byte, and the values of
// its "key" and "value" members when it is an object that has them.
struct EntryPlace {
  size_t offset = kNoOffset;
  size_t keyOffset = kNoOffset;
  size_t valueOffset = kNoOffset;
};

// Where a group of the document stands: its key, its value, and the entries
// of its array in the reader's order (dropped elements left out).
struct GroupPlace {
  size_t keyOffset = kNoOffset;
  size_t valueOffset = kNoOffset;
  std::vector<EntryPlace> entries;
};

struct DocumentScan {
  std::vector<ScanNote> notes;  // ascending text order
  // Group key as written -> place; of equal keys the last, as the reader.
  std::map<std::string, GroupPlace> groups;
  std::vector<size_t> lineStarts;  // offsets where lines begin

  // 1-based line and byte column of an offset.
  void Position(size_t offset, unsigned& line, unsigned& column) const;
};

// Scans the text as the apply reads it. A NUL byte ends the scan with an
// EndsAtNul note, since the apply takes the document as a C string.
DocumentScan ScanDocument(const std::string& text);

// The notes of ScanDocument.
std::vector<ScanNote> ScanDocumentText(const std::string& text);

// The part of `text` that the apply reads: the bytes before the first NUL.
std::string AppliedText(const std::string& text);

// The deepest bracket nesting of the text, quotes respected (the reader
// recurses once per level).
size_t MaxNestingDepth(const std::string& text);

// True for the bytes the reader trims: space, \t, \n, \v, \f, \r and NUL.
bool IsReaderTrimmedByte(char c);

}  // namespace ostrel_cli

#endif  // TOOLS_DOCUMENT_SCAN_H_
