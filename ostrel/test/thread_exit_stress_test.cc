// Threads whose thread-local destructors read short and long values (a
// module's per-thread cache torn down at thread exit) while other threads
// start, read and end, and a writer keeps replacing the values so that
// retired copies are reclaimed all along. Every read returns one of the
// values set, whole, and no reader is left announced afterwards (which would
// stop reclamation for good). Bounded in rounds and time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "KovaConfig/epoch_reclaim.h"
#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaConfigHelper.h"

namespace kovaStore {
namespace {

constexpr uint32_t kCall = 0x5E000001;
constexpr KovaConfigGroup kGroup = KovaConfigGroup_Audio;
constexpr KovaFeatureToggleID kToggle = KOVA_FT_EnableRelayMode;
const ConfigData kShort[2] = {ConfigData("short-even"),
                              ConfigData("short-odd")};
const ConfigData kLong[2] = {ConfigData(std::string(40, 'e') + "-long"),
                             ConfigData(std::string(72, 'o') + "-long")};

IKovaConfig* g_store = nullptr;
KovaConfigHelper* g_helper = nullptr;
std::atomic<uint64_t> g_reads{0};
std::atomic<uint64_t> g_wrongReads{0};

bool isOneOf(const ConfigData& value, const ConfigData (&choices)[2]) {
  return value == choices[0] || value == choices[1];
}

void readAll(int times) {
  for (int i = 0; i < times; ++i) {
    ConfigData shortValue, longValue;
    g_store->GetKovaConfig(kGroup, "Short", shortValue);
    g_store->GetKovaConfig(kGroup, "Long", longValue);
    g_wrongReads += !isOneOf(shortValue, kShort) + !isOneOf(longValue, kLong) +
                    !isOneOf(g_helper->GetFeatureToggle(kToggle), kLong);
    g_reads += 3;
  }
}

void writeAll(uint64_t n) {
  g_store->SetKovaConfig(kGroup, "Long", kLong[n & 1], false, false);
  g_store->SetKovaConfig(kGroup, "Short", kShort[n & 1], false, false);
  g_helper->SetFeatureToggle(kToggle, kLong[n & 1]);
}

// Made before the thread's first read, so destroyed after the library's own
// thread-local clean-up.
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
  writeAll(0);
  std::atomic<bool> bStop{false};
  std::atomic<uint64_t> sets{0};
  std::thread writer([&] {
    while (!bStop.load(std::memory_order_relaxed)) writeAll(++sets);
  });
  // Each round starts threads that read and end, half of them reading again
  // at exit, while the previous round's end.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(3);
  std::vector<std::thread> previous;
  for (int round = 0;
       round < 3000 && std::chrono::steady_clock::now() < deadline; ++round) {
    std::vector<std::thread> current;
    for (int t = 0; t < 4; ++t) {
      current.emplace_back([t] {
        t_exitReader.bArmed = t % 2 == 0;
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
  g_helper = nullptr;
  EXPECT_EQ(KOVA_S_OK, ReleaseKovaConfig(g_store));
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
}

}  // namespace
}  // namespace kovaStore
