#include "reference_reader_for_test.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "json_reader.h"

namespace json {
namespace reference {

namespace {

enum Nest { NestObject = 0, NestArray = 1 };

struct State {
  std::vector<Nest> stack;
  int readsInProgress = 0;
};

bool IsWhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string TrimText(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == '\0' || IsWhite(text[b]))) ++b;
  while (e > b && (text[e - 1] == '\0' || IsWhite(text[e - 1]))) --e;
  return text.substr(b, e - b);
}

std::size_t FindClosingQuote(const std::string& text, std::size_t start) {
  bool escape = false;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (text[i] == '"' && !escape) return i;
    escape = text[i] == '\\' && !escape;
  }
  return std::string::npos;
}

std::size_t FindClosingBracket(const std::string& text, State& st) {
  const std::size_t entry = st.stack.size();
  if (text.size() < 2) return std::string::npos;
  bool inQuote = false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      if (text[i - 1] != '\\') inQuote = !inQuote;
      continue;
    }
    if (inQuote) continue;
    if (c == '[') st.stack.push_back(NestArray);
    if (c == '{') st.stack.push_back(NestObject);
    if (c == ']' || c == '}') {
      Nest want = c == ']' ? NestArray : NestObject;
      if (st.stack.empty() || st.stack.back() != want) {
        return std::string::npos;
      }
      std::size_t before = st.stack.size();
      st.stack.pop_back();
      if (before == entry) return i;
    }
  }
  return std::string::npos;
}

int HexValue(char c) {
  static const char kDigits[] = "0123456789abcdef0123456789ABCDEF";
  const char* at = c == '\0' ? nullptr : std::strchr(kDigits, c);
  return at == nullptr ? -1 : static_cast<int>(at - kDigits) % 16;
}

std::string UnescapeText(const std::string& body) {
  std::string out;
  std::size_t i = 0;
  while (i < body.size()) {
    if (body[i] != '\\' || i + 1 == body.size()) {
      out += body[i];
      i += 1;
      continue;
    }
    char n = body[i + 1];
    if (n == 'u') {
      int v = 0;
      for (std::size_t k = i + 4; k < i + 6 && k < body.size(); ++k) {
        if (HexValue(body[k]) < 0) break;
        v = v * 16 + HexValue(body[k]);
      }
      out += static_cast<char>(v & 0xFF);
      i += 6;
      continue;
    }
    static const char kEscaped[] = "\"/\\bfnrt", kMeant[] = "\"/\\\b\f\n\r\t";
    const char* at = n == '\0' ? nullptr : std::strchr(kEscaped, n);
    if (at != nullptr) out += kMeant[at - kEscaped];
    i += 2;
  }
  return TrimText(out);
}

bool EqualsNoCase(std::string a, const char* b) {
  for (char& c : a) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  return a == b;
}

int32_t SaturatingAtoi(const std::string& token) {
  long long v = std::strtoll(token.c_str(), nullptr, 10);
  if (v > 2147483647LL) return 2147483647;
  if (v < -2147483648LL) return -2147483647 - 1;
  return static_cast<int32_t>(v);
}

Value ReadArray(std::string text, State& st);
Value ReadDocument(std::string text, State& st);

Value ReadValue(std::string& text, bool& error, State& st) {
  error = false;
  text = TrimText(text);
  if (text.empty()) return Value();
  if (text[0] == '[' || text[0] == '{') {
    if (st.readsInProgress >= kMaxNestedReads) {
      error = true;
      return Value();
    }
    st.stack.push_back(text[0] == '[' ? NestArray : NestObject);
    std::size_t close = FindClosingBracket(text, st);
    if (close == std::string::npos) {
      error = true;
      return Value();
    }
    ++st.readsInProgress;
    Value v = text[0] == '[' ? ReadArray(text.substr(0, close + 1), st)
                             : ReadDocument(text.substr(0, close + 1), st);
    --st.readsInProgress;
    text = text.substr(close + 1);
    return v;
  }
  if (text[0] == '"') {
    std::size_t q = FindClosingQuote(text, 1);
    if (q == std::string::npos) {
      error = true;
      return Value();
    }
    Value v(UnescapeText(text.substr(1, q - 1)));
    text = text.substr(q + 1);
    return v;
  }
  std::string token;
  bool dot = false, exponent = false;
  std::size_t i = 0;
  for (; i < text.size() && text[i] != ','; ++i) {
    char c = text[i];
    if (c == '.') dot = true;
    if (c == 'e') exponent = true;
    if (c == ']' || c == '}') {
      Nest want = c == ']' ? NestArray : NestObject;
      if (st.stack.empty() || st.stack.back() != want) {
        error = true;
        return Value();
      }
      st.stack.pop_back();
    }
    if (!IsWhite(c)) token += c;
  }
  text = text.substr(i);
  if (EqualsNoCase(token, "true")) return Value(true);
  if (EqualsNoCase(token, "false")) return Value(false);
  if (dot || exponent) return Value(std::atof(token.c_str()));
  if (EqualsNoCase(token, "null")) return Value();
  double d = std::atof(token.c_str());
  if (d >= -2147483648.0 && d <= 2147483647.0) {
    return Value(SaturatingAtoi(token));
  }
  if (d >= 0 && d <= 4294967295.0) return Value(static_cast<uint32_t>(d));
  return Value(d);
}

