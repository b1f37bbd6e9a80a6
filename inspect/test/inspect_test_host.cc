// The end-to-end tests' host: calls 101 to 103 served on 127.0.0.1 at a free
// port ("URL <url>" printed), statistics moving until standard input ends.
#include <ostrel/inspect.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "sample_calls.h"

int main() {
  ostrel::InspectorOptions options;
  options.journalDepth = 64;
  options.fieldNames.Set(ostrel::RecordKind::kAudioSession, 12, "packetsSent");
  ostrel::inspect::SampleCalls calls({101, 102, 103});
  ostrel::Inspector inspector(options);
  if (!inspector.Running()) {
    std::fprintf(stderr, "inspector: %s\n", inspector.Error().c_str());
    return 1;
  }
  std::printf("URL %s\n", inspector.Url().c_str());
  std::fflush(stdout);
  std::atomic<bool> bDone{false};
  std::thread ticker([&] {
    for (uint32_t n = 2; !bDone; ++n) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      calls.Tick(n);
    }
  });
  for (std::string line; std::getline(std::cin, line);) {
  }
  bDone = true;
  ticker.join();
}
