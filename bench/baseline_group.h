// The plain way to keep one configuration group, the baseline that the store's
// benchmarks compare with: a std::map under a std::mutex, filled with
// kBaselineNames names (nameOf(0) ... nameOf(kBaselineNames - 1)).
#ifndef OSTREL_BENCH_BASELINE_GROUP_H_
#define OSTREL_BENCH_BASELINE_GROUP_H_

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace bench {

constexpr int kBaselineNames = 50;

inline std::string nameOf(int i) { return "ConfigName_" + std::to_string(i); }

// The name looked up: in the middle of the group.
inline const std::string& probeName() {
  static const std::string name = nameOf(kBaselineNames / 2);
  return name;
}

class BaselineGroup {
 public:
  explicit BaselineGroup(const char* szValue) {
    for (int i = 0; i < kBaselineNames; ++i) m_values[nameOf(i)] = szValue;
  }
  bool Get(const char* name, std::string& out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_values.find(name);
    if (it == m_values.end()) return false;
    out = it->second;
    return true;
  }
  // Stores the value and tells whether it changed.
  bool Set(const char* name, const std::string& value) {
    std::string old;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      std::string& slot = m_values[name];
      old = std::move(slot);
      slot = value;
    }
    return old != value;
  }

 private:
  std::mutex m_mutex;  // guards m_values
  std::map<std::string, std::string> m_values;
};

}  // namespace bench

#endif  // OSTREL_BENCH_BASELINE_GROUP_H_
