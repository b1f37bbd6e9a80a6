// The exported functions of KovaIntrospection.h for stores: counters and the
// change journal. The listing of call ids lives with the registry.
#include <cstring>
#include <vector>

#include "config_registry.h"
#include "host_boundary.h"
#include "kova_config.h"
#include "ostrel/KovaIntrospection.h"

namespace kovaStore {

namespace {

constexpr uint32_t kNoCall = 0xFFFFFFFF;
// The smallest size a caller may pass: the size and call id fields.
constexpr uint32_t kCountersHeaderSize = 8;
// Everything up to and including allStores.
constexpr uint32_t kSettingsSize = 16;

// Copies `full` into the caller's struct as far as both know it, and
// writes back how far that is.
template <class T>
void fillSized(T* pOut, const T& full) {
  const uint32_t size =
      pOut->size < sizeof(T) ? pOut->size : static_cast<uint32_t>(sizeof(T));
  std::memcpy(reinterpret_cast<unsigned char*>(pOut) + sizeof(uint32_t),
              reinterpret_cast<const unsigned char*>(&full) + sizeof(uint32_t),
              size - sizeof(uint32_t));
  pOut->size = size;
}

}  // namespace

void KovaConfig::CopyJournal(
    ChangeJournal::Copy (&copies)[kKovaConfigGroupCount]) {
  for (int n = 0; n < kKovaConfigGroupCount; ++n) {
    m_configs[n].withLock([&] {
      m_journal.copyGroup(static_cast<KovaConfigGroup>(n), copies[n]);
    });
  }
}

extern "C" {

KOVA_RESULT GetKovaConfigCounters(uint32_t callId,
                                  KovaConfigCounters* pCounters) {
  if (pCounters == nullptr || pCounters->size < kCountersHeaderSize) {
    return KOVA_E_INVALIDARG;
  }
  if (!StoreCounters::readable()) return KOVA_E_FAIL;
  return runAtHostBoundary(
      "kovaStore::GetKovaConfigCounters", nullptr, KOVA_E_FAIL, [&] {
        KovaConfigCounters full{};
        full.size = sizeof(full);
        full.callId = callId;
        const bool bFound = visitKovaConfig(
            callId, [&](KovaConfig& store) { store.counters().read(full); });
        if (!bFound) return KOVA_S_FALSE;
        fillSized(pCounters, full);
        return KOVA_S_OK;
      });
}

KOVA_RESULT GetKovaConfigTotalCounters(KovaConfigCounters* pCounters) {
  if (pCounters == nullptr || pCounters->size < kCountersHeaderSize) {
    return KOVA_E_INVALIDARG;
  }
  if (!StoreCounters::readable()) return KOVA_E_FAIL;
  return runAtHostBoundary("kovaStore::GetKovaConfigTotalCounters", nullptr,
                           KOVA_E_FAIL, [&] {
                             KovaConfigCounters full{};
                             full.size = sizeof(full);
                             full.callId = kNoCall;
                             StoreCounters::readTotals(full);
                             fillSized(pCounters, full);
                             return KOVA_S_OK;
                           });
}

KOVA_RESULT SetKovaJournalSettings(const KovaJournalSettings* pSettings) {
  if (pSettings == nullptr || pSettings->size < kSettingsSize) {
    return KOVA_E_INVALIDARG;
  }
  return runAtHostBoundary(
      "kovaStore::SetKovaJournalSettings", nullptr, KOVA_E_FAIL, [&] {
        const JournalLimits limits{pSettings->depth, pSettings->cutLength,
                                   pSettings->allStores != 0};
        return setJournalLimits(limits) ? KOVA_S_OK : KOVA_E_INVALIDARG;
      });
}

KOVA_RESULT GetKovaJournalSettings(KovaJournalSettings* pSettings) {
  if (pSettings == nullptr || pSettings->size < kSettingsSize) {
    return KOVA_E_INVALIDARG;
  }
  return runAtHostBoundary(
      "kovaStore::GetKovaJournalSettings", nullptr, KOVA_E_FAIL, [&] {
        const JournalLimits limits = journalLimits();
        KovaJournalSettings full{sizeof(full), limits.depth, limits.cutLength,
                                 limits.bAllStores ? 1u : 0u};
        fillSized(pSettings, full);
        return KOVA_S_OK;
      });
}

KOVA_RESULT SetKovaJournalEnabled(uint32_t callId, bool bEnabled) {
  return runAtHostBoundary(
      "kovaStore::SetKovaJournalEnabled", nullptr, KOVA_E_FAIL, [&] {
        const bool bFound = visitKovaConfig(callId, [&](KovaConfig& store) {
          store.journal().setEnabled(bEnabled);
        });
        return bFound ? KOVA_S_OK : KOVA_S_FALSE;
      });
}

KOVA_RESULT ReadKovaJournal(uint32_t callId, KovaJournalEntry* pEntries,
                            uint32_t nCapacity, uint32_t* pnCount) {
  if (pnCount == nullptr || (pEntries == nullptr && nCapacity != 0)) {
    return KOVA_E_INVALIDARG;
  }
  *pnCount = 0;
  return runAtHostBoundary(
      "kovaStore::ReadKovaJournal", nullptr, KOVA_E_FAIL, [&] {
        // Copied under the registry lock, expanded after it.
        ChangeJournal::Copy copies[kKovaConfigGroupCount];
        const bool bFound = visitKovaConfig(
            callId, [&](KovaConfig& store) { store.CopyJournal(copies); });
        const uint32_t held =
            ChangeJournal::expand(callId, copies, pEntries, nCapacity);
        *pnCount = held;
        return bFound && held <= nCapacity ? KOVA_S_OK : KOVA_S_FALSE;
      });
}

}  // extern "C"

}  // namespace kovaStore
