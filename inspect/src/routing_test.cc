#include "routing.h"

#include <gtest/gtest.h>

namespace ostrel::inspect {
namespace {

struct RouteCase {
  const char* method;
  const char* target;
  int status;  // 0: routed
  Endpoint endpoint;
  uint32_t callId;
  bool bDocument;
};

TEST(RoutingTest, TargetsRouteOrAreRefusedWithTheirStatus) {
  const RouteCase kCases[] = {
      {"GET", "/", 0, Endpoint::kPage, 0, false},
      {"GET", "/metrics", 0, Endpoint::kMetrics, 0, false},
      {"GET", "/api/v1/calls", 0, Endpoint::kCalls, 0, false},
      {"GET", "/api/v1/calls/42/config", 0, Endpoint::kConfig, 42, false},
      {"GET", "/api/v1/calls/42/config?format=document", 0, Endpoint::kConfig,
       42, true},
      {"GET", "/api/v1/calls/42/config?format=entries", 0, Endpoint::kConfig,
       42, false},
      {"GET", "/api/v1/calls/4294967295/journal", 0, Endpoint::kJournal,
       4294967295u, false},
      {"GET", "/api/v1/calls/0/stats", 0, Endpoint::kStats, 0, false},
      {"POST", "/api/v1/calls/7/config", 0, Endpoint::kApplyConfig, 7, false},
      {"GET", "/assets/plot.js", 0, Endpoint::kAsset, 0, false},
      // Refused.
      {"GET", "/api/v1/calls/4294967296/config", 400, Endpoint::kPage, 0,
       false},
      {"GET", "/api/v1/calls/042/config", 400, Endpoint::kPage, 0, false},
      {"GET", "/api/v1/calls/-1/config", 400, Endpoint::kPage, 0, false},
      {"GET", "/api/v1/calls/%34%32/config", 400, Endpoint::kPage, 0, false},
      {"GET", "/api/v1/calls/42/config?format=xml", 400, Endpoint::kPage, 0,
       false},
      {"GET", "/api/v1/calls/42/config?format=%zz", 400, Endpoint::kPage, 0,
       false},
      {"GET", "/api/v1/calls/42/config?x=1", 400, Endpoint::kPage, 0, false},
      {"GET", "/metrics?format=document", 400, Endpoint::kPage, 0, false},
      {"GET", "/api/v1/calls/42", 404, Endpoint::kPage, 0, false},
      {"GET", "/api/v1/calls/42/other", 404, Endpoint::kPage, 0, false},
      {"GET", "/api/v1/callsx", 404, Endpoint::kPage, 0, false},
      {"GET", "/assets/../etc/passwd", 404, Endpoint::kPage, 0, false},
      {"GET", "/assets/.hidden", 404, Endpoint::kPage, 0, false},
      {"GET", "/index.html", 404, Endpoint::kPage, 0, false},
      {"GET", "http://evil/metrics", 400, Endpoint::kPage, 0, false},
      {"GET", "", 400, Endpoint::kPage, 0, false},
      {"POST", "/metrics", 405, Endpoint::kPage, 0, false},
      {"PUT", "/api/v1/calls/42/config", 405, Endpoint::kPage, 0, false},
      {"HEAD", "/", 405, Endpoint::kPage, 0, false},
      {"POST", "/api/v1/calls/42/journal", 405, Endpoint::kPage, 0, false},
  };
  for (const RouteCase& c : kCases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.target);
    Route route;
    RouteError error;
    const bool bRouted = ParseRoute(c.method, c.target, route, error);
    EXPECT_EQ(bRouted, c.status == 0);
    if (bRouted) {
      EXPECT_EQ(route.endpoint, c.endpoint);
      EXPECT_EQ(route.callId, c.callId);
      EXPECT_EQ(route.bDocument, c.bDocument);
    } else {
      EXPECT_EQ(error.status, c.status);
      EXPECT_FALSE(error.message.empty());
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

TEST(RoutingTest, OnlyTheApplyRouteWrites) {
  Route route;
  RouteError error;
  ASSERT_TRUE(ParseRoute("POST", "/api/v1/calls/1/config", route, error));
  EXPECT_TRUE(IsWriteRoute(route));
  ASSERT_TRUE(ParseRoute("GET", "/api/v1/calls/1/config", route, error));
  EXPECT_FALSE(IsWriteRoute(route));
}

}  // namespace
}  // namespace ostrel::inspect
