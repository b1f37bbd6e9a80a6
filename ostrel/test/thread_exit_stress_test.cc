// Threads whose thread-local destructors read short and long values (a
// module's per-thread cache torn down at thread exit) while other threads
// start, read and end, and a writer keeps replacing the long values so that
// retired copies are reclaimed all along. Afterwards:
// - every read returned one of the values that were set, whole;
// - no reader is left announced, so reclamation goes on once the threads are
//   gone.
// Bounded by a number of rounds and a deadline; run under ASan and TSan too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "KovaConfigApi.h"
#include "KovaConfigHelper.h"
#include "epoch_reclaim.h"

namespace kovaStore {
namespace {

constexpr uint32_t kCall = 0x5E000001;
constexpr KovaConfigGroup kGroup = KovaConfigGroup_Audio;
constexpr KovaFeatureToggleID kToggle = KOVA_FT_EnableRelayMode;

// Two values of each kind; a writer flips between them.
const std::string kShort[2] = {"short-even", "short-odd"};
const std::string kLong[2] = {std::string(40, 'e') + "-long",
                              std::string(72, 'o') + "-long"};

IKovaConfig* g_store = nullptr;
KovaConfigHelper* g_helper = nullptr;
std::atomic<uint64_t> g_reads{0};
std::atomic<uint64_t> g_wrongReads{0};

bool isOneOf(const ConfigData& value, const std::string (&choices)[2]) {
  return value == ConfigData(choices[0]) || value == ConfigData(choices[1]);
}

// Reads every value a few times; counts the reads and the wrong answers.
void readAll(int times) {
  for (int i = 0; i < times; ++i) {
    ConfigData shortValue;
    ConfigData longValue;
    const bool bShort =
        g_store->GetKovaConfig(kGroup, "Short", shortValue) == KOVA_S_OK &&
        isOneOf(shortValue, kShort);
    const bool bLong =
        g_store->GetKovaConfig(kGroup, "Long", longValue) == KOVA_S_OK &&
        isOneOf(longValue, kLong);
    const bool bToggle = isOneOf(g_helper->GetFeatureToggle(kToggle), kLong);
    g_reads += 3;
    g_wrongReads += !bShort + !bLong + !bToggle;
  }
}

// A per-thread object made before the thread's first read, so destroyed
// after the library's own thread-local clean-up.
struct ExitReader {
  bool bArmed = false;
  ~ExitReader() {
    if (bArmed) readAll(20);
  }
};
thread_local ExitReader t_exitReader;

TEST(ThreadExitStressTest, ThreadLocalDestructorsReadWhileThreadsComeAndGo) {
  DestroyKovaConfig();
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(kCall, &g_store));
  KovaConfigHelper helper(kCall);
  g_helper = &helper;
  ASSERT_EQ(KOVA_E_NOOBSERVER,
            g_store->SetKovaConfig(kGroup, "Short", ConfigData(kShort[0]),
                                   false, false));
  ASSERT_EQ(KOVA_E_NOOBSERVER,
            g_store->SetKovaConfig(kGroup, "Long", ConfigData(kLong[0]), false,
                                   false));
  ASSERT_EQ(KOVA_E_NOOBSERVER,
            helper.SetFeatureToggle(kToggle, ConfigData(kLong[0])));

  std::atomic<bool> bStop{false};
  std::atomic<uint64_t> sets{0};
  std::thread writer([&] {
    for (uint64_t n = 1; !bStop.load(std::memory_order_relaxed); ++n) {
      g_store->SetKovaConfig(kGroup, "Long", ConfigData(kLong[n & 1]), false,
                             false);
      g_store->SetKovaConfig(kGroup, "Short", ConfigData(kShort[n & 1]), false,
                             false);
      helper.SetFeatureToggle(kToggle, ConfigData(kLong[n & 1]));
      ++sets;
    }
  });

  // Each round starts threads that read and end, half of them reading again
  // from a thread-local destructor, while the previous round's end.
  constexpr int kRounds = 3000;
  constexpr int kThreadsPerRound = 4;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int rounds = 0;
  std::vector<std::thread> previous;
  for (; rounds < kRounds && std::chrono::steady_clock::now() < deadline;
       ++rounds) {
    std::vector<std::thread> current;
    for (int t = 0; t < kThreadsPerRound; ++t) {
      const bool bLateReader = t % 2 == 0;
      current.emplace_back([bLateReader] {
        if (bLateReader) t_exitReader.bArmed = true;
        readAll(5);
      });
    }
    for (std::thread& thread : previous) thread.join();
    previous = std::move(current);
  }
  for (std::thread& thread : previous) thread.join();
  bStop = true;
  writer.join();

  EXPECT_EQ(0u, g_wrongReads.load());
  EXPECT_GT(g_reads.load(), 0u);
  EXPECT_GT(sets.load(), 0u);
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), EpochOldestReader());
  std::printf("%d rounds, %llu reads, %llu sets\n", rounds,
              static_cast<unsigned long long>(g_reads.load()),
              static_cast<unsigned long long>(sets.load()));

  g_helper = nullptr;
  EXPECT_EQ(KOVA_S_OK, ReleaseKovaConfig(g_store));
  g_store = nullptr;
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
}

}  // namespace
}  // namespace kovaStore
