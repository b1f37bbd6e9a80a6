#include "video_statistic_info.h"

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
using testing::LeU64;
using testing::Patch;

size_t Entry(int k, size_t offset) { return kKovaVideoEntrySize * k + offset; }

Bytes Record(IKovaVideoInfo& video) {
  Bytes record(kKovaVideoRecordSize);
  EXPECT_EQ(KOVA_S_OK, video.GetStatistics(record.data(), false));
  return record;
}

Bytes ResettingRead(IKovaVideoInfo& video) {
  Bytes record(kKovaVideoRecordSize);
  EXPECT_EQ(KOVA_S_OK, video.GetStatistics(record.data(), true));
  return record;
}

Bytes FreshRecord() {
  Bytes record(kKovaVideoRecordSize, 0);
  Patch(record, 1356, LeU32(0xFFFFFFFF));
  return record;
}

// Five source records, sized exactly (reads past them show under ASan). The
// u32 at offset o of record k is 0xS0kk0ooo-like: unique per field.
uint32_t SourceValue(int k, size_t offset) {
  return 0x50000000u + (static_cast<uint32_t>(k) << 16) +
         static_cast<uint32_t>(offset);
}
std::vector<uint8_t> Sources() {
  std::vector<uint8_t> sources(kKovaVideoSourceSize * kKovaVideoMaxStreams);
  for (int k = 0; k < kKovaVideoMaxStreams; ++k) {
    for (size_t offset = 0; offset < kKovaVideoSourceSize; offset += 4) {
      WriteRecordU32(sources.data() + kKovaVideoSourceSize * k, offset,
                     SourceValue(k, offset));
    }
    // Kind numbers 0, 1, 4, 5, 6 for streams 0 to 4.
    const int32_t kinds[] = {0, 1, 4, 5, 6};
    WriteRecordI32(sources.data() + kKovaVideoSourceSize * k, 356, kinds[k]);
  }
  return sources;
}
const uint32_t kKindCodes[] = {100, 101, 103, 102, 104};

std::vector<std::unique_ptr<KovaVideoStatisticInfo>> BothKinds(uint32_t id) {
  std::vector<std::unique_ptr<KovaVideoStatisticInfo>> objects;
  objects.emplace_back(new KovaVideoStatisticInfo(id));
  objects.emplace_back(new KovaContentVideoStatisticInfo(id));
  return objects;
}

TEST(VideoStatisticInfoTest, FreshResetAndClearedRecords) {
  for (auto& object : BothKinds(7)) {
    IKovaVideoInfo& video = *object;
    EXPECT_EQ(7u, video.GetCallId());
    EXPECT_EQ("", FirstDifference(FreshRecord(), Record(video)));
    EXPECT_EQ(0u, object->GetReference());

    Bytes noise(kKovaVideoRecordSize, 0x5A);
    video.SetStatistics(noise.data());
    video.ClearStatistics();
    EXPECT_EQ(7u, video.GetCallId());
    EXPECT_EQ("",
              FirstDifference(Bytes(kKovaVideoRecordSize, 0), Record(video)));

    video.SetStatistics(noise.data());
    video.ResetStatistics(9);
    EXPECT_EQ(9u, video.GetCallId());
    EXPECT_EQ("", FirstDifference(FreshRecord(), Record(video)));
  }
}

struct SetterCase {
  const char* name;
  std::function<void(IKovaVideoInfo&)> call;
  std::vector<std::pair<size_t, Bytes>> patches;
};

// Patches for entry k's field at `offset` taken from source k at `source`.
void FromSource(std::vector<std::pair<size_t, Bytes>>& patches, int k,
                size_t offset, size_t source, int count = 1) {
  for (int i = 0; i < count; ++i) {
    patches.push_back(
        {Entry(k, offset + 4 * i), LeU32(SourceValue(k, source + 4 * i))});
  }
}

