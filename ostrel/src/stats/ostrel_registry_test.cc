#include "ostrel_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <typeinfo>
#include <utility>
#include <vector>

#include "audio_statistic_info.h"
#include "ostrel/KovaIntrospection.h"
#include "ostrel/KovaOstrelApi.h"
#include "util/testing/trace_capture.h"
#include "video_statistic_info.h"

namespace kovaStore {
namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr int32_t kAudio = KovaMediaStat_Audio, kVideo = KovaMediaStat_Video,
                  kContentVideo = KovaMediaStat_ContentVideo,
                  kContentAudio = KovaMediaStat_ContentAudio, kBadKind = 4;

// A pointer as trace lines print it.
std::string Printed(const void* p) {
  char buffer[64];
  CCmTextFormator formator(buffer, sizeof(buffer));
  formator << p;
  return std::string(buffer, formator.tell());
}

std::string ThisSuffix() {
  return " [this=" + Printed(&CKovaOstrel::instance()) + "]";
}

IKovaMediaInfo* Create(int32_t type, uint32_t callId) {
  IKovaMediaInfo* p = nullptr;
  EXPECT_EQ(KOVA_S_OK, createOstrelEntity(static_cast<KovaMediaStatType>(type),
                                          callId, &p));
  return p;
}

uint32_t Release(int32_t type, uint32_t callId, IKovaMediaInfo* p) {
  return releaseOstrelEntity(static_cast<KovaMediaStatType>(type), callId, p);
}

// The reference rules every statistics class follows, on an object the
// registry holds once: only AddReference, a successful query and
// ReleaseReference move the count, and the last release is the registry's.
void ExpectUnknownRules(IKovaMediaInfo* object) {
  auto* unknown = dynamic_cast<kova::IKovaUnknown*>(object);
  ASSERT_NE(nullptr, unknown);
  EXPECT_EQ(1u, unknown->GetReference());
  EXPECT_EQ(2u, unknown->AddReference());
  void* pv = nullptr;
  EXPECT_EQ(KOVA_S_OK, unknown->QueryInterface(kova::IID_IKovaUnknown, &pv));
  EXPECT_EQ(dynamic_cast<kova::CKovaUnknownImpl*>(object), pv);
  kova::KOVA_GUID other = kova::IID_IKovaUnknown;
  other.Data4[7] ^= 1;  // the last byte too takes part
  pv = object;
  EXPECT_EQ(KOVA_E_NOINTERFACE, unknown->QueryInterface(other, &pv));
  EXPECT_EQ(nullptr, pv);
  EXPECT_EQ(KOVA_E_POINTER, unknown->QueryInterface(other, nullptr));
  EXPECT_EQ(3u, unknown->GetReference());
  EXPECT_EQ(2u, unknown->ReleaseReference());
  EXPECT_EQ(1u, unknown->ReleaseReference());
}

TEST(OstrelRegistryTest,
     CountsFollowCreateAndReleaseWithTheirTracesAndBadKindsFail) {
  CmTraceCapture capture(2);
  auto* p = static_cast<IKovaAudioInfo*>(Create(kAudio, 5));
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(p, Create(kAudio, 5));
  EXPECT_EQ(1u, Release(kAudio, 5, p));
  EXPECT_EQ(0u, Release(kAudio, 5, p));
  EXPECT_EQ(kNone, Release(kAudio, 5, p));
  EXPECT_EQ(0u, CKovaOstrel::instance().entityCount());
  const std::string head = "type=0, callId=5, ";
  EXPECT_TRUE(capture.HasExact(2, "CKovaOstrel::createOrGetOstrelEntity, " +
                                      head + "pMediaStatInfo=" + Printed(p) +
                                      ", refCnt=2" + ThisSuffix()));
  EXPECT_TRUE(capture.HasExact(
      2, "CKovaOstrel::releaseOstrelEntity, " + head +
             "in_PMediaStatInfo=" + Printed(p) + "out_PMediaStatInfo=" +
             std::to_string(reinterpret_cast<uintptr_t>(p)) + ", refCnt=0" +
             ThisSuffix()));

  // Unknown kinds and null outputs create nothing.
  capture.Clear();
  IKovaMediaInfo* q = p;
  EXPECT_EQ(KOVA_E_FAIL,
            createOstrelEntity(static_cast<KovaMediaStatType>(-1), 5, &q));
  EXPECT_EQ(nullptr, q);
  EXPECT_TRUE(capture.HasExact(
      2, "CKovaOstrel::createOrGetOstrelEntity failed, type=-1, callId=5" +
             ThisSuffix()));
  EXPECT_EQ(KOVA_E_FAIL, createOstrelEntity(KovaMediaStat_Video, 5, nullptr));
  EXPECT_EQ(1u, capture.Lines().size());
  EXPECT_EQ(0u, CKovaOstrel::instance().entityCount());
}

TEST(OstrelRegistryTest, EachKindAndCallIdHasItsOwnObjectOfItsClass) {
  const std::pair<int32_t, uint32_t> keys[] = {{kAudio, 5},
                                               {kVideo, 5},
                                               {kContentVideo, 5},
                                               {kContentAudio, 5},
                                               {kAudio, kNone}};
  std::vector<IKovaMediaInfo*> objects;
  for (const auto& key : keys) objects.push_back(Create(key.first, key.second));
  EXPECT_EQ(5u,
            std::set<IKovaMediaInfo*>(objects.begin(), objects.end()).size());
  // The kind decides the class, and each follows the reference rules.
  const std::type_info* types[] = {&typeid(KovaAudioStatisticInfo),
                                   &typeid(KovaVideoStatisticInfo),
                                   &typeid(KovaContentVideoStatisticInfo),
                                   &typeid(KovaContentAudioStatisticInfo)};
  for (size_t i = 0; i < 4; ++i) {
    const IKovaMediaInfo& object = *objects[i];
    EXPECT_EQ(*types[i], typeid(object)) << i;
    ExpectUnknownRules(objects[i]);
  }

  // The key alone decides what is released; the pointer is only printed, but
  // must not be null. Unknown keys change nothing.
  auto* audio = static_cast<KovaAudioStatisticInfo*>(objects[0]);
  EXPECT_EQ(0u, Release(kVideo, 5, audio));
  EXPECT_EQ(1u, audio->GetReference());
  for (std::pair<int32_t, uint32_t> key : {keys[1], {kBadKind, 5}, {kAudio, 6}})
    EXPECT_EQ(kNone, Release(key.first, key.second, audio));
  EXPECT_EQ(kNone, Release(kAudio, 5, nullptr));
  for (size_t i : {0, 2, 3, 4})
    EXPECT_EQ(0u, Release(keys[i].first, keys[i].second, objects[i])) << i;
  EXPECT_EQ(0u, CKovaOstrel::instance().entityCount());
}

// Regression: an object whose count reached 0 through its own IKovaUnknown
// stayed registered, and the next request handed the freed object out.
TEST(OstrelRegistryTest, ObjectReleasedThroughItsOwnInterfaceIsForgotten) {
  CmTraceCapture capture(2);
  auto* video = static_cast<KovaVideoStatisticInfo*>(Create(kVideo, 6));
  void* pUnknown = nullptr;
  ASSERT_EQ(KOVA_S_OK,
            video->QueryInterface(kova::IID_IKovaUnknown, &pUnknown));
  EXPECT_EQ(1u, Release(kVideo, 6, video));
  EXPECT_EQ(0u,
            static_cast<kova::CKovaUnknownImpl*>(pUnknown)->ReleaseReference());
  EXPECT_EQ(0u, CKovaOstrel::instance().entityCount());
  capture.Clear();
  IKovaMediaInfo* fresh = Create(kVideo, 6);
  EXPECT_EQ(1u, capture.Count(2, ", refCnt=1"));
  EXPECT_EQ(0u, Release(kVideo, 6, fresh));
}

// Finding never creates: it hands out only a registered object, with one
// more reference; the listing shows the keys in order. Raced by creation and
// release of the same keys (the last release at times through the object's
// own interface), a found object is always alive and whole, and a listing
// never shows more than the keys in play.
TEST(OstrelRegistryTest, FindAndListNeverCreateAndRaceCreationSafely) {
  IKovaMediaInfo* p = nullptr;
  EXPECT_EQ(KOVA_S_FALSE, findOstrelEntity(KovaMediaStat_Video, 4242, &p));
  EXPECT_EQ(nullptr, p);
  EXPECT_EQ(KOVA_E_FAIL, findOstrelEntity(KovaMediaStat_Video, 4242, nullptr));
  EXPECT_EQ(
      KOVA_E_FAIL,
      findOstrelEntity(static_cast<KovaMediaStatType>(kBadKind), 4242, &p));
  IKovaMediaInfo* created = nullptr;
  ASSERT_EQ(KOVA_S_OK, createOstrelEntity(KovaMediaStat_Video, 4242, &created));
  ASSERT_EQ(KOVA_S_OK, createOstrelEntity(KovaMediaStat_Audio, 4243, &p));
  IKovaMediaInfo* found = nullptr;
  EXPECT_EQ(KOVA_S_OK, findOstrelEntity(KovaMediaStat_Video, 4242, &found));
  EXPECT_EQ(created, found);
  KovaOstrelEntityKey keys[1];
  uint32_t n = 0;
  EXPECT_EQ(KOVA_S_FALSE, listOstrelEntities(keys, 1, &n));
  EXPECT_EQ(2u, n);
  EXPECT_EQ(4243u, keys[0].callId);
  EXPECT_EQ(1u, releaseOstrelEntity(KovaMediaStat_Video, 4242, found));
  EXPECT_EQ(0u, releaseOstrelEntity(KovaMediaStat_Video, 4242, created));
  EXPECT_EQ(0u, releaseOstrelEntity(KovaMediaStat_Audio, 4243, p));

  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::thread finder([&] {
    while (!done.load()) {
      for (uint32_t callId = 0; callId < 2; ++callId) {
        IKovaMediaInfo* q = nullptr;
        if (findOstrelEntity(KovaMediaStat_Audio, callId, &q) != KOVA_S_OK)
          continue;
        if (q->GetCallId() != callId) ++bad;
        releaseOstrelEntity(KovaMediaStat_Audio, callId, q);
      }
      KovaOstrelEntityKey seen[8];
      uint32_t count = 0;
      listOstrelEntities(seen, 8, &count);
      if (count > 2) ++bad;
    }
  });
  for (int i = 0; i < 2000; ++i) {
    const uint32_t callId = static_cast<uint32_t>(i % 2);
    IKovaMediaInfo* q = nullptr;
    if (createOstrelEntity(KovaMediaStat_Audio, callId, &q) != KOVA_S_OK) {
      ++bad;
      continue;
    }
    static_cast<IKovaAudioInfo*>(q)->SetSessionValue12(
        static_cast<uint32_t>(i));
    // Every other round the last reference goes through the object's own
    // interface, racing the finder's requests for the key.
    auto* unknown = dynamic_cast<kova::IKovaUnknown*>(q);
    if (i % 2 == 1) unknown->AddReference();
    if (releaseOstrelEntity(KovaMediaStat_Audio, callId, q) == kNone) ++bad;
    if (i % 2 == 1) unknown->ReleaseReference();
  }
  done = true;
  finder.join();
  EXPECT_EQ(0, bad.load());
  EXPECT_EQ(0u, CKovaOstrel::instance().entityCount());
}

}  // namespace
}  // namespace kovaStore
