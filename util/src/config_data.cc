#include <cstdio>

#include <ConfigData.h>

std::string ConfigData::ToString() const {
  if (!m_bValid) return "<invalid>";
  std::string out;
  out.reserve(m_strData.size());
  for (unsigned char c : m_strData) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof(hex), "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}
