#include "json_value.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
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

const Value& sharedNull() {
  static const Value kNull;
  return kNull;
}

}  // namespace

struct Value::OtherKinds {
  Object object;
  Array array;
};

Value::Value(const std::string& text) { setText(text.data(), text.size()); }

Value::Value(std::string&& text) { setText(text.data(), text.size()); }

Value::Value(std::string_view text) { setText(text.data(), text.size()); }

Value::Value(const char* szText) {
  if (szText == nullptr) szText = "";
  setText(szText, std::strlen(szText));
}

Value::Value(int32_t number) : m_kind(KindInt) { store(number); }

Value::Value(uint32_t number) : m_kind(KindUInt) { store(number); }

Value::Value(double number) : m_kind(KindDouble) { store(number); }

Value::Value(bool flag) : m_kind(KindBool) { store(flag); }

static_assert(sizeof(Object) <=
                      sizeof(Value) - 2 * sizeof(uint8_t) - sizeof(void*) &&
                  alignof(Object) <= 8,
              "an object must fit a value's payload");

Value::Value(const Object& object) : m_kind(KindObject) {
  new (m_payload) Object(object);
}

Value::Value(Object&& object) : m_kind(KindObject) {
  new (m_payload) Object(std::move(object));
}

static_assert(sizeof(Array) <=
                      sizeof(Value) - 2 * sizeof(uint8_t) - sizeof(void*) &&
                  alignof(Array) <= 8,
              "an array must fit a value's payload");

Value::Value(const Array& array) : m_kind(KindArray) {
  new (m_payload) Array(array);
}

Value::Value(Array&& array) : m_kind(KindArray) {
  new (m_payload) Array(std::move(array));
}

Value Value::FromInt64(int64_t number) {
  Value value;
  value.m_kind = KindInt64;
  value.store(number);
  return value;
}

