// The inspector's request routing, query parsing and request checks on
// arbitrary request lines and headers. The input is split at newlines into
// method, target, Host, Authorization and Content-Length. Checks, beyond
// "no crash": a routed call id prints back as the id's digits, an asset
// name never leaves its folder, refusals carry their documented statuses.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/src/routing.h"
#include "inspect/src/security_for_test.h"

namespace {

std::vector<std::string_view> splitLines(std::string_view text, size_t count) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < count) {
    const size_t at = text.find('\n');
    if (at == std::string_view::npos) break;
    parts.push_back(text.substr(0, at));
    text.remove_prefix(at + 1);
  }
  parts.push_back(text);
  parts.resize(count);
  return parts;
}

void check(bool bHolds) {
  if (!bHolds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ostrel::inspect;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> parts = splitLines(input, 5);

  Route route;
  RouteError error;
  if (ParseRoute(parts[0], parts[1], route, error)) {
    if (route.endpoint == Endpoint::kAsset) {
      check(!route.asset.empty() && route.asset[0] != '.');
      check(route.asset.find('/') == std::string::npos);
    }
    const std::string target(parts[1]);
    if (target.find("/api/v1/calls/") == 0 &&
        route.endpoint != Endpoint::kCalls) {
      const std::string digits = std::to_string(route.callId);
      check(target.compare(14, digits.size() + 1, digits + "/") == 0);
    }
  } else {
    check(error.status == 400 || error.status == 404 || error.status == 405);
  }
  std::vector<std::pair<std::string, std::string>> params;
  ParseQuery(parts[1], params);
  uint32_t callId = 0;
  if (ParseCallId(parts[1], callId)) check(std::to_string(callId) == parts[1]);

  const SecurityPolicy policy = LoopbackPolicyForTest("fuzz-token");
  RequestFacts facts;
  facts.bHasHost = !parts[2].empty();
  facts.host.assign(parts[2]);
  facts.bHasAuthorization = !parts[3].empty();
  facts.authorization.assign(parts[3]);
  facts.bWrite = !route.asset.empty() || IsWriteRoute(route);
  facts.bHasBody = !parts[4].empty();
  facts.contentLength.assign(parts[4]);
  const Refusal refusal = CheckRequest(policy, facts);
  const int s = refusal.status;
  check(s == 0 || s == 400 || s == 401 || s == 403 || s == 411 || s == 413 ||
        s == 415);
  if (s == 0 && facts.bWrite) {
    check(facts.authorization == "Bearer fuzz-token");
  }
  return 0;
}
