// Costs of the util pieces every operation of ostrel leans on, each beside a
// baseline in this binary:
//   trace below the mask     vs  an empty out-of-line call
//   ConfigData copy          vs  std::string copy of the same bytes
//   posted / sent event      vs  a condition-variable ping-pong of two threads
// The "allocs" counter is heap allocations per iteration.
#include <CmThread.h>
#include <ConfigData.h>
#include <KovaResult.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "support/trace.h"

namespace {

std::atomic<long> g_allocations{0};

}  // namespace

// Counts every heap allocation of the process, so that a benchmark can show
// what one iteration allocates. The replacements stay out of line, so that the
// compiler never pairs an inlined malloc() or free() with a new-expression and
// takes it for a mismatch.
__attribute__((noinline)) void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept {
  std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

// Reports allocations per iteration for the benchmark's whole run.
class AllocationCounter {
 public:
  explicit AllocationCounter(benchmark::State& state)
      : m_state(state), m_start(g_allocations.load()) {}
  ~AllocationCounter() {
    m_state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(g_allocations.load() - m_start),
                           benchmark::Counter::kAvgIterations);
  }

 private:
  benchmark::State& m_state;
  long m_start;
};

__attribute__((noinline)) void emptyCall(int n) { benchmark::DoNotOptimize(n); }

void BM_Baseline_EmptyCall(benchmark::State& state) {
  AllocationCounter allocs(state);
  int n = 0;
  for (auto _ : state) emptyCall(++n);
}
BENCHMARK(BM_Baseline_EmptyCall);

void BM_InfoTraceBelowMask(benchmark::State& state) {
  const int previous = get_external_trace_mask();
  set_external_trace_mask(0);
  const std::string group = "Feature";
  const int object = 0;
  AllocationCounter allocs(state);
  unsigned n = 0;
  for (auto _ : state) {
    ++n;
    KOVA_INFO_TRACE("kovaStore::KovaConfig::SetKovaConfig, "
                    << group << ", n=" << n << KOVA_STORE_SUFFIX(n, &object));
    benchmark::ClobberMemory();
  }
  set_external_trace_mask(previous);
}
BENCHMARK(BM_InfoTraceBelowMask);

void BM_Baseline_StringCopy(benchmark::State& state) {
  const std::string source(static_cast<size_t>(state.range(0)), 'v');
  AllocationCounter allocs(state);
  for (auto _ : state) {
    std::string copy(source);
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_Baseline_StringCopy)->Arg(8)->Arg(16);

void BM_ConfigDataCopy(benchmark::State& state) {
  const ConfigData source(
      std::string(static_cast<size_t>(state.range(0)), 'v'));
  AllocationCounter allocs(state);
  for (auto _ : state) {
    ConfigData copy(source);
    benchmark::DoNotOptimize(copy.GetData());
  }
}
BENCHMARK(BM_ConfigDataCopy)->Arg(8)->Arg(16);

// One waiter, one signaller: the hand-back both event benchmarks and the
// baseline share.
class Signal {
 public:
  void Raise() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_raised = true;
    }
    m_cond.notify_one();
  }
  void WaitAndReset() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cond.wait(lock, [this] { return m_raised; });
    m_raised = false;
  }

 private:
  std::mutex m_mutex;  // guards m_raised
  std::condition_variable m_cond;
  bool m_raised = false;
};

void BM_Baseline_CondVarPingPong(benchmark::State& state) {
  Signal request;
  Signal reply;
  std::atomic<bool> quit{false};
  std::thread peer([&] {
    for (;;) {
      request.WaitAndReset();
      if (quit.load()) return;
      reply.Raise();
    }
  });
  AllocationCounter allocs(state);
  for (auto _ : state) {
    request.Raise();
    reply.WaitAndReset();
  }
  quit.store(true);
  request.Raise();
  peer.join();
}
BENCHMARK(BM_Baseline_CondVarPingPong)->UseRealTime();

class RaiseEvent : public ICmEvent {
 public:
  explicit RaiseEvent(Signal* pSignal) : m_pSignal(pSignal) {}
  int OnEventFire() override {
    m_pSignal->Raise();
    return CM_OK;
  }

 private:
  Signal* m_pSignal;
};

class NoopEvent : public ICmEvent {
 public:
  int OnEventFire() override { return CM_OK; }
};

void BM_PostEventRoundTrip(benchmark::State& state) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("bench-post");
  ICmEventQueue* queue = thread->GetEventQueue();
  Signal done;
  AllocationCounter allocs(state);
  for (auto _ : state) {
    if (queue->PostEvent(new RaiseEvent(&done)) != CM_OK) {
      state.SkipWithError("PostEvent failed");
      break;
    }
    done.WaitAndReset();
  }
}
BENCHMARK(BM_PostEventRoundTrip)->UseRealTime();

void BM_SendEvent(benchmark::State& state) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("bench-send");
  ICmEventQueue* queue = thread->GetEventQueue();
  AllocationCounter allocs(state);
  for (auto _ : state) {
    if (queue->SendEvent(new NoopEvent) != CM_OK) {
      state.SkipWithError("SendEvent failed");
      break;
    }
  }
}
BENCHMARK(BM_SendEvent)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
