#include "json_writer.h"

#include <charconv>

#include "json_number.h"

namespace json {

namespace {

void appendValue(std::string& out, const Value& value);

template <typename Integer>
void appendInteger(std::string& out, Integer number) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof(buffer), number);
  out.append(buffer, result.ptr);
}

void appendObject(std::string& out, const Object& object) {
  out.push_back('{');
  bool first = true;
  for (const auto& member : object) {
    if (!first) out.push_back(',');
    first = false;
    out.push_back('"');
    out.append(member.first);
    out.append("\":");
    appendValue(out, member.second);
  }
  out.push_back('}');
}

void appendArray(std::string& out, const Array& array) {
  out.push_back('[');
  bool first = true;
  for (const Value& element : array) {
    if (!first) out.push_back(',');
    first = false;
    appendValue(out, element);
  }
  out.push_back(']');
}

void appendValue(std::string& out, const Value& value) {
  switch (value.GetKind()) {
    case KindString:
      out.push_back('"');
      out.append(value.GetString());
      out.push_back('"');
      return;
    case KindInt:
      appendInteger(out, value.GetInt());
      return;
    case KindInt64:
      appendInteger(out, value.GetInt64());
      return;
    case KindUInt:
      appendInteger(out, value.GetUInt());
      return;
    case KindFloat:
      appendFixed(out, static_cast<double>(value.GetFloat()));
      return;
    case KindDouble:
      appendFixed(out, value.GetDouble());
      return;
    case KindObject:
      appendObject(out, value.GetObject());
      return;
    case KindArray:
      appendArray(out, value.GetArray());
      return;
    case KindBool:
      out.append(value.GetBool() ? "true" : "false");
      return;
    case KindNull:
      break;
  }
  out.append("null");
}

}  // namespace

std::string ToText(const Value& value) {
  std::string out;
  if (value.GetKind() == KindObject) appendObject(out, value.GetObject());
  if (value.GetKind() == KindArray) appendArray(out, value.GetArray());
  return out;
}

std::string ValueToText(const Value& value) {
  std::string out;
  appendValue(out, value);
  return out;
}

std::string ArrayToText(const Array& array) {
  std::string out;
  appendArray(out, array);
  return out;
}

}  // namespace json
