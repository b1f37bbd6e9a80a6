#include "config_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kova_config.h"
#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaConfigHelper.h"
#include "ostrel/KovaIntrospection.h"
#include "util/testing/trace_capture.h"

namespace kovaStore {
namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Audio;
const char kDestroyed7[] = "kovaStore::KovaConfig::~KovaConfig [cid=7]";

class ConfigRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { DestroyKovaConfig(); }
  void TearDown() override { DestroyKovaConfig(); }

  static IKovaConfig* create(uint32_t callId) {
    IKovaConfig* store = nullptr;
    EXPECT_EQ(CreateKovaConfig(callId, &store), KOVA_S_OK);
    return store;
  }
};

// Bad arguments and unknown pointers change nothing (one store per call is
// the loaded library's test). The call's own reference goes with the
// clean-up; the store stays usable until the last release destroys it.
TEST_F(ConfigRegistryTest, OneStorePerCallLivesUntilItsLastReference) {
  EXPECT_EQ(CreateKovaConfig(7, nullptr), KOVA_E_INVALIDARG);
  IKovaConfig* store = create(7);
  IKovaConfig* notEmpty = store;
  EXPECT_EQ(CreateKovaConfig(7, &notEmpty), KOVA_E_INVALIDARG);
  KovaConfig stranger(7);
  EXPECT_EQ(ReleaseKovaConfig(&stranger), KOVA_S_FALSE);
  EXPECT_EQ(ReleaseKovaConfig(nullptr), KOVA_E_INVALIDARG);
  EXPECT_EQ(CleanUpKovaConfig(8), KOVA_S_FALSE);
  CmTraceCapture capture(2);
  EXPECT_EQ(CleanUpKovaConfig(7), KOVA_S_OK);
  EXPECT_EQ(CleanUpKovaConfig(7), KOVA_S_FALSE);
  EXPECT_EQ(store->SetKovaConfig(kGroup, "k", ConfigData("v"), false, false),
            KOVA_E_NOOBSERVER);
  EXPECT_EQ(capture.Count(2, kDestroyed7), 0u);
  EXPECT_EQ(ReleaseKovaConfig(store), KOVA_S_OK);
  EXPECT_EQ(capture.Count(2, kDestroyed7), 1u);
  EXPECT_EQ(GetKovaConfigSizeForUT(), 0u);
  EXPECT_EQ(ReleaseKovaConfig(store), KOVA_S_FALSE);
}

TEST_F(ConfigRegistryTest, DestroyErasesEveryEntryInCallIdOrder) {
  create(30);
  IKovaConfig* ten = create(10);
  create(10);
  create(20);
  CleanUpKovaConfig(20);
  CmTraceCapture capture(2);
  DestroyKovaConfig();
  EXPECT_EQ(GetKovaConfigSizeForUT(), 0u);
  std::string lines;
  for (const std::string& text : capture.Texts())
    if (text.rfind("kovaStore::DestroyKovaConfig, ", 0) == 0) lines += text;
  EXPECT_EQ(lines,
            "kovaStore::DestroyKovaConfig, callId=10, counts=3"
            "kovaStore::DestroyKovaConfig, callId=20, counts=1"
            "kovaStore::DestroyKovaConfig, callId=30, counts=2");
  EXPECT_EQ(capture.Count(2, "kovaStore::KovaConfig::~KovaConfig"), 3u);
  EXPECT_EQ(ReleaseKovaConfig(ten), KOVA_S_FALSE);
}

