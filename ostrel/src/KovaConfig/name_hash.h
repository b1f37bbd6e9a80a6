// The hash of a configuration name that the value index and the observer
// tables share: a few multiplications over the name's words, no call.
//
//   const uint64_t h = kovaStore::nameHash(name.data(), name.size());
//
// Reads only the name's own bytes (the last word overlaps its predecessor),
// so a name at the end of a page is safe. Every input bit reaches the low
// bits, which pick a bucket.
#ifndef OSTREL_SRC_KOVACONFIG_NAME_HASH_H_
#define OSTREL_SRC_KOVACONFIG_NAME_HASH_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__GNUC__)
#define OSTREL_HASH_INLINE inline __attribute__((always_inline))
#else
#define OSTREL_HASH_INLINE inline
#endif

namespace kovaStore {
namespace name_hash {

OSTREL_HASH_INLINE uint64_t load64(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

OSTREL_HASH_INLINE uint64_t load32(const char* p) {
  uint32_t word;
  std::memcpy(&word, p, 4);
  return word;
}

OSTREL_HASH_INLINE uint64_t mix(uint64_t h) {
  h *= 0xFF51AFD7ED558CCDull;
  return h ^ (h >> 29);
}

OSTREL_HASH_INLINE uint64_t finish(uint64_t h) {
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}

}  // namespace name_hash

OSTREL_HASH_INLINE uint64_t nameHash(const char* p, size_t size) {
  using name_hash::finish;
  using name_hash::load32;
  using name_hash::load64;
  using name_hash::mix;
  uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
  if (size >= 8) {
    for (; size > 8; p += 8, size -= 8) h = mix(h ^ load64(p));
    return finish(mix(h ^ load64(p + size - 8)));
  }
  if (size >= 4) {
    return finish(mix(h ^ load32(p) ^ (load32(p + size - 4) << 32)));
  }
  uint64_t word = 0;
  for (size_t i = 0; i < size; ++i) {
    word = (word << 8) | static_cast<unsigned char>(p[i]);
  }
  return finish(mix(h ^ word));
}

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_NAME_HASH_H_
