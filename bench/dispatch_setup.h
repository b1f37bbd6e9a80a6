// Setup shared by the benchmarks of change dispatch: trace output cut to
// errors, the group their names live in, and subscribers that count their
// calls, all through IKovaConfig as a host reaches the store.
//
//   bench::QuietTrace quiet;
//   std::atomic<int64_t> calls{0};
//   bench::subscribeCounting(store, bench::kDispatchGroup, "AecMode", calls,
//                            runThread.get(), true);
//   bench::subscribeCounters(store, bench::kDispatchGroup, "AecMode", 8,
//   calls); store.SetKovaConfig(bench::kDispatchGroup, "AecMode", value, true,
//   false);
#ifndef OSTREL_BENCH_DISPATCH_SETUP_H_
#define OSTREL_BENCH_DISPATCH_SETUP_H_

#include <CmThread.h>
#include <CmTrace.h>

#include <atomic>
#include <cstdint>

#include "ostrel/IKovaConfig.h"

namespace bench {

constexpr kovaStore::KovaConfigGroup kDispatchGroup =
    kovaStore::KovaConfigGroup_Audio;

// Errors only, as in production; the information lines would dominate.
class QuietTrace {
 public:
  QuietTrace() : m_previous(get_external_trace_mask()) {
    set_external_trace_mask(0);
  }
  ~QuietTrace() { set_external_trace_mask(m_previous); }
  QuietTrace(const QuietTrace&) = delete;
  QuietTrace& operator=(const QuietTrace&) = delete;

 private:
  int m_previous;
};

// Subscribes to the name a callback that adds one to `calls` (relaxed);
// called on `pRunThread` (null: the setter's), posted when `bAsync`. Yields
// the observer id.
inline uint64_t subscribeCounting(kovaStore::IKovaConfig& store,
                                  kovaStore::KovaConfigGroup group,
                                  const char* szConfigName,
                                  std::atomic<int64_t>& calls,
                                  ACmThread* pRunThread = nullptr,
                                  bool bAsync = false) {
  return store.SubscribeConfig(
      group, szConfigName,
      [&calls](const kovaStore::KovaConfigEvent&) {
        calls.fetch_add(1, std::memory_order_relaxed);
      },
      pRunThread, bAsync);
}

// `count` such subscribers of the name.
inline void subscribeCounters(kovaStore::IKovaConfig& store,
                              kovaStore::KovaConfigGroup group,
                              const char* szConfigName, int count,
                              std::atomic<int64_t>& calls,
                              ACmThread* pRunThread = nullptr,
                              bool bAsync = false) {
  for (int i = 0; i < count; ++i) {
    subscribeCounting(store, group, szConfigName, calls, pRunThread, bAsync);
  }
}

}  // namespace bench

#endif  // OSTREL_BENCH_DISPATCH_SETUP_H_
