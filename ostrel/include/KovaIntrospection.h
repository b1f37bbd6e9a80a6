// What the library holds and what it did: the calls that have a store, the
// statistics objects, activity counters per store and process-wide, and an
// opt-in journal of the changes made to each store. Nothing here creates a
// store or a statistics object, and nothing here changes what the other
// operations answer or trace.
//
//   uint32_t ids[64], n = 0;
//   ListKovaConfigCallIds(ids, 64, &n);           // KOVA_S_FALSE: n > 64
//   KovaConfigCounters c{};
//   c.size = sizeof(c);
//   GetKovaConfigCounters(ids[0], &c);            // or ...TotalCounters(&c)
//
//   KovaJournalSettings s{sizeof(s), 128, 64, 1}; // depth, cut, all stores
//   SetKovaJournalSettings(&s);
//   std::vector<KovaJournalEntry> e(128);
//   ReadKovaJournal(ids[0], e.data(), 128, &n);   // oldest first, a copy
//
// Structs that carry a `size` field grow only at their end: a caller sets
// `size` to the sizeof it was compiled with, the library fills what both
// know and writes back how many bytes it filled. Fields past that are left
// as the caller set them.
//
// Every function may be called from any thread, also from inside an observer
// callback or provider; none calls out to the host. A listing is a snapshot:
// a store or object may come or go right after it was taken.
#ifndef OSTREL_INCLUDE_KOVAINTROSPECTION_H_
#define OSTREL_INCLUDE_KOVAINTROSPECTION_H_

#include <KovaResult.h>

#include <cstdint>

#include "KovaMediaInfo.h"
#include "ostrel_export.h"

