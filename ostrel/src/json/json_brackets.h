// The bracket table of a JSON text: for every "[" and "{", the bracket that
// the reader's forward scan from it would close at, and how many element
// slots the container has. The reader (json_reader.cc) looks its containers
// up here instead of scanning each one for its closing bracket.
//
//   json::BracketTable<uint32_t> table(text);
//   const auto* match = table.find(open);   // `open`: a "[" or "{"
//   if (match != nullptr && match->close != table.kNoPosition) { ... }
//
// The scan the table stands for: from an opening bracket forward with a
// nesting stack, where a double quote not preceded by a backslash toggles an
// in-quote state that hides brackets; a closing bracket of the wrong kind
// ends the scan without a match. Whether a bracket is hidden depends only on
// the parity of such quotes since the scan's start, so all scans fall into
// two phases, and one pass over the text answers them all. The pass is made
// on the first find(), so a reader that never asks takes no time for it.
//
// `Position` holds the table's positions: uint32_t for texts under 2 GB (the
// table is the reader's largest block on bracket-heavy texts), uint64_t
// beyond; json_brackets.cc instantiates these two. Up to 256 entries sit in the
// table object itself, more in one heap block sized exactly. A table is used by
// one thread; the text must outlive it.
#ifndef OSTREL_SRC_JSON_JSON_BRACKETS_H_
#define OSTREL_SRC_JSON_JSON_BRACKETS_H_

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>

namespace json {

template <typename Position>
class BracketTable {
 public:
  static constexpr Position kNoPosition = static_cast<Position>(-1);

  struct Match {
    Position open;   // the opening bracket
    Position close;  // its closing bracket, or kNoPosition when none
    // How many elements a container read from it can hold when its commas
    // and brackets are where the table sees them: one, plus one per comma
    // at its own level, plus one per nested container that follows another
    // in the same slot. Meaningful only when `close` is a position.
    std::size_t slotCount() const { return slots & ~kSlotHasChild; }
    Position slots;  // while building, kSlotHasChild marks a nested one
  };

  explicit BracketTable(std::string_view text) : m_text(text) {}
  BracketTable(const BracketTable&) = delete;
  BracketTable& operator=(const BracketTable&) = delete;

  // The entry of the opening bracket at `open`, or null when no "[" or "{"
  // stands there. Look-ups in ascending order of `open` (as a reader makes
  // them) take a few steps each; any order is answered.
  const Match* find(std::size_t open) {
    if (!m_built) build();
    if (m_cursor > 0 && m_matches[m_cursor - 1].open >= open) {
      m_cursor = 0;  // not ascending; search afresh
    }
    // Usually the next opening bracket is only a few entries ahead.
    for (int step = 0;
         step < 8 && m_cursor < m_count && m_matches[m_cursor].open < open;
         ++step) {
      ++m_cursor;
    }
    const Match* const end = m_matches + m_count;
    const Match* it = m_matches + m_cursor;
    if (it != end && it->open < open) {
      it = std::lower_bound(it, end, open,
                            [](const Match& match, std::size_t position) {
                              return match.open < position;
                            });
    }
    m_cursor = static_cast<std::size_t>(it - m_matches);
    if (it == end || it->open != open) return nullptr;
    return it;
  }

 private:
  static constexpr Position kSlotHasChild = ~(kNoPosition >> 1);
  static constexpr std::size_t kInlineMatches = 256;
  void build();

  std::string_view m_text;
  Match* m_matches = m_inlineMatches;  // ascending by `open`
  std::size_t m_count = 0;
  std::unique_ptr<Match[]> m_heapMatches;
  Match m_inlineMatches[kInlineMatches];
  bool m_built = false;
  std::size_t m_cursor = 0;  // where the last find() ended
};

}  // namespace json

#endif  // OSTREL_SRC_JSON_JSON_BRACKETS_H_
