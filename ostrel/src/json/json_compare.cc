// Equality of values, objects and arrays, declared in json_value.h.
#include <algorithm>
#include <cmath>

#include "json_value.h"

namespace json {

namespace {

bool isNumericKind(ValueKind kind) {
  return kind == KindInt || kind == KindInt64 || kind == KindFloat ||
         kind == KindDouble || kind == KindUInt;
}

bool isFloatingKind(ValueKind kind) {
  return kind == KindFloat || kind == KindDouble;
}

// The number of a numeric value, read from the field of its kind.
double numberAsDouble(const Value& value) {
  switch (value.GetKind()) {
    case KindInt:
      return value.GetInt();
    case KindInt64:
      return static_cast<double>(value.GetInt64());
    case KindUInt:
      return value.GetUInt();
    case KindFloat:
      return value.GetFloat();
    default:
      return value.GetDouble();
  }
}

// The number of an integer value; every integer kind fits in 64 bits.
int64_t integerAsInt64(const Value& value) {
  switch (value.GetKind()) {
    case KindInt:
      return value.GetInt();
    case KindUInt:
      return value.GetUInt();
    default:
      return value.GetInt64();
  }
}

bool closeEnough(double a, double b) { return std::fabs(a - b) < 1e-9; }

}  // namespace

bool operator==(const Value& a, const Value& b) {
  if (a.GetKind() == b.GetKind()) {
    switch (a.GetKind()) {
      case KindNull:
        return true;
      case KindString:
        return a.GetString() == b.GetString();
      case KindBool:
        return a.GetBool() == b.GetBool();
      case KindObject:
        return a.GetObject() == b.GetObject();
      case KindArray:
        return a.GetArray() == b.GetArray();
      case KindInt:
        return a.GetInt() == b.GetInt();
      case KindInt64:
        return a.GetInt64() == b.GetInt64();
      case KindUInt:
        return a.GetUInt() == b.GetUInt();
      case KindFloat:
        return closeEnough(a.GetFloat(), b.GetFloat());
      case KindDouble:
        return closeEnough(a.GetDouble(), b.GetDouble());
    }
    return false;
  }
  if (!isNumericKind(a.GetKind()) || !isNumericKind(b.GetKind())) return false;
  if (isFloatingKind(a.GetKind()) || isFloatingKind(b.GetKind())) {
    return closeEnough(numberAsDouble(a), numberAsDouble(b));
  }
  return integerAsInt64(a) == integerAsInt64(b);
}

bool operator==(const Object& a, const Object& b) {
  if (a.size() != b.size()) return false;
  return std::equal(a.begin(), a.end(), b.begin(),
                    [](const auto& x, const auto& y) {
                      return x.first == y.first && x.second == y.second;
                    });
}

bool operator==(const Array& a, const Array& b) {
  if (a.size() != b.size()) return false;
  return std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace json