std::vector<SetterCase> SetterCases() {
  static const std::vector<uint8_t> sources = Sources();
  static const uint32_t values[5] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4};
  const void* src = sources.data();

  std::vector<std::pair<size_t, Bytes>> one;  // SetStreamFromSource(1)
  FromSource(one, 1, 0, 0, 4);
  FromSource(one, 1, 16, 52);
  FromSource(one, 1, 20, 64);
  FromSource(one, 1, 24, 68, 3);
  one.push_back({Entry(1, 36), {static_cast<uint8_t>(SourceValue(1, 80))}});
  FromSource(one, 1, 72, 196, 4);
  FromSource(one, 1, 88, 92);
  FromSource(one, 1, 92, 180, 4);
  FromSource(one, 1, 112, 128);
  one.push_back({Entry(1, 160), LeU32(kKindCodes[1])});
  FromSource(one, 1, 164, 264, 8);
  FromSource(one, 1, 196, 256, 2);
  one.push_back({1128, LeU32(0x1128)});

  std::vector<std::pair<size_t, Bytes>> many = {{1080, LeU32(2)}};
  for (int k = 0; k < 2; ++k) {
    FromSource(many, k, 8, 8, 2);
    many.push_back({Entry(k, 40), LeFloat(float(SourceValue(k, 48)))});
    many.push_back({Entry(k, 44), LeFloat(float(SourceValue(k, 44)))});
    FromSource(many, k, 48, 60);
    FromSource(many, k, 56, 84, 2);
    FromSource(many, k, 92, 180, 4);
    FromSource(many, k, 108, 104);
    FromSource(many, k, 112, 128);
  }

  std::vector<std::pair<size_t, Bytes>> block = {{1108, LeU32(8)}};
  FromSource(block, 4, 28, 72);
  FromSource(block, 4, 116, 212, 11);

  std::vector<std::pair<size_t, Bytes>> all212, some24 = {{1104, LeU32(4)}},
                                                some88;
  for (int k = 0; k < 5; ++k)
    all212.push_back({Entry(k, 212), LeU32(values[k])});
  for (int k = 0; k < 3; ++k) FromSource(some24, k, 24, 68);
  for (int k = 0; k < 3; ++k) FromSource(some88, k, 88, 92);

  return {
      {"SetSessionFloats",
       [](IKovaVideoInfo& v) { v.SetSessionFloats(3, 5, 1.25f); },
       {{1096, LeFloat(3.0f)}, {1100, LeFloat(5.0f)}, {1092, LeFloat(1.25f)}}},
      {"SetSessionTriple",
       [](IKovaVideoInfo& v) { v.SetSessionTriple(1, 2, 3); },
       {{1208, LeU32(1)}, {1212, LeU32(2)}, {1216, LeU32(3)}}},
      {"SetSessionValue1120",
       [](IKovaVideoInfo& v) { v.SetSessionValue1120(11); },
       {{1120, LeU32(11)}}},
      {"RaiseSessionMaximum",
       [](IKovaVideoInfo& v) { v.RaiseSessionMaximum(5); },
       {{1356, LeU32(5)}}},
      {"SetSessionValue1336",
       [](IKovaVideoInfo& v) { v.SetSessionValue1336(13); },
       {{1336, LeU32(13)}}},
      {"SetSessionPackedPair",
       [](IKovaVideoInfo& v) { v.SetSessionPackedPair(0x00030002); },
       {{1084, LeU32(2)}, {1088, LeU32(3)}}},
      {"SetSessionFlag1140",
       [](IKovaVideoInfo& v) { v.SetSessionFlag1140(0x41); },
       {{1140, {0x41}}}},
      {"SetStreamValues212",
       [](IKovaVideoInfo& v) { v.SetStreamValues212(values, 5); }, all212},
      {"SetStreamValue24 one",
       [src](IKovaVideoInfo& v) { v.SetStreamValue24(4, src, 2, false); },
       {{1104, LeU32(4)}, {Entry(2, 24), LeU32(SourceValue(2, 68))}}},
      {"SetStreamValue24 all",
       [src](IKovaVideoInfo& v) { v.SetStreamValue24(4, src, 3, true); },
       some24},
      {"SetStreamCounterBlock",
       [src](IKovaVideoInfo& v) { v.SetStreamCounterBlock(8, src, 4); }, block},
      {"SetStreamValue52",
       [](IKovaVideoInfo& v) { v.SetStreamValue52(values, 3); },
       {{Entry(3, 52), LeU32(values[3])}}},
      {"SetStreamValues64",
       [](IKovaVideoInfo& v) { v.SetStreamValues64(values, 2); },
       {{Entry(0, 64), LeU32(values[0])}, {Entry(1, 64), LeU32(values[1])}}},
      {"SetStreamCountAndKind",
       [](IKovaVideoInfo& v) { v.SetStreamCountAndKind(2, 5); },
       {{1080, LeU32(2)}, {1236, LeU32(102)}}},
      {"SetStreamFromSource",
       [src](IKovaVideoInfo& v) {
         v.SetStreamFromSource(src, 1, false, 0x1128);
       },
       one},
      {"SetStreamsFromSource",
       [src](IKovaVideoInfo& v) { v.SetStreamsFromSource(src, 2); }, many},
      {"SetStreamValues88",
       [src](IKovaVideoInfo& v) { v.SetStreamValues88(src, 3); }, some88},
      {"SetSessionValue1128",
       [](IKovaVideoInfo& v) { v.SetSessionValue1128(28); },
       {{1128, LeU32(28)}}},
      {"SetSessionWide1176",
       [](IKovaVideoInfo& v) { v.SetSessionWide1176(0xFFFFFFFF); },
       {{1176, LeU64(0xFFFFFFFF)}}},
      {"SetSessionWide1192",
       [](IKovaVideoInfo& v) { v.SetSessionWide1192(0x80000000); },
       {{1192, LeU64(0x80000000)}}},
      {"SetSessionSummary",
       [](IKovaVideoInfo& v) {
         v.SetSessionSummary(1.5f, 2.5f, 3, 6, 4, 5, 6);
       },
       {{1168, LeFloat(1.5f)},
        {1160, LeFloat(2.5f)},
        {1116, LeU32(3)},
        {1236, LeU32(104)},
        {1224, LeU32(4)},
        {1204, LeU32(5)},
        {1340, LeU32(6)}}},
  };
}

