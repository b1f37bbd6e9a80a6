// Inspector: checks the options, binds, starts the server and stops it.
#include <arpa/inet.h>
#include <ostrel/inspect.h>

#include <algorithm>

#include "endpoints.h"
#include "request_handler.h"
#include "security.h"
#include "server.h"

namespace ostrel {

class Inspector::Impl {
 public:
  explicit Impl(InspectorOptions options);
  ~Impl() {
    if (m_handler) m_handler->BeginStop();
    if (m_server) m_server->Stop();
  }

  std::string m_error;
  uint16_t m_port = 0;
  std::string m_address;
  std::unique_ptr<inspect::RequestHandler> m_handler;
  std::unique_ptr<inspect::InspectorServer> m_server;

 private:
  bool check(const InspectorOptions& options);
  void applyJournal(const InspectorOptions& options);
};

Inspector::Impl::Impl(InspectorOptions options) : m_address(options.address) {
  if (!check(options)) return;
  inspect::ServerLimits limits;
  limits.stream.maxHeaderBytes = options.maxHeaderBytes;
  limits.stream.maxBodyBytes = options.maxBodyBytes;
  limits.stream.idleLimit = options.idleLimit;
  limits.maxConnections = options.maxConnections;
  limits.threads = std::max<size_t>(1, options.threads);
  auto server = std::make_unique<inspect::InspectorServer>(limits);
  const int port = server->Bind(options.address, options.port);
  if (port <= 0) {
    m_error = "cannot listen on " + options.address + " port " +
              std::to_string(options.port);
    return;
  }
  inspect::SecurityPolicy policy;
  policy.boundAddress = options.address;
  policy.port = static_cast<uint16_t>(port);
  policy.allowedHosts = options.allowedHosts;
  policy.token = options.token;
  policy.bAllowWrites = options.bAllowWrites;
  policy.maxBodyBytes = options.maxBodyBytes;
  m_handler = std::make_unique<inspect::RequestHandler>(
      std::move(policy), std::move(options.fieldNames));
  const inspect::RequestHandler* handler = m_handler.get();
  server->set_default_headers(httplib::Headers(
      inspect::SecurityHeaders().begin(), inspect::SecurityHeaders().end()));
  server->set_pre_routing_handler(
      [handler](const httplib::Request& request, httplib::Response& response) {
        return handler->PreRoute(request, response);
      });
  server->Post(
      R"(/api/v1/calls/\d+/config)",
      [handler](const httplib::Request& request, httplib::Response& response) {
        handler->Apply(request, response);
      });
  // Errors the library finds itself (a malformed request, a body over the
  // cap) and exceptions out of an endpoint get a JSON body too.
  server->set_error_handler([](const httplib::Request&,
                               httplib::Response& response) {
    if (response.body.empty()) {
      inspect::RequestHandler::Write(
          inspect::ErrorAnswer(response.status, "request refused"), response);
    }
  });
  server->set_exception_handler([](const httplib::Request&,
                                   httplib::Response& response,
                                   std::exception_ptr) {
    inspect::RequestHandler::Write(
        inspect::ErrorAnswer(500, "the inspector failed to answer"), response);
  });
  applyJournal(options);
  server->Start();
  m_port = static_cast<uint16_t>(port);
  m_server = std::move(server);
}

bool Inspector::Impl::check(const InspectorOptions& options) {
  if (!inspect::IsLoopbackAddress(options.address)) {
    unsigned char probe[16];
    const bool bNumeric =
        inet_pton(AF_INET, options.address.c_str(), probe) == 1 ||
        inet_pton(AF_INET6, options.address.c_str(), probe) == 1;
    if (!bNumeric) {
      m_error = "the address must be numeric: " + options.address;
      return false;
    }
    if (options.token.empty()) {
      m_error = "listening on " + options.address +
                " (not loopback) needs an access token";
      return false;
    }
  }
  if (options.token.find_first_of(" \t\r\n") != std::string::npos) {
    m_error = "the token must not hold white space";
    return false;
  }
  return true;
}

void Inspector::Impl::applyJournal(const InspectorOptions& options) {
  if (options.journalDepth == 0) return;
  kovaStore::KovaJournalSettings settings{};
  settings.size = sizeof settings;
  settings.depth =
      std::min(options.journalDepth, kovaStore::kKovaJournalMaxDepth);
  settings.cutLength =
      std::min(options.journalCutLength, kovaStore::kKovaJournalMaxCut);
  settings.allStores = 1;
  kovaStore::SetKovaJournalSettings(&settings);
}

Inspector::Inspector(InspectorOptions options)
    : m_impl(std::make_unique<Impl>(std::move(options))) {}

Inspector::~Inspector() = default;

bool Inspector::Running() const { return m_impl->m_server != nullptr; }

const std::string& Inspector::Error() const { return m_impl->m_error; }

uint16_t Inspector::Port() const { return m_impl->m_port; }

std::string Inspector::Url() const {
  if (!Running()) return std::string();
  const bool bV6 = m_impl->m_address.find(':') != std::string::npos;
  const std::string host =
      bV6 ? "[" + m_impl->m_address + "]" : m_impl->m_address;
  return "http://" + host + ":" + std::to_string(m_impl->m_port) + "/";
}

}  // namespace ostrel
