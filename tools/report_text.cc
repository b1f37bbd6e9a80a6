#include "report_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace ostrel_cli {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::Info:
      return "info";
    case Severity::Note:
      return "note";
    case Severity::Warning:
      return "warning";
    case Severity::Error:
      return "error";
  }
  return "unknown";
}

std::string Quoted(const std::string& bytes, size_t maxLength) {
  std::string out = "\"";
  size_t count = 0;
  for (unsigned char c : bytes) {
    if (count++ == maxLength) {
      out += "...";
      break;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  out += '"';
  return out;
}

size_t Utf8SequenceLength(const std::string& bytes, size_t at) {
  const unsigned char lead = static_cast<unsigned char>(bytes[at]);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (bytes.size() - at < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char c = static_cast<unsigned char>(bytes[at + k]);
    if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

size_t WeightedEditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = 2 * j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = 2 * i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      size_t substitution = 0;
      if (a[i - 1] != b[j - 1])
        substitution = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]) ? 1 : 2;
      row[j] = std::min({above + 2, row[j - 1] + 2, diagonal + substitution});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace ostrel_cli
