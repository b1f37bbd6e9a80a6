// A quick reading of configuration documents that are written plainly.
//
// A configuration document is an object of arrays of objects whose members
// are strings ({"Audio":[{"key":"AecMode","value":"2"}]}). Written plainly
// (no backslash, no NUL, nothing between tokens but whitespace, no empty
// member name, every array element an object of string members), it reads
// through json::FromText into exactly what ReadPlainConfigDocument reports,
// without the tree: the groups in ascending byte order of their keys, a
// repeated group key keeping its last array, and for each element its
// "key" and "value" strings (trimmed as the reader trims strings, a
// repeated member keeping its last string), up to the first element of each
// array that lacks either (the others are never applied). Anything else is
// refused, and the caller reads the text with json::FromText.
//
// The views point into the text. No state is kept: any thread may call it.
#ifndef OSTREL_SRC_JSON_JSON_PLAIN_DOCUMENT_H_
#define OSTREL_SRC_JSON_JSON_PLAIN_DOCUMENT_H_

#include <cstddef>
#include <string_view>
#include <vector>

namespace json {

struct PlainEntry {
  std::string_view name;   // the "key" member's string
  std::string_view value;  // the "value" member's string
  bool bHasName = false;
  bool bHasValue = false;
};

struct PlainGroup {
  std::string_view key;
  std::size_t firstEntry = 0;  // index into PlainDocument::entries
  std::size_t entryCount = 0;  // up to the first incomplete entry
};

struct PlainDocument {
  std::vector<PlainGroup> groups;  // ascending keys, each key once
  std::vector<PlainEntry> entries;
};

// True, with `document` filled, when `text` is a plainly written
// configuration document; false (and `document` unspecified) otherwise.
bool ReadPlainConfigDocument(std::string_view text, PlainDocument& document);

}  // namespace json

#endif  // OSTREL_SRC_JSON_JSON_PLAIN_DOCUMENT_H_
