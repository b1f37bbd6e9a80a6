#include "store_counters.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <future>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "CmThread.h"
#include "KovaConfigApi.h"
#include "KovaIntrospection.h"
#include "trace_capture.h"

namespace kovaStore {
namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Video;
typedef uint64_t KovaConfigCounters::*Field;

KovaConfigCounters countersOf(uint32_t callId) {
  KovaConfigCounters c{};
  c.size = sizeof(c);
  EXPECT_EQ(KOVA_S_OK, GetKovaConfigCounters(callId, &c));
  return c;
}

KovaConfigCounters totals() {
  KovaConfigCounters c{};
  c.size = sizeof(c);
  EXPECT_EQ(KOVA_S_OK, GetKovaConfigTotalCounters(&c));
  return c;
}

// A run thread whose queue is gone.
std::unique_ptr<ACmThread> stoppedThread() {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("stopped");
  thread->Stop();
  return thread;
}

// A run thread that has no event queue at all.
class QueuelessThread : public ACmThread {
 public:
  unsigned long GetThreadId() override { return 1; }
  ICmEventQueue* GetEventQueue() override { return nullptr; }
  void Stop() override {}
};

// A callback whose copy (made for a posted delivery) fails once armed.
struct CopyFails {
  explicit CopyFails(const std::atomic<bool>* p) : pArmed(p) {}
  CopyFails(const CopyFails& other) : pArmed(other.pArmed) {
    if (*pArmed) throw std::bad_alloc();
  }
  void operator()(const KovaConfigEvent&) const {}
  const std::atomic<bool>* pArmed;
};

void noop(const KovaConfigEvent&) {}

struct CounterCase {
  const char* what;
  Field field;
  uint64_t delta;
  std::function<void(IKovaConfig&)> act;
};

// Each row does what its counter counts, on a store of its own: the store's
// counter moves by exactly `delta`, and so do the process-wide totals, also
// after the store is gone.
TEST(StoreCountersTest, EachCounterCountsWhatItsOperationDid) {
  const std::vector<CounterCase> cases = {
      {"set reaching a subscriber", &KovaConfigCounters::setsOk, 1,
       [](IKovaConfig& s) {
         s.SubscribeConfig(kGroup, "n", noop, nullptr, false);
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
       }},
      {"set of the stored value", &KovaConfigCounters::setsUnchanged, 1,
       [](IKovaConfig& s) {
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
       }},
      {"set nobody observes", &KovaConfigCounters::setsNoObserver, 2,
       [](IKovaConfig& s) {
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), true, false);
       }},
      {"set with bad arguments", &KovaConfigCounters::setsInvalidArg, 3,
       [](IKovaConfig& s) {
         s.SetKovaConfig(KovaConfigGroup_LastGroup, "n", ConfigData("1"), false,
                         false);
         s.SetKovaConfig(kGroup, "", ConfigData("1"), false, false);
         s.SetKovaConfig(kGroup, "n", ConfigData(), false, false);
       }},
      {"set failing inside the library", &KovaConfigCounters::setsFailed, 1,
       [](IKovaConfig& s) {
         std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
         std::atomic<bool> armed{false};
         s.SubscribeConfig(kGroup, "n", CopyFails(&armed), thread.get(), true);
         armed = true;
         CmTraceCapture quiet(-1);
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
       }},
      {"direct delivery", &KovaConfigCounters::deliveriesDirect, 2,
       [](IKovaConfig& s) {
         s.SubscribeConfig(kGroup, "n", noop, nullptr, false);
         s.SubscribeConfig(kGroup, "n", noop, nullptr, false);
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
       }},
      {"sent delivery", &KovaConfigCounters::deliveriesSent, 1,
       [](IKovaConfig& s) {
         std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
         s.SubscribeConfig(kGroup, "n", noop, thread.get(), false);
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
       }},
      {"posted delivery", &KovaConfigCounters::deliveriesPosted, 1,
       [](IKovaConfig& s) {
         std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
         std::promise<void> ran;
         s.SubscribeConfig(
             kGroup, "n", [&ran](const KovaConfigEvent&) { ran.set_value(); },
             thread.get(), true);
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
         ran.get_future().wait();
       }},
      {"post to a stopped thread", &KovaConfigCounters::postsRefused, 1,
       [](IKovaConfig& s) {
         std::unique_ptr<ACmThread> thread = stoppedThread();
         s.SubscribeConfig(kGroup, "n", noop, thread.get(), true);
         EXPECT_EQ(KOVA_S_OK,
                   s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false));
       }},
      {"send to a stopped thread", &KovaConfigCounters::sendsRefused, 1,
       [](IKovaConfig& s) {
         std::unique_ptr<ACmThread> thread = stoppedThread();
         s.SubscribeConfig(kGroup, "n", noop, thread.get(), false);
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
       }},
      {"run thread without a queue", &KovaConfigCounters::deliveriesNoQueue, 1,
       [](IKovaConfig& s) {
         QueuelessThread thread;
         CmTraceCapture quiet(-1);
         s.SubscribeConfig(kGroup, "n", noop, &thread, false);
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
       }},
      {"provider asked", &KovaConfigCounters::providerCalls, 1,
       [](IKovaConfig& s) {
         s.BindConfig(kGroup, "n",
                      [](const KovaConfigEvent&) { return ConfigData("7"); });
         ConfigData value;
         s.GetDynamicConfig(kGroup, "n", value, ConfigData());
         s.GetDynamicConfig(kGroup, "unbound", value, ConfigData());
       }},
      {"observers registered", &KovaConfigCounters::observersAdded, 2,
       [](IKovaConfig& s) {
         s.SubscribeConfig(kGroup, "n", noop, nullptr, false);
         s.BindConfig(kGroup, "n",
                      [](const KovaConfigEvent&) { return ConfigData("7"); });
         s.SubscribeConfig(KovaConfigGroup_LastGroup, "n", noop, nullptr,
                           false);
       }},
      {"observer removed", &KovaConfigCounters::observersRemoved, 1,
       [](IKovaConfig& s) {
         const uint64_t id =
             s.SubscribeConfig(kGroup, "n", noop, nullptr, false);
         s.UnsubscribeConfig(id);
         s.UnsubscribeConfig(id);
       }},
      {"removal that gave up waiting", &KovaConfigCounters::removalsTimedOut, 1,
       [](IKovaConfig& s) {
         auto id = std::make_shared<std::atomic<uint64_t>>(0);
         IKovaConfig* store = &s;
         *id = s.SubscribeConfig(
             kGroup, "n",
             [id, store](const KovaConfigEvent&) {
               store->UnsubscribeConfig(id->load());
             },
             nullptr, false);
         CmTraceCapture quiet(-1);
         s.SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);
       }},
      {"apply that succeeded", &KovaConfigCounters::appliesOk, 1,
       [](IKovaConfig& s) { s.ApplyKovaConfigs(R"({"Video":[]})"); }},
      {"apply that failed", &KovaConfigCounters::appliesFailed, 2,
       [](IKovaConfig& s) {
         s.ApplyKovaConfigs("[]");
         s.ApplyKovaConfigs(nullptr);
       }},
      {"dump", &KovaConfigCounters::dumps, 1,
       [](IKovaConfig& s) { s.DumpKovaConfigs(0xFFF); }},
  };

  uint32_t callId = 9100;
  for (const CounterCase& c : cases) {
    SCOPED_TRACE(c.what);
    ++callId;
    IKovaConfig* store = nullptr;
    ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(callId, &store));
    const uint64_t before = totals().*c.field;
    c.act(*store);
    EXPECT_EQ(c.delta, countersOf(callId).*c.field);
    EXPECT_EQ(before + c.delta, totals().*c.field);
    ReleaseKovaConfig(store);
    CleanUpKovaConfig(callId);
    EXPECT_EQ(before + c.delta, totals().*c.field) << "after the store went";
  }
}

