// The names of the 251 feature toggles, and the closest toggle names to a
// name that is not one of them (for suggestions in reports).
//
// The names come from the library's own table
// (KovaConfigHelper::GetFeatureToggleName); nothing here keeps a copy. Pure
// functions; any thread may call them.
#ifndef TOOLS_TOGGLE_NAMES_H_
#define TOOLS_TOGGLE_NAMES_H_

#include <cstddef>
#include <string>
#include <vector>

namespace ostrel_cli {

// True when `name` is exactly one of the toggle names.
bool IsFeatureToggleName(const std::string& name);

// The toggle id of `name`, or -1.
int FeatureToggleId(const std::string& name);

// Up to `maxCount` toggle names closest to `name` by edit distance (letter
// case differences count half), nearest first, ties in id order. Names too
// far to be a plausible misspelling are left out, so the result may be empty.
std::vector<std::string> ClosestToggleNames(const std::string& name,
                                            size_t maxCount = 3);

}  // namespace ostrel_cli

#endif  // TOOLS_TOGGLE_NAMES_H_
