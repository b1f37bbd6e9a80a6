#include "json_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include "json_number.h"

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif
#endif

namespace json {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Marks of the nesting stack: which kind of bracket is open.
enum NestMark : uint8_t { NestObject = 0, NestArray = 1 };

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Bytes that trimming removes from both ends of a text.
bool isTrimmed(char c) { return c == '\0' || isSpace(c); }

bool equalsNoCase(std::string_view token, std::string_view word) {
  if (token.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = token[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return true;
}

void trimString(std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && isTrimmed(text[end - 1])) --end;
  std::size_t begin = 0;
  while (begin < end && isTrimmed(text[begin])) ++begin;
  if (begin != 0 || end != text.size()) text = text.substr(begin, end - begin);
}

bool isStructuralByte(char c) {
  return c == '"' || c == ',' || c == '[' || c == ']' || c == '{' || c == '}';
}

// "[" and "]" differ from "{" and "}" only in bit 0x20, and no other byte
// turns into "{" or "}" when that bit is set.
bool isOpeningBracket(char c) { return (c | 0x20) == '{'; }

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#define OSTREL_JSON_SSE2 1

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

int lowestSetBit(uint32_t mask) {
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

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads one document. Every routine works on index ranges [begin, end) of
// the one text instead of on copies of what remains of it, so that reading
// stays linear in the size of the document.
//
// Matching brackets: a closing bracket is searched for by scanning forward
// with a nesting stack, where a double quote not preceded by a backslash
// toggles an in-quote state that hides brackets. Whether a bracket is hidden
// depends only on the parity of such quotes since the scan's start, so all
// scans fall into two phases, and one pass over the text (the bracket table)
// finds the closing bracket that a scan from each opening bracket would
// find. A scan that fails must still leave its unmatched marks on the
// nesting stack; it is run for real, which costs no more than the text the
// failing container would have covered.
//
// The same pass counts each container's element slots (see BracketMatch),
// so that an array is given its room once instead of growing by doubling.
// `Position` holds the table's positions: 32 bits for documents under 2 GB
// (the table is the reader's largest block on bracket-heavy documents).
template <typename Position>
class DocumentReader {
 public:
  explicit DocumentReader(std::string_view text) : m_text(text) {}

  Value readTop() {
    Value document;
    ++m_readsInProgress;
    readDocument(0, m_text.size(), document);
    --m_readsInProgress;
    return document;
  }

 private:
  struct BracketMatch;
  void readDocument(std::size_t begin, std::size_t end, Value& out);
  void readObject(std::size_t begin, std::size_t end, Value& out);
  void readArray(std::size_t begin, std::size_t end, Value& out);
  void readElement(std::size_t& pos, std::size_t& end, bool& error, Value& out);
  std::size_t elementBound(std::size_t begin, std::size_t end);
  std::size_t memberBound(std::size_t begin, std::size_t end);
  void readValue(std::size_t& pos, std::size_t& end, bool& error, Value& out);
  void readContainer(std::size_t& pos, std::size_t end, bool& error,
                     Value& out);

  Value readScalar(std::size_t& pos, std::size_t end, bool& error);
  void readString(std::size_t begin, std::size_t end, Value& out) const;

  void trim(std::size_t& begin, std::size_t& end) const {
    while (begin < end && isTrimmed(m_text[begin])) ++begin;
    while (end > begin && isTrimmed(m_text[end - 1])) --end;
  }
  std::size_t findClosingQuote(std::size_t from, std::size_t end) const;
  // The first `byte` in [from, end), or kNone.
  std::size_t findByte(char byte, std::size_t from, std::size_t end) const {
    return findByteIn(m_text, byte, from, end);
  }
  std::size_t findClosingBracket(std::size_t begin, std::size_t end);
  std::size_t scanForClosingBracket(std::size_t begin, std::size_t end);
  std::size_t tabledClosingBracket(std::size_t open);
  // The table's entry of the opening bracket at `open`, or null.
  const BracketMatch* tabledMatch(std::size_t open);
  void buildBracketTable();
  bool popIfTop(NestMark mark) {
    if (m_stack.empty() || m_stack.back() != mark) return false;
    m_stack.pop_back();
    return true;
  }

  std::string_view m_text;
  std::vector<NestMark> m_stack;
  int m_readsInProgress = 0;

  // The bracket table: every opening bracket's position with the position
  // of the bracket a scan from it would close at (kNone if none), ascending.
  // `slots` bounds how many elements an array read from it can hold when
  // its commas and brackets are where the table sees them: one, plus one
  // per comma at its own level, plus one per nested container that follows
  // another in the same slot (kSlotHasChild marks that while scanning).
  struct BracketMatch {
    Position open;
    Position close;  // while the bracket is open: the enclosing entry
    Position slots;
  };
  static constexpr Position kNoPosition = static_cast<Position>(-1);
  static constexpr Position kSlotHasChild = ~(kNoPosition >> 1);
  // The entries sit in the reader itself for documents of a few brackets,
  // so that reading them takes no block for the table.
  static constexpr std::size_t kInlineMatches = 256;
  BracketMatch* m_matches = m_inlineMatches;
  std::size_t m_matchCount = 0;
  std::unique_ptr<BracketMatch[]> m_heapMatches;
  BracketMatch m_inlineMatches[kInlineMatches];
  bool m_tableBuilt = false;
  std::size_t m_cursor = 0;  // reads look brackets up in ascending order
};

// The recursive routines below write their result into `out`, which is
// null on entry: members and elements are read straight into their place in
// the tree, so that no value is held on the stack across a nested read.
template <typename Position>
void DocumentReader<Position>::readDocument(std::size_t begin, std::size_t end,
                                            Value& out) {
  trim(begin, end);
  if (begin == end) return;
  const char first = m_text[begin];
  const char last = m_text[end - 1];
  if (first == '{') {
    if (last != '}') return;
    m_stack.push_back(NestObject);
    readObject(begin, end, out);
    if (!out.IsNull()) popIfTop(NestObject);
  } else if (first == '[') {
    if (last != ']') return;
    m_stack.push_back(NestArray);
    readArray(begin, end, out);
    if (!out.IsNull()) popIfTop(NestArray);
  }
}

// REQUIRES: the text starts with "{" and ends with "}".
template <typename Position>
void DocumentReader<Position>::readObject(std::size_t begin, std::size_t end,
                                          Value& out) {
  std::size_t pos = begin + 1;
  std::size_t workEnd = end - 1;
  Object object;
  if (pos < workEnd) object.reserve(memberBound(begin, end));
  while (pos < workEnd) {
    // Whatever stands before the key's opening quote (the "," between
    // members, whitespace) and between its closing quote and the ":" is
    // passed over unread.
    const std::size_t openQuote = findClosingQuote(pos, workEnd);
    if (openQuote == kNone) return;
    const std::size_t closeQuote = findClosingQuote(openQuote + 1, workEnd);
    if (closeQuote == kNone) return;
    const std::size_t colon =
        closeQuote + 1 < workEnd && m_text[closeQuote + 1] == ':'
            ? closeQuote + 1
            : findByte(':', closeQuote, workEnd);
    if (colon == kNone) return;
    if (closeQuote == openQuote + 1) return;  // empty key
    // A later duplicate key replaces the earlier member.
    Value& member =
        object[m_text.substr(openQuote + 1, closeQuote - openQuote - 1)];
    if (!member.IsNull()) member = Value();
    pos = colon + 1;
    bool error = false;
    readValue(pos, workEnd, error, member);
    if (error) return;  // the whole object reads as null
  }
  out = Value(std::move(object));
}

template <typename Position>
void DocumentReader<Position>::readArray(std::size_t begin, std::size_t end,
                                         Value& out) {
  trim(begin, end);
  if (end - begin < 2 || m_text[begin] != '[' || m_text[end - 1] != ']') {
    return;
  }
  std::size_t pos = begin + 1;
  std::size_t workEnd = end - 1;
  Array array;
  Value* slot = nullptr;  // the last element
  bool reserved = false;
  while (true) {
    // Bytes that every element's reading trims away may be passed over: a
    // remainder of nothing else reads as a null element, which is dropped.
    while (pos < workEnd && isTrimmed(m_text[pos])) ++pos;
    if (pos == workEnd) break;
    if (!reserved) {
      reserved = true;
      array.reserve(elementBound(begin, end));
    }
    // The element is read in place; a null one leaves its slot for the next.
    if (slot == nullptr || !slot->IsNull()) slot = &array.emplace_back();
    bool error = false;
    readElement(pos, workEnd, error, *slot);
    if (error) return;  // the whole array reads as null
  }
  if (slot != nullptr && slot->IsNull()) array.pop_back();
  out = Value(std::move(array));
}

// One element from the front of the array's remaining text [pos, end).
template <typename Position>
void DocumentReader<Position>::readElement(std::size_t& pos, std::size_t& end,
                                           bool& error, Value& out) {
  const std::size_t stop = findElementStop(m_text, pos, end);
  if (stop != kNone && isOpeningBracket(m_text[stop])) {
    // A nested element: read from the start of the remaining text, so
    // that bytes collected before the bracket are trimmed or read.
    return readValue(pos, end, error, out);
  }
  // Up to the "," or "]", or the whole remaining text without either.
  std::size_t elementBegin = pos;
  std::size_t elementEnd = stop != kNone ? stop : end;
  pos = stop != kNone ? stop + 1 : end;
  return readValue(elementBegin, elementEnd, error, out);
}

// How many elements the array text [begin, end) can hold at most: its
// slots in the bracket table, and never more than its bytes can fill (an
// element takes a byte and, but for the last, a separator or a closing
// bracket after it). Room for a bound that proves short in an odd document
// (quotes that hide commas from the table) is then found by growing.
template <typename Position>
std::size_t DocumentReader<Position>::elementBound(std::size_t begin,
                                                   std::size_t end) {
  const std::size_t inside = end - begin - 2;
  const std::size_t byBytes = inside == 0 ? 0 : (inside - 1) / 2 + 1;
  const BracketMatch* match = tabledMatch(begin);
  if (match == nullptr || match->close != end - 1) return 1;
  return std::min<std::size_t>(match->slots & ~kSlotHasChild, byBytes);
}

// How many members the object text [begin, end) is given room for: one per
// slot in the bracket table, and never more than its bytes can fill (a
// member takes a quoted key of a byte or more and a colon). Members that
// follow each other without a comma are then found room by growing.
template <typename Position>
std::size_t DocumentReader<Position>::memberBound(std::size_t begin,
                                                  std::size_t end) {
  const std::size_t byBytes = (end - begin - 2) / 4;
  const BracketMatch* match = tabledMatch(begin);
  if (match == nullptr || match->close != end - 1) return 1;
  return std::min<std::size_t>(match->slots & ~kSlotHasChild, byBytes);
}

// Reads one value from the front of [pos, end) and consumes its text. The
// range is trimmed in place first, so what remains is always a suffix of
// the trimmed text.
template <typename Position>
void DocumentReader<Position>::readValue(std::size_t& pos, std::size_t& end,
                                         bool& error, Value& out) {
  error = false;
  trim(pos, end);
  if (pos == end) return;
  const char first = m_text[pos];
  if (first == '[' || first == '{') return readContainer(pos, end, error, out);
  if (first == '"') {
    const std::size_t closeQuote = findClosingQuote(pos + 1, end);
    if (closeQuote == kNone) {
      error = true;
      return;
    }
    readString(pos + 1, closeQuote, out);
    pos = closeQuote + 1;
    return;
  }
  out = readScalar(pos, end, error);
}

template <typename Position>
void DocumentReader<Position>::readContainer(std::size_t& pos, std::size_t end,
                                             bool& error, Value& out) {
  if (m_readsInProgress >= kMaxNestedReads) {
    error = true;  // too deep: neither marked nor scanned
    return;
  }
  const bool isArray = m_text[pos] == '[';
  m_stack.push_back(isArray ? NestArray : NestObject);
  const std::size_t close = findClosingBracket(pos, end);
  if (close == kNone) {
    error = true;
    return;
  }
  ++m_readsInProgress;
  if (isArray) {
    readArray(pos, close + 1, out);
  } else {
    readDocument(pos, close + 1, out);
  }
  --m_readsInProgress;
  pos = close + 1;
}

// The value a bare word without whitespace reads as, when it is a plain
// number whose reading needs none of the classic rules' special cases:
// with a dot or an exponent mark, a token that std::from_chars reads whole
// and in range (what the classic conversion computes for it too, as it
// reads the same mantissa and exponent with the same routine); without
// either, an optional minus and one to nine digits (an int, exactly). False
// for anything else, which the general path reads.
constexpr std::size_t kLongestPlainNumber = 64;

bool readPlainNumber(std::string_view token, bool bFraction, Value& out) {
  const char* first = token.data();
  const char* last = first + token.size();
  if (bFraction) {
    double number = 0;
    const std::from_chars_result r = std::from_chars(first, last, number);
    if (r.ec != std::errc() || r.ptr != last) return false;
    out = Value(number);
    return true;
  }
  const char* digits = first != last && *first == '-' ? first + 1 : first;
  if (digits == last || last - digits > 9) return false;
  int32_t number = 0;
  for (const char* p = digits; p != last; ++p) {
    if (*p < '0' || *p > '9') return false;
    number = number * 10 + (*p - '0');
  }
  out = Value(digits == first ? number : -number);
  return true;
}

// A bare word up to the first "," (which stays unread): whitespace inside
// it is dropped, and "]" or "}" in it must close the innermost open bracket.
template <typename Position>
Value DocumentReader<Position>::readScalar(std::size_t& pos, std::size_t end,
                                           bool& error) {
  // A number that fills the whole range (an array element, as a rule): no
  // comma, bracket or whitespace stands in it, so the scan below would only
  // find its dot or exponent mark.
  if (end - pos <= kLongestPlainNumber) {
    const std::string_view whole = m_text.substr(pos, end - pos);
    Value number;
    if (whole.find_first_of(".e") != std::string_view::npos &&
        readPlainNumber(whole, true, number)) {
      pos = end;
      return number;
    }
  }
  bool dotSeen = false;
  bool exponentSeen = false;
  bool spaceSeen = false;
  std::size_t i = pos;
  for (; i < end; ++i) {
    const char c = m_text[i];
    if (c == ',') break;
    if (c == '.') {
      dotSeen = true;
    } else if (c == 'e') {
      exponentSeen = true;
    } else if (c == ']' || c == '}') {
      if (!popIfTop(c == ']' ? NestArray : NestObject)) {
        error = true;
        return Value();
      }
    } else if (isSpace(c)) {
      spaceSeen = true;
    }
  }
  std::string_view token = m_text.substr(pos, i - pos);
  std::string compacted;
  if (spaceSeen) {
    compacted.reserve(token.size());
    for (char c : token) {
      if (!isSpace(c)) compacted.push_back(c);
    }
    token = compacted;
  }
  pos = i;

  if (!spaceSeen) {
    if (Value number; readPlainNumber(token, dotSeen || exponentSeen, number))
      return number;
  }
  if (equalsNoCase(token, "true")) return Value(true);
  if (equalsNoCase(token, "false")) return Value(false);
  const double number = parseClassicDouble(token);
  if (dotSeen || exponentSeen) return Value(number);
  if (equalsNoCase(token, "null")) return Value();
  if (number >= -2147483648.0 && number <= 2147483647.0) {
    return Value(parseClassicInt(token));
  }
  if (number >= 0 && number <= 4294967295.0) {
    return Value(static_cast<uint32_t>(number));
  }
  return Value(number);  // beyond both ranges, or NaN
}

// A string body with escapes decoded, trimmed. Of a \u escape only the last
// two of its four hex digits count, giving one byte.
template <typename Position>
void DocumentReader<Position>::readString(std::size_t begin, std::size_t end,
                                          Value& out) const {
  std::string_view body = m_text.substr(begin, end - begin);
  std::string text;
  if (findByte('\\', begin, end) == kNone) {
    std::size_t from = 0;
    std::size_t to = body.size();
    while (from < to && isTrimmed(body[from])) ++from;
    while (to > from && isTrimmed(body[to - 1])) --to;
    return out.SetString(body.substr(from, to - from));
  }
  text.reserve(body.size());
  std::size_t i = 0;
  while (i < body.size()) {
    const char c = body[i];
    if (c != '\\' || i + 1 == body.size()) {
      text.push_back(c);
      ++i;
      continue;
    }
    const char escaped = body[i + 1];
    switch (escaped) {
      case '"':
      case '/':
      case '\\':
        text.push_back(escaped);
        break;
      case 'b':
        text.push_back('\b');
        break;
      case 'f':
        text.push_back('\f');
        break;
      case 'n':
        text.push_back('\n');
        break;
      case 'r':
        text.push_back('\r');
        break;
      case 't':
        text.push_back('\t');
        break;
      case 'u': {
        // The hex digits at offsets 4 and 5 (as many as the body holds),
        // read as far as they are hex digits.
        int byte = 0;
        for (std::size_t k = i + 4; k < i + 6 && k < body.size(); ++k) {
          const int digit = hexDigitValue(body[k]);
          if (digit < 0) break;
          byte = byte * 16 + digit;
        }
        text.push_back(static_cast<char>(static_cast<unsigned char>(byte)));
        i += 6;
        continue;
      }
      default:
        break;  // an unknown escape yields nothing
    }
    i += 2;
  }
  trimString(text);
  out.SetString(text);
}

// The first double quote at or after `from` that is not escaped, or kNone.
// A backslash escapes the byte after it unless it is itself escaped, so a
// quote is escaped exactly when an odd run of backslashes (counted from
// `from` on) stands right before it.
template <typename Position>
std::size_t DocumentReader<Position>::findClosingQuote(std::size_t from,
                                                       std::size_t end) const {
  // Most quotes sought stand at `from` or right after a separator there.
  if (from < end && m_text[from] == '"') return from;
  if (from + 1 < end && m_text[from + 1] == '"' && m_text[from] != '\\') {
    return from + 1;
  }
  std::size_t i = from;
  while (i < end) {
    const std::size_t quote = findByte('"', i, end);
    if (quote == kNone) return kNone;
    std::size_t backslashes = 0;
    while (quote - backslashes > from &&
           m_text[quote - backslashes - 1] == '\\') {
      ++backslashes;
    }
    if (backslashes % 2 == 0) return quote;
    i = quote + 1;
  }
  return kNone;
}

// REQUIRES: the mark for the bracket at `begin` is on top of the stack.
// Returns the position of the closing bracket within [begin, end), having
// popped that mark; or kNone, leaving on the stack what the scan pushed.
template <typename Position>
std::size_t DocumentReader<Position>::findClosingBracket(std::size_t begin,
                                                         std::size_t end) {
  const std::size_t close = tabledClosingBracket(begin);
  if (close != kNone && close < end) {
    m_stack.pop_back();
    return close;
  }
  return scanForClosingBracket(begin, end);
}

template <typename Position>
std::size_t DocumentReader<Position>::scanForClosingBracket(std::size_t begin,
                                                            std::size_t end) {
  const std::size_t entryDepth = m_stack.size();
  if (end - begin < 2) return kNone;
  bool inQuote = false;
  for (std::size_t i = begin + 1; i < end; ++i) {
    const char c = m_text[i];
    if (c == '"') {
      if (m_text[i - 1] != '\\') inQuote = !inQuote;
    } else if (inQuote) {
      continue;
    } else if (c == '[') {
      m_stack.push_back(NestArray);
    } else if (c == '{') {
      m_stack.push_back(NestObject);
    } else if (c == ']' || c == '}') {
      const NestMark wanted = c == ']' ? NestArray : NestObject;
      if (m_stack.empty() || m_stack.back() != wanted) return kNone;
      const std::size_t depthBeforePop = m_stack.size();
      m_stack.pop_back();
      if (depthBeforePop == entryDepth) return i;
    }
  }
  return kNone;
}

template <typename Position>
std::size_t DocumentReader<Position>::tabledClosingBracket(std::size_t open) {
  const BracketMatch* match = tabledMatch(open);
  return match == nullptr || match->close == kNoPosition ? kNone : match->close;
}

template <typename Position>
auto DocumentReader<Position>::tabledMatch(std::size_t open)
    -> const BracketMatch* {
  if (!m_tableBuilt) buildBracketTable();
  if (m_cursor > 0 && m_matches[m_cursor - 1].open >= open) {
    m_cursor = 0;  // not the reader's ascending order; search afresh
  }
  // Usually the next opening bracket is only a few entries ahead.
  for (int step = 0;
       step < 8 && m_cursor < m_matchCount && m_matches[m_cursor].open < open;
       ++step) {
    ++m_cursor;
  }
  const BracketMatch* const end = m_matches + m_matchCount;
  const BracketMatch* it = m_matches + m_cursor;
  if (it != end && it->open < open) {
    it = std::lower_bound(it, end, open,
                          [](const BracketMatch& match, std::size_t position) {
                            return match.open < position;
                          });
  }
  m_cursor = static_cast<std::size_t>(it - m_matches);
  if (it == end || it->open != open) return nullptr;
  return it;
}

// One pass with a stack of open brackets per quote phase, linked through
// the entries themselves (an open entry's `close` names the one enclosing
// it), so that the table is the only memory the pass takes, sized exactly
// by counting the brackets first (every "[" and "{" counted gets its entry
// below, in whichever phase). A closing bracket of the wrong kind ends
// every scan still open in its phase, so that phase's stack is cleared; one
// that finds its phase's stack empty ends no scan.
template <typename Position>
void DocumentReader<Position>::buildBracketTable() {
  m_tableBuilt = true;
  const std::size_t count = countOpeningBrackets(m_text);
  if (count > kInlineMatches) {
    m_heapMatches.reset(new BracketMatch[count]);
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
        BracketMatch& parent = m_matches[top[phase]];
        parent.slots = (parent.slots & ~kSlotHasChild) + 1;
      }
    } else if (c == '[' || c == '{') {
      if (top[phase] != kNoPosition) {
        BracketMatch& parent = m_matches[top[phase]];
        if (parent.slots & kSlotHasChild) ++parent.slots;
        parent.slots |= kSlotHasChild;
      }
      m_matches[m_matchCount] =
          BracketMatch{static_cast<Position>(i), top[phase], 1};
      top[phase] = static_cast<Position>(m_matchCount++);
    } else {
      Position& entry = top[phase];
      if (entry != kNoPosition) {
        BracketMatch& match = m_matches[entry];
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

}  // namespace

Value FromText(std::string_view text) {
  if (text.size() < (std::size_t{1} << 31)) {
    return DocumentReader<uint32_t>(text).readTop();
  }
  return DocumentReader<std::size_t>(text).readTop();
}

Value FromText(const std::string& text) {
  return FromText(std::string_view(text));
}

Value FromText(const char* szText) {
  if (szText == nullptr) return Value();
  return FromText(std::string_view(szText));
}

}  // namespace json
