// FieldNames::LoadJson: a flat JSON object of strings, read by a reader of
// its own (the layer builds only on the exported interface).
#include <ostrel/cpp/statistics.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {

namespace {

class FlatReader {
 public:
  explicit FlatReader(const std::string& text) : m_text(text) {}

  // The members of a flat object of string values, in text order.
  bool Read(std::vector<std::pair<std::string, std::string>>& members,
            std::string& error) {
    skipSpace();
    if (!take('{')) return fail("expected '{'", error);
    skipSpace();
    if (!take('}')) {
      for (;;) {
        std::string key, value;
        skipSpace();
        if (!readString(key)) return fail("expected a string key", error);
        skipSpace();
        if (!take(':')) return fail("expected ':'", error);
        skipSpace();
        if (!readString(value)) return fail("expected a string name", error);
        members.emplace_back(std::move(key), std::move(value));
        skipSpace();
        if (take('}')) break;
        if (!take(',')) return fail("expected ',' or '}'", error);
      }
    }
    skipSpace();
    if (m_at != m_text.size()) return fail("text after the object", error);
    return true;
  }

 private:
  bool fail(const char* what, std::string& error) const {
    error = std::string(what) + " at byte " + std::to_string(m_at);
    return false;
  }
  void skipSpace() {
    while (m_at < m_text.size() &&
           (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
            m_text[m_at] == '\n' || m_text[m_at] == '\r')) {
      ++m_at;
    }
  }
  bool take(char c) {
    if (m_at < m_text.size() && m_text[m_at] == c) {
      ++m_at;
      return true;
    }
    return false;
  }
  static void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  bool readString(std::string& out) {
    if (!take('"')) return false;
    while (m_at < m_text.size()) {
      const char c = m_text[m_at++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (m_at >= m_text.size()) return false;
      const char e = m_text[m_at++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          if (m_text.size() - m_at < 4) return false;
          const std::string hex = m_text.substr(m_at, 4);
          char* end = nullptr;
          const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
          if (end != hex.c_str() + 4) return false;
          m_at += 4;
          appendUtf8(out, static_cast<uint32_t>(code));
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  const std::string& m_text;
  size_t m_at = 0;
};

// "<record kind name>+<offset>" naming a field of the layout tables.
bool parseKey(const std::string& key, RecordKind& kind, uint32_t& offset) {
  const size_t plus = key.find('+');
  if (plus == std::string::npos || plus + 1 >= key.size()) return false;
  const std::string kindName = key.substr(0, plus);
  const std::string digits = key.substr(plus + 1);
  if (digits.find_first_not_of("0123456789") != std::string::npos ||
      digits.size() > 5) {
    return false;
  }
  offset = static_cast<uint32_t>(std::stoul(digits));
  for (RecordKind k : {RecordKind::kAudioSession, RecordKind::kAudioStream,
                       RecordKind::kAudioAuxiliary, RecordKind::kVideoStream,
                       RecordKind::kVideoSession}) {
    if (kindName != RecordKindName(k)) continue;
    kind = k;
    for (const FieldLayout& layout : FieldLayouts(k)) {
      if (layout.offset == offset) return true;
    }
  }
  return false;
}

}  // namespace

bool FieldNames::LoadJson(const std::string& text, std::string* pError) {
  std::string error;
  std::vector<std::pair<std::string, std::string>> members;
  std::vector<std::pair<std::pair<RecordKind, uint32_t>, std::string>> names;
  bool bOk = FlatReader(text).Read(members, error);
  for (size_t i = 0; bOk && i < members.size(); ++i) {
    RecordKind kind;
    uint32_t offset = 0;
    if (!parseKey(members[i].first, kind, offset)) {
      error = "unknown field \"" + members[i].first + "\"";
      bOk = false;
    } else {
      names.push_back({{kind, offset}, members[i].second});
    }
  }
  if (!bOk) {
    if (pError != nullptr) *pError = error;
    return false;
  }
  for (auto& name : names) m_names[name.first] = std::move(name.second);
  return true;
}

}  // namespace ostrel
