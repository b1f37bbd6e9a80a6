#include "audio_statistic_info.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "stats_test_util.h"

namespace kovaStore {
namespace testing {
namespace {

using namespace audio;     // NOLINT: the field names
typedef IKovaAudioInfo A;  // keeps the rows of the write table on one line

// Offsets in the image of every record: session, 20 streams, 20 auxiliaries.
constexpr size_t Stream(int k, size_t offset) {
  return kKovaAudioRecordSize * (k + 1) + offset;
}
constexpr size_t Aux(int k) {
  return Stream(kKovaAudioStreamCount, 0) + kKovaAudioAuxiliarySize * k;
}
constexpr size_t kImageSize = Aux(kKovaAudioStreamCount);

Bytes Image(A& audio) {
  Bytes image(kImageSize);
  EXPECT_EQ(KOVA_S_OK, audio.GetStatistics(image.data(), false));
  for (int k = 0; k < kKovaAudioStreamCount; ++k) {
    EXPECT_EQ(KOVA_S_OK,
              audio.GetStreamStatistics(&image[Stream(k, 0)], k, false));
    EXPECT_EQ(KOVA_S_OK, audio.GetAuxiliary(&image[Aux(k)], k));
  }
  return image;
}

// The session defaults, -100.0 (C2C80000) spelled out byte by byte.
const Bytes kMinus100 = {0, 0, 0xC8, 0xC2, 0, 0, 0xC8, 0xC2, 0, 0, 0xC8, 0xC2};
const Patches kSessionDefaults = {{kLevelsA, kMinus100},
                                  {kLevelsB, Bytes(12, 0)},
                                  {kLevelsC, kMinus100},
                                  {kValue112, LeU32(20)}};

// Each call runs alone on an object reset before it; the reset must bring
// back exactly the fresh image. Which fields each plain copy writes is the
// statistics layout test's; here the counters taken out of order, the
// auxiliary copy that skips padding, the whole-record copy, and bad indexes
// and null pointers, which write nothing.
TEST(AudioStatisticInfoTest, CopiesSkipPaddingAndBadInputsWriteNothing) {
  // Inputs sized exactly, so that a read past them shows under ASan.
  Bytes source(kKovaAudioCounterSourceSize), aux(kKovaAudioAuxiliarySize);
  for (size_t offset = 0; offset < source.size(); offset += 4)
    Patch(source, offset, LeU32(0xC0000000 + offset));
  for (size_t i = 0; i < aux.size(); ++i) aux[i] = static_cast<uint8_t>(i + 1);
  Bytes auxStored = aux;
  for (size_t padding : {1, 2, 3, 29, 30, 31}) auxStored[padding] = 0;
  const Bytes noise(kKovaAudioRecordSize, 0x5A);
  Bytes out(kKovaAudioRecordSize, 0x44);
  const Patches counted = {
      {Stream(4, kCounter8), LeU32(0xC0000020)},
      {Stream(4, kByteA), {0xAB, 0xCD}},
      {Stream(4, kValue112), LeU32(0xC0000024)},
      {Stream(4, kInterval), LeU32s({0xC000000C, 0xC0000008, 0xC0000010,
                                     0xC0000028, 0xC000002C, 0xC0000030})}};
  const std::vector<WriteRow<A>> rows = {
      {[&](A& a) { a.SetStreamCounters(4, source.data(), 0xAB, 0xCD); },
       counted},
      {[&](A& a) { a.SetAuxiliary(5, aux.data()); }, {{Aux(5), auxStored}}},
      {[&](A& a) { EXPECT_EQ(KOVA_S_OK, a.SetStatistics(noise.data())); },
       {{0, noise}}},
      // Bad indexes and null pointers touch nothing, not even `out`.
      {[&](A& a) {
         for (int32_t index : {-1, 20, INT_MIN}) {
           a.SetStreamValue12(index, 1);
           a.SetStreamCodec(index, 0);
           a.SetStreamFlagAndValue(index, 1, 1);
           a.SetStreamCounters(index, source.data(), 1, 1);
           a.SetStreamTriple(index, 1, 1, 1);
           a.SetStreamFlag(index, 1);
           a.SetAuxiliary(index, aux.data());
           EXPECT_EQ(KOVA_E_FAIL,
                     a.GetStreamStatistics(out.data(), index, true));
           EXPECT_EQ(KOVA_E_FAIL, a.GetAuxiliary(out.data(), index));
         }
         EXPECT_EQ(KOVA_E_FAIL, a.SetStatistics(nullptr));
         EXPECT_EQ(KOVA_E_FAIL, a.GetStreamStatistics(nullptr, 0, true));
         a.SetStreamCounters(0, nullptr, 1, 1);
       },
       {}}};
  const Bytes fresh = Patched(Bytes(kImageSize, 0), kSessionDefaults);
  for (auto& object :
       BothKinds<KovaAudioStatisticInfo, KovaContentAudioStatisticInfo>(7)) {
    EXPECT_EQ("", FirstDifference(fresh, Image(*object)));
    ExpectWrites<A>(
        *object, Image, [](A& a) { a.ResetStatistics(1); }, rows);
    EXPECT_EQ(1u, object->GetCallId());
    EXPECT_EQ("", FirstDifference(fresh, Image(*object)));
  }
  EXPECT_EQ(Bytes(kKovaAudioRecordSize, 0x44), out);
}

TEST(AudioStatisticInfoTest, ResettingReadsRestoreOnlyTheirIntervalFields) {
  KovaAudioStatisticInfo object(1);
  A& audio = object;
  Bytes written(kKovaAudioRecordSize);
  for (size_t i = 0; i < written.size(); ++i)
    written[i] = static_cast<uint8_t>(i * 3 + 1);
  ASSERT_EQ(KOVA_S_OK, audio.SetStatistics(written.data()));
  Bytes first(kKovaAudioRecordSize), second(kKovaAudioRecordSize);
  ASSERT_EQ(KOVA_S_OK, audio.GetStatistics(first.data(), true));
  EXPECT_EQ("", FirstDifference(written, first));
  ASSERT_EQ(KOVA_S_OK, audio.GetStatistics(second.data(), false));
  EXPECT_EQ("", FirstDifference(Patched(written, kSessionDefaults), second));

  // A resetting stream read zeroes the interval counters and nothing else.
  const Bytes source(kKovaAudioCounterSourceSize, 0x11);
  audio.SetStreamCounters(2, source.data(), 1, 2);
  audio.SetStreamTriple(2, 4, 5, 6);
  ASSERT_EQ(KOVA_S_OK, audio.GetStreamStatistics(first.data(), 2, true));
  ASSERT_EQ(KOVA_S_OK, audio.GetStreamStatistics(second.data(), 2, true));
  EXPECT_EQ(0x11111111u, ReadRecordU32(first.data(), kInterval + 4));
  EXPECT_EQ(
      "", FirstDifference(Patched(first, {{kInterval, Bytes(12, 0)}}), second));
}

TEST(AudioStatisticInfoTest, CodecNumbersMapAndUnknownOnesLeaveTheCode) {
  KovaAudioStatisticInfo object(1);
  A& audio = object;
  Bytes record(kKovaAudioRecordSize);
  // A number without a code leaves the previous code in place.
  const std::pair<int32_t, uint32_t> rows[] = {
      {0, 1},   {8, 2},    {9, 5},       {18, 7},   {101, 4},
      {102, 3}, {103, 8},  {104, 9},     {105, 10}, {106, 11},
      {7, 11},  {107, 11}, {INT_MIN, 11}};
  for (const auto& row : rows) {
    audio.SetStreamCodec(3, row.first);
    audio.GetStreamStatistics(record.data(), 3, false);
    EXPECT_EQ(row.second, ReadRecordU32(record.data(), kCodec)) << row.first;
  }
}

}  // namespace
}  // namespace testing
}  // namespace kovaStore