// Regression: a store destroyed by the registry destroyed its observers'
// callables under the registry lock, so a callable owning the last reference
// to a helper hung the registry. Here store 7's callable owns helper 8,
// whose subscription owns helper 9; clean-up and destroy must both return.
TEST_F(ConfigRegistryTest, CallableOwningAHelperDiesOutsideTheRegistryLock) {
  for (bool bDestroyAll : {false, true}) {
    IKovaConfig* store = create(7);
    auto inner = std::make_shared<KovaConfigHelper>(9);
    auto outer = std::make_shared<KovaConfigHelper>(8);
    outer->SubscribeConfig(
        "n", [inner](const KovaConfigEvent&) {}, kGroup);
    inner.reset();
    store->SubscribeConfig(
        kGroup, "n", [outer](const KovaConfigEvent&) {}, nullptr, false);
    outer.reset();
    ASSERT_EQ(ReleaseKovaConfig(store), KOVA_S_OK);
    if (bDestroyAll)
      DestroyKovaConfig();
    else
      EXPECT_EQ(CleanUpKovaConfig(7), KOVA_S_OK);
    EXPECT_EQ(GetKovaConfigSizeForUT(), bDestroyAll ? 0u : 2u);
    DestroyKovaConfig();
  }
}

// Regression: DestroyKovaConfig() freed every store at once, so the next
// call's store could sit at the address of a pointer still held, and giving
// that pointer back took a reference from the new store; operations through
// it, and reads of a dump text made before, used freed memory. Now the
// memory stays until every reference handed out is given back, each
// operation is refused with its trace line, and the text stays readable.
TEST_F(ConfigRegistryTest, PointerHeldAcrossDestroyNeverReachesANewStore) {
  const uint32_t held = heldDestroyedStoreCount();  // other tests' pointers
  for (int round = 0; round < 20; ++round) {
    IKovaConfig* old = create(7);
    DestroyKovaConfig();
    IKovaConfig* next = create(8);
    EXPECT_NE(next, old) << round;
    EXPECT_EQ(heldDestroyedStoreCount(), held + 1);
    EXPECT_EQ(ReleaseKovaConfig(old), KOVA_S_FALSE) << round;
    EXPECT_EQ(heldDestroyedStoreCount(), held);
    EXPECT_EQ(ReleaseKovaConfig(next), KOVA_S_OK);  // the call's own is left
    EXPECT_EQ(CleanUpKovaConfig(8), KOVA_S_OK);
  }
  EXPECT_EQ(GetKovaConfigSizeForUT(), 0u);
  auto early = std::make_unique<KovaConfigHelper>(9);  // gives back as it goes
  IKovaConfig* store = create(7);
  store->SetKovaConfig(kGroup, "Long", ConfigData(std::string(64, 'L')), false,
                       false);
  const char* dump = store->DumpKovaConfigs(1u << kGroup);
  const std::string dumped = dump;
  DestroyKovaConfig();
  EXPECT_EQ(heldDestroyedStoreCount(), held + 2);
  early.reset();
  EXPECT_EQ(heldDestroyedStoreCount(), held + 1);
  EXPECT_EQ(dumped, dump);
  CmTraceCapture capture(2);
  ConfigData value("stale");
  const KOVA_RESULT results[] = {
      store->GetKovaConfig(kGroup, "Long", value),
      store->SetKovaConfig(kGroup, "Long", ConfigData("t"), true, false),
      store->UnsubscribeConfig(1),
      store->GetDynamicConfig(kGroup, "Dynamic", value, ConfigData()),
      store->RemoveKovaConfig(kGroup, "Long"),
      store->RemoveKovaConfigByGroup(kGroup),
      store->ApplyKovaConfigs(R"({"Audio":[{"key":"k","value":"v"}]})")};
  for (KOVA_RESULT result : results) EXPECT_EQ(result, KOVA_E_FAIL);
  EXPECT_FALSE(value.IsValid());
  const auto ignore = [](const KovaConfigEvent&) {};
  const auto answer = [](const KovaConfigEvent&) { return ConfigData(); };
  EXPECT_EQ(0u, store->SubscribeConfig(kGroup, "Long", ignore, nullptr, false) +
                    store->BindConfig(kGroup, "Dynamic", answer));
  EXPECT_STREQ(store->DumpKovaConfigs(1u << kGroup), "");
  EXPECT_EQ(capture.Count(1, ", store destroyed [cid=7]"), 9u);
  EXPECT_EQ(ReleaseKovaConfig(store), KOVA_S_FALSE);
  EXPECT_EQ(heldDestroyedStoreCount(), held);
  EXPECT_EQ(capture.Count(-1, "~KovaConfig"), 0u);
}

