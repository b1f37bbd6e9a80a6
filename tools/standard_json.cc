#include "standard_json.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "report_text.h"

namespace ostrel_cli {

namespace {

bool isJsonSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string byteName(unsigned char c) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", c);
  return text;
}

class StandardJsonCheck {
 public:
  explicit StandardJsonCheck(const std::string& text) : m_text(text) {}

  StandardJsonResult Run() {
    if (m_text.compare(0, 3, "\xEF\xBB\xBF") == 0)
      return fail(0, "a byte order mark (JSON text has none)");
    Want want = Want::Value;
    size_t i = 0;
    for (;;) {
      while (i < m_text.size() && isJsonSpace(m_text[i])) ++i;
      if (i == m_text.size()) {
        if (want == Want::End) return m_result;
        return fail(i, m_stack.empty() && want == Want::Value
                           ? "no value: the text is empty"
                           : "the text ends inside an unclosed '" +
                                 std::string(1, m_stack.back() ? '{' : '[') +
                                 "'");
      }
      const char c = m_text[i];
      switch (want) {
        case Want::End:
          return fail(i, "more text after the JSON value");
        case Want::Colon:
          if (c != ':') return fail(i, "a member name without ':' after it");
          ++i;
          want = Want::Value;
          break;
        case Want::KeyOrClose:
        case Want::Key:
          if (c == '}' && want == Want::KeyOrClose) {
            ++i;
            want = closed();
          } else if (c == '"') {
            if (!string(i)) return m_result;
            want = Want::Colon;
          } else if (c == '}') {
            return fail(i, "a trailing comma before '}'");
          } else {
            return unexpected(i, "a member name in double quotes");
          }
          break;
        case Want::CommaOrClose: {
          const bool bObject = m_stack.back();
          if (c == ',') {
            ++i;
            want = bObject ? Want::Key : Want::Value;
          } else if (c == (bObject ? '}' : ']')) {
            ++i;
            want = closed();
          } else {
            return unexpected(i, bObject ? "',' or '}'" : "',' or ']'");
          }
          break;
        }
        case Want::Value:
        case Want::ValueOrClose:
          if (c == ']' && want == Want::ValueOrClose) {
            ++i;
            want = closed();
            break;
          }
          if (c == ']' && !m_stack.empty() && !m_stack.back())
            return fail(i, "a trailing comma before ']'");
          if (c == '{' || c == '[') {
            m_stack.push_back(c == '{');
            ++i;
            want = c == '{' ? Want::KeyOrClose : Want::ValueOrClose;
            break;
          }
          if (!scalar(i)) return m_result;
          want = afterValue();
          break;
      }
    }
  }

 private:
  enum class Want {
    Value,
    ValueOrClose,
    KeyOrClose,
    Key,
    Colon,
    CommaOrClose,
    End
  };

  StandardJsonResult fail(size_t offset, std::string problem) {
    m_result.bValid = false;
    m_result.offset = offset;
    m_result.problem = std::move(problem);
    return m_result;
  }

  // Names what stands at `at` where `expected` should.
  StandardJsonResult unexpected(size_t at, const std::string& expected) {
    const unsigned char c = static_cast<unsigned char>(m_text[at]);
    std::string found;
    if (c == '/' && at + 1 < m_text.size() &&
        (m_text[at + 1] == '/' || m_text[at + 1] == '*'))
      found = "a comment (JSON has none)";
    else if (c == '\'')
      found = "a single quote (JSON quotes with '\"')";
    else if (c < 0x20 || c >= 0x7F)
      found = "the byte " + byteName(c);
    else
      found = std::string("'") + static_cast<char>(c) + "'";
    return fail(at, found + " where " + expected + " should be");
  }

  Want afterValue() const {
    return m_stack.empty() ? Want::End : Want::CommaOrClose;
  }

  Want closed() {
    m_stack.pop_back();
    return afterValue();
  }

  // A string, number or word at `i`; moves `i` past it. False after fail().
  bool scalar(size_t& i) {
    const char c = m_text[i];
    if (c == '"') return string(i);
    if (c == '-' || isDigit(c)) return number(i);
    for (const char* word : {"true", "false", "null"}) {
      const std::string w = word;
      if (m_text.compare(i, w.size(), w) == 0) {
        i += w.size();
        return true;
      }
    }
    size_t end = i;
    while (end < m_text.size() &&
           ((m_text[end] >= 'a' && m_text[end] <= 'z') ||
            (m_text[end] >= 'A' && m_text[end] <= 'Z') || isDigit(m_text[end])))
      ++end;
    if (end > i) {
      fail(i, "the word '" + m_text.substr(i, std::min<size_t>(end - i, 20)) +
                  "' (JSON has true, false and null, in lower case, and "
                  "strings in double quotes)");
      return false;
    }
    if (c == '}' || c == ']' || c == ',')
      fail(i, std::string("'") + c + "' where a value should be");
    else
      unexpected(i, "a value");
    return false;
  }

