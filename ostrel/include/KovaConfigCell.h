// A read-only view of one configuration name of a call's store: the word
// that changes with every change of the name's value, and a function that
// reads the value it belongs to. Handles that cache a parsed value read the
// word alone and parse again only when it has moved.
//
//   KovaConfigCell cell;
//   GetKovaConfigCell(store, KovaConfigGroup_Video, "MaxFps", &cell);
//   uint64_t seen = ~0ull;
//   ConfigData value;
//   ...
//   uint64_t now = cell.pState->load(std::memory_order_acquire);
//   if (now != seen) {                       // moved: read it again
//     bool present = cell.pfnRead(cell.pState, value, &seen);
//     ...                                    // parse value if present
//   }
//
// The state word is (version << 1) | present: the version grows with every
// set that changes the value, every removal (RemoveKovaConfig,
// RemoveKovaConfigByGroup, a notify-only set) and with the store's
// destruction; the low bit says whether the name holds a value. A set that
// has returned is seen by the next load of the word on any thread that the
// set happens-before (acquire order suffices).
//
// Lifetime: the view stays valid while the caller holds the reference on the
// store through which it was obtained (CreateKovaConfig, not yet given back).
// DestroyKovaConfig() keeps the memory of a store whose references are still
// held until they come back: it marks every name absent, so the view answers
// absent from then on. A view obtained for a name that was never set reads
// absent until it is set.
//
// Threads: any thread may read a view, any number at once, without locks;
// pfnRead is lock-free and allocates only for values of 16 bytes or more
// whose length differs from what `value` holds.
#ifndef OSTREL_INCLUDE_KOVACONFIGCELL_H_
#define OSTREL_INCLUDE_KOVACONFIGCELL_H_

#include <ConfigData.h>

#include <atomic>
#include <cstdint>

#include "IKovaConfig.h"
#include "KovaConfigTypes.h"
#include "ostrel_export.h"

namespace kovaStore {

struct KovaConfigCell {
  // (version << 1) | present.
  const std::atomic<uint64_t>* pState;
  // Copies the value into `value` and yields true when present; yields false
  // and leaves `value` untouched when absent. Stores in *pStateRead the
  // state word that the answer belongs to. Never null once filled in.
  bool (*pfnRead)(const std::atomic<uint64_t>* pState, ConfigData& value,
                  uint64_t* pStateRead);
};

extern "C" {

// Fills *pCell with the view of `szConfigName` in `group` of the store
// pConfig, a pointer that CreateKovaConfig handed out and that the registry
// still holds. KOVA_S_OK; KOVA_E_INVALIDARG for a null pCell or pConfig, a
// group outside 0 to 11, a null or empty name; KOVA_E_FAIL for a pointer the
// registry does not hold, a store DestroyKovaConfig() ended, or an
// allocation failure. On failure *pCell (when
// not null) is a view that always reads absent, so it can be read alike.
// Writes no trace line of its own. Takes the registry's lock, then the
// group's value table lock, never both at once.
OSTREL_API KOVA_RESULT GetKovaConfigCell(IKovaConfig* pConfig,
                                         KovaConfigGroup group,
                                         const char* szConfigName,
                                         KovaConfigCell* pCell);

}  // extern "C"

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_KOVACONFIGCELL_H_
