// A light scan of the raw text of a configuration document that finds what
// the store's forgiving JSON reader silently changes or drops: values trimmed
// of surrounding whitespace, escapes kept raw in keys, \u escapes that keep
// only their low byte, dropped escapes, null or empty array elements,
// duplicate keys, strings that break an array at a comma, and the places
// after which the reader turns an object into null.
//
// The scan runs beside the real reader, never instead of it: what is stored
// is decided by the parsed value. It is one linear pass over the bytes with a
// stack of open brackets, so any input, however broken, is scanned in time
// proportional to its length; nesting is tracked on the heap, not by
// recursion. Pure functions of their input; any thread may call them.
#ifndef TOOLS_DOCUMENT_SCAN_H_
#define TOOLS_DOCUMENT_SCAN_H_

#include <cstddef>
#include <string>
#include <vector>

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
};

// Stable lower-case name of a kind ("trimmed-value", ...), used in --json.
const char* ScanNoteKindName(ScanNoteKind kind);

struct ScanNote {
  ScanNoteKind kind;
  size_t offset;    // byte offset of the construct in the text
  unsigned line;    // 1-based
  unsigned column;  // 1-based, in bytes
  std::string message;
};

// Notes in ascending text order. A NUL byte ends the scan with an EndsAtNul
// note, since the apply takes the document as a C string.
std::vector<ScanNote> ScanDocumentText(const std::string& text);

// The part of `text` that the apply reads: the bytes before the first NUL.
std::string AppliedText(const std::string& text);

// The deepest bracket nesting of the text, quotes respected (the reader
// recurses once per level).
size_t MaxNestingDepth(const std::string& text);

// A readable, quoted form of a byte string: printable ASCII as is, a quote or
// backslash escaped, every other byte as \xNN. Long texts are cut with "...".
std::string Quoted(const std::string& bytes, size_t maxLength = 60);

// True for the bytes the reader trims: space, \t, \n, \v, \f, \r and NUL.
bool IsReaderTrimmedByte(char c);

}  // namespace ostrel_cli

#endif  // TOOLS_DOCUMENT_SCAN_H_
