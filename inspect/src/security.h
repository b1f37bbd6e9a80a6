// The inspector's security rules, in one place: which addresses it may
// listen on, which Host headers it answers, when a request needs the bearer
// token and how the token is compared, what a request body may be, and the
// headers every answer carries. Pure functions of their input; the server
// (request_handler.cc) applies them before any endpoint runs.
#ifndef OSTREL_INSPECT_SRC_SECURITY_H_
#define OSTREL_INSPECT_SRC_SECURITY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel::inspect {

// A numeric IPv4 address in 127.0.0.0/8, or the IPv6 address ::1.
bool IsLoopbackAddress(const std::string& address);
// "0.0.0.0" or "::": every address of the machine.
bool IsWildcardAddress(const std::string& address);

struct SecurityPolicy {
  std::string boundAddress;  // as the inspector listens on it
  uint16_t port = 0;
  std::vector<std::string> allowedHosts;  // further names for Host
  std::string token;                      // empty: none
  bool bAllowWrites = false;
  size_t maxBodyBytes = 0;
};

// The facts of a request the checks need, taken from its headers.
struct RequestFacts {
  bool bHasHost = false;
  std::string host;  // the Host header as sent
  bool bHasAuthorization = false;
  std::string authorization;
  bool bWrite = false;        // the route changes something
  bool bHasBody = false;      // Content-Length or Transfer-Encoding given
  std::string contentLength;  // as sent, when given
  bool bChunked = false;      // any Transfer-Encoding
  bool bEncoded = false;      // any Content-Encoding
};

struct Refusal {
  int status = 0;  // 0: the request may go on
  std::string message;
};

// Refuses a request that names a foreign host (403), lacks the token where
// one is needed (401: writes, and every request on an address that is not
// loopback), asks to write where writes are off (403), or carries a body
// that is too large (413), of no stated length (411) or encoded (415).
Refusal CheckRequest(const SecurityPolicy& policy, const RequestFacts& facts);

// True when the Host header names the bound address (or, bound to every
// address, any numeric address), "localhost", or one of the allowed hosts,
// with the bound port or no port.
bool HostAllowed(const SecurityPolicy& policy, std::string_view host);

// True when `authorization` is exactly "Bearer <token>". The comparison
// takes the same time whatever bytes differ, so its timing tells nothing
// about the token; only the length of the header shows.
bool BearerTokenMatches(std::string_view authorization,
                        const std::string& token);

// The headers every answer carries: a Content-Security-Policy that allows
// only the inspector's own scripts, styles and images (no inline script),
// nosniff, no framing, no referrer, no caching.
const std::vector<std::pair<std::string, std::string>>& SecurityHeaders();

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_SECURITY_H_
