#include "raw_http_for_test.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace ostrel::inspect {

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

int RawConnection::ReadMore() {
  char buffer[65536];
  pollfd entry{m_fd, POLLIN, 0};
  if (::poll(&entry, 1, 10000) <= 0) return -1;
  const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
  if (n <= 0) return 0;
  m_pending.append(buffer, static_cast<size_t>(n));
  return 1;
}

bool RawConnection::ClosedByPeer() {
  int got = 1;
  while (got == 1) got = ReadMore();
  return got == 0;
}

RawAnswer RawConnection::Receive() {
  size_t headEnd;
  while ((headEnd = m_pending.find("\r\n\r\n")) == std::string::npos) {
    if (ReadMore() != 1) return RawAnswer();
  }
  RawAnswer answer;
  const std::string head = m_pending.substr(0, headEnd);
  answer.status = std::atoi(head.substr(head.find(' ') + 1).c_str());
  for (size_t line = head.find("\r\n"); line != std::string::npos;) {
    const size_t next = head.find("\r\n", line + 2);
    const std::string text = head.substr(line + 2, next - line - 2);
    const size_t colon = text.find(':');
    std::string name = text.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(c));
    const size_t value = text.find_first_not_of(' ', colon + 1);
    answer.headers[name] = value == std::string::npos ? "" : text.substr(value);
    line = next;
  }
  const size_t length =
      std::strtoull(answer.headers["content-length"].c_str(), nullptr, 10);
  while (m_pending.size() < headEnd + 4 + length && ReadMore() == 1) {
  }
  answer.body = m_pending.substr(headEnd + 4, length);
  m_pending.erase(0, std::min(m_pending.size(), headEnd + 4 + length));
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
