#include <ostrel/cpp/values.h>

#include <cmath>

namespace ostrel {
namespace detail {

std::optional<double> ParseDouble(const char* first, const char* last) {
  double number = 0;
  const std::from_chars_result r = std::from_chars(first, last, number);
  if (r.ec != std::errc() || r.ptr != last || first == last ||
      !std::isfinite(number))
    return std::nullopt;
  return number;
}

std::optional<float> ParseFloat(const char* first, const char* last) {
  float number = 0;
  const std::from_chars_result r = std::from_chars(first, last, number);
  if (r.ec != std::errc() || r.ptr != last || first == last ||
      !std::isfinite(number))
    return std::nullopt;
  return number;
}

ConfigData FormatDouble(double value) {
  if (!std::isfinite(value)) return ConfigData();
  char text[32];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
  return ConfigData(std::string(text, r.ptr));
}

ConfigData FormatFloat(float value) {
  if (!std::isfinite(value)) return ConfigData();
  char text[32];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
  return ConfigData(std::string(text, r.ptr));
}

}  // namespace detail
}  // namespace ostrel
