// The inspector (target ostrel::inspect): an opt-in HTTP server inside the
// host that shows what the library holds: the calls with their values per
// group, toggles, observers, counters, journal and decoded statistics, as a
// web page, a JSON API and Prometheus metrics.
//
//   ostrel::InspectorOptions options;         // 127.0.0.1, any free port
//   ostrel::Inspector inspector(options);
//   if (inspector.Running())
//     std::printf("inspector at %s\n", inspector.Url().c_str());
//   ...                                       // serves until destroyed
//
// The library itself starts no thread: the host opts in by constructing an
// Inspector, which owns the server's threads; destroying it stops serving
// within about a second, requests in flight included. The inspector reads
// through the exported interface only: values through the lock-free reads
// and the dump (which holds each group's table lock only while it copies
// that group), statistics through the non-resetting reads. It never makes an
// engine thread wait and registers no observer. A read of a call's store
// adds and gives back one reference, as any module's would. The statistics
// objects hold plain records without a lock, so a statistics read that meets
// an engine thread writing the same record may mix the two writes: a sample
// is a best-effort snapshot, never a consistent one.
//
// Endpoints (all JSON is UTF-8, every string escaped):
//   GET  /                          the page (its scripts and styles under
//                                   /assets/, served from the binary)
//   GET  /api/v1/calls              every call: groups, observers, counters,
//                                   statistics kinds present
//   GET  /api/v1/calls/{id}/config  every group's entries, toggles named and
//                                   numbered; ?format=document gives a
//                                   configuration document
//   POST /api/v1/calls/{id}/config  applies a document (writes allowed and
//                                   the token given); answers with the
//                                   report of `ostrel check --json`
//   GET  /api/v1/calls/{id}/journal the call's change journal
//   GET  /api/v1/calls/{id}/stats   decoded statistics, nothing reset
//   GET  /metrics                   Prometheus text format 0.0.4
//
// Security: loopback by default; any other address only with a token, or
// construction fails. The Host header must name the bound address,
// localhost or one of allowedHosts (no DNS rebinding). Writes need
// "Authorization: Bearer TOKEN", compared in constant time; on an address
// other than loopback every request needs it. Bodies, headers, connections
// and idle time are capped; pages forbid inline script by their
// Content-Security-Policy and render every value as text.
//
// Construct and destroy on any thread but not from inside one of the
// inspector's own requests. Not copyable.
#ifndef OSTREL_INSPECT_INCLUDE_OSTREL_INSPECT_H_
#define OSTREL_INSPECT_INCLUDE_OSTREL_INSPECT_H_

#include <ostrel/cpp/statistics.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

struct InspectorOptions {
  // Numeric IPv4 or IPv6 address to listen on. Anything but a loopback
  // address (127.0.0.0/8, ::1) needs a token.
  std::string address = "127.0.0.1";
  // 0 picks a free port; Port() reports it.
  uint16_t port = 0;
  // The bearer token; empty for none (then the server takes no writes).
  std::string token;
  // POST .../config applies documents (still only with the token).
  bool bAllowWrites = false;
  // Non-zero: the inspector turns the change journal of every store on with
  // this depth (entries per store, at most 4096) when it starts, through
  // the process-wide settings (a new depth or cut length empties what the
  // journals held). Zero leaves the journal settings as the host made them;
  // destroying the inspector leaves them as they are.
  uint32_t journalDepth = 0;
  // Bytes of each journal text kept (with journalDepth non-zero).
  uint32_t journalCutLength = 64;
  // Names of statistics fields, used by the API, the page and /metrics.
  FieldNames fieldNames;
  // Further names the Host header may give (a DNS name a proxy uses).
  std::vector<std::string> allowedHosts;

  // Limits. A request body above maxBodyBytes is refused (413); request
  // line and headers above maxHeaderBytes too (431). Connections beyond
  // maxConnections are answered 503 and closed. A connection that has not
  // sent a whole request within idleLimit of becoming idle is closed.
  size_t maxBodyBytes = size_t{1} << 20;
  size_t maxHeaderBytes = size_t{16} << 10;
  size_t maxConnections = 128;
  std::chrono::milliseconds idleLimit{5000};
  // Threads serving connections (one connection at a time each).
  size_t threads = 8;
};

class Inspector {
 public:
  // Binds and starts serving. On failure (an address that is not loopback
  // without a token, an address that does not parse, a port in use) nothing
  // serves: Running() is false and Error() says why.
  explicit Inspector(InspectorOptions options);
  // Stops serving: closes the listening socket and every connection, waits
  // for the requests in flight (at most about a second) and joins the
  // server's threads.
  ~Inspector();

  Inspector(const Inspector&) = delete;
  Inspector& operator=(const Inspector&) = delete;

  bool Running() const;
  const std::string& Error() const;
  // The port listened on (the one picked when options.port was 0); 0 when
  // not running.
  uint16_t Port() const;
  // "http://127.0.0.1:PORT/" ("http://[::1]:PORT/" for IPv6).
  std::string Url() const;

 private:
  class Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace ostrel

#endif  // OSTREL_INSPECT_INCLUDE_OSTREL_INSPECT_H_
