#include "toggle_names.h"

#include <algorithm>
#include <utility>

#include "ostrel/KovaConfigHelper.h"
#include "report_text.h"

namespace ostrel_cli {

namespace {

// Names longer than this are compared only by length: no toggle name comes
// close, and the distance table stays small whatever the input.
const size_t kMaxComparedLength = 128;

const char* toggleName(uint32_t id) {
  return kovaStore::KovaConfigHelper::GetFeatureToggleName(
      static_cast<KovaFeatureToggleID>(id));
}

}  // namespace

bool IsFeatureToggleName(const std::string& name) {
  return FeatureToggleId(name) >= 0;
}

int FeatureToggleId(const std::string& name) {
  for (uint32_t id = 0; id < kKovaFeatureToggleCount; ++id) {
    const char* candidate = toggleName(id);
    if (candidate != nullptr && name == candidate) return static_cast<int>(id);
  }
  return -1;
}

std::vector<std::string> ClosestToggleNames(const std::string& name,
                                            size_t maxCount) {
  std::vector<std::pair<size_t, std::string>> ranked;
  if (name.size() > kMaxComparedLength) return {};
  // Up to a third of the letters may be wrong (each costing 2).
  const size_t limit = std::max<size_t>(2, 2 * ((name.size() + 2) / 3));
  for (uint32_t id = 0; id < kKovaFeatureToggleCount; ++id) {
    const char* candidate = toggleName(id);
    if (candidate == nullptr) continue;
    const size_t distance = WeightedEditDistance(name, candidate);
    if (distance <= limit) ranked.emplace_back(distance, candidate);
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const std::pair<size_t, std::string>& x,
                      const std::pair<size_t, std::string>& y) {
                     return x.first < y.first;
                   });
  std::vector<std::string> names;
  for (size_t i = 0; i < ranked.size() && i < maxCount; ++i)
    names.push_back(ranked[i].second);
  return names;
}

}  // namespace ostrel_cli
