// The inspector over real HTTP on 127.0.0.1.
#include <gtest/gtest.h>
#include <ostrel/inspect.h>

#include <chrono>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "inspect/test/sample_calls.h"
#include "raw_http_for_test.h"

namespace ostrel::inspect {
namespace {

using nlohmann::json;

constexpr const char kToken[] = "test-token-0123456789";

void set(kovaStore::IKovaConfig* store, kovaStore::KovaConfigGroup group,
         const char* name, const std::string& value) {
  store->SetKovaConfig(group, name, ConfigData(value), false, false);
}

InspectorOptions testOptions(bool bAllowWrites = false) {
  InspectorOptions options;
  options.token = kToken;
  options.idleLimit = std::chrono::milliseconds(2000);
  options.bAllowWrites = bAllowWrites;
  return options;
}

std::string bearer() {
  return std::string("Authorization: Bearer ") + kToken + "\r\n";
}

RawAnswer get(uint16_t port, const std::string& target) {
  return Exchange(port, "GET", target, LocalHost(port));
}

RawAnswer post(uint16_t port, const std::string& target,
               const std::string& body) {
  return Exchange(port, "POST", target, LocalHost(port), bearer(), body);
}

TEST(InspectorTest, ServesItsPageOnLoopbackAndStopsWithARequestInFlight) {
  InspectorOptions options = testOptions();
  options.idleLimit = std::chrono::milliseconds(60000);
  auto inspector = std::make_unique<Inspector>(options);
  ASSERT_TRUE(inspector->Running()) << inspector->Error();
  const uint16_t port = inspector->Port();
  const RawAnswer page = get(port, "/");
  ASSERT_EQ(page.status, 200);
  EXPECT_EQ(page.headers.at("x-content-type-options"), "nosniff");
  const std::string csp = page.headers.at("content-security-policy");
  EXPECT_EQ(csp.find("unsafe"), std::string::npos);
  EXPECT_NE(csp.find("script-src 'self'"), std::string::npos);
  EXPECT_NE(csp.find("default-src 'none'"), std::string::npos);

  // Stopping closes a half-sent request and an idle keep-alive connection.
  RawConnection halfSent(port);
  ASSERT_TRUE(halfSent.Send("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
  RawConnection idle(port);
  ASSERT_TRUE(
      idle.Send("GET / HTTP/1.1\r\nHost: " + LocalHost(port) + "\r\n\r\n"));
  EXPECT_EQ(idle.Receive().status, 200);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

  auto stopped = std::async(std::launch::async, [&] { inspector.reset(); });
  ASSERT_EQ(stopped.wait_for(std::chrono::seconds(10)),
            std::future_status::ready)
      << "stopping waited for the clients";
  EXPECT_TRUE(halfSent.ClosedByPeer());
  EXPECT_TRUE(idle.ClosedByPeer());
  EXPECT_FALSE(RawConnection(port).Connected());
}

// Beyond loopback only with a token; a name is no address.
TEST(InspectorTest, AddressBeyondLoopbackWithoutTokenIsRefusedAtConstruction) {
  InspectorOptions options;
  options.address = "192.0.2.1";
  Inspector exposed(options);
  EXPECT_FALSE(exposed.Running());
  EXPECT_NE(exposed.Error().find("token"), std::string::npos);
  EXPECT_EQ(exposed.Port(), 0);
}

TEST(InspectorTest,
     ForeignHostMissingOrWrongTokenAndDisallowedWritesAreRefused) {
  SampleCalls calls({2201}, false);
  Inspector inspector(testOptions(true));
  ASSERT_TRUE(inspector.Running()) << inspector.Error();
  const uint16_t port = inspector.Port();
  const std::string doc = R"({"Audio":[{"key":"Aec","value":"2"}]})";
  const std::string target = "/api/v1/calls/2201/config";
  const struct {
    const char* what;
    std::string method, host, headers;
    int status;
  } kCases[] = {
      {"rebinding name", "GET", "attacker.example:" + std::to_string(port), "",
       403},
      {"wrong token", "POST", LocalHost(port), "Authorization: Bearer nope\r\n",
       401},
      {"token", "POST", LocalHost(port), bearer(), 200},
  };
  for (const auto& c : kCases) {
    const RawAnswer answer = Exchange(port, c.method, target, c.host, c.headers,
                                      c.method == "POST" ? doc : "");
    EXPECT_EQ(answer.status, c.status) << c.what << ": " << answer.body;
    if (c.status == 401) {
      EXPECT_EQ(answer.headers.at("www-authenticate").rfind("Bearer", 0), 0u);
    }
  }
  Inspector readOnly(testOptions());
  EXPECT_EQ(post(readOnly.Port(), target, doc).status, 403);
}

TEST(InspectorTest, OversizedBodyAndHeadersAreRefusedUnread) {
  InspectorOptions options = testOptions(true);
  options.maxHeaderBytes = 4096;
  Inspector inspector(options);
  const uint16_t port = inspector.Port();
  const std::string head =
      "POST /api/v1/calls/1/config HTTP/1.1\r\nHost: " + LocalHost(port) +
      "\r\n" + bearer();

  // Refused from its Content-Length, without the body being read.
  RawConnection big(port);
  ASSERT_TRUE(big.Send(head + "Content-Length: 1048577\r\n\r\n{"));
  EXPECT_EQ(big.Receive().status, 413);
  EXPECT_TRUE(big.ClosedByPeer());

  RawConnection chunked(port);
  ASSERT_TRUE(
      chunked.Send(head + "Transfer-Encoding: chunked\r\n\r\n5\r\n{}{}{\r\n"));
  EXPECT_EQ(chunked.Receive().status, 411);

  RawConnection headers(port);
  std::string many = "GET / HTTP/1.1\r\nHost: " + LocalHost(port) + "\r\n";
  for (int i = 0; i < 200; ++i)
    many += "X-Filler-" + std::to_string(i) + ": 0123456789\r\n";
  headers.Send(many + "\r\n");
  EXPECT_EQ(headers.Receive().status, 431);
  EXPECT_TRUE(headers.ClosedByPeer());
}

TEST(InspectorTest, ConnectionSendingOneByteASecondIsClosedByTheIdleLimit) {
  Inspector inspector(testOptions());  // idle limit 2 s
  RawConnection slow(inspector.Port());
  const std::string request = "GET /metrics HTTP/1.1\r\n";  // never ends
  for (size_t i = 0; i < 8 && slow.Send(request.substr(i, 1)); ++i)
    std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_TRUE(slow.ClosedByPeer());
}

TEST(InspectorTest, ConnectionsOverTheCapAreAnsweredBusy) {
  InspectorOptions options = testOptions();
  options.maxConnections = 2;
  options.threads = 1;
  Inspector inspector(options);
  const uint16_t port = inspector.Port();
  RawConnection first(port), second(port);  // one served, one waiting
  ASSERT_TRUE(first.Connected() && second.Connected());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  RawConnection third(port);
  EXPECT_EQ(third.Receive().status, 503);
  EXPECT_TRUE(third.ClosedByPeer());
}

// The config answer is valid JSON whatever the values hold; its document,
// posted to another call, makes that store equal; bad posts are refused.
TEST(InspectorTest, ConfigIsValidJsonAndItsDocumentPostsBackToAnEqualStore) {
  SampleCalls calls({2203, 2204}, false);
  kovaStore::IKovaConfig* store = calls.Store(0);
  set(store, kovaStore::KovaConfigGroup_Audio, "Quote", "say \"hi\"\\\x01");
  set(store, kovaStore::KovaConfigGroup_Common, "Unicode", "caf\xc3\xa9");
  set(store, kovaStore::KovaConfigGroup_TAOnly, "Bytes", "\xff\xfe");
  Inspector inspector(testOptions(true));
  const uint16_t port = inspector.Port();
  const RawAnswer answer = get(port, "/api/v1/calls/2203/config");
  ASSERT_EQ(answer.status, 200);
  const json config = json::parse(answer.body);  // throws on invalid JSON
  std::map<std::string, json> values;            // by "group.name"
  for (const json& group : config["groups"])
    for (const json& entry : group["entries"])
      values[group["group"].get<std::string>() + "." +
             entry["name"].get<std::string>()] = entry["value"];
  EXPECT_EQ(values["Audio.Quote"], "say \"hi\"\\\x01");
  EXPECT_EQ(values["TAOnly.Bytes"], "\u00ff\u00fe");
  EXPECT_EQ(get(port, "/api/v1/calls/2299/config").status, 404);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(2299), KOVA_S_FALSE)
      << "reading a call without a store created one";

  store->RemoveKovaConfig(kovaStore::KovaConfigGroup_TAOnly, "Bytes");
  const RawAnswer document =
      get(port, "/api/v1/calls/2203/config?format=document");
  ASSERT_EQ(document.status, 200);
  const std::string target = "/api/v1/calls/2204/config";
  const RawAnswer good = post(port, target, document.body);
  ASSERT_EQ(good.status, 200) << good.body;
  EXPECT_EQ(good.headers.at("x-ostrel-result"), "KOVA_S_OK");
  EXPECT_STREQ(std::string(store->DumpKovaConfigs(0xFFF)).c_str(),
               calls.Store(1)->DumpKovaConfigs(0xFFF));
  const RawAnswer bad =
      post(port, target, R"({"Vidoe":[{"key":"X","value":"1"}]})");
  EXPECT_EQ(bad.status, 422);
  EXPECT_EQ(json::parse(bad.body)["applies"], false);
  EXPECT_EQ(post(port, target, std::string("{}\0{}", 5)).status, 400);
}

}  // namespace
}  // namespace ostrel::inspect
