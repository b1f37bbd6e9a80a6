#include "demo_inspect.h"

namespace ostrel_cli {

bool ServeDemoCall(uint32_t, uint16_t, std::ostream& out) {
  out << "    this ostrel command was built without the inspector\n";
  return false;
}

}  // namespace ostrel_cli
