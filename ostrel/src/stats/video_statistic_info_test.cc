#include "video_statistic_info.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "stats_test_util.h"

namespace kovaStore {
namespace testing {
namespace {

typedef IKovaVideoInfo V;  // keeps the rows of the write table on one line

constexpr size_t Entry(int k, size_t offset) {
  return kKovaVideoEntrySize * k + offset;
}

Bytes Record(V& video, bool bReset = false) {
  Bytes record(kKovaVideoRecordSize);
  EXPECT_EQ(KOVA_S_OK, video.GetStatistics(record.data(), bReset));
  return record;
}
Bytes ResettingRead(V& video) { return Record(video, true); }

Bytes FreshRecord() {
  return Patched(Bytes(kKovaVideoRecordSize, 0), {{1356, LeU32(~0u)}});
}

// Five source records, sized exactly (reads past them show under ASan): each
// u32 is unique, and every record has kind number 5 at +356.
uint32_t SourceValue(int k, size_t offset) {
  return static_cast<uint32_t>(0x50000000u + kKovaVideoSourceSize * k + offset);
}
Bytes Sources() {
  Bytes sources(kKovaVideoSourceSize * kKovaVideoMaxStreams);
  for (size_t at = 0; at < sources.size(); at += 4)
    Patch(sources, at,
          LeU32(at % kKovaVideoSourceSize == 356 ? 5 : SourceValue(0, at)));
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

// The record is all 0xEE before each setter, so that fields written as zero
// (the high half of the wide fields) show up too.
TEST(VideoStatisticInfoTest, EachSetterWritesItsOwnFieldsAndNothingElse) {
  const void* src = kSources.data();
  const uint32_t values[5] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4};
  const std::vector<SourceRun> oneRuns = {
      {0, 0, 16},  {16, 52, 4},   {20, 64, 16},  {36, 80, 1},    {72, 196, 16},
      {88, 92, 4}, {92, 180, 16}, {112, 128, 4}, {164, 264, 32}, {196, 256, 8}};
  const std::vector<SourceRun> manyRuns = {{8, 8, 8},     {48, 60, 4},
                                           {56, 84, 8},   {92, 180, 16},
                                           {108, 104, 4}, {112, 128, 4}};
  Patches one = FromSource(1, oneRuns);
  Append(one, U32Patches(0, {{Entry(1, 160), 102}, {1128, 0x1128}}));
  Patches block = FromSource(4, {{28, 72, 4}, {116, 212, 44}});
  Append(block, U32Patches(1108, {{0, 8}}));
  // Counts above five cover the five streams and read five sources only.
  Patches all212, all24 = U32Patches(1104, {{0, 4}}),
                  many = U32Patches(1080, {{0, 6}});
  for (int k = 0; k < 5; ++k) {
    Append(all212, U32Patches(Entry(k, 212), {{0, values[k]}}));
    Append(all24, FromSource(k, {{24, 68, 4}}));
    Append(many, FromSource(k, manyRuns));
    many.push_back({Entry(k, 40), LeFloats({float(SourceValue(k, 48)),
                                            float(SourceValue(k, 44))})});
  }
  const testing::U32Fields summaryFields = {
      {1116, 3}, {1236, 104}, {1224, 4}, {1204, 5}, {1340, 6}};
  Patches summary = U32Patches(0, summaryFields);
  Append(summary, {{1160, LeFloat(2.5f)}, {1168, LeFloat(1.5f)}});
  const Patches one24 = {{1104, LeU32(4)},
                         {Entry(2, 24), LeU32(SourceValue(2, 68))}};
  const Patches wide1176 = {{1176, LeU32s({~0u, 0})}};
  const std::vector<WriteRow<V>> rows = {
      {[](V& v) { v.SetSessionFloats(3, 5, 1.25f); },
       {{1092, LeFloats({1.25f, 3, 5})}}},
      {[](V& v) { v.RaiseSessionMaximum(5); }, {{1356, LeU32(5)}}},
      {[](V& v) { v.SetSessionPackedPair(0x00030002); },
       {{1084, LeU32s({2, 3})}}},
      {[&](V& v) { v.SetStreamValues212(values, 5); }, all212},
      {[&](V& v) { v.SetStreamValue24(4, src, 2, false); }, one24},
      {[&](V& v) { v.SetStreamValue24(4, src, 6, true); }, all24},
      {[&](V& v) { v.SetStreamCounterBlock(8, src, 4); }, block},
      {[&](V& v) { v.SetStreamValue52(values, 3); },
       {{Entry(3, 52), LeU32(0xA3)}}},
      {[](V& v) { v.SetStreamCountAndKind(2, 5); },
       {{1080, LeU32(2)}, {1236, LeU32(102)}}},
      {[&](V& v) { v.SetStreamFromSource(src, 1, false, 0x1128); }, one},
      {[&](V& v) { v.SetStreamsFromSource(src, 6); }, many},
      {[](V& v) { v.SetSessionWide1176(~0u); }, wide1176},
      {[](V& v) { v.SetSessionSummary(1.5f, 2.5f, 3, 6, 4, 5, 6); }, summary},
      // Bad indexes, counts and null pointers write only the session
      // fields that the setters store unconditionally.
      {[&](V& v) {
         for (int32_t index : {-1, 5}) {
           v.SetStreamValue24(0, src, index, false);
           v.SetStreamCounterBlock(0, src, index);
           v.SetStreamFromSource(src, index, true, 0);
           v.SetStreamValue52(values, static_cast<uint32_t>(index));
         }
         for (int32_t count : {0, INT_MIN}) {
           v.SetStreamValues212(values, count == 0 ? 6 : count);
           v.SetStreamValues64(values, count);
           v.SetStreamValues88(src, count);
           v.SetStreamValue24(0, src, count, true);
         }
         v.SetStreamsFromSource(src, 0);
         // One null source per shape of guard: alone, beside an index, and
         // after the count was stored.
         v.SetStreamValues88(nullptr, 5);
         v.SetStreamCounterBlock(0, nullptr, 0);
         v.SetStreamsFromSource(nullptr, 5);
         EXPECT_EQ(KOVA_E_FAIL, v.SetStatistics(nullptr));
         EXPECT_EQ(KOVA_E_FAIL, v.ReservedA());
         EXPECT_EQ(KOVA_E_FAIL, v.ReservedB());
       },
       U32Patches(0, {{1080, 5}, {1104, 0}, {1108, 0}, {1128, 0}})},
      // Clearing keeps the call id and leaves +1356 at 0; a reset does not.
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
    EXPECT_EQ(7u, object->GetCallId());
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
    EXPECT_EQ(row.second, ReadRecordU32(Record(video).data(), 1236))
        << row.first;
  }
}

TEST(VideoStatisticInfoTest, ResettingReadsHandOutDeltasAcrossWraparound) {
  KovaVideoStatisticInfo video(1);
  Bytes sources = kSources;
  uint8_t* stream1 = sources.data() + kKovaVideoSourceSize;
  auto setStream1 = [&](uint32_t counter, uint32_t base) {
    Patch(sources, kKovaVideoSourceSize + 64,
          LeU32s({base, base + 1}));        // entry +20, +24
    WriteRecordU32(stream1, 92, base + 2);  // entry +88
    for (size_t m = 0; m < 11; ++m)
      WriteRecordU32(stream1, 212 + 4 * m, counter + m);
    video.SetStreamFromSource(sources.data(), 1, false, 0);
    video.SetStreamCounterBlock(0, sources.data(), 1);
  };
  video.SetStreamCountAndKind(2, 0);
  video.SetStreamsFromSource(sources.data(), 2);
  setStream1(0xFFFFFFF0u, 0xFFFFFFFEu);
  video.RaiseSessionMaximum(5);
  video.RaiseSessionMaximum(3);

  // First read: full values; the per-interval fields are handed out once.
  const size_t e1 = Entry(1, 0);
  const U32Fields firstRead = {
      {116, 0xFFFFFFF0u},         {156, 0xFFFFFFFAu}, {88, 0},
      {204, 0xFFFFFFFEu},         {208, 0xFFFFFFFFu}, {32, SourceValue(1, 76)},
      {164, SourceValue(1, 264)}, {1356 - e1, 5}};
  ExpectU32s(ResettingRead(video), e1, firstRead);
  // The object keeps running totals and cleared the per-interval fields.
  const Bytes kept = Record(video);
  EXPECT_EQ(0u, kept[Entry(1, 36)]);
  const U32Fields keptFields = {{116, 0xFFFFFFF0u}, {32, 0},
                                {164, 0},           {168, 0},
                                {204, 0},           {1356 - e1, 0xFFFFFFFF}};
  ExpectU32s(kept, e1, keptFields);

  // The counters wrap past 2^32; the deltas are still the change.
  setStream1(0x00000010u, 0x00000005u);
  ExpectU32s(Record(video), e1, {{116, 0x10}});  // takes no snapshot
  const U32Fields wrapped = {
      {116, 0x20}, {156, 0x20}, {88, 7}, {204, 7}, {208, 7}};
  ExpectU32s(ResettingRead(video), e1, wrapped);
  ExpectU32s(ResettingRead(video), e1, {{116, 0}, {88, 0}, {204, 0}});

  // A reset of the stream restarts its deltas and zeroes its counters.
  setStream1(0x100u, 0);
  ResettingRead(video);
  video.SetStreamFromSource(sources.data(), 1, true, 0);
  ExpectU32s(Record(video), e1, {{116, 0}});
  video.SetStreamCounterBlock(0, sources.data(), 1);
  ExpectU32s(ResettingRead(video), e1, {{116, 0x100}});
}

TEST(VideoStatisticInfoTest,
     ResettingReadsStopAtTheFifthStreamForACopiedCount) {
  KovaVideoStatisticInfo video(1);
  const Bytes wild(kKovaVideoRecordSize, 0xFF);
  video.SetStatistics(wild.data());
  ExpectU32s(ResettingRead(video), Entry(4, 116), {{0, 0xFFFFFFFF}});
  ExpectU32s(ResettingRead(video), Entry(4, 116), {{0, 0}});
}

TEST(VideoStatisticInfoTest, CopyAssignmentCopiesCallIdAndRecords) {
  KovaVideoStatisticInfo a(1);
  KovaContentVideoStatisticInfo b(2);
  b.SetSessionValue1336(1336);
  const uint32_t value = 9;
  b.SetStreamValues212(&value, 1);
  V& target = a;
  target = b;
  EXPECT_EQ(2u, a.GetCallId());
  EXPECT_EQ("", FirstDifference(Record(b), Record(a)));
  const V& self = target;
  target = self;  // the bounded copy accepts a record copied onto itself
  EXPECT_EQ("", FirstDifference(Record(b), Record(a)));
}

}  // namespace
}  // namespace testing
}  // namespace kovaStore
