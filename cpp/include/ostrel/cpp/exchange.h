// Applying and dumping whole stores through ostrel::Store: what an apply
// changed, and the two forms of a dump.
//
//   ostrel::ApplyReport report;
//   KOVA_RESULT r = call.Apply(text, &report);
//   for (const ostrel::ApplyChange& c : report.changes)
//     log("%s/%s: %s", ostrel::GroupName(c.group), c.name.c_str(),
//         c.after.c_str());
//   std::string json = call.Dump(ostrel::kAllGroups, ostrel::DumpForm::kJson);
//
// What a report can tell: it is built from what the library exposes, the
// store's dump before and after the apply, so it lists the names whose
// values the apply added or changed (with their values before and after),
// in group and name order. It cannot tell an entry that set the value
// already stored, an entry the store refused (an empty name), where and why
// an apply stopped, or the position of an entry in the text: those need the
// reader's view of the document, which `ostrel check` has. A set made by
// another thread during the apply shows as a change too.
#ifndef OSTREL_CPP_INCLUDE_OSTREL_CPP_EXCHANGE_H_
#define OSTREL_CPP_INCLUDE_OSTREL_CPP_EXCHANGE_H_

#include <ostrel.h>  // the exported interface (ostrel/include)

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// Every group's bit (groups 0 to 11).
constexpr uint32_t kAllGroups = 0xFFF;

// The group's name as documents spell it ("Audio"); "Undefined_Group" for a
// value outside 0 to 11.
const char* GroupName(kovaStore::KovaConfigGroup group);

enum class DumpForm {
  // The library's own text, byte for byte (names and values unescaped).
  kAsWritten,
  // Valid JSON: the same document with double quotes, backslashes and
  // control bytes in names and values escaped. Bytes of 0x80 and above pass
  // unchanged. A name or value that itself holds the dump's separators
  // (`","value":"` or `"},{"key":"`) cannot be told apart in the library's
  // text and may be split wrongly.
  kJson,
};

struct ApplyChange {
  kovaStore::KovaConfigGroup group;
  std::string name;
  std::optional<std::string> before;  // std::nullopt: not stored before
  std::string after;
};

struct ApplyReport {
  KOVA_RESULT result = KOVA_E_FAIL;
  std::vector<ApplyChange> changes;

  // One line per change, "Audio/AecMode: 1 -> 3" ("(new)" for a name not
  // stored before), after a first line with the result's name.
  std::string ToText() const;
};

}  // namespace ostrel

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_EXCHANGE_H_
