// Deliveries to another thread against a widely used peer: a signal of a
// QObject connected to a QObject that lives in a QThread running the peer's
// own event loop (QT_NO_GLIB=1). The store is reached as a host reaches it:
// CreateKovaConfig(), IKovaConfig and a util event thread, through
// libostrel. Each figure comes from interleaved rounds (the order alternates
// round by round) and is the median over the rounds.
//   BM_PostedDeliveries   a setter posts 100,000 changes (forced sets, the
//                         subscriber asked for posted delivery) vs as many
//                         emits over a queued connection; the setter and
//                         the receiver on separate cores. Reported: deliveries
//                         run per second (until the receiver has run the
//                         last), the setter's ns per set or emit (wall and
//                         thread CPU time), heap allocations (operator new)
//                         per delivery, and the ratio of the rates.
//   BM_BlockingHandOver   the blocking hand-over round trip (a set whose
//                         subscriber's run thread is the receiver, the setter
//                         waiting until the callback ran) vs an emit over a
//                         blocking queued connection; arg 1: both threads
//                         pinned to one core, arg 2: to two cores. Reported:
//                         p50 and p99 in us, their ratios, and heap
//                         allocations per round trip.
// Run: build/release/bench/delivery_peer_bench
#include <ConfigData.h>
#include <KovaResult.h>
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QObject>
#include <QSemaphore>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <vector>

#include "dispatch_setup.h"
#include "ostrel/IKovaConfig.h"
#include "ostrel/KovaConfigApi.h"
#include "qt_peer.h"
#include "round_stats.h"

// Every operator new of the process (the libraries' too) is counted.
namespace {

using bench::median;
using bench::threadCpuNs;
std::atomic<uint64_t> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kCallId = 0x5E7;
constexpr const char* kName = "AecMode";
constexpr int kPostsPerRound = 100000;
constexpr int kPostRounds = 9;
constexpr int kTripsPerRound = 2000;
constexpr int kTripRounds = 15;

// The CPUs this process may run on, in order, as they were at its start
// (before any pinning).
const std::vector<int>& allowedCpus() {
  static const std::vector<int> cpus = [] {
    std::vector<int> result;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) != 0) return result;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &set)) result.push_back(cpu);
    }
    return result;
  }();
  return cpus;
}

// Pins the calling thread to one CPU (-1: to every CPU in `all`).
void pinCallingThread(int cpu, const std::vector<int>& all) {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (cpu >= 0) {
    CPU_SET(cpu, &set);
  } else {
    for (int each : all) CPU_SET(each, &set);
  }
  pthread_setaffinity_np(pthread_self(), sizeof(set), &set);
}

// Runs a function on a util event thread, waiting for it.
struct RunOnce : ICmEvent {
  explicit RunOnce(std::function<void()> f) : fn(std::move(f)) {}
  int OnEventFire() override {
    fn();
    return 0;
  }
  std::function<void()> fn;
};