Value Value::FromFloat(float number) {
  Value value;
  value.m_kind = KindFloat;
  value.store(number);
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

Value::Value(Value&& other) noexcept { takeFrom(other); }

Value& Value::moveAssign(Value& other) noexcept {
  if (this != &other) {
    Value taken(std::move(other));  // `other` may live inside this value
    release();
    takeFrom(taken);
  }
  return *this;
}

void Value::setText(const char* data, std::size_t size) {
  m_kind = KindString;
  if (size <= kInlineText) {
    std::memcpy(m_payload, data, size);
    m_payload[size] = 0;
    m_textLength = static_cast<uint8_t>(size);
    return;
  }
  char* heap = new char[size + 1];
  std::memcpy(heap, data, size);
  heap[size] = '\0';
  store(heap);
  std::memcpy(m_payload + sizeof heap, &size, sizeof size);
  m_textLength = kHeapText;
}

void Value::SetString(std::string_view text) {
  if (m_kind >= KindString || m_otherKinds != nullptr) release();
  setText(text.data(), text.size());
}

void Value::copyFrom(const Value& other) {
  switch (other.m_kind) {
    case KindString: {
      const StringRef text = other.GetString();
      setText(text.data(), text.size());
      return;
    }
    case KindObject:
      new (m_payload) Object(*other.heldObject());
      break;
    case KindArray:
      new (m_payload) Array(*other.heldArray());
      break;
    default:
      std::memcpy(m_payload, other.m_payload, sizeof m_payload);
      break;
  }
  m_kind = other.m_kind;
}

// Kept out of line, so that setting a fresh value (the reader sets every
// string so) pays nothing for the kinds it does not hold.
__attribute__((noinline)) void Value::release() noexcept {
  if (m_kind == KindString && m_textLength == kHeapText) {
    delete[] load<char*>();
  } else if (m_kind == KindObject) {
    heldObject()->~Object();
  } else if (m_kind == KindArray) {
    heldArray()->~Array();
  }
  delete m_otherKinds;
  m_otherKinds = nullptr;
  std::memset(m_payload, 0, sizeof m_payload);
  m_textLength = 0;
  m_kind = KindNull;
}

Value::OtherKinds& Value::otherKinds() {
  if (m_otherKinds == nullptr) m_otherKinds = new OtherKinds();
  return *m_otherKinds;
}

StringRef Value::GetString() const {
  if (m_kind != KindString) return StringRef();
  if (m_textLength != kHeapText) {
    return StringRef(reinterpret_cast<const char*>(m_payload), m_textLength);
  }
  std::size_t size;
  std::memcpy(&size, m_payload + sizeof(char*), sizeof size);
  return StringRef(load<const char*>(), size);
}

const Object& Value::GetObject() const {
  static const Object kEmpty;
  if (m_kind == KindObject) return *heldObject();
  return m_otherKinds ? m_otherKinds->object : kEmpty;
}

Object& Value::GetObject() {
  if (m_kind != KindObject) return otherKinds().object;
  return *heldObject();
}

const Array& Value::GetArray() const {
  static const Array kEmpty;
  if (m_kind == KindArray) return *heldArray();
  return m_otherKinds ? m_otherKinds->array : kEmpty;
}

Array& Value::GetArray() {
  if (m_kind != KindArray) return otherKinds().array;
  return *heldArray();
}

// Integers convert to every type as before the value was made compact: the
// 64-bit integer saturates into 32 bits, the unsigned view of a negative
// number is 0; floating point truncates toward zero (see truncateTo*).
int32_t Value::GetInt() const {
  switch (m_kind) {
    case KindInt:
      return load<int32_t>();
    case KindUInt:
      return static_cast<int32_t>(load<uint32_t>());  // the same 32 bits
    case KindInt64: {
      const int64_t number = load<int64_t>();
      return number > std::numeric_limits<int32_t>::max()
                 ? std::numeric_limits<int32_t>::max()
             : number < std::numeric_limits<int32_t>::min()
                 ? std::numeric_limits<int32_t>::min()
                 : static_cast<int32_t>(number);
    }
    case KindFloat:
      return truncateToInt32(load<float>());
    case KindDouble:
      return truncateToInt32(load<double>());
    default:
      return 0;
  }
}

int64_t Value::GetInt64() const {
  switch (m_kind) {
    case KindInt:
      return load<int32_t>();
    case KindUInt:
      return load<uint32_t>();
    case KindInt64:
      return load<int64_t>();
    case KindFloat:
      return truncateToInt64(load<float>());
    case KindDouble:
      return truncateToInt64(load<double>());
    default:
      return 0;
  }
}

uint32_t Value::GetUInt() const {
  switch (m_kind) {
    case KindInt: {
      const int32_t number = load<int32_t>();
      return number < 0 ? 0 : static_cast<uint32_t>(number);
    }
    case KindUInt:
      return load<uint32_t>();
    case KindInt64: {
      const int64_t number = load<int64_t>();
      return number < 0 ? 0
             : number > std::numeric_limits<uint32_t>::max()
                 ? std::numeric_limits<uint32_t>::max()
                 : static_cast<uint32_t>(number);
    }
    case KindFloat:
      return truncateToUInt32(load<float>());
    case KindDouble:
      return truncateToUInt32(load<double>());
    default:
      return 0;
  }
}

float Value::GetFloat() const {
  switch (m_kind) {
    case KindInt:
      return static_cast<float>(load<int32_t>());
    case KindUInt:
      return static_cast<float>(load<uint32_t>());
    case KindInt64:
      return static_cast<float>(load<int64_t>());
    case KindFloat:
      return load<float>();
    case KindDouble:
      return narrowToFloat(load<double>());
    default:
      return 0;
  }
}

double Value::GetDouble() const {
  switch (m_kind) {
    case KindInt:
      return load<int32_t>();
    case KindUInt:
      return load<uint32_t>();
    case KindInt64:
      return static_cast<double>(load<int64_t>());
    case KindFloat:
      return load<float>();
    case KindDouble:
      return load<double>();
    default:
      return 0;
  }
}

bool Value::HasKey(std::string_view key) const {
  return m_kind == KindObject && GetObject().HasKey(key);
}

bool Value::HasKey(const char* szKey) const {
  return m_kind == KindObject && GetObject().HasKey(szKey);
}

int Value::HasKeys(const std::vector<std::string>& keys) const {
  if (m_kind == KindObject) return GetObject().HasKeys(keys);
  return keys.empty() ? -1 : 0;
}

int Value::HasKeys(const char* const* pKeys, std::size_t count) const {
  if (m_kind == KindObject) return GetObject().HasKeys(pKeys, count);
  return pKeys == nullptr || count == 0 ? -1 : 0;
}

Value& Value::operator[](const char* szKey) { return GetObject()[szKey]; }

const Value& Value::operator[](const char* szKey) const {
  if (m_kind != KindObject || szKey == nullptr) return sharedNull();
  const Object& object = GetObject();
  auto it = object.find(std::string_view(szKey));
  return it == object.end() ? sharedNull() : it->second;
}

// The element is found through the const array, which makes no block for an
// empty one; it lives in an array this value owns.
Value& Value::operator[](std::size_t index) {
  return const_cast<Value&>(static_cast<const Value&>(*this)[index]);
}

const Value& Value::operator[](std::size_t index) const {
  return GetArray()[index];
}

Value& Value::operator[](int index) {
  return const_cast<Value&>(static_cast<const Value&>(*this)[index]);
}

const Value& Value::operator[](int index) const {
  const Array& array = GetArray();
  return array[index < 0 ? array.size() : static_cast<std::size_t>(index)];
}

std::size_t Value::size() const {
  if (m_kind == KindObject) return GetObject().size();
  if (m_kind == KindArray) return GetArray().size();
  return 1;
}

}  // namespace json
