// Test support for the statistics objects: little-endian byte images of
// field values, and patches that say which bytes of a record a call may
// change. Plain functions over caller-owned buffers; no shared state.
#ifndef OSTREL_SRC_STATS_STATS_TEST_UTIL_H_
#define OSTREL_SRC_STATS_STATS_TEST_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kovaStore {
namespace testing {

typedef std::vector<uint8_t> Bytes;

inline Bytes LeU32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
}
inline Bytes LeU64(uint64_t v) {
  Bytes low = LeU32(static_cast<uint32_t>(v));
  Bytes high = LeU32(static_cast<uint32_t>(v >> 32));
  low.insert(low.end(), high.begin(), high.end());
  return low;
}
inline Bytes LeFloat(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof(bits));
  return LeU32(bits);
}

// Writes `bytes` at `offset` of `image`.
inline void Patch(Bytes& image, size_t offset, const Bytes& bytes) {
  std::memcpy(image.data() + offset, bytes.data(), bytes.size());
}

// "" when equal, else the first differing offset and both bytes.
inline std::string FirstDifference(const Bytes& expected, const Bytes& actual) {
  if (expected.size() != actual.size()) return "sizes differ";
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] != actual[i]) {
      return "offset " + std::to_string(i) + ": expected " +
             std::to_string(expected[i]) + ", got " + std::to_string(actual[i]);
    }
  }
  return "";
}

}  // namespace testing
}  // namespace kovaStore

#endif  // OSTREL_SRC_STATS_STATS_TEST_UTIL_H_
