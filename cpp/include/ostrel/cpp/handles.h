// Handles on one name of a call's store: Entry (reads and writes through the
// store), and the read handles Value<T> and Toggle, resolved once and read
// at the cost of one load while the value is unchanged.
//
//   ostrel::Store call(callId);
//   ostrel::Value<int> fps(call, kovaStore::KovaConfigGroup_Video, "MaxFps");
//   ostrel::Toggle relay(call, KOVA_FT_EnableRelayMode);
//   ...                                      // per frame, on any thread:
//   int limit = fps.GetOr(30);               // one acquire load if unchanged
//   if (relay.GetOr(false)) { ... }
//
// A read handle keeps the view of the name's cell that GetKovaConfigCell
// hands out (KovaConfigCell.h) and the version it last read: a read loads the
// cell's version word with acquire order and, while it equals the cached one,
// answers the cached typed value; when it moved, it reads and parses again.
// So a handle sees every later set, a removal (of the name, of its group, a
// notify-only set) as absent, and a name first set after the handle was made.
// A read that starts after a set has returned (on a thread the set
// happens-before) sees that set or a later one, and reads through one handle
// never go back to an older value. Each handle holds a reference on the
// call's store (a Store copy), so the cell outlives it; when
// DestroyKovaConfig() destroys the store anyway, the handle answers absent
// from then on and never reads freed memory.
//
// Threads: Toggle may be read by any number of threads at once (its cache is
// atomic words, each the last state word seen to hold true, false, or
// neither: facts about the cell that a race can leave stale, never wrong).
// A Value<T> caches a T in place: one Value<T> must not be read by two
// threads at once; copy it per thread (copies are cheap: a Store
// reference and the view). Handles made from an empty Store, or a toggle id
// outside 0 to 250, read absent.
#ifndef OSTREL_CPP_INCLUDE_OSTREL_CPP_HANDLES_H_
#define OSTREL_CPP_INCLUDE_OSTREL_CPP_HANDLES_H_

#include <ostrel.h>  // the exported interface (ostrel/include)
#include <ostrel/cpp/store.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace ostrel {

// One name in one group of a Store, read and written through the store; the
// base of Toggle. It holds a reference on the call's store.
class Entry {
 public:
  Entry(const Store& store, KovaConfigGroup group, const char* name)
      : m_store(store), m_group(group), m_name(name) {}

  // The configuration name; null for a toggle id outside 0 to 250.
  const char* Name() const noexcept { return m_name; }

  template <class T>
  [[nodiscard]] std::optional<T> Get() const {
    return m_store.Get<T>(m_group, m_name);
  }
  template <class T>
  [[nodiscard]] T GetOr(T fallback) const {
    return m_store.GetOr<T>(m_group, m_name, std::move(fallback));
  }
  template <class T>
  [[nodiscard]] Reading<T> Read() const {
    return m_store.Read<T>(m_group, m_name);
  }
  template <class T>
  KOVA_RESULT Set(const T& value) const {
    return m_store.Set(m_group, m_name, value);
  }
  [[nodiscard]] Subscription Subscribe(
      Callback callback, Delivery delivery = Delivery::Inline()) const {
    return m_store.Subscribe(m_group, m_name, std::move(callback),
                             std::move(delivery));
  }
  template <class T>
  [[nodiscard]] Subscription Watch(
      std::function<void(std::optional<T>)> callback,
      Delivery delivery = Delivery::Inline()) const {
    return m_store.Watch<T>(m_group, m_name, std::move(callback),
                            std::move(delivery));
  }

 protected:
  Store m_store;
  KovaConfigGroup m_group;
  const char* m_name;
};

namespace detail {
// The view of a name: GetKovaConfigCell's, or one that reads absent when the
// store or the name is refused.
kovaStore::KovaConfigCell CellOf(const Store& store, KovaConfigGroup group,
                                 const char* name);
// The state word that no cell ever holds: a handle that has not resolved its
// cell caches a version that never matches it.
constexpr uint64_t kNoState = ~uint64_t{0};
}  // namespace detail

// A feature toggle of the call: its name in group "Feature", read as a bool
// through a one-load handle (GetOr(bool), IsOn, Have), and an Entry for every
// other use. The view is resolved at the first such read, so a temporary
// `Toggle(call, id).GetOr(false)` costs one store read and no resolution.
class Toggle : public Entry {
 public:
  Toggle(const Store& call, KovaFeatureToggleID id)
      : Entry(call, kovaStore::KovaConfigGroup_Feature,
              kovaStore::KovaConfigHelper::GetFeatureToggleName(id)) {}
  Toggle(const Toggle& other) : Entry(other) { CopyView(other); }
  Toggle& operator=(const Toggle& other) {
    Entry::operator=(other);
    CopyView(other);
    return *this;
  }

