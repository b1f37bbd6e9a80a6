// atomMap: an ordered map guarded by its own recursive mutex.
//
//   atomMap<std::string, ConfigData> values;
//   ConfigData old = values.exchange("AecMode", ConfigData("2"));
//   ConfigData v;
//   if (values.find("AecMode", v)) ...
//
// Every operation holds the table's lock for its whole run and hands values
// out by copy, so no caller keeps a reference into the table after the call.
// The lock is recursive: a visitor run by foreach(), or code running while the
// thread holds the lock, may call the same table again on that thread. No
// operation takes the lock of a second table.
//
// String keys are ordered byte-wise (unsigned bytes, shorter prefix first) and
// may be looked up by std::string_view or const char* without building a key
// string; a key string is built only when a new entry is inserted.
//
// A failure to lock throws std::system_error, as std::recursive_mutex does,
// and leaves the table unchanged.
#ifndef OSTREL_SRC_KOVACONFIG_ATOM_MAP_H_
#define OSTREL_SRC_KOVACONFIG_ATOM_MAP_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "name_keys.h"
#include "support/mutex.h"

namespace kovaStore {

// Keys in their own order; string keys in NameOrder (the same order,
// compared without a call).
template <class K>
struct atomMapOrder {
  typedef std::less<> type;
};
template <>
struct atomMapOrder<std::string> {
  typedef NameOrder type;
};

template <class K, class V>
class atomMap {
 public:
  typedef std::map<K, V, typename atomMapOrder<K>::type> Map;
  typedef std::function<void(const K&, const V&)> Visitor;

  atomMap() = default;
  virtual ~atomMap() {
    RecursiveMutexLock lock(m_mutex);
    m_map.clear();
  }
  atomMap(const atomMap&) = delete;

  // Replaces this table's content with a copy of `other`'s. Locks this table
  // only: REQUIRES no other thread changes `other` meanwhile. Two table locks
  // are never held at once, so `other`'s content is read without its lock,
  // which the analysis cannot be told.
  atomMap& operator=(const atomMap& other) NO_THREAD_SAFETY_ANALYSIS {
    RecursiveMutexLock lock(m_mutex);
    if (&other != this) {
      m_map = other.m_map;
      ++m_version;
    }
    return *this;
  }

  // Copies the key's value into `out` and yields true; false (out untouched)
  // when absent.
  template <class Key>
  bool find(const Key& key, V& out) const {
    RecursiveMutexLock lock(m_mutex);
    auto it = m_map.find(key);
    if (it == m_map.end()) return false;
    out = it->second;
    return true;
  }

  // Stores the value unless the key is present; yields whether it stored.
  template <class Key>
  bool insert(const Key& key, V value) {
    RecursiveMutexLock lock(m_mutex);
    auto it = m_map.find(key);
    if (it != m_map.end()) return false;
    m_map.emplace_hint(it, K(key), std::move(value));
    ++m_version;
    return true;
  }

  // Stores the value and yields the key's previous value (a default V when
  // it was absent), in one locked step.
  template <class Key>
  V exchange(const Key& key, V value) {
    return exchange(key, std::move(value), [](const V&, const V&) {});
  }

  // As exchange(), and runs `step(previous, stored)` under the lock right
  // after the store, so that the caller may compare or copy the two values
  // within the same hold. `step` must not lock another table.
  template <class Key, class Step>
  V exchange(const Key& key, V value, Step&& step) {
    return exchange(
        key, std::move(value), [](const V&, const V*) { return 0; },
        [&step](int, const V& previous, const V& stored) {
          step(previous, stored);
        });
  }

  // As exchange() with a step, and runs `prepare(value, current)` (the value
  // about to be stored, and the key's stored value or null when absent)
  // under the lock before the table changes, handing what it yields to
  // `step(prepared, previous, stored)`. An exception from `prepare` leaves
  // the table unchanged.
  template <class Key, class Prepare, class Step>
  V exchange(const Key& key, V&& value, Prepare&& prepare, Step&& step) {
    RecursiveMutexLock lock(m_mutex);
    auto it = m_map.lower_bound(key);
    const bool bPresent =
        it != m_map.end() && !m_map.key_comp()(key, it->first);
    auto prepared =
        prepare(static_cast<const V&>(value), bPresent ? &it->second : nullptr);
    V previous;
    if (bPresent) {
      previous = std::move(it->second);
      it->second = std::move(value);
    } else {
      it = m_map.emplace_hint(it, K(key), std::move(value));
    }
    ++m_version;
    step(prepared, static_cast<const V&>(previous),
         static_cast<const V&>(it->second));
    return previous;
  }

