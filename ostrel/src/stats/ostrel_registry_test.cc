#include "ostrel_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "KovaOstrelApi.h"
#include "audio_statistic_info.h"
#include "trace_capture.h"
#include "video_statistic_info.h"

namespace kovaStore {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;

// A pointer as trace lines print it.
std::string Printed(const void* p) {
  char buffer[64];
  CCmTextFormator formator(buffer, sizeof(buffer));
  formator << p;
  return std::string(buffer, formator.tell());
}

std::string Registry() { return Printed(&CKovaOstrel::instance()); }

IKovaMediaInfo* Create(int32_t type, uint32_t callId) {
  IKovaMediaInfo* p = nullptr;
  EXPECT_EQ(KOVA_S_OK, createOstrelEntity(static_cast<KovaMediaStatType>(type),
                                          callId, &p));
  return p;
}

uint32_t Release(int32_t type, uint32_t callId, IKovaMediaInfo* p) {
  return releaseOstrelEntity(static_cast<KovaMediaStatType>(type), callId, p);
}

TEST(OstrelRegistryTest, CountsFollowCreateAndReleaseWithTheirTraces) {
  CmTraceCapture capture(2);
  IKovaMediaInfo* first = Create(0, 5);
  IKovaMediaInfo* second = Create(0, 5);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, second);
  EXPECT_EQ(5u, first->GetCallId());
  const std::string created =
      "CKovaOstrel::createOrGetOstrelEntity, type=0, callId=5, "
      "pMediaStatInfo=" +
      Printed(first) + ", refCnt=";
  EXPECT_TRUE(capture.HasExact(2, created + "1 [this=" + Registry() + "]"));
  EXPECT_TRUE(capture.HasExact(2, created + "2 [this=" + Registry() + "]"));

  EXPECT_EQ(1u, Release(0, 5, first));
  EXPECT_EQ(0u, Release(0, 5, first));
  EXPECT_EQ(kNone, Release(0, 5, first));
  const std::string released =
      "CKovaOstrel::releaseOstrelEntity, type=0, callId=5, in_PMediaStatInfo=" +
      Printed(first) + "out_PMediaStatInfo=" +
      std::to_string(reinterpret_cast<uintptr_t>(first)) + ", refCnt=";
  EXPECT_TRUE(capture.HasExact(2, released + "1 [this=" + Registry() + "]"));
  EXPECT_TRUE(capture.HasExact(2, released + "0 [this=" + Registry() + "]"));
  EXPECT_TRUE(capture.HasExact(
      2,
      "CKovaOstrel::releaseOstrelEntity, type=0, callId=5, "
      "inPMediaStatInfo=" +
          Printed(first) + ", refCnt=4294967295 [this=" + Registry() + "]"));
  EXPECT_EQ(0u, CKovaOstrel::instance().entityCount());
}

TEST(OstrelRegistryTest, EachKindAndCallIdHasItsOwnObjectOfItsClass) {
  IKovaMediaInfo* audio = Create(0, 5);
  IKovaMediaInfo* video = Create(1, 5);
  IKovaMediaInfo* contentVideo = Create(2, 5);
  IKovaMediaInfo* contentAudio = Create(3, 5);
  IKovaMediaInfo* otherCall = Create(0, 6);
  IKovaMediaInfo* highCall = Create(0, 0xFFFFFFFF);
  std::vector<IKovaMediaInfo*> all = {audio,        video,     contentVideo,
                                      contentAudio, otherCall, highCall};
  for (size_t i = 0; i < all.size(); ++i) {
    for (size_t j = i + 1; j < all.size(); ++j) EXPECT_NE(all[i], all[j]);
  }
  EXPECT_EQ(6u, CKovaOstrel::instance().entityCount());
  EXPECT_EQ(0xFFFFFFFFu, highCall->GetCallId());

  // The kind decides the class; content objects are distinct types.
  auto* plainAudio = dynamic_cast<KovaAudioStatisticInfo*>(audio);
  ASSERT_NE(nullptr, plainAudio);
  EXPECT_EQ(nullptr, dynamic_cast<KovaContentAudioStatisticInfo*>(audio));
  EXPECT_NE(nullptr,
            dynamic_cast<KovaContentAudioStatisticInfo*>(contentAudio));
  EXPECT_NE(nullptr, dynamic_cast<KovaVideoStatisticInfo*>(video));
  EXPECT_EQ(nullptr, dynamic_cast<KovaContentVideoStatisticInfo*>(video));
  EXPECT_NE(nullptr,
            dynamic_cast<KovaContentVideoStatisticInfo*>(contentVideo));
  EXPECT_EQ(1u, plainAudio->GetReference());

  // The key alone decides what is released; the pointer is only printed.
  EXPECT_EQ(0u, Release(1, 5, audio));
  EXPECT_EQ(kNone, Release(1, 5, video));
  EXPECT_EQ(1u, plainAudio->GetReference());
  EXPECT_EQ(0u, Release(2, 5, contentVideo));
  EXPECT_EQ(0u, Release(3, 5, contentAudio));
  EXPECT_EQ(0u, Release(0, 6, otherCall));
  EXPECT_EQ(0u, Release(0, 0xFFFFFFFF, highCall));
  EXPECT_EQ(0u, Release(0, 5, audio));
  EXPECT_EQ(0u, CKovaOstrel::instance().entityCount());
}

