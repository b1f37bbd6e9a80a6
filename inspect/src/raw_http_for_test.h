// A raw HTTP/1.1 client for the inspector's tests: sends exactly the bytes
// given (so a test can send a foreign Host, a wrong token or a request one
// byte at a time) and reads one answer.
#ifndef OSTREL_INSPECT_SRC_RAW_HTTP_FOR_TEST_H_
#define OSTREL_INSPECT_SRC_RAW_HTTP_FOR_TEST_H_

#include <cstdint>
#include <map>
#include <string>

namespace ostrel::inspect {

struct RawAnswer {
  int status = 0;  // 0: no answer (the connection closed first)
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

class RawConnection {
 public:
  explicit RawConnection(uint16_t port);  // connects to 127.0.0.1
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool Connected() const { return m_fd >= 0; }
  // False when the bytes could not all be sent (the peer closed).
  bool Send(const std::string& bytes);
  // Each waits at most about 10 s.
  RawAnswer Receive();
  bool ClosedByPeer();

 private:
  int ReadMore();  // 1: read some, 0: closed, -1: nothing within about 10 s
  int m_fd = -1;
  std::string m_pending;
};

// One request on a connection of its own; an empty `host` sends no Host.
RawAnswer Exchange(uint16_t port, const std::string& method,
                   const std::string& target, const std::string& host,
                   const std::string& extraHeaders = "",
                   const std::string& body = "");

// "127.0.0.1:<port>"
std::string LocalHost(uint16_t port);

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_RAW_HTTP_FOR_TEST_H_
