// Clients keep requesting while an engine thread sets values and the
// inspector is stopped under them; in even rounds calls come and go, in odd
// rounds clients walk every call. Bounded in time; run under TSan in CI.
#include <gtest/gtest.h>
#include <ostrel/inspect.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "raw_http_for_test.h"

namespace ostrel::inspect {
namespace {

constexpr int kRounds = 4;
constexpr auto kRoundTime = std::chrono::milliseconds(400);

TEST(ServerStressTest, RequestsRacingCallsThatComeAndGoAndTheStop) {
  const char* const kOneCall[] = {
      "/api/v1/calls/2401/config", "/api/v1/calls/2401/config?format=document",
      "/api/v1/calls/2402/stats", "/api/v1/calls/2401/journal", "/"};
  const char* const kEveryCall[] = {"/metrics", "/api/v1/calls",
                                    "/api/v1/calls/2402/config"};
  std::atomic<long> answered{0}, unexpected{0};
  for (int round = 0; round < kRounds; ++round) {
    for (uint32_t callId : {2401u, 2402u}) {  // there when a round starts
      kovaStore::IKovaConfig* store = nullptr;
      kovaStore::CreateKovaConfig(callId, &store);
      kovaStore::ReleaseKovaConfig(store);
    }
    InspectorOptions options;
    options.threads = 3;
    options.maxConnections = 6;  // some clients meet the cap
    options.journalDepth = 16;
    auto inspector = std::make_unique<Inspector>(options);
    ASSERT_TRUE(inspector->Running()) << inspector->Error();
    const uint16_t port = inspector->Port();
    const bool bCallsComeAndGo = round % 2 == 0;
    std::atomic<bool> bStop{false};
    std::vector<std::thread> threads;
    for (int c = 0; c < 4; ++c) {
      threads.emplace_back([&, c] {
        for (int n = c; !bStop; ++n) {
          const int s =
              Exchange(port, "GET",
                       bCallsComeAndGo ? kOneCall[n % 5] : kEveryCall[n % 3],
                       LocalHost(port))
                  .status;
          // 0: closed by the stop; 404: a call that just went.
          ++(s == 200 || s == 404 || s == 503 || s == 0 ? answered
                                                        : unexpected);
        }
      });
    }
    threads.emplace_back([&] {
      for (uint32_t n = 0; !bStop; ++n) {
        for (uint32_t callId : {2401u, 2402u}) {
          kovaStore::IKovaConfig* store = nullptr;
          kovaStore::CreateKovaConfig(callId, &store);
          store->SetKovaConfig(kovaStore::KovaConfigGroup_Audio, "n",
                               ConfigData(std::to_string(n)), false, false);
          kovaStore::IKovaMediaInfo* info = nullptr;
          kovaStore::createOstrelEntity(kovaStore::KovaMediaStat_Audio, callId,
                                        &info);
          kovaStore::releaseOstrelEntity(kovaStore::KovaMediaStat_Audio, callId,
                                         info);
          kovaStore::ReleaseKovaConfig(store);
          if (bCallsComeAndGo && n % 8 == 7) {
            kovaStore::CleanUpKovaConfig(callId);
          }
        }
      }
    });
    std::this_thread::sleep_for(kRoundTime);
    inspector.reset();  // with requests in flight
    bStop = true;
    for (std::thread& thread : threads) thread.join();
  }
  kovaStore::CleanUpKovaConfig(2401);
  kovaStore::CleanUpKovaConfig(2402);
  EXPECT_GT(answered.load(), 0);
  EXPECT_EQ(unexpected.load(), 0);
}

}  // namespace
}  // namespace ostrel::inspect
