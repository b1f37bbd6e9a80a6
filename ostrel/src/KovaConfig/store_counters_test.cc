#include "store_counters.h"

#include <CmThread.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "copy_fails.h"
#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaIntrospection.h"
#include "util/testing/trace_capture.h"

namespace kovaStore {
namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Video;

// The counters of one call, or the totals for nullptr.
KovaConfigCounters counters(const uint32_t* pCallId = nullptr) {
  KovaConfigCounters c{};
  c.size = sizeof(c);
  EXPECT_EQ(KOVA_S_OK, pCallId ? GetKovaConfigCounters(*pCallId, &c)
                               : GetKovaConfigTotalCounters(&c));
  return c;
}

KOVA_RESULT set(IKovaConfig& s, const char* value = "1", bool bNotify = false) {
  return s.SetKovaConfig(kGroup, "n", ConfigData(value), bNotify, false);
}

void noop(const KovaConfigEvent&) {}

// Subscribes `n` callbacks run on `thread` and sets once.
void deliver(IKovaConfig& s, std::unique_ptr<ACmThread> thread, bool bAsync,
             int n = 1) {
  CmTraceCapture quiet(-1);
  for (int i = 0; i < n; ++i)
    s.SubscribeConfig(kGroup, "n", noop, thread.get(), bAsync);
  EXPECT_EQ(KOVA_S_OK, set(s));
}

std::unique_ptr<ACmThread> stopped() {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread();
  thread->Stop();
  return thread;
}

typedef KovaConfigCounters C;
typedef uint64_t C::*Field;
struct CounterCase {
  const char* what;
  std::vector<std::pair<Field, uint64_t>> moved;
  std::function<void(IKovaConfig&)> act;
};

std::vector<uint64_t> counted(const C& c) {
  static_assert(offsetof(C, dumps) - offsetof(C, stores) == 19 * 8, "");
  std::vector<uint64_t> v(20);
  std::memcpy(v.data(), &c.stores, v.size() * sizeof(uint64_t));
  return v;
}

// Each row, on a store of its own, moves its counters by exactly the given
// amounts and no other (`stores` 1); the totals move alike, keep it after
// the store is gone and count it destroyed.
TEST(StoreCountersTest, EachCounterCountsWhatItsOperationDid) {
  const std::vector<CounterCase> cases = {
      {"sets by result",
       {{&C::setsNoObserver, 2},
        {&C::setsUnchanged, 1},
        {&C::setsInvalidArg, 3}},
       [](IKovaConfig& s) {
         set(s), set(s), set(s, "1", true);
         s.SetKovaConfig(KovaConfigGroup_LastGroup, "n", ConfigData("1"), false,
                         false);
         s.SetKovaConfig(kGroup, "", ConfigData("1"), false, false);
         s.SetKovaConfig(kGroup, "n", ConfigData(), false, false);
       }},
      {"set failing inside the library",
       {{&C::setsFailed, 1}, {&C::observersAdded, 1}},
       [](IKovaConfig& s) {
         std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
         std::atomic<bool> armed{false};
         s.SubscribeConfig(kGroup, "n", CopyFails(&armed), thread.get(), true);
         armed = true;
         CmTraceCapture quiet(-1);
         set(s);
       }},
      {"direct deliveries",
       {{&C::setsOk, 1}, {&C::deliveriesDirect, 2}, {&C::observersAdded, 2}},
       [](IKovaConfig& s) { deliver(s, nullptr, false, 2); }},
      {"sent delivery",
       {{&C::setsOk, 1}, {&C::deliveriesSent, 1}, {&C::observersAdded, 1}},
       [](IKovaConfig& s) { deliver(s, CreateCmEventThread(), false); }},
      {"posted delivery",
       {{&C::setsOk, 1}, {&C::deliveriesPosted, 1}, {&C::observersAdded, 1}},
       [](IKovaConfig& s) { deliver(s, CreateCmEventThread(), true); }},
      {"post to a stopped thread",
       {{&C::setsOk, 1}, {&C::postsRefused, 1}, {&C::observersAdded, 1}},
       [](IKovaConfig& s) { deliver(s, stopped(), true); }},
      {"send to a stopped thread",
       {{&C::setsOk, 1}, {&C::sendsRefused, 1}, {&C::observersAdded, 1}},
       [](IKovaConfig& s) { deliver(s, stopped(), false); }},
      {"run thread without a queue",
       {{&C::setsOk, 1}, {&C::deliveriesNoQueue, 1}, {&C::observersAdded, 1}},
       [](IKovaConfig& s) { deliver(s, CreateCmPlainThread(), false); }},
      {"observers and providers",
       {{&C::observersAdded, 2},
        {&C::observersRemoved, 1},
        {&C::providerCalls, 1}},
       [](IKovaConfig& s) {
         const uint64_t id =
             s.SubscribeConfig(kGroup, "n", noop, nullptr, false);
         s.SubscribeConfig(KovaConfigGroup_LastGroup, "n", noop, nullptr,
                           false);
         s.UnsubscribeConfig(id);
         s.UnsubscribeConfig(id);
         s.BindConfig(kGroup, "n",
                      [](const KovaConfigEvent&) { return ConfigData("7"); });
         ConfigData value;
         s.GetDynamicConfig(kGroup, "n", value, ConfigData());
         s.GetDynamicConfig(kGroup, "unbound", value, ConfigData());
       }},
      {"removal that gave up waiting",
       {{&C::setsOk, 1},
        {&C::deliveriesDirect, 1},
        {&C::observersAdded, 1},
        {&C::observersRemoved, 1},
        {&C::removalsTimedOut, 1}},
       [](IKovaConfig& s) {  // a callback removing itself; the lines that
                             // the allocation sweep looks for
         uint64_t id = 0;
         id = s.SubscribeConfig(
             kGroup, "n",
             [&](const KovaConfigEvent&) { s.UnsubscribeConfig(id); }, nullptr,
             false);
         CmTraceCapture capture(1);
         set(s);
         EXPECT_TRUE(
             capture.Contains(
                 0, "Same thread remove itself when notification, n, ") &&
             capture.Contains(1, "unsubscribeConfig, n Waiting for long time"));
       }},
      {"applies and dumps",
       {{&C::appliesOk, 1}, {&C::appliesFailed, 2}, {&C::dumps, 1}},
       [](IKovaConfig& s) {
         s.ApplyKovaConfigs(R"({"Video":[]})");
         s.ApplyKovaConfigs("[]");
         s.ApplyKovaConfigs(nullptr);
         s.DumpKovaConfigs(0xFFF);
       }},
  };
  uint32_t callId = 9100;
  for (const CounterCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint64_t> expected = counted(counters());
    IKovaConfig* store = nullptr;
    ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(++callId, &store));
    c.act(*store);
    C moved{};
    moved.stores = 1;
    for (const auto& m : c.moved) moved.*m.first = m.second;
    const std::vector<uint64_t> own = counted(moved);
    for (size_t i = 0; i < own.size(); ++i) expected[i] += own[i];
    EXPECT_EQ(own, counted(counters(&callId)));
    EXPECT_EQ(expected, counted(counters()));
    ReleaseKovaConfig(store);
    CleanUpKovaConfig(callId);
    ++expected[(offsetof(C, storesDestroyed) - offsetof(C, stores)) / 8];
    EXPECT_EQ(expected, counted(counters())) << "after the store went";
  }
}

