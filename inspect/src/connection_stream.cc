#include "connection_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ostrel::inspect {

namespace {

void addressOf(const sockaddr_storage& addr, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (addr.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&addr);
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    port = ntohs(v4->sin_port);
  } else if (addr.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&addr);
    inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    port = ntohs(v6->sin6_port);
  }
  ip = text;
}

}  // namespace

ConnectionStream::ConnectionStream(socket_t sock, const StreamLimits& limits)
    : m_sock(sock), m_limits(limits) {
  BeginRequest();
}

void ConnectionStream::BeginRequest() {
  m_readDeadline = Clock::now() + m_limits.idleLimit;
  m_bWriting = false;
  m_headerBytes = 0;
  m_bodyBytes = 0;
  m_bInBody = false;
  m_lineEnds = 0;
}

bool ConnectionStream::waitFor(short events, Clock::time_point deadline) const {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{m_sock, events, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready > 0) return true;  // readiness, an error or a hang-up
    if (ready < 0 && errno != EINTR) return false;
  }
}

bool ConnectionStream::WaitForRequest() {
  if (m_begin < m_end) return true;
  return fill();
}

bool ConnectionStream::fill() {
  if (!waitFor(POLLIN, m_readDeadline)) return false;
  ssize_t n;
  do {
    n = ::recv(m_sock, m_buffer, sizeof m_buffer, 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  m_begin = 0;
  m_end = static_cast<size_t>(n);
  return true;
}

bool ConnectionStream::account(const char* data, size_t size) {
  for (size_t i = 0; i < size && !m_bInBody; ++i) {
    ++m_headerBytes;
    if (data[i] == '\n') {
      if (++m_lineEnds == 2) m_bInBody = true;
    } else if (data[i] != '\r') {
      m_lineEnds = 0;
    }
    if (m_headerBytes > m_limits.maxHeaderBytes) {
      m_bHeaderLimitHit = true;
      return false;
    }
    if (m_bInBody) {
      m_bodyBytes += size - i - 1;
      return m_bodyBytes <= m_limits.maxBodyBytes;
    }
  }
  return true;
}

bool ConnectionStream::is_readable() const {
  return m_begin < m_end || waitFor(POLLIN, m_readDeadline);
}

bool ConnectionStream::is_writable() const {
  const Clock::time_point deadline =
      m_bWriting ? m_writeDeadline : Clock::now() + m_limits.idleLimit;
  return waitFor(POLLOUT, deadline);
}

ssize_t ConnectionStream::read(char* ptr, size_t size) {
  if (size == 0) return 0;
  if (m_begin == m_end && !fill()) return -1;
  const size_t n = std::min(size, m_end - m_begin);
  const char* data = m_buffer + m_begin;
  const bool bBodyBefore = m_bInBody;
  if (bBodyBefore) {
    m_bodyBytes += n;
    if (m_bodyBytes > m_limits.maxBodyBytes) return -1;
  } else if (!account(data, n)) {
    if (m_bHeaderLimitHit) {
      // Answered here, since the library would answer 400: this connection
      // writes nothing more.
      static const char kTooLarge[] =
          "HTTP/1.1 431 Request Header Fields Too Large\r\n"
          "Connection: close\r\nContent-Length: 0\r\n"
          "X-Content-Type-Options: nosniff\r\n\r\n";
      (void)::send(m_sock, kTooLarge, sizeof kTooLarge - 1,
                   MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    return -1;
  }
  std::memcpy(ptr, data, n);
  m_begin += n;
  return static_cast<ssize_t>(n);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
  if (m_bHeaderLimitHit) return -1;
  if (!m_bWriting) {
    m_bWriting = true;
    m_writeDeadline = Clock::now() + m_limits.idleLimit;
  }
  size_t done = 0;
  while (done < size) {
    if (!waitFor(POLLOUT, m_writeDeadline)) return -1;
    const ssize_t n = ::send(m_sock, ptr + done, size - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(size);
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip,
                                              int& port) const {
  sockaddr_storage addr{};
  socklen_t length = sizeof addr;
  if (::getpeername(m_sock, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
    addressOf(addr, ip, port);
  }
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
  sockaddr_storage addr{};
  socklen_t length = sizeof addr;
  if (::getsockname(m_sock, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
    addressOf(addr, ip, port);
  }
}

}  // namespace ostrel::inspect