namespace kovaStore {

// Activity of one store, or of the whole process. Every field counts events
// since the store's creation (per store) or the library's load (totals,
// which include stores already destroyed). Counters only grow; each is read
// on its own, so a read racing activity may see one counter moved and a
// related one not yet.
struct KovaConfigCounters {
  uint32_t size;    // in: sizeof the caller knows; out: bytes filled
  uint32_t callId;  // the store's call id; 0xFFFFFFFF for the totals
  uint64_t stores;  // stores created (1 per store; all of them in totals)
  uint64_t storesDestroyed;  // totals only: stores destroyed so far
  // SetKovaConfig by result (ApplyKovaConfigs' entries included).
  uint64_t setsOk;          // KOVA_S_OK: at least one subscriber reached
  uint64_t setsUnchanged;   // KOVA_E_UNCHANGED
  uint64_t setsNoObserver;  // KOVA_E_NOOBSERVER
  uint64_t setsInvalidArg;  // KOVA_E_INVALIDARG
  uint64_t setsFailed;      // any other result (KOVA_E_FAIL)
  // Deliveries to subscribers, by the way they went.
  uint64_t deliveriesDirect;  // called on the setting thread
  uint64_t deliveriesSent;    // handed to the run thread, waited for
  uint64_t deliveriesPosted;  // posted to the run thread, not waited for
  // Hand-overs the run thread's queue refused (a stopped thread or a full
  // queue): the callback never runs. The set still returns KOVA_S_OK.
  uint64_t postsRefused;
  uint64_t sendsRefused;
  uint64_t deliveriesNoQueue;  // run thread without an event queue
  uint64_t providerCalls;      // providers asked by GetDynamicConfig
  uint64_t observersAdded;     // subscriptions and bindings registered
  uint64_t observersRemoved;   // unsubscriptions that unlinked one
  uint64_t removalsTimedOut;   // removals that gave up waiting (3 s)
  uint64_t appliesOk;          // ApplyKovaConfigs: KOVA_S_OK
  uint64_t appliesFailed;      // ApplyKovaConfigs: anything else
  uint64_t dumps;              // DumpKovaConfigs
  uint64_t journalEntries;     // changes written to the journal
};

// One change as the journal holds it. Texts are cut to the journal's cut
// length and always NUL-terminated; the lengths give the full size, so a cut
// text is recognisable. Times come from the system's coarse wall clock (a
// few milliseconds' resolution); the sequence orders entries exactly. A set
// that reached observers is recorded once its dispatch has ended, so a set
// made from inside a callback comes before the set that called it.
//
// A store's journal keeps its newest `depth` entries; its memory is at most
// 12 x depth x (48 + 3 x cut length) bytes (one ring per group). Writing an
// entry takes no lock of its own: it is written under the lock the change
// already holds.
constexpr uint32_t kKovaJournalMaxCut = 255;
constexpr uint32_t kKovaJournalMaxDepth = 4096;

enum KovaJournalOperation : int32_t {
  KovaJournal_Set = 0,          // SetKovaConfig storing a value
  KovaJournal_NotifyOnly = 1,   // SetKovaConfig with bNotifyOnly (removes)
  KovaJournal_Remove = 2,       // RemoveKovaConfig (name; no new value)
  KovaJournal_RemoveGroup = 3,  // RemoveKovaConfigByGroup (no name)
};

struct KovaJournalEntry {
  uint64_t sequence;  // 1, 2, 3, ... per store; a gap shows entries lost
  uint64_t timeUs;    // microseconds since 1970-01-01 UTC
  uint32_t callId;
  uint32_t threadId;  // as trace lines print it (GetThreadSelfId)
  int32_t group;      // KovaConfigGroup
  int32_t operation;  // KovaJournalOperation
  KOVA_RESULT result;
  uint32_t nameLength;  // full lengths, before cutting
  uint32_t oldLength;
  uint32_t newLength;
  uint8_t hasOld;  // an old value was stored
  uint8_t hasNew;  // the operation passed a new value
  uint8_t reserved[2];
  char name[kKovaJournalMaxCut + 1];
  char oldValue[kKovaJournalMaxCut + 1];
  char newValue[kKovaJournalMaxCut + 1];
};

// Process-wide journal settings. Off at load: depth 64, cut length 64, no
// store journals until enabled here or by SetKovaJournalEnabled.
struct KovaJournalSettings {
  uint32_t size;       // in: sizeof the caller knows; out: bytes filled
  uint32_t depth;      // entries kept per store, 1 to kKovaJournalMaxDepth
  uint32_t cutLength;  // bytes kept of each text, 0 to kKovaJournalMaxCut
  uint32_t allStores;  // non-zero: every store journals, present and future
};

// A statistics object's key, as the registry holds it.
struct KovaOstrelEntityKey {
  int32_t type;  // KovaMediaStatType
  uint32_t callId;
};

extern "C" {

// The call ids that have a store, ascending. Writes up to nCapacity of them
// and the number of stores to *pnCount: KOVA_S_OK when all fitted,
// KOVA_S_FALSE when the buffer was short (the first nCapacity written).
// KOVA_E_INVALIDARG for a null pnCount, or a null pCallIds with a capacity.
OSTREL_API KOVA_RESULT ListKovaConfigCallIds(uint32_t* pCallIds,
                                             uint32_t nCapacity,
                                             uint32_t* pnCount);

// The counters of the call's store: KOVA_S_OK, or KOVA_S_FALSE when the call
// has no store (*pCounters untouched). KOVA_E_INVALIDARG for a null pointer
// or a size below 8; KOVA_E_FAIL when the library was built without
// counting.
OSTREL_API KOVA_RESULT GetKovaConfigCounters(uint32_t callId,
                                             KovaConfigCounters* pCounters);
// The same summed over every store the process ever had.
OSTREL_API KOVA_RESULT
GetKovaConfigTotalCounters(KovaConfigCounters* pCounters);

// Takes the depth, the cut length and the all-stores switch. A change of
// depth or cut length empties every journal (sequences go on).
// KOVA_E_INVALIDARG for a null pointer, a size below 16, or a value out of
// range.
OSTREL_API KOVA_RESULT
SetKovaJournalSettings(const KovaJournalSettings* pSettings);
OSTREL_API KOVA_RESULT GetKovaJournalSettings(KovaJournalSettings* pSettings);
// Turns the journal of one call's store on or off (a store journals when
// this or the all-stores switch is on). Turning it off keeps what it holds.
// KOVA_S_FALSE when the call has no store.
OSTREL_API KOVA_RESULT SetKovaJournalEnabled(uint32_t callId, bool bEnabled);
// A copy of the call's journal, oldest first: the newest nCapacity entries
// when more are held, *pnCount set to the number held. KOVA_S_OK when all
// fitted, KOVA_S_FALSE when the buffer was short or the call has no store
// (then *pnCount is 0); KOVA_E_INVALIDARG as for the listing.
OSTREL_API KOVA_RESULT ReadKovaJournal(uint32_t callId,
                                       KovaJournalEntry* pEntries,
                                       uint32_t nCapacity, uint32_t* pnCount);

// The statistics object of (type, callId) if it exists, with one reference
// added as createOstrelEntity adds it (give it back with releaseOstrelEntity).
// KOVA_S_OK with the object; KOVA_S_FALSE when there is none (*pp null);
// KOVA_E_FAIL for a null ppMediaStatInfo or an unknown type.
OSTREL_API KOVA_RESULT findOstrelEntity(KovaMediaStatType type, uint32_t callId,
                                        IKovaMediaInfo** ppMediaStatInfo);
// The keys of the statistics objects, ascending by type then call id; the
// buffer and results as for ListKovaConfigCallIds.
OSTREL_API KOVA_RESULT listOstrelEntities(KovaOstrelEntityKey* pKeys,
                                          uint32_t nCapacity,
                                          uint32_t* pnCount);

}  // extern "C"

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_KOVAINTROSPECTION_H_
