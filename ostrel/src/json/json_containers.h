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
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace json {

class Value;

// The bytes of a string value: a view that is also NUL-terminated, valid
// until the value is changed or destroyed. It converts to std::string where
// a copy is wanted.
class StringRef : public std::string_view {
 public:
  StringRef() : std::string_view("", 0) {}
  // REQUIRES: data[size] is NUL.
  StringRef(const char* data, std::size_t size)
      : std::string_view(data, size) {}
  const char* c_str() const { return data(); }
  operator std::string() const {  // NOLINT: a copy converts implicitly
    return std::string(data(), size());
  }
};

// The key of an object member: a NUL-terminated view of bytes that it owns,
// held inline up to 7 bytes and in a heap block beyond.
class Key : public StringRef {
 public:
  explicit Key(std::string_view text) { assign(text); }
  Key(const Key& other) : Key(std::string_view(other)) {}
  Key(Key&& other) noexcept { take(other); }
  Key& operator=(const Key& other) {
    if (this != &other) {
      Key copy(other);
      release();
      take(copy);
    }
    return *this;
  }
  Key& operator=(Key&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  ~Key() { release(); }

 private:
  static constexpr std::size_t kInline = 7;
  void setView(const char* data, std::size_t size) {
    static_cast<std::string_view&>(*this) = std::string_view(data, size);
  }
  // REQUIRES: this key holds nothing.
  void assign(std::string_view text);
  // Takes `other`'s bytes and leaves it empty. REQUIRES: this key holds
  // nothing.
  void take(Key& other) noexcept {
    if (other.size() > kInline) {
      setView(other.data(), other.size());
    } else {
      std::memcpy(m_inline, other.data(), other.size() + 1);
      setView(m_inline, other.size());
    }
    other.m_inline[0] = '\0';
    other.setView(other.m_inline, 0);
  }
  void release() noexcept {
    if (size() > kInline) delete[] data();
  }

  char m_inline[kInline + 1];
};

// An ordered map from byte-string keys to values; keys are unique. The
// members sit in one block, sorted by key: a lookup is a binary search, and
// members that arrive in ascending order are appended. A reference or
// iterator into an object stays valid until a member is inserted or erased
// (or the object is cleared, assigned or destroyed); a key must not be
// changed through an iterator.
class Object {
 public:
  using Member = std::pair<Key, Value>;
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
    uint32_t size;
    uint32_t capacity;
  };
  inline Member* members() const;
  // The first member whose key is not below `key`.
  Member* lowerBound(std::string_view key) const;
  // Inserts a member of that key and a null value before `position`.
  Member& insertAt(Member* position, std::string_view key);
  void grow(std::size_t capacity);
  void release() noexcept;

  Block* m_block = nullptr;  // null while nothing was ever stored
};

// A growable sequence of values in insertion order. The elements sit in one
// block after a small head, made on the first element: an array costs one
// block however few elements it has, and none while it was never given one.
// A reference or iterator into an array stays valid until an element is
// added beyond its room or removed (or the array is cleared, assigned or
// destroyed).
class Array {
 public:
  using iterator = Value*;
  using const_iterator = const Value*;

  Array() = default;
  Array(const Array& other);
  Array& operator=(const Array& other);
  Array(Array&& other) noexcept : m_block(other.m_block) {
    other.m_block = nullptr;
  }
  Array& operator=(Array&& other) noexcept {
    Array taken(std::move(other));  // `other` may live inside this array
    std::swap(m_block, taken.m_block);
    return *this;
  }
  ~Array() {
    if (m_block != nullptr) release();
  }

  void push_back(const Value& value);
  void push_back(Value&& value);
  // Appends a null element and returns it.
  inline Value& emplace_back();
  // Removes the last element; does nothing on an empty array.
  void pop_back();
  // Inserts before the element at `index`; an index past the end appends.
  void insert(std::size_t index, const Value& value);
  // The first element equal to `value` (see operator== of Value), or end().
  iterator find(const Value& value);
  const_iterator find(const Value& value) const;
  bool HasValue(const Value& value) const;

  std::size_t size() const { return m_block ? m_block->size : 0; }
  bool empty() const { return size() == 0; }
  // REQUIRES: index < size(); otherwise std::out_of_range is thrown.
  Value& operator[](std::size_t index);
  const Value& operator[](std::size_t index) const;
  void Clear();
  // Makes room for `count` elements in all, so that adding up to that many
  // takes no further block.
  void reserve(std::size_t count);

  inline iterator begin();
  inline iterator end();
  inline const_iterator begin() const;
  inline const_iterator end() const;

 private:
  // The head of the block; the elements follow it.
  struct Block {
    uint32_t size;
    uint32_t capacity;
  };
  inline Value* elements() const;
  std::size_t capacity() const { return m_block ? m_block->capacity : 0; }
  // Makes the element after the last with `make(place)`, in a larger block
  // when the array is full; `make` may read an element of this array.
  template <typename Make>
  Value& append(Make make);
  Value& appendNull();
  // Moves the elements into a block of room for `capacity`.
  void grow(std::size_t capacity);
  void release() noexcept;

  Block* m_block = nullptr;  // null while nothing was ever stored
};

}  // namespace json

#endif  // OSTREL_SRC_JSON_JSON_CONTAINERS_H_
