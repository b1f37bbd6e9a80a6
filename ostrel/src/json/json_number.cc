#include "json_number.h"

#include <charconv>
#include <cmath>
#include <cstring>
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

#if defined(__SIZEOF_INT128__)
// 5^-k for k = 1 to 19 as 128-bit fractions with their top bit set:
// floor(2^(127 + z) / 5^k) + 1, where 2^z is the least power of two not
// below 5^k. With the binary exponent of 10^-k these make the products
// below within one unit of their last bit of the true ones.
struct Fraction128 {
  uint64_t high;
  uint64_t low;
};
constexpr Fraction128 kFifthPowers[19] = {
    {0xccccccccccccccccu, 0xcccccccccccccccdu},  // 5^-1
    {0xa3d70a3d70a3d70au, 0x3d70a3d70a3d70a4u},
    {0x83126e978d4fdf3bu, 0x645a1cac083126eau},
    {0xd1b71758e219652bu, 0xd3c36113404ea4a9u},
    {0xa7c5ac471b478423u, 0x0fcf80dc33721d54u},  // 5^-5
    {0x8637bd05af6c69b5u, 0xa63f9a49c2c1b110u},
    {0xd6bf94d5e57a42bcu, 0x3d32907604691b4du},
    {0xabcc77118461cefcu, 0xfdc20d2b36ba7c3eu},
    {0x89705f4136b4a597u, 0x31680a88f8953031u},
    {0xdbe6fecebdedd5beu, 0xb573440e5a884d1cu},  // 5^-10
    {0xafebff0bcb24aafeu, 0xf78f69a51539d749u},
    {0x8cbccc096f5088cbu, 0xf93f87b7442e45d4u},
    {0xe12e13424bb40e13u, 0x2865a5f206b06fbau},
    {0xb424dc35095cd80fu, 0x538484c19ef38c95u},
    {0x901d7cf73ab0acd9u, 0x0f9d37014bf60a11u},  // 5^-15
    {0xe69594bec44de15bu, 0x4c2ebe687989a9b4u},
    {0xb877aa3236a4b449u, 0x09befeb9fad487c3u},
    {0x9392ee8e921d5d07u, 0x3aff322e62439fd0u},
    {0xec1e4a7db69561a5u, 0x2b31e9e3d06c32e6u},  // 5^-19
};

// Eight bytes at `p` as one little-endian word.
uint64_t eightBytes(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  word = __builtin_bswap64(word);
#endif
  return word;
}

// The value of the eight digits of `digits` (each byte a digit's value, the
// first digit in the lowest byte): pairs, then fours, then all eight
// combined in the word's lanes.
uint64_t eightDigitsValue(uint64_t digits) {
  digits = digits * 10 + (digits >> 8);  // each byte pair as one value
  const uint64_t pairs = 0x000000FF000000FFu;
  digits = ((digits & pairs) * (100 + (1000000ull << 32)) +
            ((digits >> 16) & pairs) * (1 + (10000ull << 32))) >>
           32;
  return static_cast<uint32_t>(digits);
}

constexpr uint64_t kPowersOfTen[9] = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Reads the decimal digits from `p` on into `mantissa`, eight at a time
// while eight bytes remain, and counts them in `count`; returns where they
// end, or null when they make more than 19 in all.
inline __attribute__((always_inline)) const char* readDigits(const char* p,
                                                             const char* last,
                                                             uint64_t& mantissa,
                                                             int& count) {
  while (last - p >= 8) {
    // Each byte minus '0'; a byte that is no digit leaves its top bit set
    // below, either itself (under '0') or once 0x76 is added (above '9').
    // A borrow only runs on to later bytes, so the first such byte is
    // found exactly.
    const uint64_t values = eightBytes(p) - 0x3030303030303030u;
    const uint64_t nonDigits =
        ((values + 0x7676767676767676u) | values) & 0x8080808080808080u;
    const int digits = nonDigits == 0 ? 8 : __builtin_ctzll(nonDigits) >> 3;
    if (count + digits > 19) return nullptr;
    if (digits > 0) {
      // The digits moved to the top lanes, zeros before them.
      mantissa = mantissa * kPowersOfTen[digits] +
                 eightDigitsValue(values << (64 - 8 * digits));
    }
    count += digits;
    p += digits;
    if (digits < 8) return p;
  }
  for (; p != last && isDigit(*p); ++p) {
    if (++count > 19) return nullptr;
    mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
  }
  return p;
}

// The double nearest to mantissa / 10^k, ties to even, for a mantissa of
// more than 53 bits (the general parser then takes this same way, with the
// same table: smaller ones it divides in floating point instead).
// REQUIRES: 2^53 < mantissa, 1 <= k <= 19.
double nearestOfQuotient(uint64_t mantissa, int k) {
  const int leadingZeros = __builtin_clzll(mantissa);
  const uint64_t w = mantissa << leadingZeros;
  const Fraction128& power = kFifthPowers[k - 1];
  const unsigned __int128 first =
      static_cast<unsigned __int128>(w) * power.high;
  uint64_t high = static_cast<uint64_t>(first >> 64);
  uint64_t low = static_cast<uint64_t>(first);
  // The 55 bits kept decide the rounding unless the 9 below them are all
  // ones; then the table's low word refines the product.
  if ((high & 0x1FF) == 0x1FF) {
    const unsigned __int128 second =
        static_cast<unsigned __int128>(w) * power.low;
    const uint64_t secondHigh = static_cast<uint64_t>(second >> 64);
    low += secondHigh;
    if (secondHigh > low) ++high;
  }
  const int upperBit = static_cast<int>(high >> 63);
  const int shift = upperBit + 9;
  uint64_t bits = high >> shift;
  // floor(-k * log2(10)) + 63, the exponent of the product's top bit.
  int64_t exponent = ((217706 * static_cast<int64_t>(-k)) >> 16) + 63 +
                     upperBit - leadingZeros + 1023;
  // An exact half (possible only for k of 4 or less) rounds to even.
  if (low <= 1 && k <= 4 && (bits & 3) == 1 && (bits << shift) == high) {
    bits &= ~uint64_t{1};
  }
  bits += bits & 1;
  bits >>= 1;
  if (bits >= (uint64_t{2} << 52)) {
    bits = uint64_t{1} << 52;
    ++exponent;
  }
  bits &= ~(uint64_t{1} << 52);
  bits |= static_cast<uint64_t>(exponent) << 52;
  double number;
  std::memcpy(&number, &bits, sizeof number);
  return number;
}
#endif

}  // namespace

std::from_chars_result readGeneralDouble(const char* first, const char* last,
                                         double& number) {
#if defined(__SIZEOF_INT128__)
  // [-]digits.digits, 19 digits at most, followed by no exponent mark.
  const bool negative = first != last && *first == '-';
  uint64_t mantissa = 0;
  int intDigits = 0;
  const char* p = readDigits(first + negative, last, mantissa, intDigits);
  if (p != nullptr && intDigits > 0 && p != last && *p == '.') {
    int digits = intDigits;
    p = readDigits(p + 1, last, mantissa, digits);
    if (p != nullptr && digits > intDigits && mantissa > (uint64_t{1} << 53) &&
        (p == last || lowerAscii(*p) != 'e')) {
      const double magnitude = nearestOfQuotient(mantissa, digits - intDigits);
      number = negative ? -magnitude : magnitude;
      return {p, std::errc()};
    }
  }
#endif
  return std::from_chars(first, last, number);
}

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
