#include "security.h"

#include <gtest/gtest.h>

namespace ostrel::inspect {
namespace {

SecurityPolicy loopbackPolicy() {
  SecurityPolicy policy;
  policy.boundAddress = "127.0.0.1";
  policy.port = 8080;
  policy.token = "s3cret-token";
  policy.bAllowWrites = true;
  policy.maxBodyBytes = 1 << 20;
  return policy;
}

TEST(SecurityTest, AddressesAreLoopbackOrWildcardByTheirBytes) {
  EXPECT_TRUE(IsLoopbackAddress("127.0.0.1"));
  EXPECT_TRUE(IsLoopbackAddress("127.1.2.3"));
  EXPECT_TRUE(IsLoopbackAddress("::1"));
  EXPECT_FALSE(IsLoopbackAddress("0.0.0.0"));
  EXPECT_FALSE(IsLoopbackAddress("10.0.0.1"));
  EXPECT_FALSE(IsLoopbackAddress("localhost"));  // names are not taken
  EXPECT_FALSE(IsLoopbackAddress("::ffff:127.0.0.1"));
  EXPECT_TRUE(IsWildcardAddress("0.0.0.0"));
  EXPECT_TRUE(IsWildcardAddress("::"));
  EXPECT_FALSE(IsWildcardAddress("127.0.0.1"));
}

TEST(SecurityTest, HostMustNameTheBoundAddressOrLocalhost) {
  SecurityPolicy policy = loopbackPolicy();
  policy.allowedHosts = {"inspector.example"};
  const struct {
    const char* host;
    bool bAllowed;
  } kCases[] = {
      {"127.0.0.1:8080", true},
      {"127.0.0.1", true},
      {"localhost:8080", true},
      {"LocalHost", true},
      {"inspector.example", true},
      {"evil.example:8080", false},
      {"127.0.0.1:8081", false},
      {"127.0.0.2:8080", false},
      {"", false},
      {"127.0.0.1:", false},
      {"127.0.0.1:80a", false},
      {"[::1]:8080", false},
      {"localhost.:8080", false},
      {"127.0.0.1:8080@evil", false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(HostAllowed(policy, c.host), c.bAllowed) << c.host;
  }
  policy.boundAddress = "::1";
  EXPECT_TRUE(HostAllowed(policy, "[::1]:8080"));
  EXPECT_FALSE(HostAllowed(policy, "[::2]:8080"));
  policy.boundAddress = "0.0.0.0";
  EXPECT_TRUE(HostAllowed(policy, "192.168.1.20:8080"));
  EXPECT_FALSE(HostAllowed(policy, "rebound.example:8080"));
}

TEST(SecurityTest, BearerTokenMustMatchExactly) {
  EXPECT_TRUE(BearerTokenMatches("Bearer s3cret-token", "s3cret-token"));
  EXPECT_FALSE(BearerTokenMatches("Bearer s3cret-tokeN", "s3cret-token"));
  EXPECT_FALSE(BearerTokenMatches("Bearer s3cret-token ", "s3cret-token"));
  EXPECT_FALSE(BearerTokenMatches("bearer s3cret-token", "s3cret-token"));
  EXPECT_FALSE(BearerTokenMatches("Basic s3cret-token", "s3cret-token"));
  EXPECT_FALSE(BearerTokenMatches("s3cret-token", "s3cret-token"));
  EXPECT_FALSE(BearerTokenMatches("Bearer ", ""));
}

TEST(SecurityTest, RequestsAreRefusedForHostTokenWritesAndBodies) {
  const SecurityPolicy policy = loopbackPolicy();
  auto facts = [](bool bWrite) {
    RequestFacts f;
    f.bHasHost = true;
    f.host = "127.0.0.1:8080";
    f.bWrite = bWrite;
    if (bWrite) {
      f.bHasAuthorization = true;
      f.authorization = "Bearer s3cret-token";
      f.bHasBody = true;
      f.contentLength = "10";
    }
    return f;
  };
  EXPECT_EQ(CheckRequest(policy, facts(false)).status, 0);
  EXPECT_EQ(CheckRequest(policy, facts(true)).status, 0);

  RequestFacts f = facts(false);
  f.bHasHost = false;
  EXPECT_EQ(CheckRequest(policy, f).status, 403);
  f = facts(false);
  f.host = "attacker.example:8080";
  EXPECT_EQ(CheckRequest(policy, f).status, 403);
  f = facts(true);
  f.bHasAuthorization = false;
  EXPECT_EQ(CheckRequest(policy, f).status, 401);
  f = facts(true);
  f.authorization = "Bearer wrong-token!";
  EXPECT_EQ(CheckRequest(policy, f).status, 401);
  f = facts(true);
  f.contentLength = std::to_string((1 << 20) + 1);
  EXPECT_EQ(CheckRequest(policy, f).status, 413);
  f.contentLength = "99999999999999999999999";
  EXPECT_EQ(CheckRequest(policy, f).status, 413);
  f = facts(true);
  f.bChunked = true;
  EXPECT_EQ(CheckRequest(policy, f).status, 411);
  f = facts(true);
  f.bEncoded = true;
  EXPECT_EQ(CheckRequest(policy, f).status, 415);
  f = facts(false);
  f.bHasBody = true;
  f.contentLength = "5";
  EXPECT_EQ(CheckRequest(policy, f).status, 400);

  SecurityPolicy readOnly = policy;
  readOnly.bAllowWrites = false;
  EXPECT_EQ(CheckRequest(readOnly, facts(true)).status, 403);
  SecurityPolicy tokenless = policy;
  tokenless.token.clear();
  EXPECT_EQ(CheckRequest(tokenless, facts(true)).status, 403);

  // Away from loopback every request needs the token.
  SecurityPolicy exposed = policy;
  exposed.boundAddress = "0.0.0.0";
  f = facts(false);
  EXPECT_EQ(CheckRequest(exposed, f).status, 401);
  f.bHasAuthorization = true;
  f.authorization = "Bearer s3cret-token";
  EXPECT_EQ(CheckRequest(exposed, f).status, 0);
}

TEST(SecurityTest, AnswersForbidInlineScriptAndSniffing) {
  bool bCsp = false, bNosniff = false;
  for (const auto& [name, value] : SecurityHeaders()) {
    if (name == "Content-Security-Policy") {
      bCsp = true;
      EXPECT_EQ(value.find("unsafe-inline"), std::string::npos);
      EXPECT_NE(value.find("script-src 'self'"), std::string::npos);
      EXPECT_NE(value.find("default-src 'none'"), std::string::npos);
    }
    if (name == "X-Content-Type-Options") bNosniff = value == "nosniff";
  }
  EXPECT_TRUE(bCsp);
  EXPECT_TRUE(bNosniff);
}

}  // namespace
}  // namespace ostrel::inspect
