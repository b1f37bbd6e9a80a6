// Configuration names as keys: the hash that the value index and the observer
// tables share, and the byte-wise order of the tables keyed by name.
//
//   const uint64_t h = kovaStore::nameHash(name.data(), name.size());
//   std::map<std::string, V, kovaStore::NameOrder> table;
//
// Both work on whole words, with no call: names are short, and a call of the
// library's memcmp cost as much as the rest of a look-up. Both read only the
// name's own bytes (the last word overlaps its predecessor), so a name at the
// end of a page is safe. Every input bit of the hash reaches its low bits,
// which pick a bucket. The order is std::string's: unsigned bytes, a shorter
// prefix first.
#ifndef OSTREL_SRC_KOVACONFIG_NAME_KEYS_H_
#define OSTREL_SRC_KOVACONFIG_NAME_KEYS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

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

// A word of bytes loaded so that unsigned comparison of words is byte-wise
// comparison of the bytes.
OSTREL_HASH_INLINE uint64_t ordered64(const char* p) {
  return __builtin_bswap64(load64(p));
}
OSTREL_HASH_INLINE uint64_t ordered32(const char* p) {
  return __builtin_bswap32(static_cast<uint32_t>(load32(p)));
}

// -1, 0 or 1 as a's first `size` bytes order before, as or after b's.
OSTREL_HASH_INLINE int compareBytes(const char* a, const char* b, size_t size) {
  uint64_t x = 0;
  uint64_t y = 0;
  if (size >= 8) {
    size_t i = 0;
    for (; i + 8 < size; i += 8) {
      x = ordered64(a + i);
      y = ordered64(b + i);
      if (x != y) return x < y ? -1 : 1;
    }
    x = ordered64(a + size - 8);
    y = ordered64(b + size - 8);
  } else if (size >= 4) {
    x = ordered32(a) << 32 | ordered32(a + size - 4);
    y = ordered32(b) << 32 | ordered32(b + size - 4);
  } else {
    for (size_t i = 0; i < size; ++i) {
      x = x << 8 | static_cast<unsigned char>(a[i]);
      y = y << 8 | static_cast<unsigned char>(b[i]);
    }
  }
  return x == y ? 0 : (x < y ? -1 : 1);
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

// Byte-wise order of names (std::string, std::string_view, const char*), for
// maps that are looked up by any of them.
struct NameOrder {
  typedef void is_transparent;
  static int compare(std::string_view a, std::string_view b) {
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    const int order = name_hash::compareBytes(a.data(), b.data(), common);
    if (order != 0) return order;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  template <class A, class B>
  bool operator()(const A& a, const B& b) const {
    return compare(std::string_view(a), std::string_view(b)) < 0;
  }
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_NAME_KEYS_H_
