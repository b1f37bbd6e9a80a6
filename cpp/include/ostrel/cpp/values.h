// Typed configuration values: the text a value holds, read as a bool, a
// number, an enum, a string or a type of the user's own, and written back.
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
// uint8_t) is std::nullopt; float reads as double does, and a number beyond
// float's range is std::nullopt. "absent" is the invalid ConfigData (a name
// that is not stored). Written values: bool as "1" or "0", integers in
// decimal, float and double in the shortest text that reads back to the same
// number (non-finite numbers cannot be written: Format gives the invalid
// value), strings as they are.
//
// Value types: bool, the integer types other than the character types
// (char, wchar_t, char16_t, char32_t), float, double, enums (read and
// written as their underlying integer: "2" is the enumerator of value 2,
// whether or not one is declared), std::string, and the user's own types
// that declare a parse / format pair beside the type, in its namespace
// (found by argument-dependent look-up):
//
//   namespace media {
//   struct Resolution { int width, height; };
//   bool OstrelParse(std::string_view text, Resolution* out);  // "1280x720"
//   std::string OstrelFormat(const Resolution& value);
//   }  // namespace media
//
// OstrelParse yields false for a text that is not a value of the type (the
// read is then std::nullopt) and must not throw for any text; OstrelFormat
// gives the text that OstrelParse reads back. Reads into a caller's buffer
// as std::string_view are Store::GetText (ostrel/cpp/store.h).
#ifndef OSTREL_CPP_INCLUDE_OSTREL_CPP_VALUES_H_
#define OSTREL_CPP_INCLUDE_OSTREL_CPP_VALUES_H_

#include <ostrel.h>  // the exported interface (ostrel/include)

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>

namespace ostrel {

namespace detail {

template <class T, class = void>
struct HasUserPair : std::false_type {};
template <class T>
struct HasUserPair<
    T, std::void_t<decltype(OstrelParse(std::declval<std::string_view>(),
                                        std::declval<T*>())),
                   decltype(OstrelFormat(std::declval<const T&>()))>>
    : std::bool_constant<
          std::is_convertible_v<decltype(OstrelParse(
                                    std::declval<std::string_view>(),
                                    std::declval<T*>())),
                                bool> &&
          std::is_convertible_v<
              decltype(OstrelFormat(std::declval<const T&>())), std::string>> {
};

template <class T>
constexpr bool kIsNumber =
    std::is_integral_v<T> && !std::is_same_v<T, bool> &&
    !std::is_same_v<T, char> && !std::is_same_v<T, wchar_t> &&
    !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t>;

std::optional<double> ParseDouble(const char* first, const char* last);
std::optional<float> ParseFloat(const char* first, const char* last);
ConfigData FormatDouble(double value);
ConfigData FormatFloat(float value);

}  // namespace detail

template <class T>
struct IsValueType
    : std::bool_constant<std::is_same_v<T, bool> || std::is_same_v<T, double> ||
                         std::is_same_v<T, float> ||
                         std::is_same_v<T, std::string> ||
                         detail::kIsNumber<T> || std::is_enum_v<T> ||
                         detail::HasUserPair<T>::value> {};

// The text read as T; std::nullopt when it is not a T (see the table).
template <class T>
std::optional<T> ParseText(std::string_view text) {
  static_assert(IsValueType<std::remove_cv_t<T>>::value,
                "ostrel values are bool, numbers, enums, std::string or types "
                "with an OstrelParse / OstrelFormat pair");
  const char* first = text.data();
  const char* last = first + text.size();
  if constexpr (std::is_same_v<T, std::string>) {
    return std::string(text);
  } else if constexpr (std::is_same_v<T, bool>) {
    if (text == "1" || text == "true") return true;
    if (text == "0" || text == "false") return false;
    return std::nullopt;
  } else if constexpr (std::is_same_v<T, double>) {
    return detail::ParseDouble(first, last);
  } else if constexpr (std::is_same_v<T, float>) {
    return detail::ParseFloat(first, last);
  } else if constexpr (std::is_enum_v<T>) {
    std::optional<std::underlying_type_t<T>> number =
        ParseText<std::underlying_type_t<T>>(text);
    if (!number) return std::nullopt;
    return static_cast<T>(*number);
  } else if constexpr (detail::kIsNumber<T>) {
    T number{};
    const std::from_chars_result r = std::from_chars(first, last, number);
    if (r.ec != std::errc() || r.ptr != last || first == last)
      return std::nullopt;
    return number;
  } else {
    T value{};
    if (!OstrelParse(text, &value)) return std::nullopt;
    return value;
  }
}

template <class T>
std::optional<T> Parse(const ConfigData& value) {
  if (!value.IsValid()) return std::nullopt;
  return ParseText<T>(std::string_view(value.GetData(), value.GetLength()));
}

// The value's text; a non-finite number gives the invalid value.
template <class T>
ConfigData Format(const T& value) {
  static_assert(IsValueType<T>::value,
                "ostrel values are bool, numbers, enums, std::string or types "
                "with an OstrelParse / OstrelFormat pair");
  if constexpr (std::is_same_v<T, std::string>) {
    return ConfigData(value);
  } else if constexpr (std::is_same_v<T, bool>) {
    return ConfigData(value ? "1" : "0");
  } else if constexpr (std::is_same_v<T, double>) {
    return detail::FormatDouble(value);
  } else if constexpr (std::is_same_v<T, float>) {
    return detail::FormatFloat(value);
  } else if constexpr (std::is_enum_v<T>) {
    return Format(static_cast<std::underlying_type_t<T>>(value));
  } else if constexpr (detail::kIsNumber<T>) {
    char text[24];
    const std::to_chars_result r =
        std::to_chars(text, text + sizeof text, value);
    return ConfigData(std::string(text, r.ptr));
  } else {
    return ConfigData(std::string(OstrelFormat(value)));
  }
}

// What a read found: the name absent, its text read as a T, or a text that is
// not a T (kept in `raw`, so the caller can say what was stored).
enum class ReadStatus { kAbsent, kParsed, kNotA };

template <class T>
struct [[nodiscard]] Reading {
  ReadStatus status = ReadStatus::kAbsent;
  std::optional<T> value;  // set exactly when status is kParsed
  std::string raw;         // the stored text; empty when absent

  explicit operator bool() const noexcept {
    return status == ReadStatus::kParsed;
  }
  const T& operator*() const { return *value; }
  const T* operator->() const { return &*value; }
  T ValueOr(T fallback) const { return value ? *value : std::move(fallback); }
};

// Reads `value` (the invalid value: absent) as a T, saying why it is not one.
template <class T>
Reading<T> ReadingOf(const ConfigData& value) {
  Reading<T> reading;
  if (!value.IsValid()) return reading;
  reading.raw.assign(value.GetData(), value.GetLength());
  reading.value = ParseText<T>(reading.raw);
  reading.status = reading.value ? ReadStatus::kParsed : ReadStatus::kNotA;
  return reading;
}

}  // namespace ostrel

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_VALUES_H_
