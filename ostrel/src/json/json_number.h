// Number conversions of the JSON module, independent of the process locale.
//
// The reader classifies bare words with the classic "C" locale's text to
// number conversions and the writer formats with the classic printf
// conversions. Calling the C library for either would follow whatever locale
// the host process has set (a decimal comma, for instance), so these
// routines reimplement them with the same results in every locale.
// They keep no state; any thread may call them.
#ifndef OSTREL_SRC_JSON_JSON_NUMBER_H_
#define OSTREL_SRC_JSON_JSON_NUMBER_H_

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace json {

// As atof() in the "C" locale: leading whitespace, then the longest prefix
// that reads as a decimal or hexadecimal floating point number, an infinity
// or a NaN, correctly rounded; ±HUGE_VAL on overflow, ±0 (or a subnormal)
// on underflow, 0 when no prefix reads as a number. Bytes after a NUL are
// never part of the number.
double parseClassicDouble(std::string_view text);

// As std::from_chars(first, last, number) in its general format: the same
// number, end and error for every text. Numbers written with a point, 16
// to 19 digits and no exponent (coordinates, measurements) are read by a
// shorter path, the same computation without the general parser's cases.
std::from_chars_result readGeneralDouble(const char* first, const char* last,
                                         double& number);

// As atoi(): leading whitespace, optional sign, decimal digits. A number
// beyond the 32-bit range saturates at INT32_MIN or INT32_MAX (where the C
// library leaves the result undefined).
int32_t parseClassicInt(std::string_view text);

// Appends `number` as printf("%f") does in the "C" locale: fixed notation
// with six decimals, "inf", "-inf", "nan" or "-nan".
void appendFixed(std::string& out, double number);

}  // namespace json

#endif  // OSTREL_SRC_JSON_JSON_NUMBER_H_
