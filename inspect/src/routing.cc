#include "routing.h"

namespace ostrel::inspect {

namespace {

constexpr std::string_view kCallsPrefix = "/api/v1/calls";
constexpr std::string_view kAssetsPrefix = "/assets/";

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool percentDecode(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c != '%') {
      out += c;
    } else {
      if (text.size() - i < 3) return false;
      const int high = hexDigit(text[i + 1]);
      const int low = hexDigit(text[i + 2]);
      if (high < 0 || low < 0) return false;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return true;
}

// Asset names are one plain file name: letters, digits, '-', '_' and dots,
// not starting with a dot. Nothing here ever names a file on disk; the name
// is only looked up among the embedded assets.
bool isAssetName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

bool fail(RouteError& error, int status, std::string message) {
  error.status = status;
  error.message = std::move(message);
  return false;
}

bool methodIs(std::string_view method, std::string_view expected,
              RouteError& error) {
  if (method == expected) return true;
  return fail(error, 405, "method " + std::string(method) + " not allowed");
}

// The call routes: "/{id}/config", "/{id}/journal", "/{id}/stats".
bool parseCallRoute(std::string_view method, std::string_view rest,
                    Route& route, RouteError& error) {
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) {
    return fail(error, 404, "no such resource");
  }
  if (!ParseCallId(rest.substr(0, slash), route.callId)) {
    return fail(error, 400, "a call id is a decimal number below 2^32");
  }
  const std::string_view what = rest.substr(slash + 1);
  if (what == "config") {
    if (method == "POST") {
      route.endpoint = Endpoint::kApplyConfig;
      return true;
    }
    route.endpoint = Endpoint::kConfig;
    return methodIs(method, "GET", error);
  }
  if (what == "journal") {
    route.endpoint = Endpoint::kJournal;
    return methodIs(method, "GET", error);
  }
  if (what == "stats") {
    route.endpoint = Endpoint::kStats;
    return methodIs(method, "GET", error);
  }
  return fail(error, 404, "no such resource");
}

bool applyQuery(std::string_view query, Route& route, RouteError& error) {
  std::vector<std::pair<std::string, std::string>> params;
  if (!ParseQuery(query, params)) {
    return fail(error, 400, "malformed query");
  }
  for (const auto& [name, value] : params) {
    if (route.endpoint == Endpoint::kConfig && name == "format") {
      if (value == "document") {
        route.bDocument = true;
      } else if (value != "entries") {
        return fail(error, 400, "format is entries or document");
      }
      continue;
    }
    return fail(error, 400, "unknown parameter");
  }
  return true;
}

}  // namespace

bool ParseCallId(std::string_view text, uint32_t& callId) {
  if (text.empty() || text.size() > 10) return false;
  if (text.size() > 1 && text[0] == '0') return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFull) return false;
  callId = static_cast<uint32_t>(value);
  return true;
}

bool ParseQuery(std::string_view query,
                std::vector<std::pair<std::string, std::string>>& params) {
  params.clear();
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view item = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view()
                                          : query.substr(amp + 1);
    if (item.empty()) continue;
    const size_t eq = item.find('=');
    std::string name, value;
    if (!percentDecode(item.substr(0, eq), name)) return false;
    if (eq != std::string_view::npos &&
        !percentDecode(item.substr(eq + 1), value)) {
      return false;
    }
    params.emplace_back(std::move(name), std::move(value));
  }
  return true;
}

bool ParseRoute(std::string_view method, std::string_view target, Route& route,
                RouteError& error) {
  route = Route();
  error = RouteError();
  if (target.empty() || target[0] != '/') {
    return fail(error, 400, "the target must be a path");
  }
  const size_t mark = target.find('?');
  const std::string_view path = target.substr(0, mark);
  const std::string_view query = mark == std::string_view::npos
                                     ? std::string_view()
                                     : target.substr(mark + 1);
  if (path == "/") {
    route.endpoint = Endpoint::kPage;
  } else if (path == "/metrics") {
    route.endpoint = Endpoint::kMetrics;
  } else if (path == kCallsPrefix) {
    route.endpoint = Endpoint::kCalls;
  } else if (path.substr(0, kAssetsPrefix.size()) == kAssetsPrefix) {
    route.endpoint = Endpoint::kAsset;
    const std::string_view name = path.substr(kAssetsPrefix.size());
    if (!isAssetName(name)) return fail(error, 404, "no such resource");
    route.asset.assign(name);
  } else if (path.size() > kCallsPrefix.size() + 1 &&
             path.substr(0, kCallsPrefix.size()) == kCallsPrefix &&
             path[kCallsPrefix.size()] == '/') {
    if (!parseCallRoute(method, path.substr(kCallsPrefix.size() + 1), route,
                        error)) {
      return false;
    }
    return applyQuery(query, route, error);
  } else {
    return fail(error, 404, "no such resource");
  }
  if (!methodIs(method, "GET", error)) return false;
  return applyQuery(query, route, error);
}

bool IsWriteRoute(const Route& route) {
  return route.endpoint == Endpoint::kApplyConfig;
}

}  // namespace ostrel::inspect
