#include "security.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstring>

namespace ostrel::inspect {

namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

bool isNumericAddress(const std::string& text) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

// Splits "name", "name:port", "[v6]" or "[v6]:port". False for a malformed
// header (a bracket left open, a port that is not a number).
bool splitHost(std::string_view host, std::string& name, std::string& port) {
  port.clear();
  if (!host.empty() && host[0] == '[') {
    const size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    name.assign(host.substr(1, close - 1));
    const std::string_view rest = host.substr(close + 1);
    if (rest.empty()) return true;
    if (rest[0] != ':') return false;
    port.assign(rest.substr(1));
  } else {
    const size_t colon = host.find(':');
    name.assign(host.substr(0, colon));
    if (colon != std::string_view::npos) port.assign(host.substr(colon + 1));
    if (name.find(':') != std::string::npos) return false;
  }
  if (name.empty()) return false;
  if (port.empty()) return host.back() != ':';
  if (port.size() > 5) return false;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool contentLengthWithin(const std::string& text, size_t limit) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value <= limit;
}

}  // namespace

bool IsLoopbackAddress(const std::string& address) {
  unsigned char v4[4];
  if (inet_pton(AF_INET, address.c_str(), v4) == 1) return v4[0] == 127;
  unsigned char v6[16];
  if (inet_pton(AF_INET6, address.c_str(), v6) != 1) return false;
  static const unsigned char kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0,
                                               0, 0, 0, 0, 0, 0, 0, 1};
  return std::memcmp(v6, kLoopback6, sizeof v6) == 0;
}

bool IsWildcardAddress(const std::string& address) {
  unsigned char v4[4];
  if (inet_pton(AF_INET, address.c_str(), v4) == 1) {
    return v4[0] == 0 && v4[1] == 0 && v4[2] == 0 && v4[3] == 0;
  }
  unsigned char v6[16];
  if (inet_pton(AF_INET6, address.c_str(), v6) != 1) return false;
  for (unsigned char b : v6) {
    if (b != 0) return false;
  }
  return true;
}

bool HostAllowed(const SecurityPolicy& policy, std::string_view host) {
  std::string name, port;
  if (!splitHost(host, name, port)) return false;
  if (!port.empty() && port != std::to_string(policy.port)) return false;
  name = lowered(name);
  if (name == "localhost") return true;
  if (name == lowered(policy.boundAddress)) return true;
  // Bound to every address, the server answers at each of the machine's
  // numeric addresses; a name could be anyone's (DNS rebinding).
  if (IsWildcardAddress(policy.boundAddress) && isNumericAddress(name)) {
    return true;
  }
  for (const std::string& allowed : policy.allowedHosts) {
    if (name == lowered(allowed)) return true;
  }
  return false;
}

bool BearerTokenMatches(std::string_view authorization,
                        const std::string& token) {
  constexpr std::string_view kScheme = "Bearer ";
  if (token.empty()) return false;
  if (authorization.size() != kScheme.size() + token.size()) return false;
  // Every byte is compared whatever the earlier ones gave.
  volatile unsigned char difference = 0;
  for (size_t i = 0; i < kScheme.size(); ++i) {
    difference =
        difference | static_cast<unsigned char>(authorization[i] ^ kScheme[i]);
  }
  for (size_t i = 0; i < token.size(); ++i) {
    difference = difference | static_cast<unsigned char>(
                                  authorization[kScheme.size() + i] ^ token[i]);
  }
  return difference == 0;
}

Refusal CheckRequest(const SecurityPolicy& policy, const RequestFacts& facts) {
  if (!facts.bHasHost || !HostAllowed(policy, facts.host)) {
    return {403, "the Host header names no address of this inspector"};
  }
  const bool bTokenNeeded =
      facts.bWrite || !IsLoopbackAddress(policy.boundAddress);
  if (bTokenNeeded) {
    if (policy.token.empty()) {
      return {403, "this inspector has no token and takes no writes"};
    }
    if (!facts.bHasAuthorization ||
        !BearerTokenMatches(facts.authorization, policy.token)) {
      return {401, "a valid bearer token is needed"};
    }
  }
  if (facts.bWrite && !policy.bAllowWrites) {
    return {403, "writes are not allowed"};
  }
  if (facts.bEncoded) return {415, "encoded bodies are not taken"};
  if (facts.bChunked) return {411, "a body needs a Content-Length"};
  if (facts.bHasBody && !facts.contentLength.empty() &&
      !contentLengthWithin(facts.contentLength, policy.maxBodyBytes)) {
    return {413, "the body is larger than the limit"};
  }
  if (facts.bHasBody && !facts.bWrite && facts.contentLength != "0") {
    return {400, "this request takes no body"};
  }
  return {};
}

const std::vector<std::pair<std::string, std::string>>& SecurityHeaders() {
  static const std::vector<std::pair<std::string, std::string>> kHeaders = {
      {"Content-Security-Policy",
       "default-src 'none'; script-src 'self'; style-src 'self'; "
       "img-src 'self'; connect-src 'self'; base-uri 'none'; "
       "form-action 'none'; frame-ancestors 'none'"},
      {"X-Content-Type-Options", "nosniff"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "no-referrer"},
      {"Cache-Control", "no-store"},
      {"Cross-Origin-Resource-Policy", "same-origin"},
  };
  return kHeaders;
}

}  // namespace ostrel::inspect
