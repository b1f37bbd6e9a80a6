#include "audio_statistic_info.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <vector>

#include "stats_test_util.h"

namespace kovaStore {
namespace {

using testing::Bytes;
using testing::FirstDifference;
using testing::LeFloat;
using testing::LeU32;
using testing::Patch;

constexpr size_t kStreamBase = kKovaAudioRecordSize;
constexpr size_t kAuxBase = kStreamBase + 20 * kKovaAudioRecordSize;
constexpr size_t kImageSize = kAuxBase + 20 * kKovaAudioAuxiliarySize;

size_t Session(size_t offset) { return offset; }
size_t Stream(int k, size_t offset) {
  return kStreamBase + kKovaAudioRecordSize * k + offset;
}
size_t Aux(int k, size_t offset) {
  return kAuxBase + kKovaAudioAuxiliarySize * k + offset;
}

// Every record of the object, read through the interface without resetting.
Bytes Image(IKovaAudioInfo& audio) {
  Bytes image(kImageSize);
  EXPECT_EQ(KOVA_S_OK, audio.GetStatistics(image.data(), false));
  for (int k = 0; k < 20; ++k) {
    EXPECT_EQ(KOVA_S_OK,
              audio.GetStreamStatistics(image.data() + Stream(k, 0), k, false));
    EXPECT_EQ(KOVA_S_OK, audio.GetAuxiliary(image.data() + Aux(k, 0), k));
  }
  return image;
}

Bytes FreshImage() {
  Bytes image(kImageSize, 0);
  const Bytes minus100 = {0x00, 0x00, 0xC8, 0xC2};
  for (size_t offset : {60, 64, 68, 84, 88, 92}) Patch(image, offset, minus100);
  Patch(image, 112, {20, 0, 0, 0});
  return image;
}

// The plain and the content object behave alike: every test runs on both.
std::vector<std::unique_ptr<KovaAudioStatisticInfo>> BothKinds(uint32_t id) {
  std::vector<std::unique_ptr<KovaAudioStatisticInfo>> objects;
  objects.emplace_back(new KovaAudioStatisticInfo(id));
  objects.emplace_back(new KovaContentAudioStatisticInfo(id));
  return objects;
}

TEST(AudioStatisticInfoTest, FreshAndResetObjectsHoldOnlyTheDefaults) {
  for (auto& object : BothKinds(7)) {
    IKovaAudioInfo& audio = *object;
    EXPECT_EQ(7u, audio.GetCallId());
    EXPECT_EQ("", FirstDifference(FreshImage(), Image(audio)));

    Bytes noise(kKovaAudioRecordSize, 0x5A);
    audio.SetStatistics(noise.data());
    audio.SetStreamTriple(19, 1, 2, 3);
    audio.SetAuxiliary(0, noise.data());
    audio.ResetStatistics(9);
    EXPECT_EQ(9u, audio.GetCallId());
    EXPECT_EQ("", FirstDifference(FreshImage(), Image(audio)));
    EXPECT_EQ(0u, object->GetReference());
  }
}

struct SetterCase {
  const char* name;
  std::function<void(IKovaAudioInfo&)> call;
  std::vector<std::pair<size_t, Bytes>> patches;
};

std::vector<SetterCase> SetterCases() {
  // Descriptor and sources: every byte non-zero, so a field copied from the
  // wrong place or a padding byte copied along shows up.
  static Bytes descriptor(kKovaAudioDescriptorSize, 0xEE);
  Patch(descriptor, 0, {0xA1});
  Patch(descriptor, 4, LeU32(0x04040404));
  Patch(descriptor, 8, LeU32(9));
  for (size_t offset : {12, 16, 20, 24}) {
    Patch(descriptor, offset, LeU32(0xD0000000 + offset));
  }
  static Bytes source(kKovaAudioCounterSourceSize);
  for (size_t offset = 0; offset < source.size(); offset += 4) {
    Patch(source, offset, LeU32(0xC0000000 + offset));
  }
  static Bytes aux(kKovaAudioAuxiliarySize);
  for (size_t i = 0; i < aux.size(); ++i) aux[i] = static_cast<uint8_t>(i + 1);
  Bytes auxStored = aux;
  for (size_t padding : {1, 2, 3, 29, 30, 31}) auxStored[padding] = 0;

  std::vector<std::pair<size_t, Bytes>> auxPatches;
  auxPatches.push_back({Aux(5, 0), auxStored});

  return {
      {"SetSessionDescriptor",
       [](IKovaAudioInfo& a) { a.SetSessionDescriptor(descriptor.data()); },
       {{Session(0), {0xA1}},
        {Session(4), LeU32(0x04040404)},
        {Session(16), LeU32(5)},
        {Session(56), LeU32(0xD000000C)},
        {Session(96), LeU32(0xD0000010)},
        {Session(100), LeU32(0xD0000014)},
        {Session(104), LeU32(0xD0000018)}}},
      {"SetSessionValue12",
       [](IKovaAudioInfo& a) { a.SetSessionValue12(0x12345678); },
       {{Session(12), LeU32(0x12345678)}}},
      {"SetStreamValue12",
       [](IKovaAudioInfo& a) { a.SetStreamValue12(3, 0xCAFE); },
       {{Stream(3, 12), LeU32(0xCAFE)}}},
      {"SetSessionValue116",
       [](IKovaAudioInfo& a) { a.SetSessionValue116(116); },
       {{Session(116), LeU32(116)}}},
      {"SetSessionLevelsB",
       [](IKovaAudioInfo& a) { a.SetSessionLevelsB(1.5f, 2.5f, -3.5f); },
       {{Session(72), LeFloat(1.5f)},
        {Session(76), LeFloat(2.5f)},
        {Session(80), LeFloat(-3.5f)}}},
      {"SetSessionLevelsA",
       [](IKovaAudioInfo& a) { a.SetSessionLevelsA(1, 2, 3); },
       {{Session(60), LeFloat(1)},
        {Session(64), LeFloat(2)},
        {Session(68), LeFloat(3)}}},
      {"SetSessionLevelsC",
       [](IKovaAudioInfo& a) { a.SetSessionLevelsC(-1, -2, -3); },
       {{Session(84), LeFloat(-1)},
        {Session(88), LeFloat(-2)},
        {Session(92), LeFloat(-3)}}},
      {"SetStreamCodec",
       [](IKovaAudioInfo& a) { a.SetStreamCodec(3, 9); },
       {{Stream(3, 16), LeU32(5)}}},
      {"SetStreamFlagAndValue",
       [](IKovaAudioInfo& a) { a.SetStreamFlagAndValue(19, 0x7F, 0xFFFFFFFE); },
       {{Stream(19, 0), {0x7F}}, {Stream(19, 4), LeU32(0xFFFFFFFE)}}},
      {"SetStreamCounters",
       [](IKovaAudioInfo& a) {
         a.SetStreamCounters(4, source.data(), 0xAB, 0xCD);
       },
       {{Stream(4, 8), LeU32(0xC0000020)},
        {Stream(4, 112), LeU32(0xC0000024)},
        {Stream(4, 120), LeU32(0xC000000C)},
        {Stream(4, 124), LeU32(0xC0000008)},
        {Stream(4, 128), LeU32(0xC0000010)},
        {Stream(4, 132), LeU32(0xC0000028)},
        {Stream(4, 136), LeU32(0xC000002C)},
        {Stream(4, 140), LeU32(0xC0000030)},
        {Stream(4, 108), {0xAB, 0xCD}}}},
      {"SetStreamTriple",
       [](IKovaAudioInfo& a) { a.SetStreamTriple(0, 7, 8, 9); },
       {{Stream(0, 196), LeU32(7)},
        {Stream(0, 200), LeU32(8)},
        {Stream(0, 204), LeU32(9)}}},
      {"SetSessionFlag",
       [](IKovaAudioInfo& a) { a.SetSessionFlag(0x5A); },
       {{Session(0), {0x5A}}}},
      {"SetStreamFlag",
       [](IKovaAudioInfo& a) { a.SetStreamFlag(7, 0x33); },
       {{Stream(7, 0), {0x33}}}},
      {"SetSessionValue56",
       [](IKovaAudioInfo& a) { a.SetSessionValue56(56); },
       {{Session(56), LeU32(56)}}},
      {"SetAuxiliary", [](IKovaAudioInfo& a) { a.SetAuxiliary(5, aux.data()); },
       auxPatches},
  };
}

TEST(AudioStatisticInfoTest, EachSetterWritesItsOwnFieldsAndNothingElse) {
  for (auto& object : BothKinds(1)) {
    for (const SetterCase& c : SetterCases()) {
      object->ResetStatistics(1);
      Bytes expected = Image(*object);
      for (const auto& patch : c.patches)
        Patch(expected, patch.first, patch.second);
      c.call(*object);
      EXPECT_EQ("", FirstDifference(expected, Image(*object))) << c.name;
    }
  }
}

TEST(AudioStatisticInfoTest, ResettingSessionReadRestoresOnlyTheDefaults) {
  KovaAudioStatisticInfo object(1);
  IKovaAudioInfo& audio = object;
  Bytes written(kKovaAudioRecordSize);
  for (size_t i = 0; i < written.size(); ++i)
    written[i] = static_cast<uint8_t>(i * 3 + 1);
  ASSERT_EQ(KOVA_S_OK, audio.SetStatistics(written.data()));

  Bytes first(kKovaAudioRecordSize);
  ASSERT_EQ(KOVA_S_OK, audio.GetStatistics(first.data(), true));
  EXPECT_EQ("", FirstDifference(written, first));

  Bytes expected = written;
  for (size_t offset : {60, 64, 68, 84, 88, 92})
    Patch(expected, offset, LeFloat(-100.0f));
  for (size_t offset : {72, 76, 80}) Patch(expected, offset, LeFloat(0.0f));
  Patch(expected, 112, LeU32(20));
  Bytes second(kKovaAudioRecordSize);
  ASSERT_EQ(KOVA_S_OK, audio.GetStatistics(second.data(), false));
  EXPECT_EQ("", FirstDifference(expected, second));
}

TEST(AudioStatisticInfoTest, ResettingStreamReadZeroesOnlyTheIntervalCounters) {
  KovaAudioStatisticInfo object(1);
  IKovaAudioInfo& audio = object;
  Bytes source(kKovaAudioCounterSourceSize, 0x11);
  audio.SetStreamCounters(2, source.data(), 1, 2);
  audio.SetStreamTriple(2, 4, 5, 6);

  Bytes first(kKovaAudioRecordSize);
  ASSERT_EQ(KOVA_S_OK, audio.GetStreamStatistics(first.data(), 2, true));
  EXPECT_EQ(0x11111111u, ReadRecordU32(first.data(), 124));

  Bytes expected = first;
  Patch(expected, 120, Bytes(12, 0));
  Bytes second(kKovaAudioRecordSize);
  ASSERT_EQ(KOVA_S_OK, audio.GetStreamStatistics(second.data(), 2, true));
  EXPECT_EQ("", FirstDifference(expected, second));
}

TEST(AudioStatisticInfoTest, CodecNumbersMapAndUnknownOnesLeaveTheCode) {
  KovaAudioStatisticInfo object(1);
  IKovaAudioInfo& audio = object;
  const int32_t numbers[] = {0, 8, 9, 18, 101, 102, 103, 104, 105, 106};
  const uint32_t codes[] = {1, 2, 5, 7, 4, 3, 8, 9, 10, 11};
  Bytes record(kKovaAudioRecordSize);
  for (size_t i = 0; i < 10; ++i) {
    audio.SetStreamCodec(3, numbers[i]);
    audio.GetStreamStatistics(record.data(), 3, false);
    EXPECT_EQ(codes[i], ReadRecordU32(record.data(), 16)) << numbers[i];
  }
  audio.SetStreamCodec(3, 9);
  for (int32_t unknown : {7, 96, 107, -1, INT_MAX, INT_MIN}) {
    audio.SetStreamCodec(3, unknown);
    audio.GetStreamStatistics(record.data(), 3, false);
    EXPECT_EQ(5u, ReadRecordU32(record.data(), 16)) << unknown;
  }

  Bytes descriptor(kKovaAudioDescriptorSize, 0);
  Patch(descriptor, 8, LeU32(102));
  audio.SetSessionDescriptor(descriptor.data());
  Patch(descriptor, 8, LeU32(7));
  Patch(descriptor, 12, LeU32(77));
  audio.SetSessionDescriptor(descriptor.data());
  audio.GetStatistics(record.data(), false);
  EXPECT_EQ(3u, ReadRecordU32(record.data(), 16));
  EXPECT_EQ(77u, ReadRecordU32(record.data(), 56));
}

TEST(AudioStatisticInfoTest, BadIndexesAndNullPointersTouchNothing) {
  KovaAudioStatisticInfo object(1);
  IKovaAudioInfo& audio = object;
  const Bytes fresh = Image(audio);
  // Inputs sized exactly, so that a read past them shows under ASan.
  std::vector<uint8_t> source(kKovaAudioCounterSourceSize, 0x22);
  std::vector<uint8_t> aux(kKovaAudioAuxiliarySize, 0x33);
  Bytes out(kKovaAudioRecordSize, 0x44);
  for (int32_t index : {-1, 20, 21, INT_MAX, INT_MIN}) {
    audio.SetStreamValue12(index, 1);
    audio.SetStreamCodec(index, 0);
    audio.SetStreamFlagAndValue(index, 1, 1);
    audio.SetStreamCounters(index, source.data(), 1, 1);
    audio.SetStreamTriple(index, 1, 1, 1);
    audio.SetStreamFlag(index, 1);
    audio.SetAuxiliary(index, aux.data());
    EXPECT_EQ(KOVA_E_FAIL, audio.GetStreamStatistics(out.data(), index, true));
    EXPECT_EQ(KOVA_E_FAIL, audio.GetAuxiliary(out.data(), index));
  }
  EXPECT_EQ(Bytes(kKovaAudioRecordSize, 0x44), out);

  EXPECT_EQ(KOVA_E_FAIL, audio.SetStatistics(nullptr));
  EXPECT_EQ(KOVA_E_FAIL, audio.GetStatistics(nullptr, true));
  EXPECT_EQ(KOVA_E_FAIL, audio.GetStreamStatistics(nullptr, 0, true));
  EXPECT_EQ(KOVA_E_FAIL, audio.GetAuxiliary(nullptr, 0));
  audio.SetSessionDescriptor(nullptr);
  audio.SetStreamCounters(0, nullptr, 1, 1);
  audio.SetAuxiliary(0, nullptr);
  EXPECT_EQ(KOVA_E_FAIL, audio.ReservedA());
  EXPECT_EQ(KOVA_S_OK, audio.ReservedB());
  EXPECT_EQ("", FirstDifference(fresh, Image(audio)));

  // Index 19 is the last one accepted.
  audio.SetStreamFlag(19, 9);
  EXPECT_EQ(KOVA_S_OK, audio.GetStreamStatistics(out.data(), 19, false));
  EXPECT_EQ(9, out[0]);
}

TEST(AudioStatisticInfoTest, ReferencesAndQueryInterfaceFollowTheUnknownRules) {
  for (auto& owned : BothKinds(3)) {
    KovaAudioStatisticInfo* object = owned.release();
    kova::IKovaUnknown* unknown = object;
    EXPECT_EQ(1u, unknown->AddReference());

    void* pv = nullptr;
    EXPECT_EQ(KOVA_S_OK, unknown->QueryInterface(kova::IID_IKovaUnknown, &pv));
    EXPECT_EQ(static_cast<kova::CKovaUnknownImpl*>(object), pv);
    EXPECT_EQ(2u, unknown->GetReference());

    kova::KOVA_GUID other = kova::IID_IKovaUnknown;
    other.Data4[7] ^= 1;
    pv = object;
    EXPECT_EQ(KOVA_E_NOINTERFACE, unknown->QueryInterface(other, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(KOVA_E_POINTER,
              unknown->QueryInterface(kova::IID_IKovaUnknown, nullptr));
    EXPECT_EQ(2u, unknown->GetReference());

    EXPECT_EQ(1u, unknown->ReleaseReference());
    EXPECT_EQ(0u, unknown->ReleaseReference());  // deletes; ASan checks leaks
  }
}

TEST(AudioStatisticInfoTest, CopyAssignmentCopiesTheCallIdOnly) {
  KovaAudioStatisticInfo a(1);
  KovaContentAudioStatisticInfo b(2);
  b.SetSessionValue12(12);
  const Bytes before = Image(a);
  IKovaAudioInfo& target = a;
  target = b;
  EXPECT_EQ(2u, a.GetCallId());
  EXPECT_EQ("", FirstDifference(before, Image(a)));
}

}  // namespace
}  // namespace kovaStore
