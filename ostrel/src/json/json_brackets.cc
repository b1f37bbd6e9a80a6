#include "json_brackets.h"

#include <cstdint>

#include "json_byte_search.h"

namespace json {

namespace {

bool isStructuralByte(char c) {
  return c == '"' || c == ',' || c == '[' || c == ']' || c == '{' || c == '}';
}

#if OSTREL_JSON_SSE2
// Bit k set when byte k of the 16 at `p` is a double quote, a comma or a
// bracket.
uint32_t structuralMask(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i folded = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
  __m128i found = _mm_cmpeq_epi8(folded, _mm_set1_epi8('{'));
  found = _mm_or_si128(found, _mm_cmpeq_epi8(folded, _mm_set1_epi8('}')));
  found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
  found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(',')));
  return static_cast<uint32_t>(_mm_movemask_epi8(found));
}
#endif

// How many "[" and "{" the text holds.
std::size_t countOpeningBrackets(std::string_view text) {
  std::size_t count = 0;
  std::size_t i = 0;
#if OSTREL_JSON_SSE2
  // Each byte lane counts its matches for up to 255 blocks at a time.
  const __m128i zero = _mm_setzero_si128();
  while (i + 16 <= text.size()) {
    __m128i lanes = zero;
    for (int block = 0; block < 255 && i + 16 <= text.size();
         ++block, i += 16) {
      const __m128i bytes =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
      const __m128i folded = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(folded, _mm_set1_epi8('{')));
    }
    const __m128i sums = _mm_sad_epu8(lanes, zero);
    count +=
        static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
        static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  for (; i < text.size(); ++i) count += isOpeningBracket(text[i]);
  return count;
}

}  // namespace

// One pass with a stack of open brackets per quote phase, linked through
// the entries themselves (an open entry's `close` names the one enclosing
// it), so that the table is the only memory the pass takes, sized exactly
// by counting the brackets first (every "[" and "{" counted gets its entry
// below, in whichever phase). A closing bracket of the wrong kind ends
// every scan still open in its phase, so that phase's stack is cleared; one
// that finds its phase's stack empty ends no scan.
template <typename Position>
void BracketTable<Position>::build() {
  m_built = true;
  const std::size_t count = countOpeningBrackets(m_text);
  if (count > kInlineMatches) {
    m_heapMatches.reset(new Match[count]);
    m_matches = m_heapMatches.get();
  }
  Position top[2] = {kNoPosition,
                     kNoPosition};  // innermost open entry per phase
  int phase = 0;
  auto clear = [this](Position& entry) {
    while (entry != kNoPosition) {
      const Position enclosing = m_matches[entry].close;
      m_matches[entry].close = kNoPosition;
      entry = enclosing;
    }
  };
  // A comma or bracket at `i`, seen in quote phase `phase`.
  auto visit = [&](std::size_t i, char c, int phase) {
    if (c == ',') {
      if (top[phase] != kNoPosition) {
        Match& parent = m_matches[top[phase]];
        parent.slots = (parent.slots & ~kSlotHasChild) + 1;
      }
    } else if (c == '[' || c == '{') {
      if (top[phase] != kNoPosition) {
        Match& parent = m_matches[top[phase]];
        if (parent.slots & kSlotHasChild) ++parent.slots;
        parent.slots |= kSlotHasChild;
      }
      m_matches[m_count] = Match{static_cast<Position>(i), top[phase], 1};
      top[phase] = static_cast<Position>(m_count++);
    } else {
      Position& entry = top[phase];
      if (entry != kNoPosition) {
        Match& match = m_matches[entry];
        if ((m_text[match.open] == '[') == (c == ']')) {
          entry = match.close;
          match.close = static_cast<Position>(i);
        } else {
          clear(entry);
        }
      }
    }
  };
  auto visitByte = [&](std::size_t i) {
    const char c = m_text[i];
    if (c == '"') {
      if (i == 0 || m_text[i - 1] != '\\') phase ^= 1;
    } else {
      visit(i, c, phase);
    }
  };
  std::size_t i = 0;
#if OSTREL_JSON_SSE2
  for (; i + 16 <= m_text.size(); i += 16) {
    const char* block = m_text.data() + i;
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    const uint32_t backslashes = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))));
    if (backslashes != 0 || (i != 0 && block[-1] == '\\')) {
      for (uint32_t mask = structuralMask(block); mask != 0; mask &= mask - 1) {
        visitByte(i + static_cast<std::size_t>(lowestSetBit(mask)));
      }
      continue;
    }
    // No quote here is escaped, so each toggles the phase: bit k of
    // `quoted` tells whether an odd number of quotes stands before byte k.
    const uint32_t quotes = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'))));
    uint32_t quoted = quotes;
    quoted ^= quoted << 1;
    quoted ^= quoted << 2;
    quoted ^= quoted << 4;
    quoted ^= quoted << 8;
    for (uint32_t mask = structuralMask(block) & ~quotes; mask != 0;
         mask &= mask - 1) {
      const int k = lowestSetBit(mask);
      visit(i + static_cast<std::size_t>(k), block[k],
            phase ^ static_cast<int>((quoted >> k) & 1));
    }
    phase ^= static_cast<int>((quoted >> 15) & 1);
  }
#endif
  for (; i < m_text.size(); ++i) {
    if (isStructuralByte(m_text[i])) visitByte(i);
  }
  clear(top[0]);
  clear(top[1]);
}

template class BracketTable<uint32_t>;
template class BracketTable<uint64_t>;

}  // namespace json
