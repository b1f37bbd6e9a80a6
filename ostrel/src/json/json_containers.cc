#include "json_containers.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "json_value.h"

namespace json {

namespace {

// Byte order of keys, bytes compared as unsigned; most keys differ in their
// first byte, which is compared without a call.
bool keyLess(std::string_view a, std::string_view b) {
  if (!a.empty() && !b.empty() && a[0] != b[0]) {
    return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
  }
  return a < b;
}

}  // namespace

// The block mechanics that Object and Array share: a head {size, capacity}
// followed by `capacity` slots of T, the first `size` of them made.
namespace block {

template <class T, class Block>
T* slots(Block* block) {
  return std::launder(reinterpret_cast<T*>(block + 1));
}

// Destroys the made slots and frees the block.
template <class T, class Block>
void release(Block* block) noexcept {
  std::destroy(slots<T>(block), slots<T>(block) + block->size);
  ::operator delete(block);
}

// A block of room for `capacity` holding `old`'s slots moved over (`old`
// released); `what` names the container when the room cannot be counted.
template <class T, class Block>
Block* grow(Block* old, std::size_t capacity, const char* what) {
  if (capacity > std::numeric_limits<uint32_t>::max()) {
    throw std::length_error(what);
  }
  Block* block =
      static_cast<Block*>(::operator new(sizeof(Block) + capacity * sizeof(T)));
  block->size = 0;
  block->capacity = static_cast<uint32_t>(capacity);
  if (old != nullptr) {
    T* target = slots<T>(block);
    T* source = slots<T>(old);
    for (std::size_t i = 0; i < old->size; ++i) {
      new (target + i) T(std::move(source[i]));
    }
    block->size = old->size;
    release<T>(old);
  }
  return block;
}

// Copies `source`'s made slots into `target`, which has room for them and
// none made; each is counted once made, so that a throwing copy leaves
// `target` whole.
template <class T, class Block>
void copyInto(Block* target, const Block* source) {
  const T* from = slots<const T>(source);
  for (std::size_t i = 0; i < source->size; ++i) {
    new (slots<T>(target) + target->size) T(from[i]);
    ++target->size;
  }
}

}  // namespace block

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
  block::copyInto<Member>(m_block, other.m_block);
}

Object& Object::operator=(const Object& other) {
  if (this != &other) {
    Object copy(other);  // `other` may live inside this object
    std::swap(m_block, copy.m_block);
  }
  return *this;
}

void Object::release() noexcept {
  block::release<Member>(m_block);
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
  m_block =
      block::grow<Member>(m_block, capacity, "json::Object: too many members");
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

Array::Array(const Array& other) : Array() {
  if (other.empty()) return;
  reserve(other.size());
  block::copyInto<Value>(m_block, other.m_block);
}

Array& Array::operator=(const Array& other) {
  if (this != &other) {
    Array copy(other);  // `other` may live inside this array
    std::swap(m_block, copy.m_block);
  }
  return *this;
}

void Array::release() noexcept {
  block::release<Value>(m_block);
  m_block = nullptr;
}

void Array::Clear() {
  Array cleared(std::move(*this));  // elements may own this array's owner
}

void Array::reserve(std::size_t count) {
  if (count > capacity()) grow(count);
}

void Array::grow(std::size_t capacity) {
  m_block =
      block::grow<Value>(m_block, capacity, "json::Array: too many elements");
}

// A full array doubles its room, as a vector would. The new element is made
// in the new block before the old one is left, since `make` may read an
// element of this array.
template <typename Make>
Value& Array::append(Make make) {
  const std::size_t count = size();
  if (count < capacity()) {
    Value* place = elements() + count;
    make(place);
    ++m_block->size;
    return *place;
  }
  const std::size_t room = count == 0 ? 1 : 2 * count;
  if (room > std::numeric_limits<uint32_t>::max()) {
    throw std::length_error("json::Array: too many elements");
  }
  Block* block =
      static_cast<Block*>(::operator new(sizeof(Block) + room * sizeof(Value)));
  Value* target = std::launder(reinterpret_cast<Value*>(block + 1));
  try {
    make(target + count);
  } catch (...) {
    ::operator delete(block);
    throw;
  }
  block->capacity = static_cast<uint32_t>(room);
  block->size = static_cast<uint32_t>(count + 1);
  if (m_block != nullptr) {
    Value* source = elements();
    for (std::size_t i = 0; i < count; ++i) {
      new (target + i) Value(std::move(source[i]));
    }
    release();
  }
  m_block = block;
  return target[count];
}

void Array::push_back(const Value& value) {
  append([&value](Value* place) { new (place) Value(value); });
}

void Array::push_back(Value&& value) {
  append([&value](Value* place) { new (place) Value(std::move(value)); });
}

Value& Array::appendNull() {
  return append([](Value* place) { new (place) Value(); });
}

void Array::pop_back() {
  if (empty()) return;
  // The element leaves the array before it is destroyed: it may own this
  // array's owner.
  Value removed(std::move(elements()[m_block->size - 1]));
  --m_block->size;
  std::destroy_at(elements() + m_block->size);
}

void Array::insert(std::size_t index, const Value& value) {
  index = std::min(index, size());
  push_back(value);
  std::rotate(begin() + index, end() - 1, end());
}

Array::iterator Array::find(const Value& value) {
  return std::find(begin(), end(), value);
}

Array::const_iterator Array::find(const Value& value) const {
  return std::find(begin(), end(), value);
}

bool Array::HasValue(const Value& value) const { return find(value) != end(); }

Value& Array::operator[](std::size_t index) {
  if (index >= size()) throw std::out_of_range("json::Array: index");
  return elements()[index];
}

const Value& Array::operator[](std::size_t index) const {
  if (index >= size()) throw std::out_of_range("json::Array: index");
  return elements()[index];
}

}  // namespace json
