#include "routing.h"

#include <gtest/gtest.h>

#include <vector>

namespace ostrel::inspect {
namespace {

TEST(RoutingTest, TargetsRouteToTheirEndpointAndOnlyTheApplyRouteWrites) {
  const struct {
    const char *method, *target;
    Endpoint endpoint;
    uint32_t callId;
    bool bDocument;
  } kCases[] = {
      {"GET", "/", Endpoint::kPage, 0, false},
      {"GET", "/metrics", Endpoint::kMetrics, 0, false},
      {"GET", "/api/v1/calls", Endpoint::kCalls, 0, false},
      {"GET", "/api/v1/calls/42/config", Endpoint::kConfig, 42, false},
      {"GET", "/api/v1/calls/42/config?format=document", Endpoint::kConfig, 42,
       true},
      {"GET", "/api/v1/calls/4294967295/journal", Endpoint::kJournal,
       4294967295u, false},
      {"GET", "/api/v1/calls/0/stats", Endpoint::kStats, 0, false},
      {"POST", "/api/v1/calls/7/config", Endpoint::kApplyConfig, 7, false},
      {"GET", "/assets/plot.js", Endpoint::kAsset, 0, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.target);
    Route route;
    RouteError error;
    ASSERT_TRUE(ParseRoute(c.method, c.target, route, error));
    EXPECT_EQ(route.endpoint, c.endpoint);
    EXPECT_EQ(route.callId, c.callId);
    EXPECT_EQ(route.bDocument, c.bDocument);
    EXPECT_EQ(IsWriteRoute(route), c.endpoint == Endpoint::kApplyConfig);
  }
}

TEST(RoutingTest, TargetsAreRefusedWithTheirStatus) {
  const struct {
    int status;
    const char* method;
    std::vector<const char*> targets;
  } kCases[] = {
      {400,
       "GET",
       {"/api/v1/calls/4294967296/config", "/api/v1/calls/042/config",
        "/api/v1/calls/%34%32/config", "/api/v1/calls/42/config?format=xml",
        "/api/v1/calls/42/config?x=1", "http://evil/metrics", ""}},
      {404,
       "GET",
       {"/api/v1/calls/42", "/assets/../etc/passwd", "/assets/.hidden",
        "/index.html"}},
      {405, "POST", {"/api/v1/calls/42/journal"}},
      {405, "PUT", {"/api/v1/calls/42/config"}},
      {405, "HEAD", {"/"}}};
  for (const auto& c : kCases) {
    for (const char* target : c.targets) {
      Route route;
      RouteError error;
      EXPECT_FALSE(ParseRoute(c.method, target, route, error)) << target;
      EXPECT_EQ(error.status, c.status) << c.method << " " << target;
      EXPECT_FALSE(error.message.empty()) << target;
    }
  }
}

TEST(RoutingTest, QueryValuesArePercentDecoded) {
  std::vector<std::pair<std::string, std::string>> params;
  ASSERT_TRUE(ParseQuery("a=b%20c&d&&e=f+g&%41=%7e", params));
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"a", "b c"}, {"d", ""}, {"e", "f g"}, {"A", "~"}};
  EXPECT_EQ(params, expected);
  EXPECT_FALSE(ParseQuery("a=%4", params));
  EXPECT_FALSE(ParseQuery("a=%", params));
}

}  // namespace
}  // namespace ostrel::inspect