Value ReadObject(std::string text, State& st) {
  text = TrimText(text);
  text = text.substr(1, text.size() - 2);
  Object object;
  while (!text.empty()) {
    std::size_t q1 = FindClosingQuote(text, 0);
    if (q1 == std::string::npos) return Value();
    std::size_t q2 = FindClosingQuote(text, q1 + 1);
    if (q2 == std::string::npos) return Value();
    std::size_t colon = text.find(':', q2);
    if (colon == std::string::npos) return Value();
    std::string key = text.substr(q1 + 1, q2 - q1 - 1);
    if (key.empty()) return Value();
    text = text.substr(colon + 1);
    bool error = false;
    Value v = ReadValue(text, error, st);
    object[key] = v;
    if (error) return Value();
  }
  return Value(object);
}

Value ReadArray(std::string text, State& st) {
  text = TrimText(text);
  if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
    return Value();
  }
  text = text.substr(1, text.size() - 2);
  Array array;
  while (!text.empty()) {
    std::string element;
    bool error = false;
    Value v;
    for (std::size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == '{' || c == '[') {
        v = ReadValue(text, error, st);
        break;
      }
      if (c == ',' || c == ']') {
        v = ReadValue(element, error, st);
        text = text.substr(i + 1);
        break;
      }
      element += c;
      if (i + 1 == text.size()) {
        v = ReadValue(element, error, st);
        text = text.substr(i + 1);
        break;
      }
    }
    if (error) return Value();
    if (!v.IsNull()) array.push_back(v);
  }
  return Value(array);
}

Value ReadDocument(std::string text, State& st) {
  text = TrimText(text);
  if (text.empty() || (text[0] != '{' && text[0] != '[')) return Value();
  const Nest nest = text[0] == '{' ? NestObject : NestArray;
  if (text.back() != (nest == NestObject ? '}' : ']')) return Value();
  st.stack.push_back(nest);
  Value v = nest == NestObject ? ReadObject(text, st) : ReadArray(text, st);
  if (!v.IsNull() && !st.stack.empty() && st.stack.back() == nest) {
    st.stack.pop_back();
  }
  return v;
}

}  // namespace

Value FromText(const std::string& text) {
  State st;
  st.readsInProgress = 1;
  return ReadDocument(text, st);
}

bool Same(const Value& a, const Value& b) {
  const double x = a.GetDouble(), y = b.GetDouble();
  const bool sameDouble =
      std::isnan(x) ? std::isnan(y) && std::signbit(x) == std::signbit(y)
                    : std::memcmp(&x, &y, sizeof x) == 0;
  if (a.GetKind() != b.GetKind() || a.GetString() != b.GetString() ||
      a.GetInt() != b.GetInt() || a.GetUInt() != b.GetUInt() ||
      a.GetBool() != b.GetBool() || !sameDouble || a.size() != b.size()) {
    return false;
  }
  if (a.GetKind() == KindObject) {
    auto other = b.GetObject().begin();
    for (const auto& member : a.GetObject()) {
      if (member.first != other->first || !Same(member.second, other->second))
        return false;
      ++other;
    }
  } else if (a.GetKind() == KindArray) {
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (!Same(a.GetArray()[i], b.GetArray()[i])) return false;
    }
  }
  return true;
}

bool PlainMatchesTree(const PlainDocument& plain, const Value& tree) {
  if (tree.GetKind() != KindObject ||
      tree.GetObject().size() != plain.groups.size()) {
    return false;
  }
  auto group = plain.groups.begin();
  for (const auto& member : tree.GetObject()) {
    const PlainGroup& expected = *group++;
    if (member.first != expected.key || member.second.GetKind() != KindArray) {
      return false;
    }
    // The plain reading keeps the entries up to the first incomplete one.
    std::size_t kept = 0;
    bool bIncomplete = false;
    for (const Value& element : member.second.GetArray()) {
      if (element.GetKind() != KindObject) return false;
      for (const auto& field : element.GetObject()) {
        if (field.second.GetKind() != KindString) return false;
      }
      if (bIncomplete) continue;
      if (kept == expected.entryCount) return false;
      const PlainEntry& entry = plain.entries[expected.firstEntry + kept++];
      if (element.HasKey("key") != entry.bHasName ||
          element.HasKey("value") != entry.bHasValue ||
          element["key"].GetString() != entry.name ||
          element["value"].GetString() != entry.value) {
        return false;
      }
      bIncomplete = !entry.bHasName || !entry.bHasValue;
    }
    if (kept != expected.entryCount) return false;
  }
  return true;
}

}  // namespace reference
}  // namespace json
