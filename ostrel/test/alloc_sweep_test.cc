// Allocation-failure sweep: every operation of the exported interface, run
// again and again with its 1st, 2nd, 3rd, ... allocation failing until it
// completes without reaching the failure. After each failure point: no
// exception the headers do not allow, no hang, and the store consistent:
// a set took effect with every observer told or did not take effect and
// failed; an observer is registered with the id returned or not at all; a
// helper has every subscription it reports or reports the failure; no
// delivery claim is left behind. Leaks are LeakSanitizer's (asan preset).
#include <gtest/gtest.h>
#include <ostrel/cpp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "CmThread.h"
#include "KovaConfigApi.h"
#include "KovaConfigHelper.h"
#include "KovaOstrelApi.h"
#include "alloc_fault.h"

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
  static const char* const kMarks[] = {"remove itself when notification",
                                       "Waiting for long time"};
  const std::string_view line(text, length);
  for (const char* mark : kMarks) {
    if (line.find(mark) != std::string_view::npos) ++g_leftClaims;
  }
}

// Aborts the process, naming the point, when one point runs too long.
class Watchdog {
 public:
  Watchdog() : m_thread([this] { Run(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bStop = true;
    }
    m_cond.notify_all();
    m_thread.join();
  }
  void Start(const char* szCase, uint64_t n) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_szCase = szCase;
    m_n = n;
    m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bStop) {
      m_cond.wait_for(lock, std::chrono::milliseconds(200));
      if (m_szCase != nullptr &&
          std::chrono::steady_clock::now() > m_deadline) {
        std::fprintf(stderr, "hang: %s at allocation %llu\n", m_szCase,
                     static_cast<unsigned long long>(m_n));
        std::abort();
      }
    }
  }
  std::mutex m_mutex;
  std::condition_variable m_cond;
  bool m_bStop = false;
  const char* m_szCase = nullptr;
  uint64_t m_n = 0;
  std::chrono::steady_clock::time_point m_deadline;
  std::thread m_thread;
};

// What each observer was told, from any thread.
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
    for (const ConfigData& seen : values)
      if (seen == v) return true;
    return false;
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
  RunThread().GetEventQueue()->SendEvent(new FnEvent([] {}), 0);
}

// One point of one case: setup, the operation with allocation n failing, the
// checks. Yields whether the failure was reached.
struct Point {
  uint64_t n;
  uint32_t callId;
  bool bReached = false;
  bool bThrew = false;
  std::string what;
  // Runs `operation` armed; an exception it lets out is recorded.
  template <class Operation>
  void Armed(Operation&& operation) {
    AllocFault::Arm(n);
    try {
      operation();
    } catch (const std::exception& e) {
      bThrew = true;
      what = e.what();
    } catch (...) {
      bThrew = true;
    }
    bReached = AllocFault::Disarm();
  }
};

struct Case {
  std::string name;
  // Runs one point; the checks report through `inconsistent`.
  std::function<void(Point&, const std::function<void(const char*)>&)> run;
  // The C++ layer reports running out of memory with std::bad_alloc.
  bool bMayThrowBadAlloc = false;
};

std::vector<std::string> Documents() {
  const std::filesystem::path examples(OSTREL_EXAMPLES_DIR);
  std::vector<std::string> texts;
  auto read = [&texts](const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    texts.emplace_back(std::istreambuf_iterator<char>(file),
                       std::istreambuf_iterator<char>());
  };
  read(examples / "call-sample.json");
  for (const auto& entry :
       std::filesystem::directory_iterator(examples / "broken")) {
    read(entry.path());
  }
  return texts;
}

using Report = std::function<void(const char*)>;

