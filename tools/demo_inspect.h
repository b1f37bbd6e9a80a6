// `ostrel demo --inspect`: serves the demo's call with the inspector while
// it is alive. Built with the inspector (demo_inspect.cc) or without it
// (demo_inspect_none.cc), as CMake finds it.
#ifndef TOOLS_DEMO_INSPECT_H_
#define TOOLS_DEMO_INSPECT_H_

#include <cstdint>
#include <ostream>

namespace ostrel_cli {

// Starts the inspector on 127.0.0.1 at `port` (0: any free one), prints its
// URL, keeps statistics of the call moving, and returns when standard input
// ends (Enter, or end of file). False when the inspector could not start or
// the command was built without it.
bool ServeDemoCall(uint32_t callId, uint16_t port, std::ostream& out);

}  // namespace ostrel_cli

#endif  // TOOLS_DEMO_INSPECT_H_
