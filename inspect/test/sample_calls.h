// Calls for the inspector's tests, host and benchmark: each call has values
// in several groups (a toggle on, one off, a value that looks like markup),
// and a statistics object of every kind whose fields Tick() moves.
#ifndef OSTREL_INSPECT_TEST_SAMPLE_CALLS_H_
#define OSTREL_INSPECT_TEST_SAMPLE_CALLS_H_

#include <ostrel/ostrel.h>

#include <cstdint>
#include <vector>

namespace ostrel::inspect {

// The value the page must show as text.
constexpr const char kHostileValue[] = "<img src=x onerror=alert(1)>";

class SampleCalls {
 public:
  SampleCalls(const std::vector<uint32_t>& callIds, bool bStatistics = true);
  ~SampleCalls();
  SampleCalls(const SampleCalls&) = delete;
  SampleCalls& operator=(const SampleCalls&) = delete;

  // Moves the statistics (and one configuration value) to step n.
  void Tick(uint32_t n);

  kovaStore::IKovaConfig* Store(size_t index) { return m_calls[index].store; }

 private:
  struct Call {
    uint32_t callId;
    kovaStore::IKovaConfig* store = nullptr;
    kovaStore::IKovaMediaInfo* objects[4] = {};
  };
  std::vector<Call> m_calls;
};

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_TEST_SAMPLE_CALLS_H_
