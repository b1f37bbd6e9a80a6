#include "counted_media_info.h"

#include <gtest/gtest.h>

#include "audio_statistic_info.h"
#include "video_statistic_info.h"

namespace kovaStore {
namespace {

// Takes a fresh heap object and ends with the release that deletes it, so
// that ASan reports a count that never reaches 0 as a leak.
template <class InfoT>
void ExpectUnknownRules(KovaCountedMediaInfo<InfoT>* object) {
  kova::IKovaUnknown* unknown = object;
  EXPECT_EQ(0u, unknown->GetReference());
  EXPECT_EQ(1u, unknown->AddReference());
  void* pv = nullptr;
  EXPECT_EQ(KOVA_S_OK, unknown->QueryInterface(kova::IID_IKovaUnknown, &pv));
  EXPECT_EQ(static_cast<kova::CKovaUnknownImpl*>(object), pv);
  EXPECT_EQ(2u, unknown->GetReference());

  kova::KOVA_GUID others[2] = {kova::IID_IKovaUnknown, kova::IID_IKovaUnknown};
  others[0].Data1 = 1;
  others[1].Data4[7] ^= 1;
  for (const kova::KOVA_GUID& other : others) {
    pv = object;
    EXPECT_EQ(KOVA_E_NOINTERFACE, unknown->QueryInterface(other, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(KOVA_E_POINTER, unknown->QueryInterface(other, nullptr));
  }
  EXPECT_EQ(KOVA_E_POINTER,
            unknown->QueryInterface(kova::IID_IKovaUnknown, nullptr));
  EXPECT_EQ(2u, unknown->GetReference());
  EXPECT_EQ(1u, unknown->ReleaseReference());
  EXPECT_EQ(0u, unknown->ReleaseReference());
}

TEST(KovaCountedMediaInfoTest, EveryStatisticsClassFollowsTheUnknownRules) {
  ExpectUnknownRules<IKovaAudioInfo>(new KovaAudioStatisticInfo(3));
  ExpectUnknownRules<IKovaAudioInfo>(new KovaContentAudioStatisticInfo(3));
  ExpectUnknownRules<IKovaVideoInfo>(new KovaVideoStatisticInfo(3));
  ExpectUnknownRules<IKovaVideoInfo>(new KovaContentVideoStatisticInfo(3));
}

}  // namespace
}  // namespace kovaStore
