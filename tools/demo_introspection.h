// The closing scene of `ostrel demo`: what the library counted for the
// call's store and the last lines of its change journal, read through the
// exported introspection functions as any host would.
//
// Runs on the calling thread only and writes to `out`.
#ifndef TOOLS_DEMO_INTROSPECTION_H_
#define TOOLS_DEMO_INTROSPECTION_H_

#include <cstddef>
#include <cstdint>
#include <ostream>

namespace ostrel_cli {

// Turns the journal of the call's store on; false when the call has none.
bool StartDemoJournal(uint32_t callId);

// Prints the store's non-zero counters and its newest `journalLines`
// journal entries, "    " indented. False when the store could not be read.
bool PrintStoreActivity(uint32_t callId, size_t journalLines,
                        std::ostream& out);

}  // namespace ostrel_cli

#endif  // TOOLS_DEMO_INTROSPECTION_H_
