// Query: what a provider bound with Store::Bind<T> is asked, the dynamic
// query of one name, with its parameter read as a typed value.
//
//   auto sub = call.Bind<int>(kovaStore::KovaConfigGroup_Video, "MaxFps",
//                             [](const ostrel::Query& q) {
//                               return q.ParameterOr<int>(0) > 2 ? 30 : 60;
//                             });
//   std::optional<int> fps =
//       call.Query<int>(kovaStore::KovaConfigGroup_Video, "MaxFps", 3).value;
//
// A Query refers to the store's event for the duration of the provider's
// call only; do not keep it.
#ifndef OSTREL_CPP_INCLUDE_OSTREL_CPP_QUERY_H_
#define OSTREL_CPP_INCLUDE_OSTREL_CPP_QUERY_H_

#include <ostrel.h>  // the exported interface (ostrel/include)
#include <ostrel/cpp/values.h>

#include <optional>
#include <string>

namespace ostrel {

class Query {
 public:
  explicit Query(const kovaStore::KovaConfigEvent& event) : m_event(event) {}
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  const std::string& Name() const { return m_event.configName; }
  kovaStore::KovaConfigGroup Group() const { return m_event.group; }
  // The parameter the querying caller passed (the invalid value: none).
  const ConfigData& RawParameter() const { return m_event.paramValue; }
  // The parameter read as T; see ostrel/cpp/values.h.
  template <class T>
  [[nodiscard]] Reading<T> Parameter() const {
    return ReadingOf<T>(m_event.paramValue);
  }
  template <class T>
  [[nodiscard]] T ParameterOr(T fallback) const {
    std::optional<T> value = Parse<T>(m_event.paramValue);
    return value ? *std::move(value) : std::move(fallback);
  }
  const kovaStore::KovaConfigEvent& Event() const { return m_event; }

 private:
  const kovaStore::KovaConfigEvent& m_event;
};

}  // namespace ostrel

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_QUERY_H_
