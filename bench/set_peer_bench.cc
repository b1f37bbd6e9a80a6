// Sets with direct observers beside an application framework's property
// setter with the same number of direct signal connections, used here only as
// a baseline. Both sides change the value on every set (two values in turn)
// and every observer adds 1 to a counter:
//   unobserved  a set of a name nobody observes, in a group where another
//               name is observed        vs  a setter with no connection;
//               also a set in a group nobody observes (ours only, beside)
//   direct/1    1 direct subscriber     vs  1 direct connection
//   direct/8    8 direct subscribers    vs  8 direct connections
// The store is the one a host gets: CreateKovaConfig's IKovaConfig from the
// shared library. The framework's setter compares, stores and emits the
// notify signal of its property.
// Each pair is timed in interleaved rounds (the order rotated every round) in
// thread CPU time; reported: the median ns per set of each side over the
// rounds and their ratio ours/peer. Run:
// build/release/bench/set_peer_bench
#include <ConfigData.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dispatch_setup.h"
#include "ostrel/KovaConfigApi.h"
#include "qt_peer.h"
#include "round_stats.h"

namespace {

using bench::median;
using bench::threadCpuNs;

using kovaStore::IKovaConfig;

constexpr uint32_t kCall = 0x50454552;
constexpr kovaStore::KovaConfigGroup kGroup = kovaStore::KovaConfigGroup_Audio;
constexpr kovaStore::KovaConfigGroup kQuietGroup =
    kovaStore::KovaConfigGroup_Video;
constexpr const char* kName = "AecMode";
constexpr int kRounds = 31;
constexpr int kSetsPerRound = 20000;

// The peer's setting with `connections` direct connections to counters.
class PeerSide {
 public:
  explicit PeerSide(int connections) {
    for (int i = 0; i < connections; ++i) {
      m_counters.push_back(std::make_unique<bench::PeerCounter>(m_calls));
      QObject::connect(&m_setting, &bench::PeerSetting::valueChanged,
                       m_counters.back().get(),
                       &bench::PeerCounter::onValueChanged,
                       Qt::DirectConnection);
    }
  }
  double timeRound() {
    const QByteArray values[2] = {QByteArray("1"), QByteArray("2")};
    int i = 0;
    const double start = threadCpuNs();
    for (int n = 0; n < kSetsPerRound; ++n) m_setting.setValue(values[i ^= 1]);
    return (threadCpuNs() - start) / kSetsPerRound;
  }
  int64_t calls() const { return m_calls.load(); }

 private:
  std::atomic<int64_t> m_calls{0};
  bench::PeerSetting m_setting;
  std::vector<std::unique_ptr<bench::PeerCounter>> m_counters;
};

// A call's store with `subscribers` direct subscribers of kName in kGroup, or
// with only another name of kGroup observed when there are none.
class StoreSide {
 public:
  explicit StoreSide(int subscribers) {
    kovaStore::CreateKovaConfig(kCall, &m_pStore);
    if (m_pStore == nullptr) return;
    bench::subscribeCounters(*m_pStore, kGroup,
                             subscribers > 0 ? kName : "Other",
                             std::max(subscribers, 1), m_calls);
  }
  ~StoreSide() {
    if (m_pStore != nullptr) kovaStore::ReleaseKovaConfig(m_pStore);
    kovaStore::CleanUpKovaConfig(kCall);
  }
  StoreSide(const StoreSide&) = delete;
  StoreSide& operator=(const StoreSide&) = delete;

  bool ready() const { return m_pStore != nullptr; }
  double timeRound(kovaStore::KovaConfigGroup group) {
    const ConfigData values[2] = {ConfigData("1"), ConfigData("2")};
    int i = 0;
    const double start = threadCpuNs();
    for (int n = 0; n < kSetsPerRound; ++n) {
      benchmark::DoNotOptimize(
          m_pStore->SetKovaConfig(group, kName, values[i ^= 1], false, false));
    }
    return (threadCpuNs() - start) / kSetsPerRound;
  }
  int64_t calls() const { return m_calls.load(); }

 private:
  IKovaConfig* m_pStore = nullptr;
  std::atomic<int64_t> m_calls{0};
};

// Times the variants in interleaved rounds; the median ns of each.
std::vector<double> interleave(
    const std::vector<std::function<double()>>& variants) {
  const size_t count = variants.size();
  for (const auto& variant : variants) variant();  // warm-up
  std::vector<std::vector<double>> ns(count);
  for (int round = 0; round < kRounds; ++round) {
    for (size_t k = 0; k < count; ++k) {
      const size_t v = (round + k) % count;
      ns[v].push_back(variants[v]());
    }
  }
  std::vector<double> medians;
  for (const auto& values : ns) medians.push_back(median(values));
  return medians;
}

// The range is the number of direct observers on both sides (0: the set
// name is unobserved).
void BM_SetBesidePeer(benchmark::State& state) {
  bench::QuietTrace quiet;
  const int observers = static_cast<int>(state.range(0));
  StoreSide ours(observers);
  PeerSide peer(observers);
  if (!ours.ready()) {
    state.SkipWithError("no store");
    return;
  }
  std::vector<std::function<double()>> variants = {
      [&] { return ours.timeRound(kGroup); }, [&] { return peer.timeRound(); }};
  if (observers == 0) {
    variants.push_back([&] { return ours.timeRound(kQuietGroup); });
  }
  std::vector<double> medians;
  for (auto _ : state) medians = interleave(variants);
  state.counters["ours_ns"] = medians[0];
  state.counters["peer_ns"] = medians[1];
  state.counters["ratio"] = medians[0] / medians[1];
  if (observers == 0) state.counters["unobserved_group_ns"] = medians[2];
  // Every set changed the value, so every observer was called every time.
  if (ours.calls() != peer.calls()) {
    state.SkipWithError("the two sides called their observers unequally");
  }
}
BENCHMARK(BM_SetBesidePeer)
    ->Arg(0)
    ->Arg(1)
    ->Arg(8)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
