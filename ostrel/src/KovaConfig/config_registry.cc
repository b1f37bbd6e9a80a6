#include "config_registry.h"

#include <CmTrace.h>

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>

#include "guarded_kova_config.h"
#include "host_boundary.h"
#include "kova_config.h"
#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaConfigCell.h"
#include "ostrel/KovaIntrospection.h"
#include "support/mutex.h"
#include "support/trace.h"

namespace kovaStore {

std::atomic<uint64_t> g_storeGeneration{1};

namespace {

struct RegistryEntry {
  // The only long-lived owner of the store.
  std::shared_ptr<KovaConfig> store;
  // References still to be given back; the entry goes when it drops below 1.
  int32_t count;
};

typedef std::map<uint32_t, RegistryEntry> Registry;

// A store as the pointer handed out for it: while the store has its entry in
// g_registry, the call it belongs to. Once DestroyKovaConfig() has ended it
// with references still out, the store is retired: it owns the store, whose
// memory stays until the last of those references comes back, so that no
// later store can sit at an address still held.
struct HandedOut {
  uint32_t callId;
  // Set when retired; the only owner of the store from then on.
  std::shared_ptr<KovaConfig> retired;
  // When retired: the references still out (held by callers, not the call's
  // own), given back by ReleaseKovaConfig.
  int32_t references = 0;
};

// Built at load in this order and torn down at unload in reverse: the mutex
// goes first, then the index with the retired stores, then the map with every
// store still in it. Declared here so that the maps can name it.
extern Mutex g_registryMutex;
Registry g_registry GUARDED_BY(g_registryMutex);
// Every store of g_registry and every retired store, by the pointer handed
// out for it, so that a release finds its entry without walking the map or
// touching what the caller passed.
std::unordered_map<const IKovaConfig*, HandedOut> g_handedOut
    GUARDED_BY(g_registryMutex);
// Guards g_registry, g_handedOut and every count and clean-up flag. Not
// recursive: nothing that runs under it, a store's destructor included, calls
// back into the registry.
Mutex g_registryMutex;

// Set, for good, when the library is being unloaded: from then on the entry
// points touch neither the lock nor the maps. Trivially destructible, so it
// may be read after every other static of this file is gone.
std::atomic<bool> g_registryClosed{false};

// What one registry call lets go of under the lock: the observers of the
// stores it destroys or retires, and a retired store whose last reference
// came back. Declared before the lock guard, so that it is destroyed, and the
// callers' callables with it, once the lock is released.
struct Graveyard {
  ObserverTable::HandlerList observers;
  std::shared_ptr<KovaConfig> retiredStore;
};

// Calls counted for the function tracers of clean-up and destroy; they only
// decide whether tracer lines are written.
std::atomic<int> g_cleanUpTracerCalls{0};
std::atomic<int> g_destroyTracerCalls{0};

// Takes the observers of a store about to be destroyed here into
// `graveyard`; a store that another owner still holds keeps them.
void buryObservers(const std::shared_ptr<KovaConfig>& store,
                   Graveyard& graveyard) REQUIRES(g_registryMutex) {
  if (store.use_count() == 1) store->handOverObservers(graveyard.observers);
}

// Erases an entry, destroying its store unless another owner holds it.
void eraseEntry(Registry::iterator it, Graveyard& graveyard)
    REQUIRES(g_registryMutex) {
  buryObservers(it->second.store, graveyard);
  g_handedOut.erase(it->second.store.get());
  g_registry.erase(it);
}

// Ends an entry for DestroyKovaConfig(): a store with references still out
// is retired (its destruction line written, its values and observers
// dropped, its memory kept until those references come back); any other is
// destroyed as by eraseEntry. Allocates nothing.
Registry::iterator endEntry(Registry::iterator it, Graveyard& graveyard)
    REQUIRES(g_registryMutex) {
  RegistryEntry& entry = it->second;
  // The call's own reference goes with its entry: nobody gives it back now.
  const int32_t heldOut = entry.count - (entry.store->IsCleanedUp() ? 0 : 1);
  auto handed = g_handedOut.find(entry.store.get());
  if (heldOut > 0 && handed != g_handedOut.end()) {
    entry.store->retire(graveyard.observers);
    handed->second.references = heldOut;
    handed->second.retired = std::move(entry.store);
  } else {
    buryObservers(entry.store, graveyard);
    if (handed != g_handedOut.end()) g_handedOut.erase(handed);
  }
  return g_registry.erase(it);
}

// At unload, runs before the lock and the maps are torn down: closes the
// registry, ends the generation, and releases the callers' callables while
// every registry function still answers (a closed registry refuses them).
// The stores themselves go with the map, as the map's destruction destroys
// them.
struct RegistryUnloader {
  ~RegistryUnloader() {
    Graveyard graveyard;
    {
      MutexLock lock(g_registryMutex);
      g_registryClosed.store(true);
      g_storeGeneration.fetch_add(1);
      for (auto& entry : g_registry) {
        buryObservers(entry.second.store, graveyard);
      }
      // Retired stores go with the index, untraced; their observers went
      // when they were retired.
    }
  }
} g_registryUnloader;

}  // namespace

bool claimFuncTracerCall(std::atomic<int>& calls) {
  int seen = calls.load();
  while (seen < kFuncTracerCallLimit) {
    if (calls.compare_exchange_weak(seen, seen + 1)) return true;
  }
  return false;
}

namespace {

// The function tracer of CleanUpKovaConfig and DestroyKovaConfig: enabled for
// the first calls only (claimFuncTracerCall), its two texts built in fixed
// buffers only then, so that closing it never allocates.
class RegistryFuncTracer {
 public:
  RegistryFuncTracer(std::atomic<int>& calls, const char* szFunction, int line,
                     const uint32_t* pCallId)
      : m_bTraced(build(calls, szFunction, line, pCallId)),
        m_tracer(m_bTraced, false, getModuleName(nullptr), m_first, m_second) {}
  RegistryFuncTracer(const RegistryFuncTracer&) = delete;
  RegistryFuncTracer& operator=(const RegistryFuncTracer&) = delete;

