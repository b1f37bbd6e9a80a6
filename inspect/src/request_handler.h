// RequestHandler: what happens to a request once the server has read its
// head. In order: the security checks (security.h), the route (routing.h),
// then the endpoint (endpoints.h), whose answer is written with the
// security headers. A refused request with a body is answered without
// reading it and its connection is closed. Only an allowed POST goes on to
// have its body read (within the body cap) before Apply() runs.
//
// Shared by the server's threads; immutable after construction.
#ifndef OSTREL_INSPECT_SRC_REQUEST_HANDLER_H_
#define OSTREL_INSPECT_SRC_REQUEST_HANDLER_H_

#include <httplib.h>
#include <ostrel/cpp/statistics.h>

#include <atomic>

#include "endpoints.h"
#include "security.h"

namespace ostrel::inspect {

class RequestHandler {
 public:
  RequestHandler(SecurityPolicy policy, FieldNames names);

  // The library's pre-routing hook: Handled for every request it answered.
  httplib::Server::HandlerResponse PreRoute(const httplib::Request& request,
                                            httplib::Response& response) const;
  // POST .../config, after PreRoute let it through and the body was read.
  void Apply(const httplib::Request& request,
             httplib::Response& response) const;

  // Writes an answer into the library's response.
  static void Write(const Answer& answer, httplib::Response& response);

  // From the thread that stops the server: answers that walk every call
  // end early.
  void BeginStop() { m_bStopping = true; }

 private:
  SecurityPolicy m_policy;
  FieldNames m_names;
  std::atomic<bool> m_bStopping{false};
};

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_REQUEST_HANDLER_H_
