#include <gtest/gtest.h>
#include <ostrel/cpp/statistics.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ostrel {
namespace {

using kovaStore::IKovaAudioInfo;
using kovaStore::IKovaMediaInfo;
using kovaStore::IKovaVideoInfo;
using A = IKovaAudioInfo;
using V = IKovaVideoInfo;

uint64_t bitsOf(float f) {
  uint32_t raw;
  std::memcpy(&raw, &f, sizeof(raw));
  return raw;
}

// One setter call and the fields it writes: offset (in the kind's own terms)
// and the value it must then decode to, pair after pair.
struct Write {
  const char* setter;
  std::vector<uint64_t> fields;
  std::function<void()> call;
};

// Runs every write in order, then decodes and compares each field of the
// kind and stream: the last write to it, or its initial value. Every field
// a setter writes must be written by some row, and by a setter that its
// layout names.
void expectDecodeMatches(RecordKind kind, int32_t stream,
                         const std::vector<Write>& writes,
                         const std::function<std::vector<Field>()>& decode,
                         const std::map<uint32_t, uint64_t>& initial = {}) {
  std::map<uint32_t, uint64_t> expected = initial;
  std::map<uint32_t, std::string> writers;
  for (const Write& write : writes) {
    write.call();
    for (size_t k = 0; k + 1 < write.fields.size(); k += 2) {
      expected[write.fields[k]] = write.fields[k + 1];
      writers[write.fields[k]] = write.setter;
    }
  }
  size_t seen = 0;
  for (const Field& field : decode()) {
    if (field.layout->record != kind || field.stream != stream) continue;
    ++seen;
    const uint32_t offset = field.layout->offset;
    SCOPED_TRACE(field.Label());
    const auto it = expected.find(offset);
    EXPECT_EQ(it == expected.end() ? 0 : it->second, field.bits);
    if (field.layout->setter[0] != '\0') {
      ASSERT_EQ(1u, writers.count(offset)) << "no row writes this field";
      EXPECT_NE(std::string::npos,
                std::string(field.layout->setter).find(writers[offset]));
    }
  }
  EXPECT_EQ(FieldLayouts(kind).size(), seen);
}

class StatisticsDecodeTest : public ::testing::Test {
 protected:
  template <class Info>
  Info* create(kovaStore::KovaMediaStatType type, uint32_t callId) {
    IKovaMediaInfo* p = nullptr;
    EXPECT_EQ(KOVA_S_OK, kovaStore::createOstrelEntity(type, callId, &p));
    m_release.push_back(
        [=] { kovaStore::releaseOstrelEntity(type, callId, p); });
    return static_cast<Info*>(p);
  }
  void TearDown() override {
    for (const auto& release : m_release) release();
  }
  std::vector<std::function<void()>> m_release;
};

// A setter of the one field at offset, called with value.
template <class Info, class T>
Write scalar(const char* setter, Info* info, void (Info::*set)(T),
             uint32_t offset, T value) {
  return {setter, {offset, static_cast<uint64_t>(value)}, [=] {
            (info->*set)(value);
          }};
}

// A setter of three float fields at offset, offset + 4 and offset + 8.
Write levels(const char* setter, IKovaAudioInfo* a,
             void (IKovaAudioInfo::*set)(float, float, float),
             uint32_t offset) {
  const float f = offset / 4.f;
  return {
      setter,
      {offset, bitsOf(f), offset + 4, bitsOf(-f), offset + 8, bitsOf(f + .5f)},
      [=] { (a->*set)(f, -f, f + .5f); }};
}

TEST_F(StatisticsDecodeTest, AudioSessionFieldsAreWhatTheSettersWrote) {
  auto* a = create<IKovaAudioInfo>(kovaStore::KovaMediaStat_Audio, 8101);
  uint8_t descriptor[kovaStore::kKovaAudioDescriptorSize] = {};
  kovaStore::WriteRecordU8(descriptor, 0, 0x11);
  kovaStore::WriteRecordU32(descriptor, 4, 0x22);
  kovaStore::WriteRecordI32(descriptor, 8, 9);  // codec code 5
  for (uint32_t off = 12; off <= 24; off += 4)
    kovaStore::WriteRecordU32(descriptor, off, 0x100 + off);
  const std::vector<Write> writes = {
      {"SetSessionDescriptor",
       {0, 0x11, 4, 0x22, 16, 5, 56, 0x10C, 96, 0x110, 100, 0x114, 104, 0x118},
       [&] { a->SetSessionDescriptor(descriptor); }},
      scalar("SetSessionValue12", a, &A::SetSessionValue12, 12, 12u),
      scalar("SetSessionValue116", a, &A::SetSessionValue116, 116, 116u),
      levels("SetSessionLevelsA", a, &A::SetSessionLevelsA, 60),
      levels("SetSessionLevelsB", a, &A::SetSessionLevelsB, 72),
      levels("SetSessionLevelsC", a, &A::SetSessionLevelsC, 84),
      scalar("SetSessionFlag", a, &A::SetSessionFlag, 0, uint8_t{0x12}),
      scalar("SetSessionValue56", a, &A::SetSessionValue56, 56, 56u),
  };
  expectDecodeMatches(RecordKind::kAudioSession, -1, writes,
                      [&] { return DecodeAudio(*a); }, {{112, 20}});
  EXPECT_EQ(9, DecodeAudio(*a)[3].number) << "codec code 5 is codec 9";
  EXPECT_EQ("5 (codec 9)", DecodeAudio(*a)[3].Text());
}

TEST_F(StatisticsDecodeTest, AudioStreamFieldsAreWhatTheSettersWrote) {
  auto* a = create<IKovaAudioInfo>(kovaStore::KovaMediaStat_ContentAudio, 8102);
  uint8_t source[kovaStore::kKovaAudioCounterSourceSize] = {};
  for (uint32_t off : {8u, 12u, 16u, 32u, 36u, 40u, 44u, 48u})
    kovaStore::WriteRecordU32(source, off, 0x1000 + off);
  const std::vector<Write> writes = {
      {"SetStreamFlagAndValue",
       {0, 0x21, 4, 400},
       [&] { a->SetStreamFlagAndValue(3, 0x21, 400); }},
      {"SetStreamFlag", {0, 0x22}, [&] { a->SetStreamFlag(3, 0x22); }},
      {"SetStreamValue12", {12, 12}, [&] { a->SetStreamValue12(3, 12); }},
      {"SetStreamCodec", {16, 8}, [&] { a->SetStreamCodec(3, 103); }},
      {"SetStreamCounters",
       {8,   0x1020, 112, 0x1024, 120, 0x100C, 124, 0x1008, 128, 0x1010,
        132, 0x1028, 136, 0x102C, 140, 0x1030, 108, 0x31,   109, 0x32},
       [&] { a->SetStreamCounters(3, source, 0x31, 0x32); }},
      {"SetStreamTriple",
       {196, 1, 200, 2, 204, 3},
       [&] { a->SetStreamTriple(3, 1, 2, 3); }},
  };
  expectDecodeMatches(RecordKind::kAudioStream, 3, writes,
                      [&] { return DecodeAudio(*a, nullptr, true); });
}

TEST_F(StatisticsDecodeTest, AudioAuxiliaryFieldsAreWhatTheSetterWrote) {
  auto* a = create<IKovaAudioInfo>(kovaStore::KovaMediaStat_Audio, 8103);
  uint8_t aux[kovaStore::kKovaAudioAuxiliarySize] = {};
  Write write{"SetAuxiliary", {}, [&] { a->SetAuxiliary(5, aux); }};
  for (const FieldLayout& layout : FieldLayouts(RecordKind::kAudioAuxiliary)) {
    const bool bByte = layout.type == FieldType::kU8;
    const uint32_t value = (bByte ? 0x40 : 0x7000) + layout.offset;
    if (bByte)
      kovaStore::WriteRecordU8(aux, layout.offset, static_cast<uint8_t>(value));
    else
      kovaStore::WriteRecordU32(aux, layout.offset, value);
    write.fields.insert(write.fields.end(), {layout.offset, value});
  }
  EXPECT_EQ(21u, write.fields.size() / 2);
  expectDecodeMatches(RecordKind::kAudioAuxiliary, 5, {write},
                      [&] { return DecodeAudio(*a); });
}

// Fields copied from a source record at base: field offset, source offset.
void copy(std::vector<uint64_t>& fields, uint64_t base,
          std::vector<uint64_t> pairs) {
  for (size_t k = 1; k < pairs.size(); k += 2) pairs[k] += base;
  fields.insert(fields.end(), pairs.begin(), pairs.end());
}
// `count` u32 fields from `field` on, copied from `source` on.
void copyRun(std::vector<uint64_t>& fields, uint64_t base, uint32_t field,
             uint32_t source, uint32_t count) {
  for (uint32_t k = 0; k < 4 * count; k += 4)
    fields.insert(fields.end(), {field + k, base + source + k});
}

// Video stream sources: record i's u32 at `off` holds base + 1000 i + off.
std::vector<uint8_t> videoSources(uint32_t base) {
  std::vector<uint8_t> sources(kovaStore::kKovaVideoSourceSize * 5);
  for (uint32_t i = 0; i < 5; ++i) {
    uint8_t* record = sources.data() + kovaStore::kKovaVideoSourceSize * i;
    for (uint32_t off = 0; off + 4 <= 356; off += 4)
      kovaStore::WriteRecordU32(record, off, base + 1000 * i + off);
    kovaStore::WriteRecordU8(record, 80, static_cast<uint8_t>(0x50 + i));
    kovaStore::WriteRecordI32(record, 356, 5);  // kind code 102
  }
  return sources;
}

TEST_F(StatisticsDecodeTest, VideoStreamFieldsAreWhatTheSettersWrote) {
  auto* v = create<IKovaVideoInfo>(kovaStore::KovaMediaStat_Video, 8104);
  const std::vector<uint8_t> one = videoSources(100000);
  const std::vector<uint8_t> many = videoSources(200000);
  const uint32_t values[5] = {11, 12, 13, 14, 15};
  const uint32_t s1 = 100000 + 1000, m1 = 200000 + 1000;  // stream 1's bases
  std::vector<uint64_t> fromSource = {36, 0x51, 160, 102};
  copy(fromSource, s1,
       {0,  0,  4,  4,  8,  8,   12,  12,  16,  52,  20,  64,  24,  68,  28,
        72, 32, 76, 88, 92, 112, 128, 164, 264, 168, 268, 196, 256, 200, 260});
  copyRun(fromSource, s1, 72, 196, 4);
  copyRun(fromSource, s1, 92, 180, 4);
  copyRun(fromSource, s1, 172, 272, 6);
  std::vector<uint64_t> fromMany = {40, bitsOf(static_cast<float>(m1 + 48)), 44,
                                    bitsOf(static_cast<float>(m1 + 44))};
  copy(fromMany, m1,
       {8, 8, 12, 12, 48, 60, 56, 84, 60, 88, 108, 104, 112, 128});
  copyRun(fromMany, m1, 92, 180, 4);
  std::vector<uint64_t> block = {28, s1 + 72};
  copyRun(block, s1, 116, 212, 11);
  const std::vector<Write> writes = {
      {"SetStreamFromSource", fromSource,
       [&] { v->SetStreamFromSource(one.data(), 1, false, 77); }},
      {"SetStreamsFromSource", fromMany,
       [&] { v->SetStreamsFromSource(many.data(), 2); }},
      {"SetStreamValue24",
       {24, s1 + 68},
       [&] { v->SetStreamValue24(2424, one.data(), 1, false); }},
      {"SetStreamCounterBlock", block,
       [&] { v->SetStreamCounterBlock(1108, one.data(), 1); }},
      {"SetStreamValue52", {52, 12}, [&] { v->SetStreamValue52(values, 1); }},
      {"SetStreamValues64", {64, 12}, [&] { v->SetStreamValues64(values, 2); }},
      {"SetStreamValues88",
       {88, m1 + 92},
       [&] { v->SetStreamValues88(many.data(), 2); }},
      {"SetStreamValues212",
       {212, 12},
       [&] { v->SetStreamValues212(values, 5); }},
  };
  expectDecodeMatches(RecordKind::kVideoStream, 1, writes,
                      [&] { return DecodeVideo(*v); });
}

TEST_F(StatisticsDecodeTest, VideoSessionFieldsAreWhatTheSettersWrote) {
  auto* v = create<IKovaVideoInfo>(kovaStore::KovaMediaStat_ContentVideo, 8105);
  const std::vector<uint8_t> sources = videoSources(300000);
  const std::vector<Write> writes = {
      {"SetSessionFloats",
       {1096, bitsOf(3.f), 1100, bitsOf(4.f), 1092, bitsOf(5.5f)},
       [&] { v->SetSessionFloats(3, 4, 5.5f); }},
      {"SetSessionTriple",
       {1208, 1, 1212, 2, 1216, 3},
       [&] { v->SetSessionTriple(1, 2, 3); }},
      scalar("SetSessionValue1120", v, &V::SetSessionValue1120, 1120, 1120u),
      {"RaiseSessionMaximum",
       {1356, 9},
       [&] {
         v->RaiseSessionMaximum(9);
         v->RaiseSessionMaximum(4);
       }},
      scalar("SetSessionValue1336", v, &V::SetSessionValue1336, 1336, 1336u),
      {"SetSessionPackedPair",
       {1084, 2, 1088, 3},
       [&] { v->SetSessionPackedPair((3u << 16) | 2u); }},
      scalar("SetSessionFlag1140", v, &V::SetSessionFlag1140, 1140,
             uint8_t{0x40}),
      {"SetStreamCountAndKind",
       {1080, 2, 1236, 103},
       [&] { v->SetStreamCountAndKind(2, 4); }},
      {"SetStreamValue24",
       {1104, 2424},
       [&] { v->SetStreamValue24(2424, sources.data(), 0, false); }},
      {"SetStreamCounterBlock",
       {1108, 1108},
       [&] { v->SetStreamCounterBlock(1108, sources.data(), 0); }},
      scalar("SetSessionValue1128", v, &V::SetSessionValue1128, 1128, 1128u),
      scalar("SetSessionWide1176", v, &V::SetSessionWide1176, 1176,
             0xFFFFFFFFu),
      scalar("SetSessionWide1192", v, &V::SetSessionWide1192, 1192, 1192u),
      {"SetSessionSummary",
       {1168, bitsOf(1.25f), 1160, bitsOf(2.5f), 1116, 1116, 1236, 104, 1224,
        1224, 1204, 1204, 1340, 1340},
       [&] { v->SetSessionSummary(1.25f, 2.5f, 1116, 6, 1224, 1204, 1340); }},
  };
  expectDecodeMatches(RecordKind::kVideoSession, -1, writes,
                      [&] { return DecodeVideo(*v); });
  const std::vector<Field> fields = DecodeVideo(*v);
  EXPECT_EQ("104 (kind 6)", fields[21].Text());
  // Only stream 0 was written: the other four entries are left out.
  EXPECT_EQ(FieldLayouts(RecordKind::kVideoSession).size() +
                FieldLayouts(RecordKind::kVideoStream).size(),
            DecodeVideo(*v, nullptr, true).size());
}

// Names of the host's own, from C++ or a JSON file, label the fields; a
// malformed file or an unknown field adds none of its names.
TEST(FieldNamesTest, HostNamesLabelFieldsAndBadFilesAddNothing) {
  FieldNames names;
  names.Set(RecordKind::kAudioSession, 12, "jitterMs");
  std::string error;
  EXPECT_TRUE(names.LoadJson(
      R"({ "video.stream+88": "frames\u00e9", "audio.stream+16" : "codec" })",
      &error))
      << error;
  ASSERT_NE(nullptr, names.Find(RecordKind::kVideoStream, 88));
  EXPECT_EQ("frames\xC3\xA9", *names.Find(RecordKind::kVideoStream, 88));
  for (const char* bad :
       {R"({"video.stream+89": "x"})", R"({"audio.session+12": 3})",
        R"({"nothing+12": "x"})", R"({"audio.session+4": "x",})",
        R"({"audio.session+4": "x"} trailing)", "[]"}) {
    FieldNames fresh;
    EXPECT_FALSE(fresh.LoadJson(bad, &error)) << bad;
    EXPECT_TRUE(fresh.empty()) << bad;
    EXPECT_FALSE(error.empty());
  }

  uint8_t record[kovaStore::kKovaAudioRecordSize] = {};
  const std::vector<Field> fields =
      DecodeRecord(RecordKind::kAudioSession, -1, record, &names);
  EXPECT_EQ("jitterMs", fields[2].Label());
  EXPECT_EQ("audio.session+16", fields[3].Label());
  EXPECT_EQ("0 (no codec)", fields[3].Text());
  const std::vector<Field> stream =
      DecodeRecord(RecordKind::kAudioStream, 4, record, &names);
  EXPECT_EQ("codec", stream[4].Label());
  EXPECT_EQ("audio.stream[4]+0", stream[0].Label());
}

}  // namespace
}  // namespace ostrel