  using Entry::GetOr;
  // The toggle as a bool ("1"/"true", "0"/"false"); `fallback` when absent
  // or not a bool.
  [[nodiscard]] bool GetOr(bool fallback) const& {
    const uint64_t state = m_state.load(std::memory_order_acquire)
                               ->load(std::memory_order_acquire);
    if (state == m_trueAt.load(std::memory_order_relaxed)) return true;
    if (state == m_falseAt.load(std::memory_order_relaxed)) return false;
    if (state == m_neitherAt.load(std::memory_order_relaxed)) return fallback;
    return Refresh(fallback);
  }
  [[nodiscard]] bool GetOr(bool fallback) const&& {
    return Entry::GetOr<bool>(fallback);
  }
  [[nodiscard]] bool IsOn() const& { return GetOr(false); }
  // Whether the toggle holds a value, whatever it is.
  [[nodiscard]] bool Have() const& {
    if (m_read.load(std::memory_order_acquire) == nullptr) (void)Refresh(false);
    return (m_state.load(std::memory_order_acquire)
                ->load(std::memory_order_acquire) &
            1) != 0;
  }

 private:
  // Resolves the view if needed, reads and parses, caches; any thread.
  bool Refresh(bool fallback) const;
  void CopyView(const Toggle& other);

  using ReadFunction = bool (*)(const std::atomic<uint64_t>*, ConfigData&,
                                uint64_t*);
  static const std::atomic<uint64_t> s_unresolved;
  // The view; m_read is stored (release) after m_state, so a thread that
  // loads it non-null finds the cell. Until then m_state is s_unresolved,
  // whose word (kNoState) no cache ever matches. Resolving threads store the
  // same two values, so racing resolutions agree.
  mutable std::atomic<const std::atomic<uint64_t>*> m_state{&s_unresolved};
  mutable std::atomic<ReadFunction> m_read{nullptr};
  // The cache: the last state word seen to hold true, to hold false, and to
  // hold neither (absent or not a bool). Each is a fact about the cell's
  // history that never becomes untrue, so threads may store them in any
  // order: a stale one only fails to match. kNoFact matches no state word
  // (s_unresolved's included).
  static constexpr uint64_t kNoFact = detail::kNoState - 1;
  mutable std::atomic<uint64_t> m_trueAt{kNoFact};
  mutable std::atomic<uint64_t> m_falseAt{kNoFact};
  mutable std::atomic<uint64_t> m_neitherAt{kNoFact};
};

// A typed read handle on one name: Get() answers the value as T (std::nullopt
// when absent or not a T), Have() whether the name is stored.
template <class T>
class Value {
 public:
  Value() : m_cell(detail::CellOf(Store(), KovaConfigGroup(0), nullptr)) {}
  Value(const Store& store, KovaConfigGroup group, const char* name)
      : m_store(store), m_cell(detail::CellOf(store, group, name)) {}

  [[nodiscard]] const std::optional<T>& Get() const {
    const uint64_t state = m_cell.pState->load(std::memory_order_acquire);
    if (state != m_seen) Refresh();
    return m_value;
  }
  // While the cell holds the state word of the cached T: one load, one
  // compare, the T; everything else (absent, not a T, moved) out of line.
  [[nodiscard]] T GetOr(T fallback) const {
    const uint64_t state = m_cell.pState->load(std::memory_order_acquire);
#if defined(__GNUC__)
    if (__builtin_expect(state == m_presentAt, 1)) return *m_value;
#else
    if (state == m_presentAt) return *m_value;
#endif
    return GetOrAfterMiss(std::move(fallback));
  }
  [[nodiscard]] bool Have() const {
    return (m_cell.pState->load(std::memory_order_acquire) & 1) != 0;
  }
  // The name's text and whether it is a T.
  [[nodiscard]] Reading<T> Read() const {
    ConfigData value;
    m_cell.pfnRead(m_cell.pState, value, nullptr);
    return ReadingOf<T>(value);
  }

 private:
#if defined(__GNUC__)
  __attribute__((noinline))
#endif
  void
  Refresh() const {
    uint64_t state = 0;
    if (m_cell.pfnRead(m_cell.pState, m_text, &state)) {
      m_value =
          ParseText<T>(std::string_view(m_text.GetData(), m_text.GetLength()));
    } else {
      m_value.reset();
    }
    m_seen = state;
    m_presentAt = m_value ? state : detail::kNoState;
  }
#if defined(__GNUC__)
  __attribute__((noinline))
#endif
  T
  GetOrAfterMiss(T fallback) const {
    const std::optional<T>& value = Get();
    return value ? *value : std::move(fallback);
  }

  Store m_store;
  kovaStore::KovaConfigCell m_cell;
  // The state word that m_value was read at, and the same word only when
  // m_value holds a T (kNoState otherwise), which GetOr compares alone.
  mutable uint64_t m_seen = detail::kNoState;
  mutable uint64_t m_presentAt = detail::kNoState;
  mutable std::optional<T> m_value;
  // The last text read, reused so that a read allocates only when the
  // length grows.
  mutable ConfigData m_text;
};

}  // namespace ostrel

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_HANDLES_H_
