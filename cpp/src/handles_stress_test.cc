// Read handles racing sets, applies, removals of a name and of its group,
// notify-only sets and DestroyKovaConfig, bounded in time and count. Every
// read is absent or a whole value a writer set, never older than one the same
// handle returned before; after the destroy, absent.
#include <gtest/gtest.h>
#include <ostrel/cpp.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr kovaStore::KovaConfigGroup kGroup = kovaStore::KovaConfigGroup_Video;
const char* const kNames[] = {"Short", "Medium", "Long"};
constexpr int kNameCount = 3;
constexpr size_t kLengths[kNameCount][3] = {
    {4, 9, 15}, {16, 101, 256}, {257, 600, 1500}};

// Value number k of name i: "k:" and a fill letter of k up to its length.
std::string ValueText(int i, uint64_t k) {
  std::string text = std::to_string(k) + ":";
  text.resize(std::max(text.size(), kLengths[i][k % 3]),
              static_cast<char>('a' + k % 26));
  return text;
}

// The number of a whole value of name i, or std::nullopt.
std::optional<uint64_t> NumberOf(int i, const std::string& text) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  const std::optional<uint64_t> k =
      ostrel::ParseText<uint64_t>(std::string_view(text).substr(0, colon));
  if (!k || text != ValueText(i, *k)) return std::nullopt;
  return k;
}

struct Round {
  std::atomic<uint64_t> attempted[kNameCount] = {};
  std::atomic<bool> writersStop{false};
  std::atomic<bool> destroyed{false};
  std::atomic<bool> readersStop{false};
  std::atomic<uint64_t> reads{0};
};

void Writer(const ostrel::Store& call, Round& round, int i) {
  kovaStore::IKovaConfig* raw = call.Raw();
  for (uint64_t k = 1; k < 200000 && !round.writersStop.load(); ++k) {
    round.attempted[i].store(k);
    const std::string text = ValueText(i, k);
    if (k % 5 == 0)
      (void)raw->RemoveKovaConfig(kGroup, kNames[i]);
    else if (k % 5 == 1)
      (void)call.Apply("{\"Video\":[{\"key\":\"" + std::string(kNames[i]) +
                       "\",\"value\":\"" + text + "\"}]}");
    else if (k % 5 == 2)  // notify-only: removes
      (void)raw->SetKovaConfig(kGroup, kNames[i], ConfigData(text.c_str()),
                               false, true);
    else
      (void)call.Set(kGroup, kNames[i], text);
  }
}

void Reader(const ostrel::Store& call, const ostrel::Toggle& relay,
            Round& round) {
  std::vector<ostrel::Value<std::string>> values;
  for (const char* name : kNames) values.emplace_back(call, kGroup, name);
  uint64_t last[kNameCount] = {};
  while (!round.readersStop.load()) {
    const bool bDestroyed = round.destroyed.load();
    for (int i = 0; i < kNameCount; ++i) {
      const std::optional<std::string>& text = values[i].Get();
      round.reads.fetch_add(1, std::memory_order_relaxed);
      if (!text) continue;
      const std::optional<uint64_t> k = NumberOf(i, *text);
      if (bDestroyed || !k || *k > round.attempted[i].load() || *k < last[i])
        return ADD_FAILURE()
               << kNames[i] << " read \"" << text->substr(0, 40) << "\" after "
               << last[i] << (bDestroyed ? " once destroyed" : "");
      last[i] = *k;
    }
    // Both readers share the toggle and race to fill its cache.
    const bool on = relay.GetOr(false);
    const bool onOrAbsent = relay.GetOr(true);
    if (bDestroyed && (relay.Have() || on || !onOrAbsent))
      return ADD_FAILURE() << "the toggle reads present once destroyed";
  }
}

TEST(HandlesStressTest, ReadersSeeOnlySetValuesInOrderThroughDestroy) {
  const int previousMask = get_external_trace_mask();
  set_external_trace_mask(0);
  for (int r = 0; r < 3; ++r) {
    SCOPED_TRACE(r);
    Round round;
    auto call = std::make_unique<ostrel::Store>(7100 + r);
    auto relay =
        std::make_unique<ostrel::Toggle>(*call, KOVA_FT_EnableRelayMode);
    std::vector<std::thread> writers;
    std::vector<std::thread> readers;
    for (int i = 0; i < kNameCount; ++i)
      writers.emplace_back(Writer, std::cref(*call), std::ref(round), i);
    writers.emplace_back([&] {
      for (int n = 0; n < 2000 && !round.writersStop.load(); ++n) {
        (void)call->Raw()->RemoveKovaConfigByGroup(kGroup);
        (void)relay->Set(n % 2 == 0);
        std::this_thread::yield();
      }
    });
    for (int n = 0; n < 2; ++n)
      readers.emplace_back(Reader, std::cref(*call), std::cref(*relay),
                           std::ref(round));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    round.writersStop.store(true);
    for (std::thread& t : writers) t.join();
    // Readers go on through the destroy, and read absent after it.
    kovaStore::DestroyKovaConfig();
    round.destroyed.store(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    round.readersStop.store(true);
    for (std::thread& t : readers) t.join();
    EXPECT_GT(round.reads.load(), 0u);
    relay.reset();
    call.reset();
  }
  set_external_trace_mask(previousMask);
}

}  // namespace