  // Erases the key and yields its value; a default V when it was absent.
  template <class Key>
  V remove(const Key& key) {
    RecursiveMutexLock lock(m_mutex);
    auto it = m_map.find(key);
    if (it == m_map.end()) return V();
    V value = std::move(it->second);
    m_map.erase(it);
    ++m_version;
    return value;
  }

  // Runs `visit(value)` on the key's stored value in place, under the lock;
  // false (nothing run) when the key is absent. `visit` must not change this
  // table or lock another one.
  template <class Key, class Visit>
  bool visit(const Key& key, Visit&& visit) const {
    RecursiveMutexLock lock(m_mutex);
    auto it = m_map.find(key);
    if (it == m_map.end()) return false;
    visit(static_cast<const V&>(it->second));
    return true;
  }

  // Takes the key's entry out of the table whole (an empty node when
  // absent), so that it can be put back later without allocating.
  template <class Key>
  typename Map::node_type extract(const Key& key) {
    RecursiveMutexLock lock(m_mutex);
    auto it = m_map.find(key);
    if (it == m_map.end()) return typename Map::node_type();
    ++m_version;
    return m_map.extract(it);
  }
  // Puts an extracted entry back unless its key is present again; yields
  // whether it did. Allocates nothing.
  bool reinsert(typename Map::node_type& node) {
    RecursiveMutexLock lock(m_mutex);
    if (node.empty()) return false;
    if (!m_map.insert(std::move(node)).inserted) return false;
    ++m_version;
    return true;
  }
  // Replaces the key's value with `value` when `test(current value)` holds;
  // yields whether it did. Allocates nothing.
  template <class Key, class Test>
  bool replaceIf(const Key& key, Test&& test, V& value) {
    RecursiveMutexLock lock(m_mutex);
    auto it = m_map.find(key);
    if (it == m_map.end() || !test(static_cast<const V&>(it->second))) {
      return false;
    }
    it->second = std::move(value);
    ++m_version;
    return true;
  }
  // Erases the key when `test(current value)` holds; yields whether it did.
  template <class Key, class Test>
  bool eraseIf(const Key& key, Test&& test) {
    RecursiveMutexLock lock(m_mutex);
    auto it = m_map.find(key);
    if (it == m_map.end() || !test(static_cast<const V&>(it->second))) {
      return false;
    }
    m_map.erase(it);
    ++m_version;
    return true;
  }

  // Erases the key; yields whether it was present.
  template <class Key>
  bool erase(const Key& key) {
    RecursiveMutexLock lock(m_mutex);
    auto it = m_map.find(key);
    if (it == m_map.end()) return false;
    m_map.erase(it);
    ++m_version;
    return true;
  }

  uint32_t size() const {
    RecursiveMutexLock lock(m_mutex);
    return static_cast<uint32_t>(m_map.size());
  }

  void clear() {
    RecursiveMutexLock lock(m_mutex);
    m_map.clear();
    ++m_version;
  }

  // Calls the visitor once per entry in ascending key order while holding the
  // lock; it holds up every other user of the table until it returns. An
  // empty visitor throws std::bad_function_call unless the table is empty.
  // The visitor may change this table on the same thread: it is given copies
  // of the entry, and the walk goes on after the visited key even when the
  // visitor has erased it or added keys around it.
  void foreach (const Visitor& visitor) const {
    RecursiveMutexLock lock(m_mutex);
    auto it = m_map.begin();
    while (it != m_map.end()) {
      if (!visitor) throw std::bad_function_call();
      const K key = it->first;
      const V value = it->second;
      const uint64_t version = m_version;
      visitor(key, value);
      if (m_version == version) {
        ++it;
      } else {
        it = m_map.upper_bound(key);
      }
    }
  }

  // Runs `step()` while holding the lock, so that several operations of
  // this table (re-entered on this thread) and the caller's own bookkeeping
  // form one step for every other user. `step` must not lock another table.
  template <class Step>
  void withLock(Step&& step) {
    RecursiveMutexLock lock(m_mutex);
    step();
  }

  // Copies the first (lowest) entry out; false when the table is empty.
  bool first(K& key, V& value) const {
    RecursiveMutexLock lock(m_mutex);
    if (m_map.empty()) return false;
    key = m_map.begin()->first;
    value = m_map.begin()->second;
    return true;
  }

  // Hands out the whole content and empties the table in one locked step.
  Map takeAll() {
    RecursiveMutexLock lock(m_mutex);
    Map content;
    content.swap(m_map);
    ++m_version;
    return content;
  }

 private:
  mutable RecursiveMutex m_mutex;  // guards m_map and m_version
  Map m_map GUARDED_BY(m_mutex);
  // Counts changes of m_map (also a value replaced in place), so that a walk
  // notices when its visitor changed the table under it.
  uint64_t m_version GUARDED_BY(m_mutex) = 0;
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_ATOM_MAP_H_
