#include "json_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "json_brackets.h"
#include "json_byte_search.h"
#include "json_number.h"

namespace json {

namespace {

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

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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
    const std::from_chars_result r = readGeneralDouble(first, last, number);
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

// Reads one document. Every routine works on index ranges [begin, end) of
// the one text instead of on copies of what remains of it, so that reading
// stays linear in the size of the document.
//
// Matching brackets: a closing bracket is looked up in the bracket table
// (json_brackets.h), which answers what a scan from each opening bracket
// would find and counts each container's element slots, so that an array is
// given its room once instead of growing by doubling. A scan that fails must
// still leave its unmatched marks on the nesting stack; it is run for real,
// which costs no more than the text the failing container would have
// covered. `Position` is the table's position type.
template <typename Position>
class DocumentReader {
 public:
  explicit DocumentReader(std::string_view text)
      : m_text(text), m_brackets(text) {}

  Value readTop() {
    Value document;
    ++m_readsInProgress;
    readDocument(0, m_text.size(), document);
    --m_readsInProgress;
    return document;
  }

 private:
  void readDocument(std::size_t begin, std::size_t end, Value& out);
  void readObject(std::size_t begin, std::size_t end, Value& out);
  void readArray(std::size_t begin, std::size_t end, Value& out);
  void readElement(std::size_t& pos, std::size_t& end, bool& error, Value& out);
  bool readNumberElement(std::size_t& pos, std::size_t end, Value& out) const;
  bool readNumberArray(std::size_t& pos, std::size_t end, Value& out);
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
  // The table's closing bracket for the opening one at `open`, or kNone.
  std::size_t tabledClosingBracket(std::size_t open);
  bool popIfTop(NestMark mark) {
    if (m_stack.empty() || m_stack.back() != mark) return false;
    m_stack.pop_back();
    return true;
  }

  std::string_view m_text;
  std::vector<NestMark> m_stack;
  int m_readsInProgress = 0;
  BracketTable<Position> m_brackets;
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
    const char first = m_text[pos];
    if ((first == '-' || (first >= '0' && first <= '9')) &&
        readNumberElement(pos, workEnd, *slot)) {
      continue;
    }
    if (first == '[' && readNumberArray(pos, workEnd, *slot)) {
      // A "," after it would only read as a null element, which is dropped.
      std::size_t next = pos;
      while (next < workEnd && isTrimmed(m_text[next])) ++next;
      if (next < workEnd && m_text[next] == ',') pos = next + 1;
      continue;
    }
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

// An element that is a number followed by "," or by the end of the array's
// text (trimmed bytes aside), read as readElement() reads it, without the
// scans for where it ends: the number's own bytes are what the classic
// reading would trim the element to, and none of them is a separator,
// bracket or whitespace, so both readings see the same token. False, with
// nothing read, for every other element.
template <typename Position>
bool DocumentReader<Position>::readNumberElement(std::size_t& pos,
                                                 std::size_t end,
                                                 Value& out) const {
  const char first = m_text[pos];
  if (first != '-' && (first < '0' || first > '9')) return false;
  const char* const begin = m_text.data() + pos;
  double number = 0;
  const std::from_chars_result r =
      readGeneralDouble(begin, m_text.data() + end, number);
  if (r.ec != std::errc()) return false;
  const std::size_t length = static_cast<std::size_t>(r.ptr - begin);
  std::size_t after = pos + length;
  while (after < end && isTrimmed(m_text[after])) ++after;
  if (after < end && m_text[after] != ',') return false;
  bool fraction = false;
  for (std::size_t i = 0; i < length && !fraction; ++i) {
    fraction = begin[i] == '.' || begin[i] == 'e';
  }
  if (fraction) {
    out.SetDouble(number);
  } else if (!readPlainNumber(std::string_view(begin, length), false, out)) {
    return false;
  }
  pos = after < end ? after + 1 : end;
  return true;
}

// An element that is an array of numbers only, each of which
// readNumberElement() reads (coordinates, vectors): read with the table's
// closing bracket, without the general path's scans and without the nesting
// marks, which reading such an array leaves as they were. False, with `pos`
// and `out` unchanged, for every other element: the general path then reads
// it from its start, so no array is attempted here more than once.
template <typename Position>
bool DocumentReader<Position>::readNumberArray(std::size_t& pos,
                                               std::size_t end, Value& out) {
  if (m_text[pos] != '[' || m_readsInProgress >= kMaxNestedReads) return false;
  const std::size_t close = tabledClosingBracket(pos);
  if (close == kNone || close >= end) return false;
  Array array;
  std::size_t at = pos + 1;
  while (true) {
    while (at < close && isTrimmed(m_text[at])) ++at;
    if (at == close) break;
    if (array.empty()) array.reserve(elementBound(pos, close + 1));
    if (!readNumberElement(at, close, array.emplace_back())) return false;
  }
  out = Value(std::move(array));
  pos = close + 1;
  return true;
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
  const auto* match = m_brackets.find(begin);
  if (match == nullptr || match->close != end - 1) return 1;
  return std::min<std::size_t>(match->slotCount(), byBytes);
}

// How many members the object text [begin, end) is given room for: one per
// slot in the bracket table, and never more than its bytes can fill (a
// member takes a quoted key of a byte or more and a colon). Members that
// follow each other without a comma are then found room by growing.
template <typename Position>
std::size_t DocumentReader<Position>::memberBound(std::size_t begin,
                                                  std::size_t end) {
  const std::size_t byBytes = (end - begin - 2) / 4;
  const auto* match = m_brackets.find(begin);
  if (match == nullptr || match->close != end - 1) return 1;
  return std::min<std::size_t>(match->slotCount(), byBytes);
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
  const auto* match = m_brackets.find(open);
  return match == nullptr || match->close == m_brackets.kNoPosition
             ? kNone
             : match->close;
}

}  // namespace

Value FromText(std::string_view text) {
  if (text.size() < (std::size_t{1} << 31)) {
    return DocumentReader<uint32_t>(text).readTop();
  }
  return DocumentReader<uint64_t>(text).readTop();
}

Value FromText(const std::string& text) {
  return FromText(std::string_view(text));
}

Value FromText(const char* szText) {
  if (szText == nullptr) return Value();
  return FromText(std::string_view(szText));
}

}  // namespace json