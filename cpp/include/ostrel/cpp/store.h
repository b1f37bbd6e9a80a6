// Store: a shared handle on the configuration store of one call, with typed
// reads and writes and subscriptions that end when their handle does.
//
//   ostrel::Store call(callId);                    // the call's store
//   int fps = call.GetOr(kovaStore::KovaConfigGroup_Video, "MaxFps", 30);
//   call.Set(kovaStore::KovaConfigGroup_Video, "MaxFps", 60);
//   KOVA_RESULT r = call.Apply(R"({"Video":[{"key":"Codec","value":"av1"}]})");
//   auto bitrate = call.Read<int>(kovaStore::KovaConfigGroup_Video, "Kbps");
//   if (bitrate.status == ostrel::ReadStatus::kNotA)
//     log("Kbps is not a number: %s", bitrate.raw.c_str());
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
// Handles that read one name at the cost of one load are ostrel::Value<T> and
// ostrel::Toggle (ostrel/cpp/handles.h). Typed values follow the table in
// ostrel/cpp/values.h. Groups are
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

#include <ostrel.h>  // the exported interface (ostrel/include)
#include <ostrel/cpp/exchange.h>
#include <ostrel/cpp/query.h>
#include <ostrel/cpp/subscription.h>
#include <ostrel/cpp/values.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace ostrel {

using kovaStore::KovaConfigGroup;
using Callback = std::function<void(const kovaStore::KovaConfigEvent&)>;
using Provider = std::function<ConfigData(const kovaStore::KovaConfigEvent&)>;

namespace detail {
// A query's parameter as the store takes it: a ConfigData as it is, a text
// as its bytes, any other value type through Format.
template <class P>
ConfigData ParameterData(const P& parameter) {
  if constexpr (std::is_same_v<P, ConfigData>) {
    return parameter;
  } else if constexpr (std::is_convertible_v<const P&, const char*>) {
    return ConfigData(static_cast<const char*>(parameter));
  } else if constexpr (std::is_same_v<P, std::string_view>) {
    return ConfigData(std::string(parameter));
  } else {
    return Format(parameter);
  }
}
template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
}  // namespace detail

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
  [[nodiscard]] std::optional<T> Get(KovaConfigGroup group,
                                     const char* name) const {
    return Parse<T>(ReadRaw(group, name));
  }
  template <class T>
  [[nodiscard]] T GetOr(KovaConfigGroup group, const char* name,
                        T fallback) const {
    std::optional<T> value = Get<T>(group, name);
    return value ? *std::move(value) : std::move(fallback);
  }
  [[nodiscard]] std::string GetOr(KovaConfigGroup group, const char* name,
                                  const char* fallback) const {
    return GetOr<std::string>(group, name, fallback);
  }
  // The same, saying why there is no T: the name absent, or stored with a
  // text that is not a T (the text in `raw`).
  template <class T>
  [[nodiscard]] Reading<T> Read(KovaConfigGroup group, const char* name) const {
    return ReadingOf<T>(ReadRaw(group, name));
  }
  // The stored text copied into `buffer`, as a view of it; std::nullopt when
  // the name is absent or its text is longer than `capacity`. Allocates
  // nothing once the calling thread has read a text of that length before.
  [[nodiscard]] std::optional<std::string_view> GetText(KovaConfigGroup group,
                                                        const char* name,
                                                        char* buffer,
                                                        size_t capacity) const;
  template <size_t N>
  [[nodiscard]] std::optional<std::string_view> GetText(
      KovaConfigGroup group, const char* name, char (&buffer)[N]) const {
    return GetText(group, name, buffer, N);
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

  // Applies a configuration document (ApplyKovaConfigs): KOVA_S_OK or
  // KOVA_E_FAIL, KOVA_E_INVALIDARG for an empty Store. With `report`, also
  // what the apply changed (see ostrel/cpp/exchange.h); building it dumps the
  // store twice.
  KOVA_RESULT Apply(std::string_view text, ApplyReport* report = nullptr) const;
  // The selected groups (bit n: group n) as a document; "{}" for an empty
  // Store or a mask without group bits. A copy: any thread may dump at once.
  [[nodiscard]] std::string Dump(uint32_t groups = kAllGroups,
                                 DumpForm form = DumpForm::kAsWritten) const;

  // Asks the name's provider (GetDynamicConfig) and reads its answer as T:
  // absent when no provider is bound or it answered the invalid value. The
  // parameter is a value type, a text or a ConfigData.
  template <class T, class P>
  [[nodiscard]] Reading<T> Query(KovaConfigGroup group, const char* name,
                                 const P& parameter) const {
    return ReadingOf<T>(
        QueryRaw(group, name, detail::ParameterData(parameter)));
  }
  template <class T>
  [[nodiscard]] Reading<T> Query(KovaConfigGroup group,
                                 const char* name) const {
    return ReadingOf<T>(QueryRaw(group, name, ConfigData()));
  }

  // Calls `callback` with every change of the name's stored value, as
  // `delivery` says (see ostrel/cpp/subscription.h). A name that already
  // holds a value is delivered at once (inline: before Subscribe returns).
  // An empty handle when the store refuses it.
  [[nodiscard]] Subscription Subscribe(
      KovaConfigGroup group, const char* name, Callback callback,
      Delivery delivery = Delivery::Inline()) const;
  // The same with the value read as T (std::nullopt: not stored, or not a T).
  template <class T>
  [[nodiscard]] Subscription Watch(
      KovaConfigGroup group, const char* name,
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
  [[nodiscard]] Subscription Bind(KovaConfigGroup group, const char* name,
                                  Provider provider) const;
  // The same with a typed provider: `provider(const ostrel::Query&)` returns
  // a T, or a std::optional<T> whose std::nullopt answers the invalid value.
  template <class T, class F>
  [[nodiscard]] Subscription Bind(KovaConfigGroup group, const char* name,
                                  F provider) const {
    return Bind(
        group, name,
        Provider([provider = std::move(provider)](
                     const kovaStore::KovaConfigEvent& event) {
          const ostrel::Query query(event);
          if constexpr (detail::IsOptional<
                            std::decay_t<decltype(provider(query))>>::value) {
            const auto answer = provider(query);
            return answer ? Format<T>(*answer) : ConfigData();
          } else {
            return Format<T>(provider(query));
          }
        }));
  }

 private:
  ConfigData ReadRaw(KovaConfigGroup group, const char* name) const;
  KOVA_RESULT WriteRaw(KovaConfigGroup group, const char* name,
                       ConfigData value) const;
  ConfigData QueryRaw(KovaConfigGroup group, const char* name,
                      ConfigData parameter) const;

  std::shared_ptr<detail::StoreRef> m_ref;
};

}  // namespace ostrel

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_STORE_H_
