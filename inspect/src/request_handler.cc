#include "request_handler.h"

#include "assets.h"
#include "routing.h"
#include "server.h"

namespace ostrel::inspect {

namespace {

using HandlerResponse = httplib::Server::HandlerResponse;

RequestFacts factsOf(const httplib::Request& request, bool bWrite) {
  RequestFacts facts;
  facts.bHasHost = request.has_header("Host");
  facts.host = request.get_header_value("Host");
  facts.bHasAuthorization = request.has_header("Authorization");
  facts.authorization = request.get_header_value("Authorization");
  facts.bWrite = bWrite;
  facts.bChunked = request.has_header("Transfer-Encoding");
  facts.bEncoded = request.has_header("Content-Encoding");
  facts.bHasBody = facts.bChunked || request.has_header("Content-Length");
  facts.contentLength = request.get_header_value("Content-Length");
  return facts;
}

Answer assetAnswer(const std::string& name) {
  const Asset* asset = FindAsset(name);
  if (asset == nullptr) return ErrorAnswer(404, "no such resource");
  Answer answer;
  answer.contentType = ContentTypeOf(name);
  answer.body.assign(reinterpret_cast<const char*>(asset->data), asset->size);
  return answer;
}

}  // namespace

RequestHandler::RequestHandler(SecurityPolicy policy, FieldNames names)
    : m_policy(std::move(policy)), m_names(std::move(names)) {}

void RequestHandler::Write(const Answer& answer, httplib::Response& response) {
  response.status = answer.status;
  for (const auto& [name, value] : answer.headers) {
    response.set_header(name.c_str(), value);
  }
  response.set_content(answer.body, answer.contentType.c_str());
}

HandlerResponse RequestHandler::PreRoute(const httplib::Request& request,
                                         httplib::Response& response) const {
  Route route;
  RouteError routeError;
  const bool bRouted =
      ParseRoute(request.method, request.target, route, routeError);
  const Refusal refusal =
      CheckRequest(m_policy, factsOf(request, bRouted && IsWriteRoute(route)));
  const bool bBody = request.has_header("Content-Length") ||
                     request.has_header("Transfer-Encoding");
  if (refusal.status != 0 || !bRouted) {
    // The host and token come before the route: a refused request learns
    // nothing of what exists.
    Answer answer = refusal.status != 0
                        ? ErrorAnswer(refusal.status, refusal.message)
                        : ErrorAnswer(routeError.status, routeError.message);
    if (refusal.status == 401) {
      answer.headers.emplace_back("WWW-Authenticate",
                                  "Bearer realm=\"ostrel inspector\"");
    }
    Write(answer, response);
    if (bBody) InspectorServer::CloseAfterThisAnswer();
    return HandlerResponse::Handled;
  }
  switch (route.endpoint) {
    case Endpoint::kPage:
      Write(assetAnswer("index.html"), response);
      break;
    case Endpoint::kAsset:
      Write(assetAnswer(route.asset), response);
      break;
    case Endpoint::kCalls:
      Write(CallsAnswer(m_bStopping), response);
      break;
    case Endpoint::kConfig:
      Write(ConfigAnswer(route.callId, route.bDocument), response);
      break;
    case Endpoint::kApplyConfig:
      return HandlerResponse::Unhandled;  // the body is read next
    case Endpoint::kJournal:
      Write(JournalAnswer(route.callId), response);
      break;
    case Endpoint::kStats:
      Write(StatsAnswer(route.callId, m_names), response);
      break;
    case Endpoint::kMetrics:
      Write(MetricsAnswer(m_names, m_bStopping), response);
      break;
  }
  return HandlerResponse::Handled;
}

void RequestHandler::Apply(const httplib::Request& request,
                           httplib::Response& response) const {
  Route route;
  RouteError routeError;
  if (!ParseRoute(request.method, request.target, route, routeError) ||
      !IsWriteRoute(route)) {
    Write(ErrorAnswer(404, "no such resource"), response);
    return;
  }
  if (request.body.find('\0') != std::string::npos) {
    Write(ErrorAnswer(400, "a document holds no NUL byte"), response);
    return;
  }
  Write(ApplyConfigAnswer(route.callId, request.body), response);
}

}  // namespace ostrel::inspect
