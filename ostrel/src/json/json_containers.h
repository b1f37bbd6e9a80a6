// The two collections of the JSON model: json::Object, an ordered map from
// byte-string keys to json::Value, and json::Array, a sequence of values.
// Include json_value.h, which completes json::Value, rather than this file.
//
// Both own their members outright: copying one copies the whole tree below
// it. Object members are kept and visited in ascending byte order of their
// keys (bytes compared as unsigned, a prefix first), never in insertion order.
// Neither has a lock: see json_value.h.
#ifndef OSTREL_SRC_JSON_JSON_CONTAINERS_H_
#define OSTREL_SRC_JSON_JSON_CONTAINERS_H_

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace json {

class Value;

// An ordered map from byte-string keys to values; keys are unique.
class Object {
 public:
  using Members = std::map<std::string, Value, std::less<>>;
  using iterator = Members::iterator;
  using const_iterator = Members::const_iterator;

  // The member with that key, inserted as a null value first when absent.
  // A null `szKey` is taken as the empty key.
  Value& operator[](const char* szKey);
  Value& operator[](const std::string& key);
  Value& operator[](std::string_view key);

  bool HasKey(std::string_view key) const;
  bool HasKey(const char* szKey) const;
  // Index of the first key absent from the object, or -1 when all are
  // present or the list is empty.
  int HasKeys(const std::vector<std::string>& keys) const;
  // The same for `count` NUL-terminated keys; a null entry is never present.
  int HasKeys(const char* const* pKeys, std::size_t count) const;

  // Removes the member; returns how many were removed (0 or 1).
  std::size_t erase(std::string_view key);
  void Clear() { m_members.clear(); }
  iterator find(std::string_view key) { return m_members.find(key); }
  const_iterator find(std::string_view key) const {
    return m_members.find(key);
  }

  std::size_t size() const { return m_members.size(); }
  bool empty() const { return m_members.empty(); }
  iterator begin() { return m_members.begin(); }
  iterator end() { return m_members.end(); }
  const_iterator begin() const { return m_members.begin(); }
  const_iterator end() const { return m_members.end(); }

  // Stores `value` under `key`, replacing an earlier member; cheaper than
  // operator[] when keys mostly arrive in ascending order.
  void Set(std::string key, Value&& value);

 private:
  Members m_members;
};

// A growable sequence of values in insertion order.
class Array {
 public:
  using Elements = std::vector<Value>;
  using iterator = Elements::iterator;
  using const_iterator = Elements::const_iterator;

  void push_back(const Value& value);
  void push_back(Value&& value);
  // Appends a null element and returns it.
  Value& emplace_back();
  // Removes the last element; does nothing on an empty array.
  void pop_back();
  // Inserts before the element at `index`; an index past the end appends.
  void insert(std::size_t index, const Value& value);
  // The first element equal to `value` (see operator== of Value), or end().
  iterator find(const Value& value);
  const_iterator find(const Value& value) const;
  bool HasValue(const Value& value) const;

  std::size_t size() const { return m_elements.size(); }
  bool empty() const { return m_elements.empty(); }
  // REQUIRES: index < size(); otherwise std::out_of_range is thrown.
  Value& operator[](std::size_t index);
  const Value& operator[](std::size_t index) const;
  void Clear() { m_elements.clear(); }
  void reserve(std::size_t count) { m_elements.reserve(count); }

  iterator begin() { return m_elements.begin(); }
  iterator end() { return m_elements.end(); }
  const_iterator begin() const { return m_elements.begin(); }
  const_iterator end() const { return m_elements.end(); }

 private:
  Elements m_elements;
};

}  // namespace json

#endif  // OSTREL_SRC_JSON_JSON_CONTAINERS_H_