// Totals count stores made and destroyed; a call without a store has no
// counters; a caller compiled against a shorter struct gets only its part.
TEST(StoreCountersTest, TotalsCountStoresAndReadsRespectTheCallersSize) {
  const KovaConfigCounters before = totals();
  IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(9200, &store));
  EXPECT_EQ(before.stores + 1, totals().stores);
  EXPECT_EQ(before.storesDestroyed, totals().storesDestroyed);
  store->SetKovaConfig(kGroup, "n", ConfigData("1"), false, false);

  KovaConfigCounters shorter{};
  shorter.size = offsetof(KovaConfigCounters, setsNoObserver);
  shorter.setsNoObserver = 77;
  EXPECT_EQ(KOVA_S_OK, GetKovaConfigCounters(9200, &shorter));
  EXPECT_EQ(offsetof(KovaConfigCounters, setsNoObserver), shorter.size);
  EXPECT_EQ(9200u, shorter.callId);
  EXPECT_EQ(77u, shorter.setsNoObserver) << "past the caller's size";

  ReleaseKovaConfig(store);
  CleanUpKovaConfig(9200);
  EXPECT_EQ(before.storesDestroyed + 1, totals().storesDestroyed);
  EXPECT_EQ(0xFFFFFFFFu, totals().callId);

  KovaConfigCounters c{};
  c.size = sizeof(c);
  EXPECT_EQ(KOVA_S_FALSE, GetKovaConfigCounters(9200, &c));
  c.size = 4;
  EXPECT_EQ(KOVA_E_INVALIDARG, GetKovaConfigCounters(9200, &c));
  EXPECT_EQ(KOVA_E_INVALIDARG, GetKovaConfigTotalCounters(nullptr));
}

// Sets with no observer from several threads, each on a group of its own
// and all on one shared group: none is lost, and readers racing them see
// counts that only grow.
TEST(StoreCountersTest, ConcurrentSetsAreCountedExactly) {
  IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(9300, &store));
  constexpr int kThreads = 4;
  constexpr int kSets = 2000;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    uint64_t last = 0;
    while (!done.load()) {
      const KovaConfigCounters c = countersOf(9300);
      const uint64_t seen = c.setsNoObserver + c.setsUnchanged;
      EXPECT_GE(seen, last);
      last = seen;
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([store, t] {
      const auto own = static_cast<KovaConfigGroup>(t);
      for (int i = 0; i < kSets; ++i) {
        const ConfigData value(std::to_string(i / 2));
        store->SetKovaConfig(own, "n", value, false, false);
        store->SetKovaConfig(KovaConfigGroup_TAOnly, "shared", value, false,
                             false);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  done = true;
  reader.join();
  const KovaConfigCounters c = countersOf(9300);
  EXPECT_EQ(uint64_t{2} * kThreads * kSets, c.setsNoObserver + c.setsUnchanged);
  // Each thread sets every value of its own group twice in a row.
  EXPECT_GE(c.setsUnchanged, uint64_t{kThreads} * kSets / 2);
  ReleaseKovaConfig(store);
  CleanUpKovaConfig(9300);
}

}  // namespace
}  // namespace kovaStore
