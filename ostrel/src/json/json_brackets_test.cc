#include "json_brackets.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace json {
namespace {

constexpr std::size_t kNoClose = static_cast<std::size_t>(-1);

// The scan the table stands for, from the opening bracket at `open`: the
// closing bracket it stops at and the container's slots, or {kNoClose, 0}.
std::pair<std::size_t, std::size_t> ScanFrom(const std::string& text,
                                             std::size_t open) {
  std::vector<char> stack{text[open]};
  bool quoted = false;
  bool child = false;  // a nested container stands in the current slot
  std::size_t slots = 1;
  for (std::size_t i = open + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      quoted ^= text[i - 1] != '\\';
    } else if (quoted) {
      continue;
    } else if (c == ',' && stack.size() == 1) {
      ++slots, child = false;
    } else if (c == '[' || c == '{') {
      if (stack.size() == 1) slots += child, child = true;
      stack.push_back(c);
    } else if (c == ']' || c == '}') {
      if (stack.back() != (c == ']' ? '[' : '{')) break;
      stack.pop_back();
      if (stack.empty()) return {i, slots};
    }
  }
  return {kNoClose, 0};
}

// Every position of `text` looked up in ascending, then descending order.
template <typename Position>
::testing::AssertionResult TableMatchesScans(const std::string& text) {
  BracketTable<Position> table(text);
  for (std::size_t k = 0; k < 2 * text.size(); ++k) {
    const std::size_t at = k < text.size() ? k : 2 * text.size() - 1 - k;
    const auto* match = table.find(at);
    if ((match != nullptr) != (text[at] == '[' || text[at] == '{')) {
      return ::testing::AssertionFailure() << "entry at " << at;
    }
    if (match == nullptr) continue;
    const std::size_t close =
        match->close == table.kNoPosition ? kNoClose : match->close;
    const std::size_t slots = close == kNoClose ? 0 : match->slotCount();
    if (match->open != at || ScanFrom(text, at) != std::make_pair(close, slots))
      return ::testing::AssertionFailure() << "match at " << at;
  }
  return ::testing::AssertionSuccess();
}

TEST(JsonBracketsTest, ClosesAndSlotsAsAScanFromEachBracket) {
  const std::pair<const char*, std::pair<std::size_t, std::size_t>> kCases[] = {
      {"[1,[2,3],{\"a\":\"]\"}]", {18, 3}},
      {"[[1][2],{}{}{}]", {14, 5}},    // containers in one slot count each
      {"{\"a\\\"]\":1}", {9, 1}},      // an escaped quote hides nothing
      {"[\"a\\\\\"]", {kNoClose, 0}},  // even after a backslash pair
      {"[{]}]", {kNoClose, 0}}};       // a wrong kind ends the scan
  for (const auto& [text, scan] : kCases) {
    EXPECT_EQ(ScanFrom(text, 0), scan) << text;
    EXPECT_TRUE(TableMatchesScans<uint32_t>(text)) << text;
  }
}

// Texts of every length up to five 16-byte blocks (escapes at block edges
// included), and long ones whose table takes a heap block.
TEST(JsonBracketsTest, MatchesTheScanOnGeneratedTexts) {
  std::mt19937 rng(20261206);
  const char kAlphabet[] = "[]{}[]{}\"\",\\ x";
  std::uniform_int_distribution<int> pick(0, sizeof(kAlphabet) - 2);
  for (int i = 0; i < 6000; ++i) {
    std::string text(i < 5800 ? i % 80 : 600 + i % 700, ' ');
    for (char& c : text) c = kAlphabet[pick(rng)];
    ASSERT_TRUE(TableMatchesScans<uint32_t>(text)) << "[" << text << "]";
    if (i % 10 == 0) {
      ASSERT_TRUE(TableMatchesScans<uint64_t>(text)) << "[" << text << "]";
    }
  }
}

}  // namespace
}  // namespace json
