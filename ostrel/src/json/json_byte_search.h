// Byte searches over a JSON text, 16 bytes at a time where the target has
// SSE2, shared by the reader (json_reader.cc) and its bracket table
// (json_brackets.h):
//
//   std::size_t colon = json::findByteIn(text, ':', from, end);
//   if (colon == json::kNone) { ... }
//
// Every search takes a range [from, end) of the text and answers a position
// in it or kNone. They read no byte outside the range and keep no state.
#ifndef OSTREL_SRC_JSON_JSON_BYTE_SEARCH_H_
#define OSTREL_SRC_JSON_JSON_BYTE_SEARCH_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif
#define OSTREL_JSON_SSE2 1
#endif

namespace json {

// No position: the byte sought is not in the range.
inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// "[" and "]" differ from "{" and "}" only in bit 0x20, and no other byte
// turns into "{" or "}" when that bit is set.
inline bool isOpeningBracket(char c) { return (c | 0x20) == '{'; }

#if OSTREL_JSON_SSE2
// The index of the lowest set bit. REQUIRES: mask != 0.
inline int lowestSetBit(uint32_t mask) {
#if defined(_MSC_VER) && !defined(__clang__)
  unsigned long index;
  _BitScanForward(&index, mask);
  return static_cast<int>(index);
#else
  return __builtin_ctz(mask);
#endif
}
#endif

// The first `byte` of text[from, end), or kNone. Most searches end within a
// few bytes, so they are done inline rather than through a call.
inline std::size_t findByteIn(std::string_view text, char byte,
                              std::size_t from, std::size_t end) {
  std::size_t i = from;
#if OSTREL_JSON_SSE2
  const __m128i wanted = _mm_set1_epi8(byte);
  for (; i + 16 <= end; i += 16) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const uint32_t mask =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
    if (mask != 0) return i + static_cast<std::size_t>(lowestSetBit(mask));
  }
#endif
  for (; i < end; ++i) {
    if (text[i] == byte) return i;
  }
  return kNone;
}

// The first ",", "]", "[" or "{" of text[from, end), or kNone: where an
// array element ends, or a nested one starts.
inline std::size_t findElementStop(std::string_view text, std::size_t from,
                                   std::size_t end) {
  std::size_t i = from;
#if OSTREL_JSON_SSE2
  for (; i + 16 <= end; i += 16) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const __m128i folded = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    __m128i found = _mm_cmpeq_epi8(folded, _mm_set1_epi8('{'));
    found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(']')));
    found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(',')));
    const uint32_t mask = static_cast<uint32_t>(_mm_movemask_epi8(found));
    if (mask != 0) return i + static_cast<std::size_t>(lowestSetBit(mask));
  }
#endif
  for (; i < end; ++i) {
    const char c = text[i];
    if (c == ',' || c == ']' || isOpeningBracket(c)) return i;
  }
  return kNone;
}

}  // namespace json

#endif  // OSTREL_SRC_JSON_JSON_BYTE_SEARCH_H_