  bool number(size_t& i) {
    const size_t start = i;
    if (m_text[i] == '-') ++i;
    if (i == m_text.size() || !isDigit(m_text[i])) {
      fail(start, "a '-' without digits after it");
      return false;
    }
    if (m_text[i] == '0' && i + 1 < m_text.size() && isDigit(m_text[i + 1])) {
      fail(start, "a number with a leading zero");
      return false;
    }
    while (i < m_text.size() && isDigit(m_text[i])) ++i;
    if (i < m_text.size() && m_text[i] == '.') {
      ++i;
      if (i == m_text.size() || !isDigit(m_text[i])) {
        fail(start, "a number with no digit after its '.'");
        return false;
      }
      while (i < m_text.size() && isDigit(m_text[i])) ++i;
    }
    if (i < m_text.size() && (m_text[i] == 'e' || m_text[i] == 'E')) {
      ++i;
      if (i < m_text.size() && (m_text[i] == '+' || m_text[i] == '-')) ++i;
      if (i == m_text.size() || !isDigit(m_text[i])) {
        fail(start, "a number with no digit in its exponent");
        return false;
      }
      while (i < m_text.size() && isDigit(m_text[i])) ++i;
    }
    return true;
  }

  // Four hex digits at `at`, or -1.
  long hex4(size_t at) const {
    if (m_text.size() - at < 4) return -1;
    long value = 0;
    for (size_t k = 0; k < 4; ++k) {
      const int digit = hexValue(m_text[at + k]);
      if (digit < 0) return -1;
      value = value * 16 + digit;
    }
    return value;
  }

  bool string(size_t& i) {
    const size_t start = i++;
    while (i < m_text.size()) {
      const unsigned char c = static_cast<unsigned char>(m_text[i]);
      if (c == '"') {
        ++i;
        return true;
      }
      if (c < 0x20) {
        fail(i, "the control byte " + byteName(c) +
                    " unescaped in a string (write it as \\u00" +
                    byteName(c).substr(2) + ")");
        return false;
      }
      if (c >= 0x80) {
        const size_t length = Utf8SequenceLength(m_text, i);
        if (length == 0) {
          fail(i, "the byte " + byteName(c) + ", which is not UTF-8 here");
          return false;
        }
        i += length;
        continue;
      }
      if (c != '\\') {
        ++i;
        continue;
      }
      if (!escape(i)) return false;
    }
    fail(start, "a string that is never closed");
    return false;
  }

  // The escape at `i` (a backslash); moves `i` past it.
  bool escape(size_t& i) {
    const size_t at = i;
    if (i + 1 == m_text.size()) {
      fail(at, "a string that is never closed");
      return false;
    }
    const char e = m_text[i + 1];
    if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' ||
        e == 'r' || e == 't') {
      i += 2;
      return true;
    }
    if (e != 'u') {
      fail(at, std::string("the escape \\") +
                   (static_cast<unsigned char>(e) < 0x20 ||
                            static_cast<unsigned char>(e) >= 0x7F
                        ? byteName(static_cast<unsigned char>(e))
                        : std::string(1, e)) +
                   ", which JSON does not have");
      return false;
    }
    const long unit = hex4(i + 2);
    if (unit < 0) {
      fail(at, "a \\u escape without four hex digits");
      return false;
    }
    i += 6;
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      fail(at, "a \\u escape of a low surrogate with no high one before it");
      return false;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const long low =
          i + 1 < m_text.size() && m_text[i] == '\\' && m_text[i + 1] == 'u'
              ? hex4(i + 2)
              : -1;
      if (low < 0xDC00 || low > 0xDFFF) {
        fail(at, "a \\u escape of a high surrogate with no low one after it");
        return false;
      }
      i += 6;
    }
    return true;
  }

  const std::string& m_text;
  // The open brackets, innermost last: true for '{', false for '['.
  std::vector<bool> m_stack;
  StandardJsonResult m_result;
};

}  // namespace

StandardJsonResult CheckStandardJson(const std::string& text) {
  return StandardJsonCheck(text).Run();
}

}  // namespace ostrel_cli