// A store of `callId` holding kOld under kName, with a direct, a sent and a
// posted observer (or none), each already told kOld.
struct Observed {
  Observed(uint32_t callId, bool bObservers) : callId(callId) {
    CreateKovaConfig(callId, &store);
    store->SetKovaConfig(kGroup, kName, ConfigData(kOld), false, false);
    if (!bObservers) return;
    ids.push_back(store->SubscribeConfig(kGroup, kName, told[0].Callback(),
                                         nullptr, false));
    ids.push_back(store->SubscribeConfig(kGroup, kName, told[1].Callback(),
                                         &RunThread(), false));
    ids.push_back(store->SubscribeConfig(kGroup, kName, told[2].Callback(),
                                         &RunThread(), true));
    Drain();
  }
  ~Observed() {
    for (uint64_t id : ids) store->UnsubscribeConfig(id);
    ReleaseKovaConfig(store);
    CleanUpKovaConfig(callId);
  }
  // A set with result `result` took effect everywhere or nowhere.
  void CheckSet(KOVA_RESULT result, const ConfigData& wanted,
                const ConfigData& before, const Report& inconsistent) {
    Drain();
    ConfigData now;
    store->GetKovaConfig(kGroup, kName, now);
    const bool bTookEffect = now == wanted;
    if (result == KOVA_E_FAIL) {
      if (bTookEffect && !(wanted == before)) {
        inconsistent("set failed yet took effect");
      }
    } else if (!bTookEffect) {
      inconsistent("set succeeded yet did not take effect");
    }
    for (size_t i = 0; i < ids.size(); ++i) {
      const bool bTold = told[i].Got(wanted);
      if (bTold != bTookEffect)
        inconsistent(
            "observers told of a set that"
            " did not take effect, or not"
            " told of one that did");
    }
  }
  uint32_t callId;
  IKovaConfig* store = nullptr;
  Told told[3];
  std::vector<uint64_t> ids;
};

