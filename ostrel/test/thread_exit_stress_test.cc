// Threads whose thread-local destructors read an inline and a long value (a
// module's per-thread cache torn down at thread exit) while other threads
// start, read and end, and a writer keeps replacing the values. Long values
// (over 256 bytes) are read under an epoch guard and every replacement
// retires a copy, so guards opened after the thread's own clean-up race
// reclamation all along. Every read returns a whole value, never older than
// one set before the read began or one the thread saw, and no reader is left
// announced afterwards (which would stop reclamation for good). Bounded in
// rounds and time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
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

IKovaConfig* g_store = nullptr;
KovaConfigHelper* g_helper = nullptr;
std::atomic<uint64_t> g_lastSet{0};
std::atomic<uint64_t> g_reads{0};
std::atomic<uint64_t> g_wrongReads{0};

// A long value telling its counter, then filler derived from it.
std::string longValueOf(uint64_t counter) {
  std::string text = std::to_string(counter) + "|";
  text.resize(300 + counter % 64, static_cast<char>('a' + counter % 26));
  return text;
}

// The counter of a whole long value; 0 for a torn or missing one.
uint64_t counterOf(const ConfigData& value) {
  const std::string text(value.GetData(), value.GetLength());
  const uint64_t counter = std::strtoull(text.c_str(), nullptr, 10);
  return text == longValueOf(counter) ? counter : 0;
}

void readAll(int times) {
  uint64_t seen[2] = {0, 0};
  for (int i = 0; i < times; ++i) {
    const uint64_t floor = g_lastSet.load();
    ConfigData shortValue, longValue;
    g_store->GetKovaConfig(kGroup, "Short", shortValue);
    g_store->GetKovaConfig(kGroup, "Long", longValue);
    const uint64_t counters[2] = {
        counterOf(longValue), counterOf(g_helper->GetFeatureToggle(kToggle))};
    g_wrongReads += shortValue != kShort[0] && shortValue != kShort[1];
    for (int k = 0; k < 2; ++k) {
      g_wrongReads += counters[k] < floor || counters[k] < seen[k];
      seen[k] = counters[k];
    }
    g_reads += 3;
  }
}

void writeAll(uint64_t n) {
  const ConfigData value(longValueOf(n));
  g_store->SetKovaConfig(kGroup, "Long", value, false, false);
  g_store->SetKovaConfig(kGroup, "Short", kShort[n & 1], false, false);
  g_helper->SetFeatureToggle(kToggle, value);
  g_lastSet = n;
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
  writeAll(1);
  std::atomic<bool> bStop{false};
  std::thread writer([&] {
    for (uint64_t n = 2; !bStop.load(std::memory_order_relaxed); ++n)
      writeAll(n);
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
  EXPECT_GT(g_lastSet.load(), 1u);
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), EpochOldestReader());
  g_helper = nullptr;
  EXPECT_EQ(KOVA_S_OK, ReleaseKovaConfig(g_store));
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
}

}  // namespace
}  // namespace kovaStore