 private:
  bool build(std::atomic<int>& calls, const char* szFunction, int line,
             const uint32_t* pCallId) {
    m_first[0] = '\0';
    m_second[0] = '\0';
    if (!claimFuncTracerCall(calls)) return false;
    CCmTextFormator first(m_first, sizeof(m_first));
    first << szFunction << ",line=" << line;
    if (pCallId != nullptr) {
      CCmTextFormator second(m_second, sizeof(m_second));
      second << ", callId=" << *pCallId;
    }
    return true;
  }

  char m_first[1024];
  char m_second[1024];
  const bool m_bTraced;
  CCmUtilFuncTracer m_tracer;
};

}  // namespace

KOVA_RESULT createKovaConfigIn(uint32_t callId, IKovaConfig** ppConfig,
                               uint64_t* pGeneration) {
  if (ppConfig == nullptr) return KOVA_E_INVALIDARG;
  if (g_registryClosed.load()) return KOVA_E_FAIL;
  KOVA_INFO_TRACE("kovaStore::CreateKovaConfig [cid=" << callId << "]");

  MutexLock lock(g_registryMutex);
  if (*ppConfig != nullptr) return KOVA_E_INVALIDARG;
  auto it = g_registry.find(callId);
  if (it != g_registry.end()) {
    ++it->second.count;
  } else {
    it = g_registry
             .emplace(
                 callId,
                 RegistryEntry{std::make_shared<GuardedKovaConfig>(callId), 2})
             .first;
    try {
      g_handedOut.emplace(it->second.store.get(), HandedOut{callId, nullptr});
    } catch (...) {
      g_registry.erase(it);  // keeps the index and the map in step
      throw;
    }
  }
  *ppConfig = it->second.store.get();
  if (pGeneration != nullptr) *pGeneration = storeGeneration();
  return KOVA_S_OK;
}

KOVA_RESULT CreateKovaConfig(uint32_t callId, IKovaConfig** ppConfig) {
  return runAtHostBoundary(
      "kovaStore::CreateKovaConfig", nullptr, KOVA_E_FAIL,
      [&] { return createKovaConfigIn(callId, ppConfig, nullptr); });
}

KOVA_RESULT ReleaseKovaConfig(IKovaConfig* pConfig) {
  if (pConfig == nullptr) return KOVA_E_INVALIDARG;
  if (g_registryClosed.load()) return KOVA_S_FALSE;
  return runAtHostBoundary(
      "kovaStore::ReleaseKovaConfig", nullptr, KOVA_E_FAIL, [&] {
        Graveyard graveyard;
        MutexLock lock(g_registryMutex);
        auto indexed = g_handedOut.find(pConfig);
        if (indexed == g_handedOut.end()) return KOVA_S_FALSE;
        HandedOut& handed = indexed->second;
        if (handed.retired) {
          // Its entry is gone, as for any erased store; the last reference
          // lets its memory go, after the lock.
          if (--handed.references < 1) {
            graveyard.retiredStore = std::move(handed.retired);
            g_handedOut.erase(indexed);
          }
          return KOVA_S_FALSE;
        }
        const uint32_t callId = handed.callId;
        auto it = g_registry.find(callId);
        KOVA_ASSERT_RETURN(it != g_registry.end(), KOVA_S_FALSE);
        const int32_t count = --it->second.count;
        // Erasing destroys the store here, under the registry lock.
        if (count < 1) eraseEntry(it, graveyard);
        KOVA_INFO_TRACE("kovaStore::ReleaseKovaConfig [cid="
                        << callId << "], counts=" << count);
        return KOVA_S_OK;
      });
}

KOVA_RESULT CleanUpKovaConfig(uint32_t callId) {
  if (g_registryClosed.load()) return KOVA_S_FALSE;
  return runAtHostBoundary(
      "kovaStore::CleanUpKovaConfig", nullptr, KOVA_E_FAIL, [&] {
        RegistryFuncTracer tracer(g_cleanUpTracerCalls,
                                  "kovaStore::CleanUpKovaConfig", __LINE__,
                                  &callId);

        Graveyard graveyard;
        MutexLock lock(g_registryMutex);
        auto it = g_registry.find(callId);
        if (it == g_registry.end() || it->second.store->IsCleanedUp()) {
          return KOVA_S_FALSE;
        }
        it->second.store->MarkCleanedUp();
        const int32_t count = --it->second.count;
        if (count < 1) eraseEntry(it, graveyard);
        KOVA_INFO_TRACE("kovaStore::CleanUpKovaConfig, callId="
                        << callId << ", counts=" << count);
        return KOVA_S_OK;
      });
}

void DestroyKovaConfig() {
  if (g_registryClosed.load()) return;
  runAtHostBoundary("kovaStore::DestroyKovaConfig", nullptr, 0, [&] {
    RegistryFuncTracer tracer(g_destroyTracerCalls,
                              "kovaStore::DestroyKovaConfig", __LINE__,
                              nullptr);

    Graveyard graveyard;
    MutexLock lock(g_registryMutex);
    // Helpers bound before this point no longer touch their stores.
    g_storeGeneration.fetch_add(1);
    for (const auto& entry : g_registry) {
      KOVA_INFO_TRACE("kovaStore::DestroyKovaConfig, callId="
                      << entry.first << ", counts=" << entry.second.count);
    }
    // Whatever their counts and flags, in ascending call id order; every
    // store the registry alone owned is destroyed here, under the lock, and
    // every store with references still out is retired.
    for (auto it = g_registry.begin(); it != g_registry.end();) {
      it = endEntry(it, graveyard);
    }
    return 0;
  });
}

uint32_t heldDestroyedStoreCount() {
  if (g_registryClosed.load()) return 0;
  MutexLock lock(g_registryMutex);
  uint32_t count = 0;
  for (const auto& handed : g_handedOut) {
    if (handed.second.retired) ++count;
  }
  return count;
}

namespace {

// The view of a name that is never stored: absent, version 0, for good.
const std::atomic<uint64_t> g_absentCellState{0};

bool readAbsentCell(const std::atomic<uint64_t>*, ConfigData&,
                    uint64_t* pStateRead) {
  if (pStateRead != nullptr) *pStateRead = 0;
  return false;
}

bool readCell(const std::atomic<uint64_t>* pState, ConfigData& value,
              uint64_t* pStateRead) {
  uint64_t state = 0;
  const bool bPresent = ValueIndex::readCell(pState, value, &state);
  if (pStateRead != nullptr) *pStateRead = state;
  return bPresent;
}

}  // namespace

KOVA_RESULT GetKovaConfigCell(IKovaConfig* pConfig, KovaConfigGroup group,
                              const char* szConfigName, KovaConfigCell* pCell) {
  if (pCell == nullptr) return KOVA_E_INVALIDARG;
  pCell->pState = &g_absentCellState;
  pCell->pfnRead = &readAbsentCell;
  if (pConfig == nullptr || !isStorableGroup(group) ||
      szConfigName == nullptr || szConfigName[0] == '\0') {
    return KOVA_E_INVALIDARG;
  }
  if (g_registryClosed.load()) return KOVA_E_FAIL;
  return runAtHostBoundary(
      "kovaStore::GetKovaConfigCell", nullptr, KOVA_E_FAIL, [&] {
        // A copy keeps the store while its table is locked, after the
        // registry's lock is let go. A view lives as long as the store, and
        // the store as long as the caller's reference: a store ended by
        // DestroyKovaConfig() keeps its memory until its references return.
        std::shared_ptr<KovaConfig> store;
        {
          MutexLock lock(g_registryMutex);
          auto indexed = g_handedOut.find(pConfig);
          if (indexed == g_handedOut.end() || indexed->second.retired) {
            return KOVA_E_FAIL;
          }
          store = g_registry.at(indexed->second.callId).store;
        }
        pCell->pState = store->cellOf(group, szConfigName);
        pCell->pfnRead = &readCell;
        return KOVA_S_OK;
      });
}

uint32_t GetKovaConfigSizeForUT() {
  if (g_registryClosed.load()) return 0;
  return runAtHostBoundary("kovaStore::GetKovaConfigSizeForUT", nullptr, 0u,
                           [&] {
                             MutexLock lock(g_registryMutex);
                             return static_cast<uint32_t>(g_registry.size());
                           });
}

KOVA_RESULT ListKovaConfigCallIds(uint32_t* pCallIds, uint32_t nCapacity,
                                  uint32_t* pnCount) {
  if (pnCount == nullptr || (pCallIds == nullptr && nCapacity != 0)) {
    return KOVA_E_INVALIDARG;
  }
  *pnCount = 0;
  if (g_registryClosed.load()) return KOVA_S_OK;
  return runAtHostBoundary("kovaStore::ListKovaConfigCallIds", nullptr,
                           KOVA_E_FAIL, [&] {
                             MutexLock lock(g_registryMutex);
                             uint32_t n = 0;
                             for (const auto& entry : g_registry) {
                               if (n < nCapacity) pCallIds[n] = entry.first;
                               ++n;
                             }
                             *pnCount = n;
                             return n <= nCapacity ? KOVA_S_OK : KOVA_S_FALSE;
                           });
}

bool visitKovaConfig(uint32_t callId,
                     const std::function<void(KovaConfig&)>& visit) {
  if (g_registryClosed.load()) return false;
  MutexLock lock(g_registryMutex);
  auto it = g_registry.find(callId);
  if (it == g_registry.end()) return false;
  visit(*it->second.store);
  return true;
}

void visitEveryKovaConfig(const std::function<void(KovaConfig&)>& visit) {
  if (g_registryClosed.load()) return;
  MutexLock lock(g_registryMutex);
  for (const auto& entry : g_registry) visit(*entry.second.store);
}

}  // namespace kovaStore
