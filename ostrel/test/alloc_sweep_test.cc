// Allocation-failure sweep: every operation group of the exported interface,
// the helper and the C++ layer, run with its 1st, 2nd, ... allocation failing
// until it completes without reaching the failure. After each point: no
// exception the headers do not allow, no hang, no delivery claim left, and
// the store consistent (a set took effect with every observer told, or
// failed; an id returned is registered, 0 means nothing is). Leaks are
// LeakSanitizer's (asan preset).
#include <CmThread.h>
#include <gtest/gtest.h>
#include <ostrel/cpp.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "alloc_fault.h"
#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaConfigHelper.h"
#include "ostrel/KovaOstrelApi.h"

namespace kovaStore {
namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Video;
// Longer than any inline buffer, so values allocate.
const char kOld[] = "old value, long enough to live on the heap";
const char kNew[] = "new value, long enough to live on the heap too";
const char kName[] = "a configuration name longer than sixteen";

// Lines that show a delivery claim left behind, counted without allocating.
std::atomic<int> g_leftClaims{0};
void CountingSink(void*, int, const char*, const char* text, unsigned length) {
  const std::string_view line(text, length);
  for (const char* mark :
       {"remove itself when notification", "Waiting for long time"})
    g_leftClaims += line.find(mark) != std::string_view::npos;
}

// A point still running when its alarm rings is a hang: named, then aborted.
char g_point[200];
int g_pointLength = 0;
void OnHang(int) {
  static_cast<void>(write(STDERR_FILENO, g_point, g_pointLength));
  std::abort();
}

// What an observer was told, from any thread.
struct Told {
  KovaConfigCallback Callback() {
    return [this](const KovaConfigEvent& e) {
      AllocFault::Paused paused;
      std::lock_guard<std::mutex> lock(mutex);
      values.push_back(e.newValue);
    };
  }
  bool Got(const ConfigData& v) {
    std::lock_guard<std::mutex> lock(mutex);
    return std::find(values.begin(), values.end(), v) != values.end();
  }
  std::mutex mutex;
  std::vector<ConfigData> values;
};

struct FnEvent : ICmEvent {
  explicit FnEvent(std::function<void()> f) : fn(std::move(f)) {}
  int OnEventFire() override { return fn(), 0; }
  std::function<void()> fn;
};

// The run thread of sent and posted observers, shared by every point.
ACmThread& RunThread() {
  static std::unique_ptr<ACmThread> thread = CreateCmEventThread("sweep");
  return *thread;
}
void Drain() {
  RunThread().GetEventQueue()->SendEvent(new FnEvent([] {}));
}

// Sets `value` under `name` unarmed; whether `told` heard of it.
bool Hears(IKovaConfig* store, KovaConfigGroup group, const char* name,
           Told& told, const char* value) {
  store->SetKovaConfig(group, name, ConfigData(value), false, false);
  Drain();
  return told.Got(ConfigData(value));
}
bool Answers(IKovaConfig* store, const char* name) {
  ConfigData answer;
  return store->GetDynamicConfig(kGroup, name, answer, ConfigData()) ==
         KOVA_S_OK;
}

ConfigData Provide(const KovaConfigEvent&) {
  AllocFault::Paused paused;
  return ConfigData(kNew);
}

// One point of one case: allocation n of the armed operation fails.
struct Point {
  uint64_t n;
  uint32_t callId;
  bool bReached = false;
  std::string thrown;  // what() of an exception that got out, "?" if none
  template <class Operation>
  void Armed(Operation&& operation) {
    AllocFault::Arm(n);
    try {
      operation();
    } catch (const std::exception& e) {
      thrown = e.what();
    } catch (...) {
      thrown = "?";
    }
    bReached = AllocFault::Disarm();
  }
};

using Report = std::function<void(const char*)>;
using Run = std::function<void(Point&, const Report&)>;
struct Case {
  std::string name;
  Run run;
  // The C++ layer reports running out of memory with std::bad_alloc.
  bool bMayThrowBadAlloc = false;
};

// A store of `callId` holding kOld under kName, with a direct, a sent and a
// posted observer (or none), each already told kOld.
struct Observed {
  Observed(uint32_t callId, bool bObservers) : callId(callId) {
    CreateKovaConfig(callId, &store);
    store->SetKovaConfig(kGroup, kName, ConfigData(kOld), false, false);
    for (int i = 0; bObservers && i < 3; ++i) {
      ids.push_back(store->SubscribeConfig(kGroup, kName, told[i].Callback(),
                                           i == 0 ? nullptr : &RunThread(),
                                           i == 2));
    }
    Drain();
  }
  ~Observed() {
    for (uint64_t id : ids) store->UnsubscribeConfig(id);
    ReleaseKovaConfig(store);
    CleanUpKovaConfig(callId);
  }
  uint32_t callId;
  IKovaConfig* store = nullptr;
  Told told[3];
  std::vector<uint64_t> ids;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  auto add = [&cases](std::string name, Run run, bool bBadAlloc = false) {
    cases.push_back(Case{std::move(name), std::move(run), bBadAlloc});
  };
  add("CreateReleaseAndCleanUp", [](Point& p, const Report& bad) {
    IKovaConfig* store = nullptr;
    KOVA_RESULT created = KOVA_E_FAIL, released = KOVA_E_FAIL,
                cleaned = KOVA_E_FAIL;
    const uint32_t before = GetKovaConfigSizeForUT();
    uint32_t size = 0;
    p.Armed([&] {
      created = CreateKovaConfig(p.callId, &store);
      size = GetKovaConfigSizeForUT();
      if (store != nullptr) released = ReleaseKovaConfig(store);
      cleaned = CleanUpKovaConfig(p.callId);
    });
    if ((created == KOVA_S_OK) != (store != nullptr)) bad("create result");
    if (created == KOVA_S_OK && size != before + 1) bad("registry size");
    if (released == KOVA_S_OK && cleaned == KOVA_S_OK &&
        GetKovaConfigSizeForUT() != before)
      bad("released and cleaned-up store left in the registry");
    // What failed is given back now, as a host would retry.
    if (store != nullptr && released != KOVA_S_OK) ReleaseKovaConfig(store);
    if (cleaned != KOVA_S_OK) CleanUpKovaConfig(p.callId);
  });
  add("ReadersRemoveAndDump", [](Point& p, const Report& bad) {
    Observed o(p.callId, false);
    ConfigData a, b;
    KOVA_RESULT ra = KOVA_E_FAIL, rb = KOVA_E_FAIL;
    const char* szDump = nullptr;
    p.Armed([&] {
      ra = GetKovaConfigValue(kova::KovaSessionType_Video, kName, a, p.callId);
      rb = GetKovaConfigValueEx(kGroup, kName, b, p.callId);
      szDump = o.store->DumpKovaConfigs(0xFFF);
      o.store->RemoveKovaConfig(kGroup, kName);
      o.store->RemoveKovaConfigByGroup(kGroup);
    });
    if ((ra == KOVA_S_OK && a != ConfigData(kOld)) ||
        (rb == KOVA_S_OK && b != ConfigData(kOld)))
      bad("value reader answered a wrong value");
    if (szDump == nullptr) bad("dump returned null");
  });
  // An update told to observers, a notify-only set, an insertion.
  for (int mode = 0; mode < 3; ++mode) {
    static const char* const kNames[] = {
        "SetWithObservers", "SetNotifyOnlyWithObservers", "SetFreshName"};
    add(kNames[mode], [mode](Point& p, const Report& bad) {
      Observed o(p.callId, mode < 2);
      const char* const name = mode < 2 ? kName : "Fresh name of some length";
      KOVA_RESULT r = KOVA_E_FAIL;
      ConfigData value(kNew);
      p.Armed([&] {
        r = o.store->SetKovaConfig(kGroup, name, std::move(value), false,
                                   mode == 1);
      });
      Drain();
      ConfigData now;
      const bool bStored =
          o.store->GetKovaConfig(kGroup, name, now) == KOVA_S_OK;
      // A notify-only set removes the value it tells of.
      const bool bTookEffect =
          mode == 1 ? !bStored : bStored && now == ConfigData(kNew);
      if (bTookEffect == (r == KOVA_E_FAIL))
        bad("set result and store disagree");
      for (size_t i = 0; i < o.ids.size(); ++i)
        if (o.told[i].Got(ConfigData(kNew)) != bTookEffect)
          bad("observer told of a set that did not take effect, or not told");
    });
  }
  // A direct, sent or posted observer, or a provider: registered with the
  // id returned (and removable by it), or not at all when 0 is returned.
  for (int mode = 0; mode < 4; ++mode) {
    static const char* const kNames[] = {"SubscribeDirect", "SubscribeSent",
                                         "SubscribePosted", "BindAndQuery"};
    add(kNames[mode], [mode](Point& p, const Report& bad) {
      Observed o(p.callId, false);
      Told told;
      uint64_t id = 0;
      ConfigData answer, parameter(kOld);
      p.Armed([&] {
        if (mode < 3) {
          id = o.store->SubscribeConfig(kGroup, kName, told.Callback(),
                                        mode == 0 ? nullptr : &RunThread(),
                                        mode == 2);
          return;
        }
        id = o.store->BindConfig(kGroup, kName, &Provide);
        o.store->GetDynamicConfig(kGroup, kName, answer, std::move(parameter));
      });
      const bool bActive =
          mode < 3 ? Hears(o.store, kGroup, kName, told, "a probe nobody saw")
                   : Answers(o.store, kName);
      if (bActive != (id != 0))
        bad(id != 0 ? "registered without being active"
                    : "active although id 0 was returned");
      if (id != 0 && o.store->UnsubscribeConfig(id) != KOVA_S_OK)
        bad("returned id not registered");
    });
  }
  add("Unsubscribe", [](Point& p, const Report& bad) {
    Observed o(p.callId, true);
    KOVA_RESULT r[3] = {};
    p.Armed([&] {
      for (int i = 0; i < 3; ++i) r[i] = o.store->UnsubscribeConfig(o.ids[i]);
    });
    for (int i = 0; i < 3; ++i)
      if (r[i] != KOVA_S_OK) bad("removal failed");
    o.ids.clear();
  });
  const std::filesystem::path examples(OSTREL_EXAMPLES_DIR);
  std::vector<std::filesystem::path> paths{examples / "call-sample.json"};
  for (const auto& entry :
       std::filesystem::directory_iterator(examples / "broken"))
    paths.push_back(entry.path());
  for (const std::filesystem::path& path : paths) {
    std::ifstream file(path, std::ios::binary);
    const std::string document{std::istreambuf_iterator<char>(file), {}};
    // What the document leaves in the store when nothing fails.
    std::string reference;
    {
      Observed o(0x50FFFFFF, true);
      o.store->ApplyKovaConfigs(document.c_str());
      reference = o.store->DumpKovaConfigs(0xFFF);
    }
    add("Apply " + path.filename().string(),
        [document, reference](Point& p, const Report& bad) {
          Observed o(p.callId, true);
          KOVA_RESULT r = KOVA_E_FAIL;
          p.Armed([&] { r = o.store->ApplyKovaConfigs(document.c_str()); });
          // Only kName is observed; whatever it holds now, all were told.
          Drain();
          ConfigData now;
          o.store->GetKovaConfig(kGroup, kName, now);
          for (Told& t : o.told)
            if (!t.Got(now)) bad("apply left an observer untold");
          if (r == KOVA_S_OK && reference != o.store->DumpKovaConfigs(0xFFF))
            bad("apply succeeded without applying every entry");
        });
  }
  add("Statistics", [](Point& p, const Report& bad) {
    std::vector<unsigned char> record(1 << 16);
    IKovaMediaInfo* infos[4] = {};
    KOVA_RESULT r[4] = {};
    p.Armed([&] {
      for (int kind = 0; kind < 4; ++kind) {
        const auto type = static_cast<KovaMediaStatType>(kind);
        r[kind] = createOstrelEntity(type, p.callId, &infos[kind]);
        if (infos[kind] == nullptr) continue;
        infos[kind]->SetStatistics(record.data());
        infos[kind]->GetStatistics(record.data(), true);
        infos[kind]->ReservedA();
        infos[kind]->ReservedB();
        infos[kind]->ResetStatistics(p.callId);
        infos[kind]->GetCallId();
        IKovaMediaInfo* again = nullptr;
        if (createOstrelEntity(type, p.callId, &again) == KOVA_S_OK)
          releaseOstrelEntity(type, p.callId, again);
      }
    });
    for (int kind = 0; kind < 4; ++kind) {
      if ((r[kind] == KOVA_S_OK) != (infos[kind] != nullptr))
        bad("statistics result and object disagree");
      if (infos[kind] != nullptr &&
          releaseOstrelEntity(static_cast<KovaMediaStatType>(kind), p.callId,
                              infos[kind]) != 0)
        bad("statistics object kept a reference");
    }
  });
  add("HelperLifetime", [](Point& p, const Report& bad) {
    Observed o(p.callId, false);
    const uint32_t before = GetKovaConfigSizeForUT();
    p.Armed([&] {
      KovaConfigHelper helper(p.callId);
      KovaConfigHelper copy(helper);
      KovaConfigHelper assigned;
      assigned = copy;
      helper.SetKovaSessionType(kova::KovaSessionType_Video);
      helper.GetKovaConfig(kName);
      helper.SetFeatureToggle(KOVA_FT_EnableRelayMode, ConfigData("1"));
      helper.GetFeatureToggle(KOVA_FT_EnableRelayMode);
      helper.HaveFeatureToggle(KOVA_FT_EnableRelayMode);
      helper.RemoveFeatureToggle(KOVA_FT_EnableRelayMode);
      helper.SetKovaConfig(kova::KovaSessionType_Video, "Helper set", "v");
      helper.HaveKovaConfig("Helper set");
      helper.GetDynamicConfig(kName, kGroup);
      helper.UnsubscribeConfig(kName, kGroup);
      helper.RemoveKovaConfig("Helper set");
      helper.ApplyKovaConfigs("{\"Video\":[{\"key\":\"k\",\"value\":\"v\"}]}");
      helper.DumpKovaConfigs(0xFFF);
      helper.RemoveKovaConfigByGroup(KovaConfigGroup_Feature);
    });
    if (GetKovaConfigSizeForUT() != before) bad("helper left a store behind");
  });
  // Subscriptions made by a helper bound to its call (armed: the subscribing)
  // or moved to the call by SetCallId (armed: the move); either way every
  // observer goes with its helper.
  for (bool bLateCall : {false, true}) {
    add(bLateCall ? "HelperSetCallId" : "HelperSubscriptions",
        [bLateCall](Point& p, const Report& bad) {
          Observed o(p.callId, false);
          const char* const names[] = {kName, "Sent", "EnableRelayMode"};
          const KovaConfigGroup groups[] = {kGroup, kGroup,
                                            KovaConfigGroup_Feature};
          // Late, every name has a value its observer is told on binding.
          for (int i = 0; bLateCall && i < 4; ++i)
            o.store->SetKovaConfig(i < 3 ? groups[i] : kGroup,
                                   i < 3 ? names[i] : "Bound", ConfigData(kOld),
                                   false, false);
          Told told[3];
          uint64_t ids[3] = {};
          KOVA_RESULT r = KOVA_S_OK;
          {
            KovaConfigHelper helper(bLateCall ? 0xFFFFFFFF : p.callId);
            const auto subscribe = [&] {
              ids[0] =
                  helper.SubscribeConfig(kName, told[0].Callback(), kGroup);
              ids[1] = helper.SubscribeConfig("Sent", told[1].Callback(),
                                              kGroup, &RunThread(), false);
              ids[2] = helper.SubscribeFeatureToggle(KOVA_FT_EnableRelayMode,
                                                     told[2].Callback(),
                                                     &RunThread(), true);
              helper.BindConfig("Bound", &Provide, kGroup);
            };
            if (bLateCall) {
              subscribe();
              p.Armed([&] { r = helper.SetCallId(p.callId); });
            } else {
              p.Armed(subscribe);
            }
            const bool bBound = Answers(o.store, "Bound");
            for (int i = 0; i < 3; ++i) {
              const bool bHeard =
                  Hears(o.store, groups[i], names[i], told[i], "a probe");
              if (!bLateCall && bHeard != (ids[i] != 0))
                bad("helper subscription and its id disagree");
              if (bLateCall && r == KOVA_S_OK && !bHeard)
                bad("SetCallId succeeded, lost observers");
            }
            if (bLateCall && r == KOVA_S_OK && !bBound)
              bad("SetCallId succeeded, lost the provider");
            if (!bLateCall) helper.UnsubscribeConfig(ids[0]);
          }
          for (int i = 0; i < 3; ++i)
            if (Hears(o.store, groups[i], names[i], told[i], "after helper"))
              bad("observer outlived its helper");
          if (Answers(o.store, "Bound")) bad("provider outlived its helper");
        });
  }
  // The C++ layer, in each delivery mode.
  for (int mode = 0; mode < 3; ++mode) {
    static const char* const kNames[] = {"CppInline", "CppPosted",
                                         "CppExecutor"};
    add(
        kNames[mode],
        [mode](Point& p, const Report& bad) {
          Observed o(p.callId, false);
          Told told;
          {
            ostrel::Subscription sub;
            const auto delivery = [mode] {
              if (mode == 1) return ostrel::Delivery::Posted(RunThread());
              if (mode == 0) return ostrel::Delivery::Inline();
              return ostrel::Delivery::Via([](std::function<void()> task) {
                AllocFault::Paused paused;
                RunThread().GetEventQueue()->PostEvent(
                    new FnEvent(std::move(task)));
              });
            };
            p.Armed([&] {
              ostrel::Store call(p.callId);
              sub = call.Subscribe(kGroup, kName, told.Callback(), delivery());
              sub.id();
              call.Set(kGroup, kName, std::string(kNew));
              static_cast<void>(call.GetOr(kGroup, kName, std::string()));
              ostrel::Subscription bound = call.Bind(kGroup, "Bound", &Provide);
            });
            Drain();
            if (Hears(o.store, kGroup, kName, told, "probe") != bool(sub))
              bad("a live subscription not told, or an empty one told");
          }
          if (Hears(o.store, kGroup, kName, told, "after"))
            bad("subscription told after reset");
        },
        true);
  }
  return cases;
}

TEST(AllocationSweepTest, EveryFailurePointLeavesTheStoreConsistent) {
  SetCmTraceSink(&CountingSink, nullptr);
  const int previousMask = get_external_trace_mask();
  signal(SIGALRM, &OnHang);
  RunThread();
  uint64_t points = 0;
  int inconsistencies = 0;
  uint32_t callId = 0x51000000;
  const std::vector<Case> cases = Cases();
  // With warnings only, and with every line built (which allocates too).
  for (int mask : {1, 2})
    for (const Case& c : cases) {
      set_external_trace_mask(mask);
      for (uint64_t n = 1;; ++n) {
        ASSERT_LT(n, 20000u) << c.name << " never completes";
        g_pointLength =
            std::snprintf(g_point, sizeof g_point, "hang: %s at %llu\n",
                          c.name.c_str(), static_cast<unsigned long long>(n));
        alarm(20);
        Point point{n, ++callId, false, std::string()};
        const int claimsBefore = g_leftClaims.load();
        const auto report = [&](const char* what) {
          ++inconsistencies;
          ADD_FAILURE() << c.name << ", trace mask " << mask << ", allocation "
                        << n << ": " << what;
        };
        c.run(point, report);
        if (!point.thrown.empty() &&
            !(c.bMayThrowBadAlloc && point.thrown == "std::bad_alloc"))
          report(("an exception left the operation: " + point.thrown).c_str());
        if (g_leftClaims.load() != claimsBefore)
          report("a claim was left taken");
        ++points;
        if (!point.bReached) break;
      }
    }
  alarm(0);
  RunThread().Stop();
  set_external_trace_mask(previousMask);
  SetCmTraceSink(nullptr, nullptr);
  std::printf(
      "allocation sweep: %zu cases at 2 trace masks, %llu failure points\n",
      cases.size(), static_cast<unsigned long long>(points));
  EXPECT_EQ(0, inconsistencies);
}

}  // namespace
}  // namespace kovaStore
