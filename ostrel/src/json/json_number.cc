#include "json_number.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace json {

namespace {

bool isClassicSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (lowerAscii(text[i]) != word[i]) return false;
  }
  return true;
}

// How many bytes from `from` on satisfy `pred`.
template <typename Pred>
std::size_t countWhile(std::string_view text, std::size_t from, Pred pred) {
  std::size_t i = from;
  while (i < text.size() && pred(text[i])) ++i;
  return i - from;
}

// Reads an exponent ("e+12", "p-3") at `from`: returns its length, 0 when
// no digit follows the mark (the mark is then not part of the number).
// The value saturates far beyond any double's range.
std::size_t readExponent(std::string_view text, std::size_t from,
                         int64_t* exponent) {
  std::size_t i = from + 1;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::size_t digits = countWhile(text, i, isDigit);
  if (digits == 0) return 0;
  int64_t value = 0;
  for (std::size_t k = i; k < i + digits; ++k) {
    if (value < 1000000000) value = value * 10 + (text[k] - '0');
  }
  *exponent = negative ? -value : value;
  return i + digits - from;
}

// The magnitude of a mantissa in digits: how many digits stand before the
// point from its first non-zero digit, negative for leading zeros after the
// point. Used only to tell overflow from underflow.
int64_t mantissaMagnitude(std::string_view mantissa) {
  std::size_t point = mantissa.find('.');
  std::size_t intLength =
      point == std::string_view::npos ? mantissa.size() : point;
  for (std::size_t i = 0; i < mantissa.size(); ++i) {
    char c = mantissa[i];
    if (c == '.' || c == '0') continue;
    if (i < intLength) return static_cast<int64_t>(intLength - i);
    return -static_cast<int64_t>(i - intLength - 1);
  }
  return 0;
}

double outOfRange(bool large) {
  return large ? std::numeric_limits<double>::infinity() : 0.0;
}

// How one base writes a number: its digits, its exponent mark (either case),
// the format from_chars reads, and how many binary or decimal exponent units
// one mantissa digit is worth (to tell overflow from underflow).
struct NumberForm {
  bool (*isDigitOf)(char);
  char exponentMark;  // lower case
  std::chars_format format;
  int64_t digitWeight;
};

constexpr NumberForm kDecimalForm{isDigit, 'e', std::chars_format::general, 1};
constexpr NumberForm kHexForm{isHexDigit, 'p', std::chars_format::hex, 4};

// A number of the given form at the front of `text` (no sign, no "0x"), or 0
// with *used 0.
double parseNumber(std::string_view text, const NumberForm& form,
                   std::size_t* used) {
  std::size_t intDigits = countWhile(text, 0, form.isDigitOf);
  std::size_t end = intDigits;
  std::size_t fracDigits = 0;
  if (end < text.size() && text[end] == '.') {
    fracDigits = countWhile(text, end + 1, form.isDigitOf);
    end += 1 + fracDigits;
  }
  *used = 0;
  if (intDigits + fracDigits == 0) return 0;
  std::string_view mantissa = text.substr(0, end);
  int64_t exponent = 0;
  if (end < text.size() && lowerAscii(text[end]) == form.exponentMark) {
    end += readExponent(text, end, &exponent);
  }
  *used = end;
  double value = 0;
  auto result =
      std::from_chars(text.data(), text.data() + end, value, form.format);
  if (result.ec == std::errc::result_out_of_range) {
    return outOfRange(
        form.digitWeight * mantissaMagnitude(mantissa) + exponent > 0);
  }
  return value;
}

// Skips leading classic whitespace and one optional sign, as atof and atoi
// do; returns where the digits start.
std::size_t skipSpaceAndSign(std::string_view text, bool* negative) {
  std::size_t i = 0;
  while (i < text.size() && isClassicSpace(text[i])) ++i;
  *negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    *negative = text[i] == '-';
    ++i;
  }
  return i;
}

}  // namespace

double parseClassicDouble(std::string_view text) {
  bool negative = false;
  std::size_t i = skipSpaceAndSign(text, &negative);
  std::string_view rest = text.substr(i);
  double magnitude = 0;
  if (startsWithNoCase(rest, "inf")) {
    magnitude = std::numeric_limits<double>::infinity();
  } else if (startsWithNoCase(rest, "nan")) {
    magnitude = std::numeric_limits<double>::quiet_NaN();
  } else {
    std::size_t used = 0;
    if (rest.size() > 2 && rest[0] == '0' &&
        (rest[1] == 'x' || rest[1] == 'X')) {
      magnitude = parseNumber(rest.substr(2), kHexForm, &used);
    }
    // "0x" without hex digits reads as the 0 before the x.
    if (used == 0) magnitude = parseNumber(rest, kDecimalForm, &used);
    if (used == 0) return 0;  // no number: no sign either
  }
  return negative ? -magnitude : magnitude;
}

int32_t parseClassicInt(std::string_view text) {
  bool negative = false;
  std::size_t i = skipSpaceAndSign(text, &negative);
  int64_t value = 0;
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) value = limit;  // saturate, keep reading the digits
  }
  return static_cast<int32_t>(negative ? -value : value);
}

void appendFixed(std::string& out, double number) {
  // "%f" of the largest double needs 317 characters.
  char buffer[500];
  auto result = std::to_chars(buffer, buffer + sizeof(buffer), number,
                              std::chars_format::fixed, 6);
  out.append(buffer, result.ptr);
}

}  // namespace json
