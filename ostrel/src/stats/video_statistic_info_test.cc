#include "video_statistic_info.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "stats_test_util.h"

namespace kovaStore {
namespace testing {
namespace {

using namespace video;  // NOLINT: the field names
namespace src = video::source;
typedef IKovaVideoInfo V;  // keeps the rows of the write table on one line

constexpr size_t Entry(int k, size_t offset) {
  return kKovaVideoEntrySize * k + offset;
}

Bytes Record(V& video, bool bReset = false) {
  Bytes record(kKovaVideoRecordSize);
  EXPECT_EQ(KOVA_S_OK, video.GetStatistics(record.data(), bReset));
  return record;
}

Bytes FreshRecord() {
  return Patched(Bytes(kKovaVideoRecordSize, 0), {{kMaximum, LeU32(~0u)}});
}

// Five source records, sized exactly (reads past them show under ASan): each
// u32 is unique, and every record has kind number 5.
uint32_t SourceValue(int k, size_t offset) {
  return static_cast<uint32_t>(0x50000000u + kKovaVideoSourceSize * k + offset);
}
Bytes Sources() {
  Bytes sources(kKovaVideoSourceSize * kKovaVideoMaxStreams);
  for (size_t at = 0; at < sources.size(); at += 4)
    Patch(sources, at,
          LeU32(at % kKovaVideoSourceSize == src::kKindNumber
                    ? 5
                    : SourceValue(0, at)));
  return sources;
}
const Bytes kSources = Sources();

// A run of bytes that a setter copies from source k into entry k.
struct SourceRun {
  size_t entry, source, size;
};
Patches FromSource(int k, const std::vector<SourceRun>& runs) {
  Patches patches;
  for (const SourceRun& run : runs) {
    const auto first = kSources.begin() + kKovaVideoSourceSize * k + run.source;
    patches.push_back({Entry(k, run.entry), Bytes(first, first + run.size)});
  }
  return patches;
}

// Setters that convert, combine or clamp, and bad inputs, on a record of
// 0xEE so that bytes written as zero show too; which fields each plain copy
// writes is the statistics layout test's.
TEST(VideoStatisticInfoTest, SettersConvertAndClampAndBadInputsWriteNothing) {
  const void* from = kSources.data();
  const uint32_t values[5] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4};
  // Counts above five cover the five streams and read five sources only.
  Patches all24 = {{kValue24Argument, LeU32(4)}},
          many = {{kStreamCount, LeU32(6)}};
  for (int k = 0; k < 5; ++k) {
    Append(all24, FromSource(k, {{kValue24, src::kValue24, 4}}));
    Append(many, FromSource(k, {{kCopied8, 8, 8},
                                {kValue48, src::kValue48, 4},
                                {kValues56, src::kValues56, 8},
                                {kRun92, src::kRun92, 16},
                                {kValue108, src::kValue108, 4},
                                {kValue112, src::kValue112, 4}}));
    many.push_back({Entry(k, kFloats40),
                    LeFloats({float(SourceValue(k, src::kFloat40)),
                              float(SourceValue(k, src::kFloat44))})});
  }
  const std::vector<WriteRow<V>> rows = {
      {[](V& v) { v.SetSessionFloats(3, 5, 1.25f); },
       {{kFloats, LeFloats({1.25f, 3, 5})}}},
      {[](V& v) { v.RaiseSessionMaximum(5); }, {{kMaximum, LeU32(5)}}},
      {[](V& v) { v.SetSessionPackedPair(0x00030002); },
       {{kPackedPair, LeU32s({2, 3})}}},
      {[&](V& v) { v.SetStreamValue24(4, from, 6, true); }, all24},
      {[&](V& v) { v.SetStreamsFromSource(from, 6); }, many},
      {[](V& v) { v.SetSessionWide1176(~0u); },
       {{kWide1176, LeU32s({~0u, 0})}}},
      // Bad indexes, counts and null pointers write only the session
      // fields that the setters store unconditionally.
      {[&](V& v) {
         for (int32_t index : {-1, 5}) {
           v.SetStreamValue24(0, from, index, false);
           v.SetStreamCounterBlock(0, from, index);
           v.SetStreamFromSource(from, index, true, 0);
           v.SetStreamValue52(values, static_cast<uint32_t>(index));
         }
         for (int32_t count : {0, INT_MIN}) {
           v.SetStreamValues212(values, count == 0 ? 6 : count);
           v.SetStreamValues64(values, count);
           v.SetStreamValues88(from, count);
           v.SetStreamValue24(0, from, count, true);
         }
         v.SetStreamsFromSource(from, 0);
         // One null source per shape of guard: alone, beside an index, and
         // after the count was stored.
         v.SetStreamValues88(nullptr, 5);
         v.SetStreamCounterBlock(0, nullptr, 0);
         v.SetStreamsFromSource(nullptr, 5);
         EXPECT_EQ(KOVA_E_FAIL, v.SetStatistics(nullptr));
       },
       {{kStreamCount, LeU32(5)},
        {kValue24Argument, LeU32s({0, 0})},
        {kValue1128, LeU32(0)}}},
      // Clearing keeps the call id and leaves the maximum at 0; a reset
      // does not.
      {[](V& v) { v.ClearStatistics(); },
       {{0, Bytes(kKovaVideoRecordSize, 0)}}},
      {[](V& v) {
         EXPECT_EQ(7u, v.GetCallId());
         v.ResetStatistics(9);
       },
       {{0, FreshRecord()}}}};
  const Bytes background(kKovaVideoRecordSize, 0xEE);
  for (auto& object :
       BothKinds<KovaVideoStatisticInfo, KovaContentVideoStatisticInfo>(7)) {
    EXPECT_EQ("", FirstDifference(FreshRecord(), Record(*object)));
    ExpectWrites<V>(
        *object, [](V& v) { return Record(v); },
        [&background](V& v) { v.SetStatistics(background.data()); }, rows);
    EXPECT_EQ(9u, object->GetCallId());
  }
}

TEST(VideoStatisticInfoTest, KindNumbersMapToKindCodes) {
  KovaVideoStatisticInfo video(1);
  const std::pair<int32_t, uint32_t> rows[] = {{0, 100}, {1, 101}, {4, 103},
                                               {5, 102}, {6, 104}, {2, 0},
                                               {3, 0},   {7, 0},   {-1, 0}};
  for (const auto& row : rows) {
    video.SetStreamCountAndKind(0, row.first);
    EXPECT_EQ(row.second, ReadRecordU32(Record(video).data(), kSessionKind))
        << row.first;
  }
}

TEST(VideoStatisticInfoTest, ResettingReadsHandOutDeltasAcrossWraparound) {
  KovaVideoStatisticInfo video(1);
  Bytes sources = kSources;
  uint8_t* stream1 = sources.data() + kKovaVideoSourceSize;
  auto setStream1 = [&](uint32_t counter, uint32_t base) {
    WriteRecordU32(stream1, src::kRun20, base);        // entry +20
    WriteRecordU32(stream1, src::kValue88, base + 2);  // entry +88
    for (size_t m = 0; m < kCounterCount; ++m)
      WriteRecordU32(stream1, src::kCounterBlock + 4 * m, counter + m);
    video.SetStreamFromSource(sources.data(), 1, false, 0);
    video.SetStreamCounterBlock(0, sources.data(), 1);
  };
  video.SetStreamCountAndKind(2, 0);
  video.SetStreamsFromSource(sources.data(), 2);
  setStream1(0xFFFFFFF0u, 0xFFFFFFFEu);
  video.RaiseSessionMaximum(5);

  // First read: full values; the per-interval fields are handed out once.
  const size_t e1 = Entry(1, 0), maximum = kMaximum - e1;
  ExpectU32s(Record(video, true), e1,
             {{kCounterBlock, 0xFFFFFFF0u},
              {kLastCounter, 0xFFFFFFFAu},
              {kDelta20, 0xFFFFFFFEu},
              {kInterval164, SourceValue(1, src::kRun164)},
              {maximum, 5}});
  // The object keeps running totals and cleared the per-interval fields.
  ExpectU32s(Record(video), e1,
             {{kCounterBlock, 0xFFFFFFF0u},
              {kInterval164, 0},
              {kDelta20, 0},
              {maximum, 0xFFFFFFFF}});

  // The counters wrap past 2^32; the deltas are still the change.
  setStream1(0x00000010u, 0x00000005u);
  ExpectU32s(Record(video), e1, {{kCounterBlock, 0x10}});  // no snapshot
  ExpectU32s(Record(video, true), e1,
             {{kCounterBlock, 0x20}, {kValue88, 7}, {kDelta20, 7}});
  ExpectU32s(Record(video, true), e1, {{kCounterBlock, 0}, {kDelta20, 0}});

  // A reset of the stream restarts its deltas and zeroes its counters.
  setStream1(0x100u, 0);
  Record(video, true);
  video.SetStreamFromSource(sources.data(), 1, true, 0);
  ExpectU32s(Record(video), e1, {{kCounterBlock, 0}});
  video.SetStreamCounterBlock(0, sources.data(), 1);
  ExpectU32s(Record(video, true), e1, {{kCounterBlock, 0x100}});

  // A count copied in whole records stops the deltas at the fifth stream.
  const Bytes wild(kKovaVideoRecordSize, 0xFF);
  video.SetStatistics(wild.data());
  const size_t last = Entry(kKovaVideoMaxStreams - 1, kCounterBlock);
  ExpectU32s(Record(video, true), last, {{0, 0xFFFFFFFF}});
  ExpectU32s(Record(video, true), last, {{0, 0}});
}

}  // namespace
}  // namespace testing
}  // namespace kovaStore
