// Store: a shared handle on the configuration store of one call, with typed
// reads and writes and subscriptions that end when their handle does.
//
//   ostrel::Store call(callId);                    // the call's store
//   int fps = call.GetOr(kovaStore::KovaConfigGroup_Video, "MaxFps", 30);
//   call.Set(kovaStore::KovaConfigGroup_Video, "MaxFps", 60);
//   bool relay = ostrel::Toggle(call, KOVA_FT_EnableRelayMode).GetOr(false);
//   ostrel::Subscription sub = call.Subscribe(
//       kovaStore::KovaConfigGroup_Video, "MaxFps",
//       [](const kovaStore::KovaConfigEvent& e) { ... });
//
// Ownership: constructing a Store takes one registry reference on the call's
// store (CreateKovaConfig, which creates the store when the call has none);
// copies share it, and it is given back (ReleaseKovaConfig) when the last
// copy and the last Subscription made through them are gone. A
// kovaStore::KovaConfigHelper and a Store of the same call id reach the same
// store. Do not let the last Store and Subscription of a call go from inside
// a callback of that call after CleanUpKovaConfig: that destroys the store
// under its own delivery, as a raw ReleaseKovaConfig would.
//
// Typed values follow the table in ostrel/cpp/values.h. Groups are
// KovaConfigGroup 0 to 11 (this layer has no default group); names are
// NUL-terminated and copied by the store. An empty Store (default-made, or
// Of() a helper without a call id) reads nothing, refuses writes with
// KOVA_E_INVALIDARG and gives empty Subscriptions.
//
// Memory: out of memory, the constructor, Get, Set, Subscribe, Watch and Bind
// may throw std::bad_alloc; a Subscribe or Bind that throws has registered
// nothing, and a Store whose store cannot be obtained is empty.
//
// Threads: every operation may run on any thread, several at once, also from
// inside a callback. Copying and assigning a Store object is not
// synchronised, like a std::shared_ptr.
#ifndef OSTREL_CPP_INCLUDE_OSTREL_CPP_STORE_H_
#define OSTREL_CPP_INCLUDE_OSTREL_CPP_STORE_H_

#include <ostrel/cpp/subscription.h>
#include <ostrel/cpp/values.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ostrel.h"  // the exported interface (ostrel/include)

namespace ostrel {

using kovaStore::KovaConfigGroup;
using Callback = std::function<void(const kovaStore::KovaConfigEvent&)>;
using Provider = std::function<ConfigData(const kovaStore::KovaConfigEvent&)>;

class Store {
 public:
  Store() = default;
  explicit Store(uint32_t callId);
  // The store of the helper's call; an empty Store when it has no call id.
  static Store Of(const kovaStore::KovaConfigHelper& helper);

  explicit operator bool() const noexcept { return Raw() != nullptr; }
  // The exported interface of the same store; null for an empty Store. Valid
  // while this Store lives.
  kovaStore::IKovaConfig* Raw() const noexcept;

  // The stored value read as T; std::nullopt when the name is not stored or
  // its text is not a T.
  template <class T>
  std::optional<T> Get(KovaConfigGroup group, const char* name) const {
    return Parse<T>(ReadRaw(group, name));
  }
  template <class T>
  T GetOr(KovaConfigGroup group, const char* name, T fallback) const {
    std::optional<T> value = Get<T>(group, name);
    return value ? *std::move(value) : std::move(fallback);
  }
  std::string GetOr(KovaConfigGroup group, const char* name,
                    const char* fallback) const {
    return GetOr<std::string>(group, name, fallback);
  }
  // Stores the value's text (SetKovaConfig without forcing); the store's
  // result, see Succeeded(code, Operation::kSet).
  template <class T>
  KOVA_RESULT Set(KovaConfigGroup group, const char* name,
                  const T& value) const {
    return WriteRaw(group, name, Format(value));
  }
  KOVA_RESULT Set(KovaConfigGroup group, const char* name,
                  const char* value) const {
    return WriteRaw(group, name, ConfigData(value));
  }

  // Calls `callback` with every change of the name's stored value, as
  // `delivery` says (see ostrel/cpp/subscription.h). A name that already
  // holds a value is delivered at once (inline: before Subscribe returns).
  // An empty handle when the store refuses it.
  Subscription Subscribe(KovaConfigGroup group, const char* name,
                         Callback callback,
                         Delivery delivery = Delivery::Inline()) const;
  // The same with the value read as T (std::nullopt: not stored, or not a T).
  template <class T>
  Subscription Watch(KovaConfigGroup group, const char* name,
                     std::function<void(std::optional<T>)> callback,
                     Delivery delivery = Delivery::Inline()) const {
    return Subscribe(
        group, name,
        [callback =
             std::move(callback)](const kovaStore::KovaConfigEvent& event) {
          callback(Parse<T>(event.newValue));
        },
        std::move(delivery));
  }
  // Binds the name's one provider; an empty handle when the name has one.
  Subscription Bind(KovaConfigGroup group, const char* name,
                    Provider provider) const;

 private:
  ConfigData ReadRaw(KovaConfigGroup group, const char* name) const;
  KOVA_RESULT WriteRaw(KovaConfigGroup group, const char* name,
                       ConfigData value) const;

  std::shared_ptr<detail::StoreRef> m_ref;
};

// One name in one group of a Store: what Toggle() returns. It refers to the
// Store it was made from, which must outlive it.
class Entry {
 public:
  Entry(const Store& store, KovaConfigGroup group, const char* name)
      : m_store(&store), m_group(group), m_name(name) {}

  // The configuration name; null for a toggle id outside 0 to 250.
  const char* Name() const noexcept { return m_name; }

  template <class T>
  std::optional<T> Get() const {
    return m_store->Get<T>(m_group, m_name);
  }
  template <class T>
  T GetOr(T fallback) const {
    return m_store->GetOr<T>(m_group, m_name, std::move(fallback));
  }
  template <class T>
  KOVA_RESULT Set(const T& value) const {
    return m_store->Set(m_group, m_name, value);
  }
  Subscription Subscribe(Callback callback,
                         Delivery delivery = Delivery::Inline()) const {
    return m_store->Subscribe(m_group, m_name, std::move(callback),
                              std::move(delivery));
  }
  template <class T>
  Subscription Watch(std::function<void(std::optional<T>)> callback,
                     Delivery delivery = Delivery::Inline()) const {
    return m_store->Watch<T>(m_group, m_name, std::move(callback),
                             std::move(delivery));
  }

 private:
  const Store* m_store;
  KovaConfigGroup m_group;
  const char* m_name;
};

// A feature toggle of the call: its name in group "Feature". An id outside 0
// to 250 has no name: reads give std::nullopt, writes and subscriptions fail
// as for a null name.
inline Entry Toggle(const Store& call, KovaFeatureToggleID id) {
  return Entry(call, kovaStore::KovaConfigGroup_Feature,
               kovaStore::KovaConfigHelper::GetFeatureToggleName(id));
}
// A temporary Store would be gone before the Entry is used.
Entry Toggle(const Store&& call, KovaFeatureToggleID id) = delete;

}  // namespace ostrel

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_STORE_H_