// Listing never creates: the calls that have a store, ascending, with the
// count needed when the buffer is short. Raced by use, creation, clean-up,
// release and destroy, every listing stays ascending and within the calls in
// play, counters and journals are read only from stores that are there, and
// every reference is given back.
TEST_F(ConfigRegistryTest, ListingAndReadsRaceCreationCleanUpAndDestroy) {
  uint32_t ids[4] = {};
  uint32_t n = 99;
  EXPECT_EQ(KOVA_S_OK, ListKovaConfigCallIds(nullptr, 0, &n));
  EXPECT_EQ(0u, n);
  for (uint32_t callId : {30u, 10u, 20u}) create(callId);
  EXPECT_EQ(KOVA_S_FALSE, ListKovaConfigCallIds(ids, 2, &n));
  EXPECT_EQ(3u, n);
  EXPECT_EQ(KOVA_S_OK, ListKovaConfigCallIds(ids, 4, &n));
  EXPECT_EQ((std::vector<uint32_t>{10, 20, 30}),
            std::vector<uint32_t>(ids, ids + 3));
  EXPECT_EQ(KOVA_E_INVALIDARG, ListKovaConfigCallIds(nullptr, 1, &n));
  EXPECT_EQ(KOVA_E_INVALIDARG, ListKovaConfigCallIds(ids, 4, nullptr));
  EXPECT_EQ(3u, GetKovaConfigSizeForUT());
  DestroyKovaConfig();

  const ConfigData longValue(std::string(48, 'L'));
  const uint32_t held = heldDestroyedStoreCount();
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      for (uint32_t i = 0; i < 300; ++i) {
        const uint32_t callId = 100 + (i + t) % 8;
        // A destroy racing in refuses what comes after it through the
        // reference held: every answer is the value set or a refusal.
        IKovaConfig* store = nullptr;
        if (CreateKovaConfig(callId, &store) != KOVA_S_OK) {
          ++bad;
          continue;
        }
        const KOVA_RESULT set =
            store->SetKovaConfig(kGroup, "n", longValue, false, false);
        bad += set == KOVA_E_INVALIDARG || set == KOVA_S_OK;
        ConfigData value;
        const KOVA_RESULT read = store->GetKovaConfig(kGroup, "n", value);
        bad += read == KOVA_S_OK ? value != longValue
                                 : read != KOVA_E_FAIL || value.IsValid();
        if (i % 10 == 0) store->DumpKovaConfigs(1u << kGroup);
        const KOVA_RESULT released = ReleaseKovaConfig(store);
        bad += released != KOVA_S_OK && released != KOVA_S_FALSE;
        if (i % 3 == t) CleanUpKovaConfig(callId);
        if (i % 50 == 49) DestroyKovaConfig();
      }
    });
  }
  threads.emplace_back([&] {
    SetKovaJournalEnabled(100, true);
    while (!done.load()) {
      uint32_t seen[16];
      uint32_t count = 0;
      bad += ListKovaConfigCallIds(seen, 16, &count) != KOVA_S_OK || count > 8;
      for (uint32_t i = 0; i < count && i < 16; ++i) {
        bad +=
            seen[i] < 100 || seen[i] > 107 || (i > 0 && seen[i] <= seen[i - 1]);
        KovaConfigCounters c{};
        c.size = sizeof(c);
        bad += GetKovaConfigCounters(seen[i], &c) == KOVA_S_OK &&
               c.callId != seen[i];
        KovaJournalEntry entries[4];
        uint32_t held = 0;
        ReadKovaJournal(seen[i], entries, 4, &held);
      }
    }
  });
  for (size_t t = 0; t < 2; ++t) threads[t].join();
  done = true;
  threads[2].join();
  EXPECT_EQ(0, bad.load());
  EXPECT_EQ(heldDestroyedStoreCount(), held);
}

}  // namespace
}  // namespace kovaStore
