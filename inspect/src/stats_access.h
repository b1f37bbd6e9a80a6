// The statistics objects as the inspector reads them: which kinds a call
// has, and one kind's fields decoded, read without resetting anything. An
// object is found without being created (a reference added for the read and
// given back after it).
#ifndef OSTREL_INSPECT_SRC_STATS_ACCESS_H_
#define OSTREL_INSPECT_SRC_STATS_ACCESS_H_

#include <ostrel/cpp/statistics.h>

#include <cstdint>
#include <map>
#include <vector>

namespace ostrel::inspect {

constexpr int kStatKindCount = 4;

// "audio", "video", "contentVideo", "contentAudio".
const char* StatKindName(int kind);

// The kinds each call has a statistics object of, by call id.
std::map<uint32_t, std::vector<int>> ListStatKinds();

// The object's fields (streams whose records are all zero left out); false
// when the call has no object of the kind.
bool DecodeStatistics(uint32_t callId, int kind, const FieldNames& names,
                      std::vector<Field>& fields);

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_STATS_ACCESS_H_
