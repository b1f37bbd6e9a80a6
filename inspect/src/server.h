// InspectorServer: the embedded HTTP library's server with the inspector's
// own connection handling. The library parses requests, routes them and
// writes answers; this class decides how connections are served:
//
// - a fixed pool of threads serves connections, one each, keep-alive
//   included, but a connection gives its thread up after an answer while
//   another connection waits for one (it is told to close, and its client
//   reconnects), so no client waits behind another's keep-alive; at most
//   maxConnections are open (served or waiting for a thread); the accept
//   thread answers one more with 503 and closes it;
// - every connection reads and writes through a ConnectionStream, which
//   holds the idle limit and the header and body caps (431 for headers
//   too large);
// - Stop() shuts every open connection down (a blocked read or write
//   returns at once), closes the listening socket and joins the threads.
//
// Invariants (m_mutex guards m_open and m_bStopping): a socket is in m_open
// from the moment its thread starts serving it until it is closed, and is
// closed with the lock held, so Stop() never shuts down a descriptor that
// has been closed and reused. Once m_bStopping is set no socket enters
// m_open: a connection taken from the queue after Stop() began is closed
// unanswered.
#ifndef OSTREL_INSPECT_SRC_SERVER_H_
#define OSTREL_INSPECT_SRC_SERVER_H_

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <set>
#include <thread>

#include "connection_stream.h"
#include "support/mutex.h"

namespace ostrel::inspect {

struct ServerLimits {
  StreamLimits stream;
  size_t maxConnections = 128;
  size_t threads = 8;
  size_t keepAliveRequests = 100;  // requests per connection
};

class InspectorServer : public httplib::Server {
 public:
  explicit InspectorServer(const ServerLimits& limits);
  ~InspectorServer() override;

  InspectorServer(const InspectorServer&) = delete;
  InspectorServer& operator=(const InspectorServer&) = delete;

  // Binds `address` at `port` (0: any free one). Returns the port, or -1.
  int Bind(const std::string& address, uint16_t port);
  // Starts the accept thread; returns once it accepts.
  void Start();
  // Stops accepting and serving; joins every thread. Idempotent.
  void Stop() EXCLUDES(m_mutex);

  // Called from a request's handler: the connection closes after this
  // answer (a refused request whose body was not read).
  static void CloseAfterThisAnswer();

 private:
  // The library hands each accepted socket to this (on a pool thread, or
  // on the accept thread for one over the cap).
  bool process_and_close_socket(socket_t sock) override;
  void serve(socket_t sock);
  // After a refusal that leaves input unread: see server.cc.
  static void lingerAfterRefusal(socket_t sock);
  bool enter(socket_t sock) EXCLUDES(m_mutex);
  void closeSocket(socket_t sock) EXCLUDES(m_mutex);

  class Pool;
  friend class Pool;

  const ServerLimits m_limits;
  kovaStore::Mutex m_mutex;
  std::set<socket_t> m_open GUARDED_BY(m_mutex);
  bool m_bStopping GUARDED_BY(m_mutex) = false;
  // Connections accepted and not yet closed, counted by the pool.
  std::atomic<size_t> m_accepted{0};
  // Connections waiting in the pool's queue for a thread.
  std::atomic<size_t> m_waiting{0};
  std::thread m_acceptThread;
  std::atomic<bool> m_bAcceptDone{false};
};

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_SERVER_H_
