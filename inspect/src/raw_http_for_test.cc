#include "raw_http_for_test.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

namespace ostrel::inspect {

namespace {

constexpr int kWaitMs = 10000;

}  // namespace

RawConnection::RawConnection(uint16_t port) {
  m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (m_fd >= 0 &&
      ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

RawConnection::~RawConnection() {
  if (m_fd >= 0) ::close(m_fd);
}

bool RawConnection::Send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool RawConnection::ClosedByPeer() {
  char buffer[4096];
  for (;;) {
    pollfd entry{m_fd, POLLIN, 0};
    if (::poll(&entry, 1, kWaitMs) <= 0) return false;
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n <= 0) return true;
    m_pending.append(buffer, static_cast<size_t>(n));
  }
}

RawAnswer RawConnection::Receive() {
  RawAnswer answer;
  char buffer[65536];
  size_t headEnd = std::string::npos;
  size_t bodyLength = 0;
  for (;;) {
    if (headEnd == std::string::npos) {
      headEnd = m_pending.find("\r\n\r\n");
      if (headEnd != std::string::npos) {
        const std::string head = m_pending.substr(0, headEnd);
        answer.status = std::atoi(head.substr(head.find(' ') + 1).c_str());
        size_t line = head.find("\r\n");
        while (line != std::string::npos) {
          const size_t next = head.find("\r\n", line + 2);
          const std::string text = head.substr(line + 2, next - line - 2);
          const size_t colon = text.find(':');
          std::string name = text.substr(0, colon);
          for (char& c : name) c = static_cast<char>(std::tolower(c));
          std::string value = text.substr(colon + 1);
          while (!value.empty() && value[0] == ' ') value.erase(0, 1);
          answer.headers[name] = value;
          line = next;
        }
        bodyLength = std::strtoull(answer.headers["content-length"].c_str(),
                                   nullptr, 10);
      }
    }
    if (headEnd != std::string::npos &&
        m_pending.size() >= headEnd + 4 + bodyLength) {
      answer.body = m_pending.substr(headEnd + 4, bodyLength);
      m_pending.erase(0, headEnd + 4 + bodyLength);
      return answer;
    }
    pollfd entry{m_fd, POLLIN, 0};
    if (::poll(&entry, 1, kWaitMs) <= 0) break;
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    m_pending.append(buffer, static_cast<size_t>(n));
  }
  if (headEnd == std::string::npos) answer.status = 0;
  return answer;
}

RawAnswer Exchange(uint16_t port, const std::string& method,
                   const std::string& target, const std::string& host,
                   const std::string& extraHeaders, const std::string& body) {
  RawConnection connection(port);
  std::string request = method + " " + target + " HTTP/1.1\r\n";
  if (!host.empty()) request += "Host: " + host + "\r\n";
  request += extraHeaders;
  if (!body.empty() || method == "POST") {
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  request += "Connection: close\r\n\r\n" + body;
  if (!connection.Send(request)) return RawAnswer();
  return connection.Receive();
}

std::string LocalHost(uint16_t port) {
  return "127.0.0.1:" + std::to_string(port);
}

}  // namespace ostrel::inspect