// A receiver thread of each kind, with the sending side of each. The setter
// is the benchmark's thread.
class Peers {
 public:
  explicit Peers(bool bBlocking) {
    kovaStore::CreateKovaConfig(kCallId, &m_store);
    m_runThread = CreateCmEventThread("bench-recv");
    if (m_store != nullptr) {
      bench::subscribeCounting(*m_store, bench::kDispatchGroup, kName,
                               m_storeCalls, m_runThread.get(), !bBlocking);
    }
    m_qtThread.start();
    m_counter.moveToThread(&m_qtThread);
    QObject::connect(
        &m_emitter, &bench::Emitter::changed, &m_counter,
        &bench::PeerCounter::onValueChanged,
        bBlocking ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
  }
  ~Peers() {
    m_qtThread.quit();
    m_qtThread.wait();
    m_runThread->Stop();
    if (m_store != nullptr) {
      kovaStore::ReleaseKovaConfig(m_store);
      kovaStore::CleanUpKovaConfig(kCallId);
    }
  }
  Peers(const Peers&) = delete;
  Peers& operator=(const Peers&) = delete;

  bool ready() const { return m_store != nullptr; }

  // Pins the setter (this thread) and both receivers: cpu -1 unpins.
  void pin(int setterCpu, int receiverCpu) {
    const std::vector<int>& all = allowedCpus();
    pinCallingThread(setterCpu, all);
    m_runThread->GetEventQueue()->SendEvent(
        new RunOnce([&] { pinCallingThread(receiverCpu, all); }));
    QSemaphore done;
    QMetaObject::invokeMethod(
        &m_counter,
        [&] {
          pinCallingThread(receiverCpu, all);
          done.release();
        },
        Qt::QueuedConnection);
    done.acquire();
  }

  void setOnce() {
    m_store->SetKovaConfig(bench::kDispatchGroup, kName, ConfigData("1"), true,
                           false);
  }
  void emitOnce() { emit m_emitter.changed(m_value); }

  std::atomic<int64_t>& storeCalls() { return m_storeCalls; }
  std::atomic<int64_t>& qtCalls() { return m_qtCalls; }

 private:
  kovaStore::IKovaConfig* m_store = nullptr;
  std::atomic<int64_t> m_storeCalls{0};
  std::unique_ptr<ACmThread> m_runThread;
  QThread m_qtThread;
  bench::Emitter m_emitter;
  std::atomic<int64_t> m_qtCalls{0};
  bench::PeerCounter m_counter{m_qtCalls};
  const QByteArray m_value = QByteArray("1");
};

// CPU time of the calling thread: what the setter spends, without the time
// other programs on the machine take from it.
struct PostRound {
  double perSecond;
  double setterNs;
  double setterCpuNs;
  double allocationsPerDelivery;
};

// `count` deliveries by `deliver`, timed until `calls` shows them all run.
PostRound timePosts(const std::function<void()>& deliver,
                    std::atomic<int64_t>& calls) {
  const int64_t target = calls.load() + kPostsPerRound;
  const uint64_t allocationsBefore = g_allocations.load();
  const double cpuStart = threadCpuNs();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kPostsPerRound; ++i) deliver();
  const Clock::time_point posted = Clock::now();
  const double cpuSetting = threadCpuNs() - cpuStart;
  while (calls.load(std::memory_order_relaxed) < target) sched_yield();
  const Clock::time_point drained = Clock::now();
  const uint64_t allocations = g_allocations.load() - allocationsBefore;
  const std::chrono::duration<double> took = drained - start;
  const std::chrono::duration<double, std::nano> setting = posted - start;
  return PostRound{kPostsPerRound / took.count(),
                   setting.count() / kPostsPerRound,
                   cpuSetting / kPostsPerRound,
                   static_cast<double>(allocations) / kPostsPerRound};
}

void BM_PostedDeliveries(benchmark::State& state) {
  bench::QuietTrace quiet;
  Peers peers(false);
  if (!peers.ready()) {
    state.SkipWithError("no store");
    return;
  }
  const std::vector<int>& cpus = allowedCpus();
  if (cpus.size() >= 2) peers.pin(cpus[0], cpus[1]);
  const std::function<void()> set = [&] { peers.setOnce(); };
  const std::function<void()> emitIt = [&] { peers.emitOnce(); };
  std::vector<double> storeRate, qtRate, storeNs, qtNs, storeCpu, qtCpu,
      storeAllocs, qtAllocs;
  for (auto _ : state) {
    timePosts(set, peers.storeCalls());  // warm-up
    timePosts(emitIt, peers.qtCalls());
    for (int round = 0; round < kPostRounds; ++round) {
      for (int k = 0; k < 2; ++k) {
        if ((round + k) % 2 == 0) {
          const PostRound r = timePosts(set, peers.storeCalls());
          storeRate.push_back(r.perSecond);
          storeNs.push_back(r.setterNs);
          storeCpu.push_back(r.setterCpuNs);
          storeAllocs.push_back(r.allocationsPerDelivery);
        } else {
          const PostRound r = timePosts(emitIt, peers.qtCalls());
          qtRate.push_back(r.perSecond);
          qtNs.push_back(r.setterNs);
          qtCpu.push_back(r.setterCpuNs);
          qtAllocs.push_back(r.allocationsPerDelivery);
        }
      }
    }
  }
  peers.pin(-1, -1);
  state.counters["ostrel_per_s"] = median(storeRate);
  state.counters["qt_per_s"] = median(qtRate);
  state.counters["rate_ratio"] = median(storeRate) / median(qtRate);
  state.counters["ostrel_set_ns"] = median(storeNs);
  state.counters["qt_emit_ns"] = median(qtNs);
  state.counters["ostrel_set_cpu_ns"] = median(storeCpu);
  state.counters["qt_emit_cpu_ns"] = median(qtCpu);
  state.counters["ostrel_allocs"] = median(storeAllocs);
  state.counters["qt_allocs"] = median(qtAllocs);
}
BENCHMARK(BM_PostedDeliveries)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

