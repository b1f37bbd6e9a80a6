#include "server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>

namespace ostrel::inspect {

namespace {

// Set on the thread that runs a connection's job: the connection is over
// the cap (the accept thread answers it with 503), or its current answer
// is its last.
thread_local bool t_bOverCap = false;
thread_local bool t_bCloseAfterAnswer = false;

void sendAll(socket_t sock, const char* text) {
  // Best effort on a socket about to be closed: one send, no waiting.
  (void)::send(sock, text, std::strlen(text), MSG_NOSIGNAL | MSG_DONTWAIT);
}

constexpr const char kBusyAnswer[] =
    "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\n"
    "Content-Length: 0\r\nX-Content-Type-Options: nosniff\r\n\r\n";

}  // namespace

// The threads that serve connections. Jobs wait in a queue until a thread
// is free; the queue is bounded by the connection cap, which enqueue()
// enforces by running an over-cap job at once on the accept thread (it
// only answers 503 and closes).
class InspectorServer::Pool : public httplib::TaskQueue {
 public:
  Pool(InspectorServer& server, size_t threads) : m_server(server) {
    for (size_t i = 0; i < threads; ++i) {
      m_threads.emplace_back([this] { work(); });
    }
  }

  // Runs the job itself, on this thread, when over the cap.
  void enqueue(std::function<void()> job) override EXCLUDES(m_mutex) {
    if (m_server.m_accepted.fetch_add(1) >= m_server.m_limits.maxConnections) {
      t_bOverCap = true;
      job();
      t_bOverCap = false;
      return;
    }
    {
      kovaStore::MutexLock lock(m_mutex);
      m_jobs.push_back(std::move(job));
      m_server.m_waiting.fetch_add(1);
    }
    m_ready.NotifyOne();
  }

  void shutdown() override EXCLUDES(m_mutex) {
    {
      kovaStore::MutexLock lock(m_mutex);
      m_bShutdown = true;
    }
    m_ready.NotifyAll();
    for (std::thread& thread : m_threads) thread.join();
  }

 private:
  void work() EXCLUDES(m_mutex) {
    for (;;) {
      std::function<void()> job;
      {
        kovaStore::MutexLock lock(m_mutex);
        m_ready.Wait(m_mutex, [this]() REQUIRES(m_mutex) {
          return m_bShutdown || !m_jobs.empty();
        });
        if (m_jobs.empty()) return;  // shut down and drained
        job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_server.m_waiting.fetch_sub(1);
      }
      job();
    }
  }

  InspectorServer& m_server;
  kovaStore::Mutex m_mutex;
  kovaStore::CondVar m_ready;
  std::deque<std::function<void()>> m_jobs GUARDED_BY(m_mutex);
  bool m_bShutdown GUARDED_BY(m_mutex) = false;
  std::vector<std::thread> m_threads;
};

InspectorServer::InspectorServer(const ServerLimits& limits)
    : m_limits(limits) {
  new_task_queue = [this] { return new Pool(*this, m_limits.threads); };
  set_payload_max_length(m_limits.stream.maxBodyBytes);
}

InspectorServer::~InspectorServer() { Stop(); }

int InspectorServer::Bind(const std::string& address, uint16_t port) {
  if (port == 0) return bind_to_any_port(address);
  return bind_to_port(address, port) ? port : -1;
}

void InspectorServer::Start() {
  m_acceptThread = std::thread([this] {
    listen_after_bind();
    m_bAcceptDone = true;
  });
  // Serving starts when the accept loop runs; a request made before that
  // would wait in the listening socket's backlog, which is harmless, but
  // Stop() can only end a loop that has started.
  while (!is_running() && !m_bAcceptDone) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void InspectorServer::Stop() {
  {
    kovaStore::MutexLock lock(m_mutex);
    m_bStopping = true;
    for (socket_t sock : m_open) ::shutdown(sock, SHUT_RDWR);
  }
  if (!m_acceptThread.joinable()) return;
  // The library's stop() may only be called once, while its loop runs.
  bool bStopCalled = false;
  while (!m_bAcceptDone) {
    if (!bStopCalled && is_running()) {
      stop();
      bStopCalled = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  m_acceptThread.join();
}

void InspectorServer::CloseAfterThisAnswer() { t_bCloseAfterAnswer = true; }

bool InspectorServer::enter(socket_t sock) {
  kovaStore::MutexLock lock(m_mutex);
  if (m_bStopping) return false;
  m_open.insert(sock);
  return true;
}

void InspectorServer::closeSocket(socket_t sock) {
  {
    kovaStore::MutexLock lock(m_mutex);
    m_open.erase(sock);
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
  }
  m_accepted.fetch_sub(1);
}

bool InspectorServer::process_and_close_socket(socket_t sock) {
  if (t_bOverCap) {
    sendAll(sock, kBusyAnswer);
  } else if (enter(sock)) {
    serve(sock);
  }
  closeSocket(sock);
  return true;
}

void InspectorServer::serve(socket_t sock) {
  ConnectionStream stream(sock, m_limits.stream);
  for (size_t left = m_limits.keepAliveRequests; left > 0; --left) {
    if (!stream.WaitForRequest()) return;
    t_bCloseAfterAnswer = false;
    bool bClosed = false;
    // A connection waiting for a thread takes this one's place after this
    // answer: the client reconnects and queues behind it.
    const bool bLast = left == 1 || m_waiting.load() > 0;
    const bool bOk = process_request(stream, bLast, bClosed, nullptr);
    if (t_bCloseAfterAnswer || stream.HeaderLimitHit()) {
      lingerAfterRefusal(sock);
      return;
    }
    if (!bOk || bClosed || bLast) return;
    stream.BeginRequest();
  }
}

void InspectorServer::lingerAfterRefusal(socket_t sock) {
  // Closing a socket with unread input resets the connection, and the peer
  // may lose the refusal it has not read yet: end the output, then read
  // and drop what the peer still sends, briefly and boundedly. Stop()
  // ends this wait too.
  ::shutdown(sock, SHUT_WR);
  char sink[4096];
  size_t dropped = 0;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (dropped < (size_t{256} << 10)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd entry{sock, POLLIN, 0};
    if (left.count() <= 0 ||
        ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
      return;
    }
    const ssize_t n = ::recv(sock, sink, sizeof sink, 0);
    if (n <= 0) return;
    dropped += static_cast<size_t>(n);
  }
}

}  // namespace ostrel::inspect