TEST(VideoStatisticInfoTest, EachSetterWritesItsOwnFieldsAndNothingElse) {
  // The record starts as all 0xEE, so that fields written as zero (the high
  // half of the wide fields) show up too.
  const Bytes background(kKovaVideoRecordSize, 0xEE);
  for (auto& object : BothKinds(1)) {
    for (const SetterCase& c : SetterCases()) {
      ASSERT_EQ(KOVA_S_OK, object->SetStatistics(background.data()));
      Bytes expected = background;
      for (const auto& patch : c.patches)
        Patch(expected, patch.first, patch.second);
      c.call(*object);
      EXPECT_EQ("", FirstDifference(expected, Record(*object))) << c.name;
    }
  }
}

TEST(VideoStatisticInfoTest, KindNumbersMapToKindCodes) {
  KovaVideoStatisticInfo object(1);
  IKovaVideoInfo& video = object;
  const int32_t numbers[] = {0, 1, 4, 5, 6, 2, 3, 7, -1, INT_MAX, INT_MIN};
  const uint32_t codes[] = {100, 101, 103, 102, 104, 0, 0, 0, 0, 0, 0};
  for (size_t i = 0; i < sizeof(numbers) / sizeof(numbers[0]); ++i) {
    video.SetStreamCountAndKind(0, numbers[i]);
    EXPECT_EQ(codes[i], ReadRecordU32(Record(video).data(), 1236))
        << numbers[i];
  }
  std::vector<uint8_t> sources = Sources();
  for (int k = 0; k < 5; ++k) {
    video.SetStreamFromSource(sources.data(), k, false, 0);
    EXPECT_EQ(kKindCodes[k],
              ReadRecordU32(Record(video).data(), Entry(k, 160)));
  }
}

