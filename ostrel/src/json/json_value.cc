#include "json_value.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <utility>

namespace json {

namespace {

// Conversions from floating point truncate toward zero. Numbers beyond the
// target's range saturate and NaN gives 0, so that no conversion is ever
// undefined; such fields carry no meaning for the value's kind anyway.
int32_t truncateToInt32(double number) {
  if (std::isnan(number)) return 0;
  if (number >= 2147483648.0) return std::numeric_limits<int32_t>::max();
  if (number <= -2147483649.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(number);
}

int64_t truncateToInt64(double number) {
  if (std::isnan(number)) return 0;
  if (number >= 9223372036854775808.0) {
    return std::numeric_limits<int64_t>::max();
  }
  if (number < -9223372036854775808.0) {
    return std::numeric_limits<int64_t>::min();
  }
  return static_cast<int64_t>(number);
}

uint32_t truncateToUInt32(double number) {
  if (std::isnan(number) || number < 0) return 0;
  if (number >= 4294967296.0) return std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(number);
}

float narrowToFloat(double number) {
  if (number > FLT_MAX) return std::numeric_limits<float>::infinity();
  if (number < -FLT_MAX) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(number);
}

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

const Value& sharedNull() {
  static const Value kNull;
  return kNull;
}

}  // namespace

// ---------------------------------------------------------------- Object

Value& Object::operator[](const char* szKey) {
  return (*this)[std::string_view(szKey ? szKey : "")];
}

Value& Object::operator[](const std::string& key) {
  return (*this)[std::string_view(key)];
}

Value& Object::operator[](std::string_view key) {
  auto it = m_members.lower_bound(key);
  if (it != m_members.end() && it->first == key) return it->second;
  return m_members.try_emplace(it, std::string(key))->second;
}

bool Object::HasKey(std::string_view key) const {
  return m_members.find(key) != m_members.end();
}

bool Object::HasKey(const char* szKey) const {
  return szKey != nullptr && HasKey(std::string_view(szKey));
}

int Object::HasKeys(const std::vector<std::string>& keys) const {
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (!HasKey(std::string_view(keys[i]))) return static_cast<int>(i);
  }
  return -1;
}

int Object::HasKeys(const char* const* pKeys, std::size_t count) const {
  if (pKeys == nullptr) return -1;
  for (std::size_t i = 0; i < count; ++i) {
    if (!HasKey(pKeys[i])) return static_cast<int>(i);
  }
  return -1;
}

std::size_t Object::erase(std::string_view key) {
  auto it = m_members.find(key);
  if (it == m_members.end()) return 0;
  m_members.erase(it);
  return 1;
}

void Object::Set(std::string key, Value&& value) {
  // Hinted at the end, keys that arrive in ascending order need no search.
  const std::size_t before = m_members.size();
  auto it =
      m_members.try_emplace(m_members.end(), std::move(key), std::move(value));
  // try_emplace leaves both arguments untouched when the key is present.
  if (m_members.size() == before) it->second = std::move(value);
}

// ----------------------------------------------------------------- Array

void Array::push_back(const Value& value) { m_elements.push_back(value); }

void Array::push_back(Value&& value) { m_elements.push_back(std::move(value)); }

Value& Array::emplace_back() { return m_elements.emplace_back(); }

void Array::pop_back() {
  if (!m_elements.empty()) m_elements.pop_back();
}

void Array::insert(std::size_t index, const Value& value) {
  index = std::min(index, m_elements.size());
  m_elements.insert(m_elements.begin() + static_cast<std::ptrdiff_t>(index),
                    value);
}

Array::iterator Array::find(const Value& value) {
  return std::find(m_elements.begin(), m_elements.end(), value);
}

Array::const_iterator Array::find(const Value& value) const {
  return std::find(m_elements.begin(), m_elements.end(), value);
}

bool Array::HasValue(const Value& value) const {
  return find(value) != m_elements.end();
}

Value& Array::operator[](std::size_t index) { return m_elements.at(index); }

const Value& Array::operator[](std::size_t index) const {
  return m_elements.at(index);
}

// ----------------------------------------------------------------- Value

Value::Value(const std::string& text) : m_kind(KindString), m_string(text) {}

Value::Value(std::string&& text)
    : m_kind(KindString), m_string(std::move(text)) {}

Value::Value(std::string_view text) : m_kind(KindString), m_string(text) {}

Value::Value(const char* szText)
    : m_kind(KindString), m_string(szText ? szText : "") {}

Value::Value(int32_t number) : m_kind(KindInt) { setNumbersFromInt64(number); }

Value::Value(uint32_t number) : m_kind(KindUInt) {
  setNumbersFromInt64(number);
  m_int = static_cast<int32_t>(number);  // the same 32 bits
}

Value::Value(double number) : m_kind(KindDouble) {
  setNumbersFromDouble(number);
}

Value::Value(bool flag) : m_kind(KindBool), m_bool(flag) {}

Value::Value(const Object& object) : m_kind(KindObject), m_object(object) {}

Value::Value(Object&& object)
    : m_kind(KindObject), m_object(std::move(object)) {}

Value::Value(const Array& array) : m_kind(KindArray), m_array(array) {}

Value::Value(Array&& array) : m_kind(KindArray), m_array(std::move(array)) {}

Value Value::FromInt64(int64_t number) {
  Value value;
  value.m_kind = KindInt64;
  value.setNumbersFromInt64(number);
  return value;
}

Value Value::FromFloat(float number) {
  Value value;
  value.m_kind = KindFloat;
  value.setNumbersFromDouble(number);
  value.m_float = number;
  return value;
}

Value::Value(const Value& other) { copyFrom(other); }

Value& Value::operator=(const Value& other) {
  if (this != &other) {
    Value copy(other);  // `other` may live inside this value
    *this = std::move(copy);
  }
  return *this;
}

Value::Value(Value&& other) noexcept { moveFrom(other); }

Value& Value::operator=(Value&& other) noexcept {
  if (m_kind == KindNull && m_string.empty() && m_object.empty() &&
      m_array.empty()) {
    moveFrom(other);  // an empty null holds nothing `other` could live in
    return *this;
  }
  if (this != &other) {
    Value taken(std::move(other));  // `other` may live inside this value
    m_string = std::string();
    m_object = Object();
    m_array = Array();
    moveFrom(taken);
  }
  return *this;
}

void Value::setNumbersFromInt64(int64_t number) {
  m_int64 = number;
  m_int = number > std::numeric_limits<int32_t>::max()
              ? std::numeric_limits<int32_t>::max()
          : number < std::numeric_limits<int32_t>::min()
              ? std::numeric_limits<int32_t>::min()
              : static_cast<int32_t>(number);
  m_uint = number < 0 ? 0
           : number > std::numeric_limits<uint32_t>::max()
               ? std::numeric_limits<uint32_t>::max()
               : static_cast<uint32_t>(number);
  m_double = static_cast<double>(number);
  m_float = static_cast<float>(number);
}

void Value::setNumbersFromDouble(double number) {
  m_double = number;
  m_float = narrowToFloat(number);
  m_int = truncateToInt32(number);
  m_int64 = truncateToInt64(number);
  m_uint = truncateToUInt32(number);
}

void Value::copyFrom(const Value& other) {
  m_kind = other.m_kind;
  switch (other.m_kind) {
    case KindString:
      m_string = other.m_string;
      break;
    case KindObject:
      m_object = other.m_object;
      break;
    case KindArray:
      m_array = other.m_array;
      break;
    case KindBool:
      m_bool = other.m_bool;
      break;
    case KindInt:
      setNumbersFromInt64(other.m_int);
      break;
    case KindInt64:
      setNumbersFromInt64(other.m_int64);
      break;
    case KindUInt:
      setNumbersFromInt64(other.m_uint);
      m_int = static_cast<int32_t>(other.m_uint);
      break;
    case KindFloat:
      setNumbersFromDouble(other.m_float);
      m_float = other.m_float;
      break;
    case KindDouble:
      setNumbersFromDouble(other.m_double);
      break;
    default:
      m_kind = KindNull;
      break;
  }
}

// Moves the field of the kind and leaves `other` null. REQUIRES: this value's
// string, object and array are empty.
void Value::moveFrom(Value& other) noexcept {
  m_kind = other.m_kind;
  m_int = other.m_int;
  m_float = other.m_float;
  m_double = other.m_double;
  m_bool = other.m_bool;
  m_uint = other.m_uint;
  m_int64 = other.m_int64;
  if (m_kind == KindString) m_string = std::move(other.m_string);
  if (m_kind == KindObject) m_object = std::move(other.m_object);
  if (m_kind == KindArray) m_array = std::move(other.m_array);
  other.m_kind = KindNull;
  other.m_int = 0;
  other.m_float = 0;
  other.m_double = 0;
  other.m_bool = false;
  other.m_uint = 0;
  other.m_int64 = 0;
}

bool Value::HasKey(std::string_view key) const {
  return m_kind == KindObject && m_object.HasKey(key);
}

bool Value::HasKey(const char* szKey) const {
  return m_kind == KindObject && m_object.HasKey(szKey);
}

int Value::HasKeys(const std::vector<std::string>& keys) const {
  if (m_kind == KindObject) return m_object.HasKeys(keys);
  return keys.empty() ? -1 : 0;
}

int Value::HasKeys(const char* const* pKeys, std::size_t count) const {
  if (m_kind == KindObject) return m_object.HasKeys(pKeys, count);
  return pKeys == nullptr || count == 0 ? -1 : 0;
}

Value& Value::operator[](const char* szKey) { return m_object[szKey]; }

const Value& Value::operator[](const char* szKey) const {
  if (m_kind != KindObject || szKey == nullptr) return sharedNull();
  auto it = m_object.find(std::string_view(szKey));
  return it == m_object.end() ? sharedNull() : it->second;
}

Value& Value::operator[](std::size_t index) { return m_array[index]; }

const Value& Value::operator[](std::size_t index) const {
  return m_array[index];
}

Value& Value::operator[](int index) {
  return m_array[index < 0 ? m_array.size() : static_cast<std::size_t>(index)];
}

const Value& Value::operator[](int index) const {
  return m_array[index < 0 ? m_array.size() : static_cast<std::size_t>(index)];
}

std::size_t Value::size() const {
  if (m_kind == KindObject) return m_object.size();
  if (m_kind == KindArray) return m_array.size();
  return 1;
}

// ------------------------------------------------------------ comparison

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

// ----------------------------------------------------------------- merge

bool DeepMerge(Value& destination, const Value& source) {
  if (source.IsNull() || destination.GetKind() != source.GetKind()) {
    return false;
  }
  if (source.GetKind() != KindObject) {
    destination = source;
    return true;
  }
  bool merged = true;
  Object& target = destination.GetObject();
  for (const auto& member : source.GetObject()) {
    auto it = target.find(member.first);
    if (it == target.end() || it->second.IsNull()) {
      target[member.first] = member.second;
    } else if (it->second.GetKind() != member.second.GetKind()) {
      merged = false;  // a conflict: the destination member stays
    } else if (member.second.GetKind() == KindObject) {
      merged = DeepMerge(it->second, member.second) && merged;
    } else {
      it->second = member.second;
    }
  }
  return merged;
}

}  // namespace json
