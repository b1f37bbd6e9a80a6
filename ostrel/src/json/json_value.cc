#include "json_value.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <tuple>
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

// Byte order of keys, bytes compared as unsigned; most keys differ in their
// first byte, which is compared without a call.
bool keyLess(std::string_view a, std::string_view b) {
  if (!a.empty() && !b.empty() && a[0] != b[0]) {
    return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
  }
  return a < b;
}

const Value& sharedNull() {
  static const Value kNull;
  return kNull;
}

}  // namespace

// ---------------------------------------------------------------- Object

void Key::assign(std::string_view text) {
  if (text.size() <= kInline) {
    std::memcpy(m_inline, text.data(), text.size());
    m_inline[text.size()] = '\0';
    setView(m_inline, text.size());
    return;
  }
  char* heap = new char[text.size() + 1];
  std::memcpy(heap, text.data(), text.size());
  heap[text.size()] = '\0';
  setView(heap, text.size());
}

// Delegating makes the object whole first, so that a throwing copy of a
// member destroys those copied before it.
Object::Object(const Object& other) : Object() {
  if (other.empty()) return;
  reserve(other.size());
  Member* target = members();
  for (const Member& member : other) {
    new (target + m_block->size) Member(member);
    ++m_block->size;
  }
}

Object& Object::operator=(const Object& other) {
  if (this != &other) {
    Object copy(other);  // `other` may live inside this object
    std::swap(m_block, copy.m_block);
  }
  return *this;
}

void Object::release() noexcept {
  std::destroy(members(), members() + m_block->size);
  ::operator delete(m_block);
  m_block = nullptr;
}

void Object::Clear() {
  Object cleared(std::move(*this));  // members may own this object's owner
}

void Object::reserve(std::size_t count) {
  if (count > (m_block ? m_block->capacity : 0)) grow(count);
}

// Moves the members into a block of room for `capacity`.
void Object::grow(std::size_t capacity) {
  if (capacity > std::numeric_limits<uint32_t>::max()) {
    throw std::length_error("json::Object: too many members");
  }
  Block* block = static_cast<Block*>(
      ::operator new(sizeof(Block) + capacity * sizeof(Member)));
  block->size = 0;
  block->capacity = static_cast<uint32_t>(capacity);
  if (m_block != nullptr) {
    Member* target = std::launder(reinterpret_cast<Member*>(block + 1));
    Member* source = members();
    for (std::size_t i = 0; i < m_block->size; ++i) {
      new (target + i) Member(std::move(source[i]));
    }
    block->size = m_block->size;
    release();
  }
  m_block = block;
}

Object::Member* Object::lowerBound(std::string_view key) const {
  Member* first = m_block ? members() : nullptr;
  Member* last = m_block ? first + m_block->size : nullptr;
  // Keys read or built in ascending order belong after the last member.
  if (first == last || keyLess((last - 1)->first, key)) return last;
  return std::lower_bound(first, last, key,
                          [](const Member& member, std::string_view wanted) {
                            return keyLess(member.first, wanted);
                          });
}

Object::Member& Object::insertAt(Member* position, std::string_view key) {
  const std::size_t index = static_cast<std::size_t>(position - begin());
  const std::size_t count = size();
  if (index == count && count < (m_block ? m_block->capacity : 0)) {
    new (position) Member(std::piecewise_construct, std::forward_as_tuple(key),
                          std::forward_as_tuple());
    ++m_block->size;
    return *position;
  }
  // The key may lie in a member's value, which growing and shifting move.
  Key ownedKey(key);
  if (count == (m_block ? m_block->capacity : 0)) {
    // Half as much again keeps the room a grown block leaves unused small.
    grow(count < 2 ? 2 : count + count / 2);
  }
  Member* first = members();
  if (index == count) {
    new (first + count) Member(std::move(ownedKey), Value());
  } else {
    new (first + count) Member(std::move(first[count - 1]));
    std::move_backward(first + index, first + count - 1, first + count);
    first[index].first = std::move(ownedKey);
    first[index].second = Value();
  }
  ++m_block->size;
  return first[index];
}

Value& Object::operator[](const char* szKey) {
  return (*this)[std::string_view(szKey ? szKey : "")];
}

Value& Object::operator[](const std::string& key) {
  return (*this)[std::string_view(key)];
}

Value& Object::operator[](std::string_view key) {
  Member* position = lowerBound(key);
  if (position != end() && position->first == key) return position->second;
  return insertAt(position, key).second;
}

Object::iterator Object::find(std::string_view key) {
  Member* position = lowerBound(key);
  return position != end() && position->first == key ? position : end();
}

Object::const_iterator Object::find(std::string_view key) const {
  const Member* position = lowerBound(key);
  return position != end() && position->first == key ? position : end();
}

bool Object::HasKey(std::string_view key) const { return find(key) != end(); }

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
  Member* position = find(key);
  if (position == end()) return 0;
  // The member leaves the object before it is destroyed: its value may own
  // this object's owner.
  Member removed(std::move(*position));
  std::move(position + 1, end(), position);
  --m_block->size;
  std::destroy_at(end());
  return 1;
}

void Object::Set(std::string key, Value&& value) {
  Member* position = lowerBound(key);
  if (position != end() && position->first == key) {
    position->second = std::move(value);
    return;
  }
  if (position == end() && size() < (m_block ? m_block->capacity : 0)) {
    new (position) Member(Key(key), std::move(value));
    ++m_block->size;
    return;
  }
  insertAt(position, key).second = std::move(value);
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

Value::Value(const Array& array) : m_kind(KindArray) {
  store<Array*>(array.empty() ? nullptr : new Array(array));
}

Value::Value(Array&& array) : m_kind(KindArray) {
  store<Array*>(array.empty() ? nullptr : new Array(std::move(array)));
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
    case KindArray: {
      const Array* array = other.load<Array*>();
      store<Array*>(array ? new Array(*array) : nullptr);
      break;
    }
    default:
      std::memcpy(m_payload, other.m_payload, sizeof m_payload);
      break;
  }
  m_kind = other.m_kind;
}

void Value::release() noexcept {
  if (m_kind == KindString && m_textLength == kHeapText) {
    delete[] load<char*>();
  } else if (m_kind == KindObject) {
    heldObject()->~Object();
  } else if (m_kind == KindArray) {
    delete load<Array*>();
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
  if (m_kind == KindArray) {
    const Array* array = load<Array*>();
    return array ? *array : kEmpty;
  }
  return m_otherKinds ? m_otherKinds->array : kEmpty;
}

Array& Value::GetArray() {
  if (m_kind != KindArray) return otherKinds().array;
  Array* array = load<Array*>();
  if (array == nullptr) {
    array = new Array();
    store(array);
  }
  return *array;
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