// An observer registered with `id` (0: must not be registered) is told of a
// fresh set exactly when the id is not 0, and its removal succeeds.
void CheckRegistration(IKovaConfig* store, const char* szName, uint64_t id,
                       Told& told, const Report& inconsistent) {
  const ConfigData probe("a probe value that nobody has seen yet");
  store->SetKovaConfig(kGroup, szName, probe, false, false);
  Drain();
  if (told.Got(probe) != (id != 0)) {
    inconsistent(id != 0 ? "registered observer not told"
                         : "observer registered although id 0 was returned");
  }
  if (id != 0 && store->UnsubscribeConfig(id) != KOVA_S_OK) {
    inconsistent("returned id not registered");
  }
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  auto add = [&cases](std::string name,
                      std::function<void(Point&, const Report&)> run) {
    cases.push_back(Case{name, std::move(run)});
  };

  // Registry and value readers.
  add("CreateKovaConfig", [](Point& p, const Report& bad) {
    IKovaConfig* store = nullptr;
    KOVA_RESULT r = KOVA_E_FAIL;
    p.Armed([&] { r = CreateKovaConfig(p.callId, &store); });
    if ((r == KOVA_S_OK) != (store != nullptr)) bad("create result");
    if (r == KOVA_S_OK && GetKovaConfigSizeForUT() != 1) bad("registry size");
    if (store != nullptr) ReleaseKovaConfig(store);
    CleanUpKovaConfig(p.callId);
  });
  add("ReleaseAndCleanUp", [](Point& p, const Report& bad) {
    IKovaConfig* store = nullptr;
    CreateKovaConfig(p.callId, &store);
    const uint32_t before = GetKovaConfigSizeForUT();
    KOVA_RESULT released = KOVA_E_FAIL, cleaned = KOVA_E_FAIL;
    p.Armed([&] {
      released = ReleaseKovaConfig(store);
      cleaned = CleanUpKovaConfig(p.callId);
    });
    if (released == KOVA_S_OK && cleaned == KOVA_S_OK &&
        GetKovaConfigSizeForUT() != before - 1) {
      bad("released and cleaned-up store left in the registry");
    }
    // What failed is given back now, as a host would retry.
    if (released != KOVA_S_OK) ReleaseKovaConfig(store);
    if (cleaned != KOVA_S_OK) CleanUpKovaConfig(p.callId);
  });
  add("ValueReaders", [](Point& p, const Report& bad) {
    Observed o(p.callId, false);
    ConfigData a, b;
    KOVA_RESULT ra = KOVA_E_FAIL, rb = KOVA_E_FAIL;
    p.Armed([&] {
      ra = GetKovaConfigValue(kova::KovaSessionType_Video, kName, a, p.callId);
      rb = GetKovaConfigValueEx(kGroup, kName, b, p.callId);
    });
    if ((ra == KOVA_S_OK && !(a == ConfigData(kOld))) ||
        (rb == KOVA_S_OK && !(b == ConfigData(kOld)))) {
      bad("value reader answered a wrong value");
    }
  });

  // The store's slots.
  for (bool bNotifyOnly : {false, true}) {
    add(bNotifyOnly ? "SetNotifyOnlyWithObservers" : "SetWithObservers",
        [bNotifyOnly](Point& p, const Report& bad) {
          Observed o(p.callId, true);
          KOVA_RESULT r = KOVA_E_FAIL;
          ConfigData value(kNew);
          p.Armed([&] {
            r = o.store->SetKovaConfig(kGroup, kName, std::move(value), false,
                                       bNotifyOnly);
          });
          if (bNotifyOnly) {
            Drain();
            ConfigData now;
            const bool bRemoved =
                o.store->GetKovaConfig(kGroup, kName, now) != KOVA_S_OK;
            for (Told& t : o.told) {
              if (t.Got(ConfigData(kNew)) != bRemoved) {
                bad("notify-only set half done");
              }
            }
            if (bRemoved == (r == KOVA_E_FAIL)) bad("notify-only result");
          } else {
            o.CheckSet(r, ConfigData(kNew), ConfigData(kOld), bad);
          }
        });
  }
  add("SetWithoutObservers", [](Point& p, const Report& bad) {
    Observed o(p.callId, false);
    KOVA_RESULT r = KOVA_E_FAIL;
    ConfigData value(kNew);
    p.Armed([&] {
      r = o.store->SetKovaConfig(kGroup, "Fresh name of some length",
                                 std::move(value), false, false);
    });
    ConfigData now;
    const bool bStored =
        o.store->GetKovaConfig(kGroup, "Fresh name of some length", now) ==
        KOVA_S_OK;
    if (bStored == (r == KOVA_E_FAIL)) bad("set result and value disagree");
  });
  for (int mode = 0; mode < 3; ++mode) {
    static const char* const kNames[] = {"SubscribeDirect", "SubscribeSent",
                                         "SubscribePosted"};
    add(kNames[mode], [mode](Point& p, const Report& bad) {
      Observed o(p.callId, false);
      Told told;
      uint64_t id = 0;
      p.Armed([&] {
        id = o.store->SubscribeConfig(kGroup, kName, told.Callback(),
                                      mode == 0 ? nullptr : &RunThread(),
                                      mode == 2);
      });
      CheckRegistration(o.store, kName, id, told, bad);
    });
  }
  add("BindAndQuery", [](Point& p, const Report& bad) {
    Observed o(p.callId, false);
    uint64_t id = 0;
    ConfigData answer;
    ConfigData parameter(kOld);
    p.Armed([&] {
      id = o.store->BindConfig(kGroup, kName, [](const KovaConfigEvent&) {
        AllocFault::Paused paused;
        return ConfigData(kNew);
      });
      o.store->GetDynamicConfig(kGroup, kName, answer, std::move(parameter));
    });
    ConfigData again;
    const KOVA_RESULT r =
        o.store->GetDynamicConfig(kGroup, kName, again, ConfigData());
    if ((r == KOVA_S_OK) != (id != 0)) bad("binder registered without id");
    if (id != 0 && o.store->UnsubscribeConfig(id) != KOVA_S_OK) {
      bad("bound id not registered");
    }
  });
  add("Unsubscribe", [](Point& p, const Report& bad) {
    Observed o(p.callId, true);
    KOVA_RESULT r[3] = {};
    p.Armed([&] {
      for (int i = 0; i < 3; ++i) r[i] = o.store->UnsubscribeConfig(o.ids[i]);
    });
    for (int i = 0; i < 3; ++i) {
      if (r[i] == KOVA_S_OK) o.ids[i] = 0;
    }
    o.ids.erase(std::remove(o.ids.begin(), o.ids.end(), 0u), o.ids.end());
    if (!o.ids.empty()) bad("removal failed");
  });
  add("GetRemoveAndDump", [](Point& p, const Report& bad) {
    Observed o(p.callId, false);
    ConfigData value;
    const char* szDump = nullptr;
    p.Armed([&] {
      o.store->GetKovaConfig(kGroup, kName, value);
      szDump = o.store->DumpKovaConfigs(0xFFF);
      o.store->RemoveKovaConfig(kGroup, kName);
      o.store->RemoveKovaConfigByGroup(kGroup);
    });
    if (szDump == nullptr) bad("dump returned null");
  });
  const std::vector<std::string> documents = Documents();
  for (size_t d = 0; d < documents.size(); ++d) {
    const std::string document = documents[d];
    // What the document leaves in the store when nothing fails.
    std::string reference;
    {
      Observed o(0x50FFFFFF, true);
      o.store->ApplyKovaConfigs(document.c_str());
      reference = o.store->DumpKovaConfigs(0xFFF);
    }
    cases.push_back(Case{
        "Apply document " + std::to_string(d),
        [document, reference](Point& p, const Report& bad) {
          Observed o(p.callId, true);
          KOVA_RESULT r = KOVA_E_FAIL;
          p.Armed([&] { r = o.store->ApplyKovaConfigs(document.c_str()); });
          // Only kName is observed; whatever it holds now, everyone was told.
          Drain();
          ConfigData now;
          o.store->GetKovaConfig(kGroup, kName, now);
          for (Told& t : o.told) {
            if (!t.Got(now)) bad("apply left an observer untold");
          }
          if (r == KOVA_S_OK && reference != o.store->DumpKovaConfigs(0xFFF)) {
            bad("apply succeeded without applying every entry");
          }
        }});
  }

  // The client helper.
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
  add("HelperSubscriptions", [](Point& p, const Report& bad) {
    Observed o(p.callId, false);
    Told told[3];
    {
      KovaConfigHelper helper(p.callId);
      uint64_t ids[3] = {};
      p.Armed([&] {
        ids[0] = helper.SubscribeConfig(kName, told[0].Callback(), kGroup);
        ids[1] = helper.SubscribeConfig("Sent", told[1].Callback(), kGroup,
                                        &RunThread(), false);
        ids[2] = helper.SubscribeFeatureToggle(
            KOVA_FT_EnableRelayMode, told[2].Callback(), &RunThread(), true);
      });
      const char* const names[] = {kName, "Sent", "EnableRelayMode"};
      for (int i = 0; i < 3; ++i) {
        const KovaConfigGroup group = i == 2 ? KovaConfigGroup_Feature : kGroup;
        const ConfigData probe("probe of a helper subscription");
        o.store->SetKovaConfig(group, names[i], probe, false, false);
        Drain();
        if (told[i].Got(probe) != (ids[i] != 0)) {
          bad("helper subscription and its id disagree");
        }
      }
      helper.UnsubscribeConfig(ids[0]);
    }
    const ConfigData after("after the helper");
    o.store->SetKovaConfig(kGroup, "Sent", after, false, false);
    Drain();
    if (told[1].Got(after)) bad("observer outlived its helper");
  });
  add("HelperSetCallId", [](Point& p, const Report& bad) {
    Observed o(p.callId, false);
    const char* const names[] = {kName, "Sent", "Posted", "Bound"};
    for (const char* name : names)
      o.store->SetKovaConfig(kGroup, name, ConfigData(kOld), false, false);
    Told told[3];
    KOVA_RESULT r = KOVA_E_FAIL;
    {
      KovaConfigHelper helper;
      helper.SubscribeConfig(names[0], told[0].Callback(), kGroup);
      helper.SubscribeConfig(names[1], told[1].Callback(), kGroup, &RunThread(),
                             false);
      helper.SubscribeConfig(names[2], told[2].Callback(), kGroup, &RunThread(),
                             true);
      helper.BindConfig(
          names[3],
          [](const KovaConfigEvent&) {
            AllocFault::Paused paused;
            return ConfigData(kNew);
          },
          kGroup);
      p.Armed([&] { r = helper.SetCallId(p.callId); });
      const ConfigData probe("probe after binding the call");
      bool bAll = true;
      for (int i = 0; i < 3; ++i) {
        o.store->SetKovaConfig(kGroup, names[i], probe, false, false);
        Drain();
        bAll = bAll && told[i].Got(probe);
      }
      ConfigData answer;
      bAll = bAll && o.store->GetDynamicConfig(kGroup, names[3], answer,
                                               ConfigData()) == KOVA_S_OK;
      if (r == KOVA_S_OK && !bAll) bad("SetCallId succeeded, lost observers");
    }
    const ConfigData after("after the helper went");
    for (int i = 0; i < 3; ++i) {
      o.store->SetKovaConfig(kGroup, names[i], after, false, false);
      Drain();
      if (told[i].Got(after)) bad("observer orphaned by SetCallId");
    }
    ConfigData answer;
    if (o.store->GetDynamicConfig(kGroup, names[3], answer, ConfigData()) ==
        KOVA_S_OK) {
      bad("provider orphaned by SetCallId");
    }
  });

  // Statistics objects.
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
        if (createOstrelEntity(type, p.callId, &again) == KOVA_S_OK) {
          releaseOstrelEntity(type, p.callId, again);
        }
      }
    });
    for (int kind = 0; kind < 4; ++kind) {
      if ((r[kind] == KOVA_S_OK) != (infos[kind] != nullptr)) {
        bad("statistics result and object disagree");
      }
      if (infos[kind] == nullptr) continue;
      if (releaseOstrelEntity(static_cast<KovaMediaStatType>(kind), p.callId,
                              infos[kind]) != 0) {
        bad("statistics object kept a reference");
      }
    }
  });

  // The C++ layer.
  const size_t firstCpp = cases.size();
  for (int mode = 0; mode < 3; ++mode) {
    static const char* const kNames[] = {"CppInline", "CppPosted",
                                         "CppExecutor"};
    add(kNames[mode], [mode](Point& p, const Report& bad) {
      Observed o(p.callId, false);
      const std::string text(kNew);
      std::atomic<int> calls{0};
      {
        ostrel::Subscription sub;
        auto delivery = [mode]() {
          if (mode == 1) return ostrel::Delivery::Posted(RunThread());
          if (mode == 2)
            return ostrel::Delivery::Via([](std::function<void()> task) {
              AllocFault::Paused paused;
              RunThread().GetEventQueue()->PostEvent(
                  new FnEvent(std::move(task)));
            });
          return ostrel::Delivery::Inline();
        };
        p.Armed([&] {
          ostrel::Store call(p.callId);
          sub = call.Subscribe(
              kGroup, kName, [&calls](const KovaConfigEvent&) { ++calls; },
              delivery());
          sub.id();
          call.Set(kGroup, kName, text);
          static_cast<void>(call.GetOr(kGroup, kName, std::string()));
          ostrel::Subscription bound =
              call.Bind(kGroup, "Bound", [](const KovaConfigEvent&) {
                AllocFault::Paused paused;
                return ConfigData(kNew);
              });
        });
        Drain();
        const int before = calls;
        o.store->SetKovaConfig(kGroup, kName, ConfigData("probe"), false,
                               false);
        Drain();
        if (sub && calls == before) bad("live subscription not told");
        if (!sub && calls != before) bad("empty subscription still told");
      }
      const int atEnd = calls;
      o.store->SetKovaConfig(kGroup, kName, ConfigData("after"), false, false);
      Drain();
      if (calls != atEnd) bad("subscription told after reset");
    });
  }
  for (size_t i = firstCpp; i < cases.size(); ++i) {
    cases[i].bMayThrowBadAlloc = true;
  }
  return cases;
}