TEST(VideoStatisticInfoTest, ResettingReadsHandOutDeltasAcrossWraparound) {
  KovaVideoStatisticInfo object(1);
  IKovaVideoInfo& video = object;
  std::vector<uint8_t> sources = Sources();
  uint8_t* stream1 = sources.data() + kKovaVideoSourceSize;
  auto setStream1 = [&](uint32_t counter, uint32_t base) {
    WriteRecordU32(stream1, 64, base);      // entry +20
    WriteRecordU32(stream1, 68, base + 1);  // entry +24
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
  Bytes r1 = ResettingRead(video);
  EXPECT_EQ(0xFFFFFFF0u, ReadRecordU32(r1.data(), Entry(1, 116)));
  EXPECT_EQ(0xFFFFFFFAu, ReadRecordU32(r1.data(), Entry(1, 156)));
  EXPECT_EQ(0x00000000u, ReadRecordU32(r1.data(), Entry(1, 88)));
  EXPECT_EQ(0xFFFFFFFEu, ReadRecordU32(r1.data(), Entry(1, 204)));
  EXPECT_EQ(0xFFFFFFFFu, ReadRecordU32(r1.data(), Entry(1, 208)));
  EXPECT_EQ(SourceValue(1, 76), ReadRecordU32(r1.data(), Entry(1, 32)));
  EXPECT_EQ(SourceValue(1, 264), ReadRecordU32(r1.data(), Entry(1, 164)));
  EXPECT_EQ(5, ReadRecordI32(r1.data(), 1356));

  // The object keeps running totals and cleared the per-interval fields.
  Bytes kept = Record(video);
  EXPECT_EQ(0xFFFFFFF0u, ReadRecordU32(kept.data(), Entry(1, 116)));
  EXPECT_EQ(0u, ReadRecordU32(kept.data(), Entry(1, 32)));
  EXPECT_EQ(0u, kept[Entry(1, 36)]);
  EXPECT_EQ(0u, ReadRecordU32(kept.data(), Entry(1, 164)));
  EXPECT_EQ(0u, ReadRecordU32(kept.data(), Entry(1, 168)));
  EXPECT_EQ(0u, ReadRecordU32(kept.data(), Entry(1, 204)));
  EXPECT_EQ(-1, ReadRecordI32(kept.data(), 1356));

  // The counters wrap past 2^32; the deltas are still the change.
  setStream1(0x00000010u, 0x00000005u);
  Bytes between = Record(video);  // a plain read changes no snapshot
  EXPECT_EQ(0x10u, ReadRecordU32(between.data(), Entry(1, 116)));
  Bytes r2 = ResettingRead(video);
  EXPECT_EQ(0x20u, ReadRecordU32(r2.data(), Entry(1, 116)));
  EXPECT_EQ(0x20u, ReadRecordU32(r2.data(), Entry(1, 156)));
  EXPECT_EQ(7u, ReadRecordU32(r2.data(), Entry(1, 88)));
  EXPECT_EQ(7u, ReadRecordU32(r2.data(), Entry(1, 204)));
  EXPECT_EQ(7u, ReadRecordU32(r2.data(), Entry(1, 208)));

  Bytes r3 = ResettingRead(video);
  EXPECT_EQ(0u, ReadRecordU32(r3.data(), Entry(1, 116)));
  EXPECT_EQ(0u, ReadRecordU32(r3.data(), Entry(1, 88)));
  EXPECT_EQ(0u, ReadRecordU32(r3.data(), Entry(1, 204)));

  // Streams at or beyond the count are copied as they are.
  video.SetStreamCounterBlock(0, sources.data(), 2);
  Bytes r4 = ResettingRead(video);
  EXPECT_EQ(SourceValue(2, 212), ReadRecordU32(r4.data(), Entry(2, 116)));
  EXPECT_EQ(SourceValue(2, 212),
            ReadRecordU32(ResettingRead(video).data(), Entry(2, 116)));

  // A reset of the stream restarts its deltas and zeroes its counters.
  setStream1(0x100u, 0);
  ResettingRead(video);
  video.SetStreamFromSource(sources.data(), 1, true, 0);
  EXPECT_EQ(0u, ReadRecordU32(Record(video).data(), Entry(1, 116)));
  video.SetStreamCounterBlock(0, sources.data(), 1);
  EXPECT_EQ(0x100u, ReadRecordU32(ResettingRead(video).data(), Entry(1, 116)));
}

TEST(VideoStatisticInfoTest,
     HostileIndexesCountsAndPointersStayInsideTheRecord) {
  KovaVideoStatisticInfo object(1);
  IKovaVideoInfo& video = object;
  std::vector<uint8_t> sources = Sources();
  std::vector<uint32_t> values = {1, 2, 3, 4, 5};
  const Bytes fresh = Record(video);

  for (int32_t index : {-1, 5, 19, 20, INT_MAX, INT_MIN}) {
    video.SetStreamValue24(0, sources.data(), index, false);
    video.SetStreamCounterBlock(0, sources.data(), index);
    video.SetStreamFromSource(sources.data(), index, true, 0);
    video.SetStreamValue52(values.data(), static_cast<uint32_t>(index));
  }
  for (int32_t count : {0, -1, 6, 19, 20, INT_MAX, INT_MIN}) {
    video.SetStreamValues212(values.data(), count);
  }
  for (int32_t count : {0, -1, INT_MIN}) {
    video.SetStreamValues64(values.data(), count);
    video.SetStreamValues88(sources.data(), count);
    video.SetStreamValue24(0, sources.data(), count, true);
  }
  video.SetStreamsFromSource(sources.data(), 0);
  video.SetStreamValues212(nullptr, 5);
  video.SetStreamValue52(nullptr, 0);
  video.SetStreamValues64(nullptr, 5);
  video.SetStreamValues88(nullptr, 5);
  video.SetStreamValue24(0, nullptr, 0, false);
  video.SetStreamValue24(0, nullptr, 5, true);
  video.SetStreamCounterBlock(0, nullptr, 0);
  video.SetStreamFromSource(nullptr, 0, true, 0);
  video.SetStreamsFromSource(nullptr, 5);
  EXPECT_EQ(KOVA_E_FAIL, video.SetStatistics(nullptr));
  EXPECT_EQ(KOVA_E_FAIL, video.GetStatistics(nullptr, true));
  EXPECT_EQ(KOVA_E_FAIL, video.ReservedA());
  EXPECT_EQ(KOVA_E_FAIL, video.ReservedB());
  Bytes expected = fresh;
  Patch(expected, 1080, LeU32(5));  // the count is stored as given
  EXPECT_EQ("", FirstDifference(expected, Record(video)));

  // Counts above five cover the five streams and read five sources only.
  for (int32_t count : {6, 20, INT_MAX}) {
    video.ResetStatistics(1);
    video.SetStreamValues64(values.data(), count);
    video.SetStreamValues88(sources.data(), count);
    video.SetStreamValue24(0, sources.data(), count, true);
    video.SetStreamsFromSource(sources.data(), count);
    Bytes record = Record(video);
    EXPECT_EQ(static_cast<uint32_t>(count), ReadRecordU32(record.data(), 1080));
    EXPECT_EQ(5u, ReadRecordU32(record.data(), Entry(4, 64)));
    EXPECT_EQ(SourceValue(4, 92), ReadRecordU32(record.data(), Entry(4, 88)));
    EXPECT_EQ(SourceValue(4, 68), ReadRecordU32(record.data(), Entry(4, 24)));
    EXPECT_EQ(SourceValue(4, 128), ReadRecordU32(record.data(), Entry(4, 112)));
    ResettingRead(video);  // a count above five stops at the fifth stream
  }

  // A count written by a whole-record copy is bounded the same way.
  Bytes wild(kKovaVideoRecordSize, 0xFF);
  video.SetStatistics(wild.data());
  Bytes first = ResettingRead(video);
  EXPECT_EQ(0u, ReadRecordU32(ResettingRead(video).data(), Entry(4, 116)));
  EXPECT_EQ(0xFFFFFFFFu, ReadRecordU32(first.data(), Entry(4, 116)));
}

TEST(VideoStatisticInfoTest, ReferencesAndQueryInterfaceFollowTheUnknownRules) {
  for (auto& owned : BothKinds(3)) {
    KovaVideoStatisticInfo* object = owned.release();
    kova::IKovaUnknown* unknown = object;
    EXPECT_EQ(1u, unknown->AddReference());
    void* pv = nullptr;
    EXPECT_EQ(KOVA_S_OK, unknown->QueryInterface(kova::IID_IKovaUnknown, &pv));
    EXPECT_EQ(static_cast<kova::CKovaUnknownImpl*>(object), pv);
    kova::KOVA_GUID other = kova::IID_IKovaUnknown;
    other.Data1 = 1;
    EXPECT_EQ(KOVA_E_NOINTERFACE, unknown->QueryInterface(other, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(KOVA_E_POINTER, unknown->QueryInterface(other, nullptr));
    EXPECT_EQ(2u, unknown->GetReference());
    EXPECT_EQ(1u, unknown->ReleaseReference());
    EXPECT_EQ(0u, unknown->ReleaseReference());
  }
}

TEST(VideoStatisticInfoTest, CopyAssignmentCopiesCallIdAndRecords) {
  KovaVideoStatisticInfo a(1);
  KovaContentVideoStatisticInfo b(2);
  b.SetSessionValue1336(1336);
  b.SetStreamValues212(std::vector<uint32_t>{9}.data(), 1);
  IKovaVideoInfo& target = a;
  target = b;
  EXPECT_EQ(2u, a.GetCallId());
  EXPECT_EQ("", FirstDifference(Record(b), Record(a)));
  target = target;
  EXPECT_EQ("", FirstDifference(Record(b), Record(a)));
}

}  // namespace
}  // namespace kovaStore
