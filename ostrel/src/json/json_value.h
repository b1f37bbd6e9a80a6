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
// A number is held in all numeric representations at once, but only the
// field of the value's kind carries meaning (GetInt() for KindInt, GetUInt()
// for KindUInt, ...). Object members are kept and visited in ascending byte
// order of their keys (bytes compared as unsigned, a prefix first), never in
// insertion order.
//
// The module depends on the standard library only. Its types have no locks:
// one thread may change a value while no other thread uses it; any number of
// threads may read a value that nobody changes.
#ifndef OSTREL_SRC_JSON_JSON_VALUE_H_
#define OSTREL_SRC_JSON_JSON_VALUE_H_

#include <cstddef>
#include <cstdint>
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

  // The target takes the source's kind and the field(s) of that kind; a
  // numeric kind recomputes every numeric field from the source's own one.
  Value(const Value& other);
  Value& operator=(const Value& other);
  // As copying; the source is left null.
  Value(Value&& other) noexcept;
  Value& operator=(Value&& other) noexcept;

  ValueKind GetKind() const { return m_kind; }
  bool IsNull() const { return m_kind == KindNull; }
  const std::string& GetString() const { return m_string; }
  const Object& GetObject() const { return m_object; }
  Object& GetObject() { return m_object; }
  const Array& GetArray() const { return m_array; }
  Array& GetArray() { return m_array; }
  int32_t GetInt() const { return m_int; }
  int64_t GetInt64() const { return m_int64; }
  uint32_t GetUInt() const { return m_uint; }
  float GetFloat() const { return m_float; }
  double GetDouble() const { return m_double; }
  bool GetBool() const { return m_bool; }

  // True when the value is an object with a member of exactly that key.
  bool HasKey(std::string_view key) const;
  bool HasKey(const char* szKey) const;
  // As Object::HasKeys on the value's object; a value that is not an object
  // has no keys.
  int HasKeys(const std::vector<std::string>& keys) const;
  int HasKeys(const char* const* pKeys, std::size_t count) const;

  // The member of that key in the value's object field, inserted as null
  // when absent. The kind is not changed: on a value that is not an object
  // this touches only its unused object field, so build objects as
  // json::Object and wrap them in a Value.
  Value& operator[](const char* szKey);
  // The member, or a shared null value when absent or not an object.
  const Value& operator[](const char* szKey) const;
  // Element of the value's array field.
  // REQUIRES: index < GetArray().size(); otherwise std::out_of_range.
  Value& operator[](std::size_t index);
  const Value& operator[](std::size_t index) const;
  Value& operator[](int index);
  const Value& operator[](int index) const;

  // Member count of an object, element count of an array, 1 otherwise.
  std::size_t size() const;

 private:
  void setNumbersFromInt64(int64_t number);
  void setNumbersFromDouble(double number);
  void copyFrom(const Value& other);
  void moveFrom(Value& other) noexcept;

  ValueKind m_kind = KindNull;
  int32_t m_int = 0;
  float m_float = 0;
  double m_double = 0;
  std::string m_string;
  Object m_object;
  Array m_array;
  bool m_bool = false;
  uint32_t m_uint = 0;
  int64_t m_int64 = 0;
};

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