TEST(AllocationSweepTest, EveryFailurePointLeavesTheStoreConsistent) {
  SetCmTraceSink(&CountingSink, nullptr);
  const int previousMask = get_external_trace_mask();
  Watchdog watchdog;
  RunThread();
  uint64_t points = 0;
  int inconsistencies = 0;
  uint32_t callId = 0x51000000;
  const std::vector<Case> cases = Cases();
  // With warnings only, and with every line built (which allocates too).
  for (int mask : {1, 2})
    for (const Case& c : cases) {
      set_external_trace_mask(mask);
      uint64_t n = 1;
      for (;; ++n) {
        ASSERT_LT(n, 20000u) << c.name << " never completes";
        watchdog.Start(c.name.c_str(), n);
        Point point{n, ++callId, false, false, std::string()};
        const int claimsBefore = g_leftClaims.load();
        const auto report = [&](const char* what) {
          ++inconsistencies;
          ADD_FAILURE() << c.name << ", trace mask " << mask << ", allocation "
                        << n << ": " << what;
        };
        c.run(point, report);
        if (point.bThrew &&
            !(c.bMayThrowBadAlloc && point.what == "std::bad_alloc")) {
          report(("an exception left the operation: " + point.what).c_str());
        }
        if (g_leftClaims.load() != claimsBefore)
          report("a claim was left taken");
        ++points;
        if (!point.bReached) break;
      }
    }
  watchdog.Start(nullptr, 0);
  RunThread().Stop();
  set_external_trace_mask(previousMask);
  SetCmTraceSink(nullptr, nullptr);
  std::printf(
      "allocation sweep: %zu cases at 2 trace masks, %llu failure points, %d "
      "inconsistencies\n",
      cases.size(), static_cast<unsigned long long>(points), inconsistencies);
  EXPECT_EQ(0, inconsistencies);
}

}  // namespace
}  // namespace kovaStore
