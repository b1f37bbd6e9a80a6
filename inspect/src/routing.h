// Request routing: which endpoint a request's method and target name, with
// its call id and query parameters. A pure function of the request line, so
// that it can be tested and fuzzed alone; the security checks and the
// endpoints' answers live elsewhere (security.h, endpoints.h).
//
// Targets are taken as sent (origin form, "/path?query"); the path is not
// percent-decoded, so every known path is plain ASCII and anything else is
// simply not found. Call ids are decimal, 0 to 4294967295, without sign or
// leading zeros. Query values are percent-decoded; a parameter an endpoint
// does not take is refused rather than ignored.
#ifndef OSTREL_INSPECT_SRC_ROUTING_H_
#define OSTREL_INSPECT_SRC_ROUTING_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel::inspect {

enum class Endpoint {
  kPage,         // GET /
  kAsset,        // GET /assets/<name>
  kCalls,        // GET /api/v1/calls
  kConfig,       // GET /api/v1/calls/{id}/config[?format=entries|document]
  kApplyConfig,  // POST /api/v1/calls/{id}/config
  kJournal,      // GET /api/v1/calls/{id}/journal
  kStats,        // GET /api/v1/calls/{id}/stats
  kMetrics,      // GET /metrics
};

struct Route {
  Endpoint endpoint = Endpoint::kPage;
  uint32_t callId = 0;
  std::string asset;       // kAsset: the file name after /assets/
  bool bDocument = false;  // kConfig: ?format=document
};

// Why a request has no route: the HTTP status (400, 404, 405) and a message
// for the error body.
struct RouteError {
  int status = 0;
  std::string message;
};

// True with `route` filled, or false with `error` filled.
bool ParseRoute(std::string_view method, std::string_view target, Route& route,
                RouteError& error);

// True for the routes that change something (they need the token).
bool IsWriteRoute(const Route& route);

// "name=value&..." split and percent-decoded ('+' is a space). False for a
// malformed escape; names without '=' get an empty value.
bool ParseQuery(std::string_view query,
                std::vector<std::pair<std::string, std::string>>& params);

// A decimal call id: digits only, no leading zero (except "0" itself), at
// most 4294967295.
bool ParseCallId(std::string_view text, uint32_t& callId);

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_ROUTING_H_
