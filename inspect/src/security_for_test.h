// The policy the security tests and the routing fuzz target check requests
// against: 127.0.0.1:8080, writes allowed with `token`, bodies up to 1 MiB.
//   const SecurityPolicy policy = LoopbackPolicyForTest("s3cret");
#ifndef OSTREL_INSPECT_SRC_SECURITY_FOR_TEST_H_
#define OSTREL_INSPECT_SRC_SECURITY_FOR_TEST_H_

#include "security.h"

namespace ostrel::inspect {

inline SecurityPolicy LoopbackPolicyForTest(const char* token) {
  SecurityPolicy policy;
  policy.boundAddress = "127.0.0.1";
  policy.port = 8080;
  policy.token = token;
  policy.bAllowWrites = true;
  policy.maxBodyBytes = 1 << 20;
  return policy;
}

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_SECURITY_FOR_TEST_H_
