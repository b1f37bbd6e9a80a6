// ConnectionStream: the byte stream of one accepted connection as the HTTP
// library reads and writes it, with the inspector's limits built in.
//
// A request (request line, headers and body) must arrive whole within the
// idle limit of the moment the connection became idle (accepted, or its
// last answer sent); a client that sends one byte a second is cut off when
// the limit passes, whatever each single read waits. The request line and
// headers may take at most maxHeaderBytes, the body at most maxBodyBytes
// (the security checks refuse larger declared bodies before they are read;
// this bound holds whatever the headers said). Writes of one answer must
// finish within the idle limit too. A read or write past a limit fails, so
// the library gives up on the connection.
//
// Owned and used by the one thread serving the connection. Wake(), from any
// thread, is shutdown(2) on the socket: a blocked read or write returns at
// once.
#ifndef OSTREL_INSPECT_SRC_CONNECTION_STREAM_H_
#define OSTREL_INSPECT_SRC_CONNECTION_STREAM_H_

#include <httplib.h>

#include <chrono>
#include <cstddef>

namespace ostrel::inspect {

struct StreamLimits {
  size_t maxHeaderBytes = 0;
  size_t maxBodyBytes = 0;
  std::chrono::milliseconds idleLimit{0};
};

class ConnectionStream : public httplib::Stream {
 public:
  using Clock = std::chrono::steady_clock;

  ConnectionStream(socket_t sock, const StreamLimits& limits);

  // Starts the wait for the next request: the idle limit counts from now,
  // the header and body counts from zero.
  void BeginRequest();
  // Waits until the next request's first byte is there: false when the idle
  // limit passed or the peer closed.
  bool WaitForRequest();
  // True once the request line and headers went past maxHeaderBytes.
  bool HeaderLimitHit() const { return m_bHeaderLimitHit; }

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return m_sock; }

 private:
  // Waits for `events` until `deadline`; true when the socket is ready.
  bool waitFor(short events, Clock::time_point deadline) const;
  // Refills the buffer from the socket; false on end, error or deadline.
  bool fill();
  // Counts the bytes handed out: header bytes until the blank line that
  // ends the headers, body bytes after it. False past a limit.
  bool account(const char* data, size_t size);

  socket_t m_sock;
  StreamLimits m_limits;
  Clock::time_point m_readDeadline;
  Clock::time_point m_writeDeadline;
  bool m_bWriting = false;  // the answer to the current request has begun
  char m_buffer[4096];
  size_t m_begin = 0;
  size_t m_end = 0;
  size_t m_headerBytes = 0;
  size_t m_bodyBytes = 0;
  bool m_bInBody = false;
  int m_lineEnds = 0;  // consecutive line ends seen ("\r\n" or "\n")
  bool m_bHeaderLimitHit = false;
};

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_CONNECTION_STREAM_H_