TEST(OstrelRegistryTest, UnknownKindsNullPointersAndUnknownKeysChangeNothing) {
  CmTraceCapture capture(2);
  for (int32_t type : {4, -1, INT_MAX, INT_MIN}) {
    IKovaMediaInfo* p = reinterpret_cast<IKovaMediaInfo*>(&capture);
    EXPECT_EQ(KOVA_E_FAIL,
              createOstrelEntity(static_cast<KovaMediaStatType>(type), 5, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_TRUE(capture.HasExact(
        2, "CKovaOstrel::createOrGetOstrelEntity failed, type=" +
               std::to_string(type) + ", callId=5 [this=" + Registry() + "]"));
  }
  capture.Clear();
  EXPECT_EQ(KOVA_E_FAIL, createOstrelEntity(KovaMediaStat_Video, 5, nullptr));
  EXPECT_TRUE(capture.Lines().empty());

  IKovaMediaInfo* video = Create(1, 8);
  EXPECT_EQ(kNone, Release(1, 8, nullptr));
  EXPECT_EQ(kNone, Release(1, 9, video));
  EXPECT_EQ(kNone, Release(4, 8, video));
  EXPECT_EQ(1u, CKovaOstrel::instance().entityCount());
  EXPECT_EQ(0u, Release(1, 8, video));
}

TEST(OstrelRegistryTest, ARequestAfterTheLastReleaseGetsFreshStatistics) {
  auto* video = static_cast<IKovaVideoInfo*>(Create(1, 11));
  auto* audio = static_cast<IKovaAudioInfo*>(Create(0, 11));
  video->SetSessionValue1336(77);
  audio->SetSessionValue12(12);
  EXPECT_EQ(0u, Release(1, 11, video));
  EXPECT_EQ(0u, Release(0, 11, audio));

  video = static_cast<IKovaVideoInfo*>(Create(1, 11));
  audio = static_cast<IKovaAudioInfo*>(Create(0, 11));
  uint8_t record[kKovaVideoRecordSize];
  video->GetStatistics(record, false);
  EXPECT_EQ(0u, ReadRecordU32(record, 1336));
  EXPECT_EQ(-1, ReadRecordI32(record, 1356));
  audio->GetStatistics(record, false);
  EXPECT_EQ(0u, ReadRecordU32(record, 12));
  EXPECT_EQ(20u, ReadRecordU32(record, 112));
  EXPECT_EQ(0u, Release(1, 11, video));
  EXPECT_EQ(0u, Release(0, 11, audio));
}

TEST(OstrelRegistryTest, ConcurrentCreateAndReleaseOfSharedKeysBalance) {
  CKovaOstrel registry;
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&registry, &failures, t] {
      for (int i = 0; i < kRounds; ++i) {
        const auto type = static_cast<KovaMediaStatType>((i + t) % 4);
        const uint32_t callId = static_cast<uint32_t>(i % 3);
        IKovaMediaInfo* p = registry.createOrGetOstrelEntity(type, callId);
        // The object stays alive while this thread holds its reference.
        if (p == nullptr || p->GetCallId() != callId) {
          ++failures;
          continue;
        }
        if (registry.releaseOstrelEntity(type, callId, p) == kNone) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(0u, registry.entityCount());
}

}  // namespace
}  // namespace kovaStore