// A caller's shorter struct gets only its part; a call without a store has
// no counters; the totals carry no call id.
TEST(StoreCountersTest, ReadsKeepToTheCallersSizeAndRefuseUnknownCalls) {
  IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(9200, &store));
  set(*store);
  KovaConfigCounters c{};
  c.size = offsetof(KovaConfigCounters, setsNoObserver);
  c.setsNoObserver = 77;
  EXPECT_EQ(KOVA_S_OK, GetKovaConfigCounters(9200, &c));
  EXPECT_EQ(offsetof(KovaConfigCounters, setsNoObserver), c.size);
  EXPECT_EQ(9200u, c.callId);
  EXPECT_EQ(77u, c.setsNoObserver) << "past the caller's size";
  ReleaseKovaConfig(store);
  CleanUpKovaConfig(9200);
  EXPECT_EQ(0xFFFFFFFFu, counters().callId);
  c.size = sizeof(c);
  EXPECT_EQ(KOVA_S_FALSE, GetKovaConfigCounters(9200, &c));
  c.size = 4;
  EXPECT_EQ(KOVA_E_INVALIDARG, GetKovaConfigCounters(9200, &c));
  EXPECT_EQ(KOVA_E_INVALIDARG, GetKovaConfigTotalCounters(nullptr));
}

// Bounded, for ThreadSanitizer: sets from several threads on groups of their
// own (every value twice) and on one shared group; none is lost, and a
// racing reader sees counts that only grow.
TEST(StoreCountersTest, ConcurrentSetsAreCountedExactly) {
  constexpr uint32_t kCall = 9300;
  constexpr int kThreads = 4;
  constexpr int kSets = 2000;
  IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(kCall, &store));
  auto seen = [&] {
    const KovaConfigCounters c = counters(&kCall);
    return c.setsNoObserver + c.setsUnchanged;
  };
  std::atomic<bool> done{false};
  std::thread reader([&] {
    for (uint64_t last = 0, now = 0; !done.load(); last = now)
      EXPECT_GE(now = seen(), last);
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([store, t] {
      for (int i = 0; i < kSets; ++i) {
        const ConfigData value(std::to_string(i / 2));
        store->SetKovaConfig(
            static_cast<KovaConfigGroup>(KovaConfigGroup_Common + t), "n",
            value, false, false);
        store->SetKovaConfig(KovaConfigGroup_TAOnly, "shared", value, false,
                             false);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  done = true;
  reader.join();
  EXPECT_EQ(uint64_t{2} * kThreads * kSets, seen());
  EXPECT_GE(counters(&kCall).setsUnchanged, uint64_t{kThreads} * kSets / 2);
  ReleaseKovaConfig(store);
  CleanUpKovaConfig(kCall);
}

}  // namespace
}  // namespace kovaStore
