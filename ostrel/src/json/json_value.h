// The in-memory model of the JSON module: the tagged value json::Value, the
// keyed collection json::Object and the sequence json::Array.
//
//   json::Object entry;
//   entry["key"] = "AecMode";
//   entry["value"] = "2";
//   json::Array entries;
//   entries.push_back(json::Value(entry));
//   json::Object document;
//   document["Audio"] = json::Value(entries);
//
// A value owns its string, object and array outright: copying a value, object
// or array copies the whole tree below it; nothing is shared or counted.
// A number is stored once; every numeric accessor answers for every kind,
// converting the stored number as described at GetInt(). Object members are
// kept and visited in ascending byte order of their keys (bytes compared as
// unsigned, a prefix first), never in insertion order.
//
// The module depends on the standard library only. Its types have no locks:
// one thread may change a value while no other thread uses it; any number of
// threads may read a value that nobody changes.
#ifndef OSTREL_SRC_JSON_JSON_VALUE_H_
#define OSTREL_SRC_JSON_JSON_VALUE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "json_containers.h"

namespace json {

// The numbers are fixed: the reader, the writer and the comparison switch on
// them.
enum ValueKind : int32_t {
  KindNull = 0,
  KindString = 1,
  KindInt = 2,
  KindInt64 = 3,
  KindFloat = 4,
  KindDouble = 5,
  KindObject = 6,
  KindArray = 7,
  KindBool = 8,
  KindUInt = 9,
};

// A value is 32 bytes: a kind tag and one payload. A number is stored once,
// as its kind holds it, and every numeric view is derived from it. A string
// of up to 21 bytes is held inline, a longer one in one heap block; an
// object or an array is held inline (its members or elements sit in one
// block of their own, made on the first one). The object and
// array of a value of another kind (touched only through GetObject(),
// GetArray() or operator[] on such a value) live in a separate block made on
// first use.
class Value {
 public:
  Value() = default;
  Value(const std::string& text);  // NOLINT: a string converts implicitly
  Value(std::string&& text);       // NOLINT
  Value(std::string_view text);    // NOLINT
  Value(const char* szText);       // NOLINT: null reads as ""
  Value(int32_t number);           // NOLINT
  Value(uint32_t number);          // NOLINT
  Value(double number);            // NOLINT
  Value(bool flag);                // NOLINT
  Value(const Object& object);     // NOLINT
  Value(Object&& object);          // NOLINT
  Value(const Array& array);       // NOLINT
  Value(Array&& array);            // NOLINT
  // Kinds that nothing in the system creates, offered for completeness.
  static Value FromInt64(int64_t number);
  static Value FromFloat(float number);

  // The target takes the source's kind and a copy of what that kind holds;
  // the object and array of other kinds are not copied.
  Value(const Value& other);
  Value& operator=(const Value& other);
  // As copying; the source is left null.
  Value(Value&& other) noexcept;
  Value& operator=(Value&& other) noexcept {
    if (m_kind == KindNull && m_otherKinds == nullptr && this != &other) {
      takeFrom(other);  // this value holds nothing `other` could live in
      return *this;
    }
    return moveAssign(other);
  }
  ~Value() {
    // Numbers, bools and inline text own nothing.
    if (m_kind == KindObject || m_kind == KindArray ||
        (m_kind == KindString && m_textLength == kHeapText) ||
        m_otherKinds != nullptr) {
      release();
    }
  }

  ValueKind GetKind() const { return static_cast<ValueKind>(m_kind); }
  bool IsNull() const { return m_kind == KindNull; }
  // The text of a KindString value; "" for every other kind.
  StringRef GetString() const;
  // The object of a KindObject value; for other kinds an object that no
  // operation reads (empty unless changed through these references).
  const Object& GetObject() const;
  Object& GetObject();
  // The same for arrays.
  const Array& GetArray() const;
  Array& GetArray();
  // The number as each type: the stored number converted (integers to
  // floating point as usual, floating point to integers truncated toward
  // zero and saturated, a negative number as unsigned 0; KindUInt gives
  // GetInt() the same 32 bits). 0 for non-numeric kinds.
  int32_t GetInt() const;
  int64_t GetInt64() const;
  uint32_t GetUInt() const;
  float GetFloat() const;
  double GetDouble() const;
  // Makes this a KindString value of `text`, as assigning Value(text) would
  // but without the intermediate value. `text` must not lie in this value.
  void SetString(std::string_view text);
  // Makes this a KindDouble value of `number`, as assigning Value(number)
  // would but without the intermediate value.
  void SetDouble(double number) {
    if (m_kind != KindNull || m_otherKinds != nullptr) release();
    store(number);
    m_kind = KindDouble;
  }

  // The flag of a KindBool value; false for every other kind.
  bool GetBool() const { return m_kind == KindBool && load<bool>(); }

  // True when the value is an object with a member of exactly that key.
  bool HasKey(std::string_view key) const;
  bool HasKey(const char* szKey) const;
  // As Object::HasKeys on the value's object; a value that is not an object
  // has no keys.
  int HasKeys(const std::vector<std::string>& keys) const;
  int HasKeys(const char* const* pKeys, std::size_t count) const;