struct TripRound {
  double p50Us;
  double p99Us;
  double allocationsPerTrip;
};

TripRound timeTrips(const std::function<void()>& trip) {
  std::vector<double> us;
  us.reserve(kTripsPerRound);
  const uint64_t allocationsBefore = g_allocations.load();
  for (int i = 0; i < kTripsPerRound; ++i) {
    const Clock::time_point start = Clock::now();
    trip();
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start)
                     .count());
  }
  const uint64_t allocations = g_allocations.load() - allocationsBefore;
  std::sort(us.begin(), us.end());
  return TripRound{us[us.size() / 2], us[us.size() * 99 / 100],
                   static_cast<double>(allocations) / kTripsPerRound};
}

// Arg 1: setter and receivers share one core; arg 2: they have one each.
void BM_BlockingHandOver(benchmark::State& state) {
  bench::QuietTrace quiet;
  Peers peers(true);
  const std::vector<int>& cpus = allowedCpus();
  const bool twoCores = state.range(0) == 2;
  if (!peers.ready() || cpus.empty() || (twoCores && cpus.size() < 2)) {
    state.SkipWithError("no store, or too few CPUs");
    return;
  }
  peers.pin(cpus[0], twoCores ? cpus[1] : cpus[0]);
  const std::function<void()> set = [&] { peers.setOnce(); };
  const std::function<void()> emitIt = [&] { peers.emitOnce(); };
  std::vector<double> storeP50, storeP99, qtP50, qtP99, storeAllocs, qtAllocs;
  for (auto _ : state) {
    timeTrips(set);  // warm-up
    timeTrips(emitIt);
    for (int round = 0; round < kTripRounds; ++round) {
      for (int k = 0; k < 2; ++k) {
        if ((round + k) % 2 == 0) {
          const TripRound r = timeTrips(set);
          storeP50.push_back(r.p50Us);
          storeP99.push_back(r.p99Us);
          storeAllocs.push_back(r.allocationsPerTrip);
        } else {
          const TripRound r = timeTrips(emitIt);
          qtP50.push_back(r.p50Us);
          qtP99.push_back(r.p99Us);
          qtAllocs.push_back(r.allocationsPerTrip);
        }
      }
    }
  }
  peers.pin(-1, -1);
  const int64_t expected =
      static_cast<int64_t>(kTripRounds + 1) * kTripsPerRound;
  if (peers.storeCalls().load() != expected ||
      peers.qtCalls().load() != expected) {
    state.SkipWithError("a round trip did not reach its receiver");
    return;
  }
  state.counters["ostrel_p50_us"] = median(storeP50);
  state.counters["ostrel_p99_us"] = median(storeP99);
  state.counters["qt_p50_us"] = median(qtP50);
  state.counters["qt_p99_us"] = median(qtP99);
  state.counters["p50_ratio"] = median(storeP50) / median(qtP50);
  state.counters["p99_ratio"] = median(storeP99) / median(qtP99);
  state.counters["ostrel_allocs"] = median(storeAllocs);
  state.counters["qt_allocs"] = median(qtAllocs);
}
BENCHMARK(BM_BlockingHandOver)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The peer's own event loop, not the one of a desktop library.
  qputenv("QT_NO_GLIB", "1");
  QCoreApplication app(argc, argv);
  allowedCpus();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
