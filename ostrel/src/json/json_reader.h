// The JSON reader: a forgiving reader that turns text into a json::Value.
//
//   json::Value document = json::FromText(text);
//   if (document.GetKind() != json::KindObject) { ... }
//
// It never reports an error other than by yielding null: a document must be
// an object or an array, and inside it a part that cannot be read becomes a
// null member of an object, or is dropped from an array, or makes the
// container holding it read as null as a whole. It is lenient in ways the
// configuration documents rely on: whitespace inside a bare word is removed
// ("1 2" reads as 12), keys are taken as written (escapes not decoded),
// true, false and null are matched ignoring case, and a bare word reads as
// the number of its longest numeric prefix (the classic C conversions, in
// every process locale). Arrays are split at "," and "]" before their
// elements are read, so a string element holding either reads as null.
//
// Limits: at most 256 containers are read nested in each other (the
// document's own object or array counts as the first). A "[" or "{" met
// deeper than that makes the container holding it read as null (so a
// document nested deeper reads with its first 255 levels). Recursion is
// bounded by this limit, under 1 KB of stack per level in optimised builds
// (about 200 KB at most), so no document, however deep, can exhaust the
// caller's stack. Reading takes time and memory linear in the document's
// size, whatever its shape: at its peak the reader holds at most 24 bytes of
// heap per byte of text (about 7 for configuration documents).
//
// Text is a byte string; no encoding is checked or decoded, NUL bytes
// included. The reader keeps no state between calls: any number of threads
// may read documents at the same time.
#ifndef OSTREL_SRC_JSON_JSON_READER_H_
#define OSTREL_SRC_JSON_JSON_READER_H_

#include <string>
#include <string_view>

#include "json_value.h"

namespace json {

// Containers that may be read nested in each other (see above).
constexpr int kMaxNestedReads = 256;

Value FromText(std::string_view text);
Value FromText(const std::string& text);
// A null `szText` reads as null.
Value FromText(const char* szText);

}  // namespace json

#endif  // OSTREL_SRC_JSON_JSON_READER_H_
