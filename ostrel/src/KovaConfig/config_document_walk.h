// The one walk over a configuration document: the rules of applying one,
// written once, for every reader of documents to drive with a handler of its
// own. The store's apply is a handler that stops at the first problem; the
// command's check is one that carries on and reports every problem.
//
//   class Lister : public kovaStore::ConfigDocumentHandler {
//     bool OnEntry(const ConfigDocumentPlace& place, KovaConfigGroup group,
//                  json::StringRef name, std::string_view value) override {
//       names.push_back(name.c_str());
//       return true;  // go on
//     }
//     bool OnProblem(const ConfigDocumentPlace&, ConfigDocumentProblem,
//                    const json::Value*) override {
//       return false;  // stop
//     }
//     std::vector<std::string> names;
//   };
//   Lister lister;
//   bool bWhole = kovaStore::WalkConfigDocumentText(text, lister);
//
// A document is an object whose keys are group names, each holding an array
// of {"key": name, "value": text} objects. The walk visits the groups in
// ascending byte order of their keys, whatever their order in the text, and
// each group's entries in array order. A group is tested for a known name,
// then for an array value; an entry for being an object, then for having
// both "key" and "value" members, then for a string "key", then for a string
// "value". The first failed test of a group or entry is reported as its
// problem; after it, a handler that goes on gets the next group or entry.
//
// A handler's answer decides: true goes on, false stops the walk at once.
// The walk keeps no state between calls: any thread may walk, each with its
// own handler.
#ifndef OSTREL_SRC_KOVACONFIG_CONFIG_DOCUMENT_WALK_H_
#define OSTREL_SRC_KOVACONFIG_CONFIG_DOCUMENT_WALK_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "config_groups.h"
#include "json/json_value.h"

namespace kovaStore {

// The failed test, in the order the walk makes them.
enum class ConfigDocumentProblem {
  DocumentNotObject,  // the document itself is not an object
  UnknownGroup,       // the group key names no storable group
  GroupNotArray,      // the group's value is not an array (null included)
  EntryNotObject,
  EntryLacksKey,          // an object without a "key" member
  EntryLacksValue,        // ... without a "value" member
  EntryLacksKeyAndValue,  // ... without either
  KeyNotString,           // the "key" member's value is not a string
  ValueNotString,         // the "value" member's value is not a string
};

// Where the walk stands.
struct ConfigDocumentPlace {
  static constexpr std::size_t kNoEntry = static_cast<std::size_t>(-1);

  std::string_view groupKey;   // as the document holds it
  std::size_t groupIndex = 0;  // among the document's groups, in walk order
  std::size_t groupCount = 0;  // groups in the document
  // The entry's index in its group's array; kNoEntry for the group itself.
  std::size_t entryIndex = kNoEntry;
  std::size_t entryCount = 0;  // elements of the group's array; 0 if none
};

class ConfigDocumentHandler {
 public:
  virtual ~ConfigDocumentHandler() = default;

  // A group with a known name and an array value, before its entries.
  virtual bool OnGroup(const ConfigDocumentPlace& place, KovaConfigGroup group);

  // An entry that passed every test. `name` is the "key" string as read,
  // NUL bytes included (the store takes it as the C string name.c_str()),
  // `value` the "value" string. Both live until the walk returns.
  virtual bool OnEntry(const ConfigDocumentPlace& place, KovaConfigGroup group,
                       json::StringRef name, std::string_view value) = 0;

  // A failed test. `offending` is what failed it: the document, the group's
  // value, the entry, or the entry's "key" or "value" member value; null for
  // an unknown group, whose key is in `place`.
  virtual bool OnProblem(const ConfigDocumentPlace& place,
                         ConfigDocumentProblem problem,
                         const json::Value* offending) = 0;
};

// Walks a document already read. True when the walk reached the end, false
// when the handler stopped it.
bool WalkConfigDocument(const json::Value& document,
                        ConfigDocumentHandler& handler);

// Reads `text` as the store does and walks it, with the same calls as
// WalkConfigDocument(json::FromText(text), handler). A plainly written
// document (json_plain_document.h) is walked without building its tree, up
// to a group holding an entry without "key" or "value": the tree is read for
// the rest.
bool WalkConfigDocumentText(std::string_view text,
                            ConfigDocumentHandler& handler);

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_CONFIG_DOCUMENT_WALK_H_
