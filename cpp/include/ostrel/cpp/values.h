// Typed configuration values: the text a value holds, read as a bool, an
// integer, a double or a string, and written back.
//
//   std::optional<int> fps = ostrel::Parse<int>(ConfigData("30"));   // 30
//   ConfigData on = ostrel::Format(true);                            // "1"
//
// Reading is strict and does not depend on the locale (std::from_chars): the
// whole text must be the number, with nothing before or after it.
//
//   text      bool    int        unsigned   double   std::string
//   "1"       true    1          1          1.0      "1"
//   "0"       false   0          0          0.0      "0"
//   "true"    true    -          -          -        "true"
//   "false"   false   -          -          -        "false"
//   "on"      -       -          -          -        "on"
//   "TRUE"    -       -          -          -        "TRUE"
//   " 30"     -       -          -          -        " 30"
//   "30ms"    -       -          -          -        "30ms"
//   "0x1E"    -       -          -          -        "0x1E"
//   "+5"      -       -          -          -        "+5"
//   "-1"      -       -1         -          -1.0     "-1"
//   "2.5"     -       -          -          2.5      "2.5"
//   "1e3"     -       -          -          1000.0   "1e3"
//   "inf"     -       -          -          -        "inf"
//   ""        -       -          -          -        ""
//   absent    -       -          -          -        -
//
// "-" is std::nullopt. An integer out of the type's range ("300" as
// uint8_t) is std::nullopt. "absent" is the invalid ConfigData (a name that is
// not stored). Written values: bool as "1" or "0", integers in decimal,
// doubles in the shortest text that reads back to the same double (non-finite
// doubles cannot be written: Format gives the invalid value), strings as they
// are.
//
// Value types: bool, the integer types other than the character types
// (char, wchar_t, char16_t, char32_t), double and std::string.
#ifndef OSTREL_CPP_INCLUDE_OSTREL_CPP_VALUES_H_
#define OSTREL_CPP_INCLUDE_OSTREL_CPP_VALUES_H_

#include <charconv>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>

#include "ostrel.h"  // the exported interface (ostrel/include)

namespace ostrel {

template <class T>
struct IsValueType
    : std::bool_constant<std::is_same_v<T, bool> || std::is_same_v<T, double> ||
                         std::is_same_v<T, std::string> ||
                         (std::is_integral_v<T> && !std::is_same_v<T, char> &&
                          !std::is_same_v<T, wchar_t> &&
                          !std::is_same_v<T, char16_t> &&
                          !std::is_same_v<T, char32_t>)> {};

namespace detail {
std::optional<double> ParseDouble(const char* first, const char* last);
ConfigData FormatDouble(double value);
}  // namespace detail

template <class T>
std::optional<T> Parse(const ConfigData& value) {
  static_assert(IsValueType<std::remove_cv_t<T>>::value,
                "ostrel values are bool, integers, double or std::string");
  if (!value.IsValid()) return std::nullopt;
  const char* first = value.GetData();
  const char* last = first + value.GetLength();
  if constexpr (std::is_same_v<T, std::string>) {
    return std::string(first, last);
  } else if constexpr (std::is_same_v<T, bool>) {
    const std::string_view text(first, value.GetLength());
    if (text == "1" || text == "true") return true;
    if (text == "0" || text == "false") return false;
    return std::nullopt;
  } else if constexpr (std::is_same_v<T, double>) {
    return detail::ParseDouble(first, last);
  } else {
    T number{};
    const std::from_chars_result r = std::from_chars(first, last, number);
    if (r.ec != std::errc() || r.ptr != last || first == last)
      return std::nullopt;
    return number;
  }
}

// The value's text; a non-finite double gives the invalid value.
template <class T>
ConfigData Format(const T& value) {
  static_assert(IsValueType<T>::value,
                "ostrel values are bool, integers, double or std::string");
  if constexpr (std::is_same_v<T, std::string>) {
    return ConfigData(value);
  } else if constexpr (std::is_same_v<T, bool>) {
    return ConfigData(value ? "1" : "0");
  } else if constexpr (std::is_same_v<T, double>) {
    return detail::FormatDouble(value);
  } else {
    char text[24];
    const std::to_chars_result r =
        std::to_chars(text, text + sizeof text, value);
    return ConfigData(std::string(text, r.ptr));
  }
}

}  // namespace ostrel

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_VALUES_H_
