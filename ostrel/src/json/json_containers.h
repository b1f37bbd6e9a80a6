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
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace json {

class Value;

// An ordered map from byte-string keys to values; keys are unique. The
// members sit in one block, sorted by key: a lookup is a binary search, and
// members that arrive in ascending order are appended. A reference or
// iterator into an object stays valid until a member is inserted or erased
// (or the object is cleared, assigned or destroyed); a key must not be
// changed through an iterator.
class Object {
 public:
  using Member = std::pair<std::string, Value>;
  using iterator = Member*;
  using const_iterator = const Member*;

  Object() = default;
  Object(const Object& other);
  Object& operator=(const Object& other);
  Object(Object&& other) noexcept : m_block(other.m_block) {
    other.m_block = nullptr;
  }
  Object& operator=(Object&& other) noexcept {
    Object taken(std::move(other));  // `other` may live inside this object
    std::swap(m_block, taken.m_block);
    return *this;
  }
  ~Object() {
    if (m_block != nullptr) release();
  }

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
  void Clear();
  iterator find(std::string_view key);
  const_iterator find(std::string_view key) const;

  std::size_t size() const { return m_block ? m_block->size : 0; }
  bool empty() const { return size() == 0; }
  inline iterator begin();
  inline iterator end();
  inline const_iterator begin() const;
  inline const_iterator end() const;

  // Stores `value` under `key`, replacing an earlier member; cheaper than
  // operator[] when keys mostly arrive in ascending order.
  void Set(std::string key, Value&& value);
  // Makes room for `count` members in all, so that adding up to that many
  // takes no further block.
  void reserve(std::size_t count);

 private:
  // The head of the block; the members follow it.
  struct Block {
    std::size_t size;
    std::size_t capacity;
  };
  Member* members() const {
    return std::launder(reinterpret_cast<Member*>(m_block + 1));
  }
  // The first member whose key is not below `key`.
  Member* lowerBound(std::string_view key) const;
  // Inserts a member of that key and a null value before `position`.
  Member& insertAt(Member* position, std::string_view key);
  void grow(std::size_t capacity);
  void release() noexcept;

  Block* m_block = nullptr;  // null while nothing was ever stored
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