  // The member of that key in GetObject(), inserted as null when absent.
  // The kind is not changed: on a value that is not an object this touches
  // only its unused object, so build objects as json::Object and wrap them
  // in a Value.
  Value& operator[](const char* szKey);
  // The member, or a shared null value when absent or not an object.
  const Value& operator[](const char* szKey) const;
  // Element of GetArray().
  // REQUIRES: index < GetArray().size(); otherwise std::out_of_range.
  Value& operator[](std::size_t index);
  const Value& operator[](std::size_t index) const;
  Value& operator[](int index);
  const Value& operator[](int index) const;

  // Member count of an object, element count of an array, 1 otherwise.
  std::size_t size() const;

 private:
  struct OtherKinds;  // the object and array of a value of another kind
  static constexpr std::size_t kInlineText = 21;
  static constexpr uint8_t kHeapText = 0xFF;

  template <typename T>
  T load() const {
    T payload;
    std::memcpy(&payload, m_payload, sizeof payload);
    return payload;
  }
  template <typename T>
  void store(T payload) {
    std::memcpy(m_payload, &payload, sizeof payload);
  }
  void setText(const char* data, std::size_t size);
  void copyFrom(const Value& other);
  // Takes what `other`'s kind holds and leaves `other` null; `other` keeps
  // the object and array of other kinds, as a moved-from value always has.
  // REQUIRES: this value holds nothing.
  void takeFrom(Value& other) noexcept {
    if (other.m_kind == KindObject) {
      new (m_payload) Object(std::move(*other.heldObject()));
      other.heldObject()->~Object();
    } else if (other.m_kind == KindArray) {
      new (m_payload) Array(std::move(*other.heldArray()));
      other.heldArray()->~Array();
    } else {
      std::memcpy(m_payload, other.m_payload, sizeof m_payload);
    }
    m_textLength = other.m_textLength;
    m_kind = other.m_kind;
    other.m_textLength = 0;
    other.m_kind = KindNull;
  }
  // The object that a KindObject value holds in its payload.
  Object* heldObject() {
    return std::launder(reinterpret_cast<Object*>(m_payload));
  }
  const Object* heldObject() const {
    return std::launder(reinterpret_cast<const Object*>(m_payload));
  }
  // The same for the array of a KindArray value.
  Array* heldArray() {
    return std::launder(reinterpret_cast<Array*>(m_payload));
  }
  const Array* heldArray() const {
    return std::launder(reinterpret_cast<const Array*>(m_payload));
  }
  Value& moveAssign(Value& other) noexcept;
  void release() noexcept;
  OtherKinds& otherKinds();

  // KindString: the text inline (m_textLength bytes and a NUL) or, when
  // m_textLength is kHeapText, a pointer to it and its size. Numbers and
  // bool as their kind holds them; the Object or the Array itself.
  alignas(8) unsigned char m_payload[kInlineText + 1] = {};
  uint8_t m_textLength = 0;
  uint8_t m_kind = KindNull;
  OtherKinds* m_otherKinds = nullptr;
};

static_assert(sizeof(void*) != 8 || sizeof(Value) <= 32,
              "a value must stay within 32 bytes on 64-bit targets");

inline Value* Array::elements() const {
  return std::launder(reinterpret_cast<Value*>(m_block + 1));
}
inline Array::iterator Array::begin() { return m_block ? elements() : nullptr; }
inline Array::iterator Array::end() {
  return m_block ? elements() + m_block->size : nullptr;
}
inline Array::const_iterator Array::begin() const {
  return m_block ? elements() : nullptr;
}
inline Array::const_iterator Array::end() const {
  return m_block ? elements() + m_block->size : nullptr;
}

inline Value& Array::emplace_back() {
  if (m_block == nullptr || m_block->size == m_block->capacity) {
    return appendNull();
  }
  Value* place = new (elements() + m_block->size) Value();
  ++m_block->size;
  return *place;
}

inline Object::Member* Object::members() const {
  return std::launder(reinterpret_cast<Member*>(m_block + 1));
}
inline Object::iterator Object::begin() {
  return m_block ? members() : nullptr;
}
inline Object::iterator Object::end() {
  return m_block ? members() + m_block->size : nullptr;
}
inline Object::const_iterator Object::begin() const {
  return m_block ? members() : nullptr;
}
inline Object::const_iterator Object::end() const {
  return m_block ? members() + m_block->size : nullptr;
}

// Same kind: null equals null, strings and bools by value, objects and
// arrays member by member in order, integers exactly, floating point kinds
// when they differ by less than 1e-9. Different kinds are equal only when
// both are numeric and the numbers are equal (within 1e-9 when either side
// is floating point).
bool operator==(const Value& a, const Value& b);
inline bool operator!=(const Value& a, const Value& b) { return !(a == b); }
bool operator==(const Object& a, const Object& b);
inline bool operator!=(const Object& a, const Object& b) { return !(a == b); }
bool operator==(const Array& a, const Array& b);
inline bool operator!=(const Array& a, const Array& b) { return !(a == b); }

// Merges `source` into `destination` when both have the same non-null kind.
// For objects each source member is assigned where the destination member
// is absent, null or of the same kind (objects merging recursively); a
// member whose kinds differ is a conflict and stays as it was. Values of any
// other kind are assigned. Returns false when the kinds differ at the top,
// the source is null or any conflict occurred.
bool DeepMerge(Value& destination, const Value& source);

}  // namespace json

#endif  // OSTREL_SRC_JSON_JSON_VALUE_H_
