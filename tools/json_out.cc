#include "json_out.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "report_text.h"

namespace ostrel_cli {

void JsonOut::separate() {
  if (m_bAfterKey) {
    m_bAfterKey = false;
    return;
  }
  if (!m_hasItem.empty()) {
    if (m_hasItem.back()) m_text += ',';
    m_hasItem.back() = true;
  }
}

void JsonOut::appendString(const std::string& value) {
  m_text += '"';
  for (size_t i = 0; i < value.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(value, i);
      if (length == 0) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04X", c);
        m_text += escape;
      } else {
        m_text.append(value, i, length);
        i += length - 1;
      }
      continue;
    }
    switch (c) {
      case '"':
        m_text += "\\\"";
        break;
      case '\\':
        m_text += "\\\\";
        break;
      case '\n':
        m_text += "\\n";
        break;
      case '\t':
        m_text += "\\t";
        break;
      case '\r':
        m_text += "\\r";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04X", c);
          m_text += escape;
        } else {
          m_text += static_cast<char>(c);
        }
    }
  }
  m_text += '"';
}

JsonOut& JsonOut::open(char bracket) {
  separate();
  m_text += bracket;
  m_hasItem.push_back(false);
  return *this;
}

JsonOut& JsonOut::close(char bracket) {
  m_text += bracket;
  if (!m_hasItem.empty()) m_hasItem.pop_back();
  return *this;
}

JsonOut& JsonOut::BeginObject() { return open('{'); }
JsonOut& JsonOut::EndObject() { return close('}'); }
JsonOut& JsonOut::BeginArray() { return open('['); }
JsonOut& JsonOut::EndArray() { return close(']'); }

JsonOut& JsonOut::Key(const std::string& key) {
  separate();
  appendString(key);
  m_text += ':';
  m_bAfterKey = true;
  return *this;
}

JsonOut& JsonOut::String(const std::string& value) {
  separate();
  appendString(value);
  return *this;
}

JsonOut& JsonOut::Int(int64_t value) {
  separate();
  m_text += std::to_string(value);
  return *this;
}

JsonOut& JsonOut::Double(double value) {
  separate();
  if (!std::isfinite(value)) {
    m_text += "null";
    return *this;
  }
  char text[32];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
  m_text.append(text, r.ptr);
  return *this;
}

JsonOut& JsonOut::Bool(bool bValue) {
  separate();
  m_text += bValue ? "true" : "false";
  return *this;
}

JsonOut& JsonOut::Null() {
  separate();
  m_text += "null";
  return *this;
}

}  // namespace ostrel_cli
