#include "json_plain_document.h"

#include <algorithm>

namespace json {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// A cursor over the text that accepts only the plain form.
class PlainReader {
 public:
  explicit PlainReader(std::string_view text) : m_text(text) {}

  bool read(PlainDocument& document) {
    skipSpace();
    if (!take('{')) return false;
    // An object holding only whitespace reads as null, so "{}" is the only
    // empty object.
    if (!take('}')) {
      do {
        skipSpace();
        if (!readGroup(document)) return false;
        skipSpace();
      } while (take(','));
      if (!take('}')) return false;
    }
    skipSpace();
    return m_pos == m_text.size();
  }

 private:
  void skipSpace() {
    while (m_pos < m_text.size() && isSpace(m_text[m_pos])) ++m_pos;
  }
  bool take(char c) {
    if (m_pos < m_text.size() && m_text[m_pos] == c) {
      ++m_pos;
      return true;
    }
    return false;
  }
  // A string without backslash or NUL; its bytes between the quotes.
  bool readString(std::string_view& out) {
    if (!take('"')) return false;
    const std::size_t begin = m_pos;
    while (m_pos < m_text.size()) {
      const char c = m_text[m_pos];
      if (c == '"') {
        out = m_text.substr(begin, m_pos - begin);
        ++m_pos;
        return true;
      }
      if (c == '\\' || c == '\0') return false;
      ++m_pos;
    }
    return false;
  }
  // A member name and its colon; the name must not be empty.
  bool readName(std::string_view& name) {
    if (!readString(name) || name.empty()) return false;
    skipSpace();
    if (!take(':')) return false;
    skipSpace();
    return true;
  }

  bool readGroup(PlainDocument& document) {
    PlainGroup group;
    if (!readName(group.key) || !take('[')) return false;
    group.firstEntry = document.entries.size();
    // Entries after the first without "key" or "value" are never applied;
    // they are read but not kept, so that memory stays small whatever the
    // array holds.
    bool bIncompleteKept = false;
    skipSpace();
    if (!take(']')) {
      do {
        skipSpace();
        if (!readEntry(document, bIncompleteKept)) return false;
        skipSpace();
      } while (take(','));
      if (!take(']')) return false;
    }
    group.entryCount = document.entries.size() - group.firstEntry;
    document.groups.push_back(group);
    return true;
  }

  bool readEntry(PlainDocument& document, bool& bIncompleteKept) {
    if (!take('{')) return false;
    PlainEntry entry;
    if (!take('}')) {
      do {
        skipSpace();
        std::string_view name;
        std::string_view value;
        if (!readName(name) || !readString(value)) return false;
        if (name == "key") {
          entry.name = trimmed(value);
          entry.bHasName = true;
        } else if (name == "value") {
          entry.value = trimmed(value);
          entry.bHasValue = true;
        }
        skipSpace();
      } while (take(','));
      if (!take('}')) return false;
    }
    if (bIncompleteKept) return true;
    bIncompleteKept = !entry.bHasName || !entry.bHasValue;
    document.entries.push_back(entry);
    return true;
  }

  static std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
  }

  std::string_view m_text;
  std::size_t m_pos = 0;
};

}  // namespace

bool ReadPlainConfigDocument(std::string_view text, PlainDocument& document) {
  document.groups.clear();
  document.entries.clear();
  if (!PlainReader(text).read(document)) return false;
  // Ascending keys; of a repeated key the last array counts.
  std::stable_sort(
      document.groups.begin(), document.groups.end(),
      [](const PlainGroup& a, const PlainGroup& b) { return a.key < b.key; });
  auto kept = document.groups.begin();
  for (auto it = document.groups.begin(); it != document.groups.end(); ++it) {
    auto next = it + 1;
    if (next != document.groups.end() && next->key == it->key) continue;
    *kept++ = *it;
  }
  document.groups.erase(kept, document.groups.end());
  return true;
}

}  // namespace json
