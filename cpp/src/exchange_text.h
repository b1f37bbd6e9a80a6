// The store's dump text as data: reading the library's unescaped document,
// writing it again as valid JSON, and the changes between two dumps.
#ifndef OSTREL_CPP_SRC_EXCHANGE_TEXT_H_
#define OSTREL_CPP_SRC_EXCHANGE_TEXT_H_

#include <ostrel/cpp/exchange.h>
#include <ostrel/cpp/results.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel {
namespace detail {

// Group -> (name, value) in the dump's order.
using DumpGroups = std::map<kovaStore::KovaConfigGroup,
                            std::vector<std::pair<std::string, std::string>>>;

// The groups of a text that DumpKovaConfigs wrote; std::nullopt for any other
// text. Names and values end at the first separator that follows them (see
// DumpForm::kJson).
std::optional<DumpGroups> ReadDumpText(std::string_view text);

// The same document as valid JSON (see DumpForm::kJson).
std::string WriteDumpJson(const DumpGroups& groups);

// Names of `after` whose value is new or differs from `before`, in group and
// dump order.
std::vector<ApplyChange> ChangesBetween(const DumpGroups& before,
                                        const DumpGroups& after);

}  // namespace detail
}  // namespace ostrel

#endif  // OSTREL_CPP_SRC_EXCHANGE_TEXT_H_
