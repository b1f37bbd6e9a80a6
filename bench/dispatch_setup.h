// What the dispatch benchmarks set up around a store: errors-only tracing, and
// subscribers of a name that count their calls.
//
//   bench::QuietTrace quiet;
//   std::atomic<int64_t> calls{0};
//   bench::subscribeCounters(store, kGroup, "AecMode", 8, calls);
#ifndef OSTREL_BENCH_DISPATCH_SETUP_H_
#define OSTREL_BENCH_DISPATCH_SETUP_H_

#include <CmTrace.h>

#include <atomic>
#include <cstdint>

#include "ostrel/IKovaConfig.h"

class ACmThread;

namespace bench {

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

// Subscribes `count` observers of the name, each adding 1 to `calls` per
// call (relaxed): direct ones without a run thread, else delivered on it.
inline void subscribeCounters(kovaStore::IKovaConfig& store,
                              kovaStore::KovaConfigGroup group,
                              const char* szName, int count,
                              std::atomic<int64_t>& calls,
                              ACmThread* pRunThread = nullptr,
                              bool bAsync = false) {
  for (int i = 0; i < count; ++i) {
    store.SubscribeConfig(
        group, szName,
        [&calls](const kovaStore::KovaConfigEvent&) {
          calls.fetch_add(1, std::memory_order_relaxed);
        },
        pRunThread, bAsync);
  }
}

}  // namespace bench

#endif  // OSTREL_BENCH_DISPATCH_SETUP_H_
