#include <gtest/gtest.h>
#include <ostrel/cpp/statistics.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ostrel/src/stats/stats_test_util.h"

namespace ostrel {
namespace {

using kovaStore::IKovaAudioInfo;
using kovaStore::IKovaMediaInfo;
using kovaStore::IKovaVideoInfo;
using A = IKovaAudioInfo;
using V = IKovaVideoInfo;
namespace audio = kovaStore::testing::audio;
namespace video = kovaStore::testing::video;

// One setter call, under the writer's name the layout tables use.
template <class Info>
struct Call {
  const char* setter;
  std::function<void(Info&)> call;
};

bool namesWriter(const FieldLayout& layout, const std::string& setter) {
  return (std::string(", ") + layout.setter + ",").find(" " + setter + ",") !=
         std::string::npos;
}

// Each call, on an object reset before it and with values unlike the initial
// ones, changes exactly the fields whose layout names it as their writer (of
// the session, stream 1 and auxiliary record 1: the calls write stream 1).
// Every writer the tables name has a call.
template <class Info>
void expectWritersMatchLayouts(
    Info& info, const std::function<void(Info&)>& reset,
    const std::function<std::vector<Field>(Info&)>& decode,
    const std::vector<Call<Info>>& calls, std::vector<RecordKind> kinds) {
  std::set<std::string> called;
  for (const Call<Info>& c : calls) {
    SCOPED_TRACE(c.setter);
    called.insert(c.setter);
    reset(info);
    const std::vector<Field> before = decode(info);
    c.call(info);
    const std::vector<Field> after = decode(info);
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < after.size(); ++i) {
      const bool bNamed = namesWriter(*after[i].layout, c.setter);
      if (before[i].bits != after[i].bits) {
        EXPECT_TRUE(bNamed) << after[i].Label() << " changed";
      } else if (after[i].stream == -1 || after[i].stream == 1) {
        EXPECT_FALSE(bNamed) << after[i].Label() << " unchanged";
      }
    }
  }
  for (RecordKind kind : kinds)
    for (const FieldLayout& layout : FieldLayouts(kind)) {
      std::string list = layout.setter;
      for (size_t at = 0; at < list.size();) {
        const size_t end = std::min(list.find(", ", at), list.size());
        EXPECT_EQ(1u, called.count(list.substr(at, end - at))) << list;
        at = end + 2;
      }
    }
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

// The text of the field at `offset` of the kind, in the session or stream 1.
std::string textAt(const std::vector<Field>& fields, RecordKind kind,
                   uint32_t offset) {
  for (const Field& field : fields)
    if (field.layout->record == kind && field.layout->offset == offset &&
        (field.stream == -1 || field.stream == 1))
      return field.Text();
  return "(no field)";
}

TEST_F(StatisticsDecodeTest, AudioLayoutsNameTheirWritersAndTypes) {
  auto* a = create<IKovaAudioInfo>(kovaStore::KovaMediaStat_Audio, 8101);
  uint8_t descriptor[kovaStore::kKovaAudioDescriptorSize];
  std::memset(descriptor, 0x11, sizeof descriptor);
  kovaStore::WriteRecordI32(descriptor, 8, 9);  // codec number 9: code 5
  uint8_t source[kovaStore::kKovaAudioCounterSourceSize];
  std::memset(source, 0x22, sizeof source);
  uint8_t aux[kovaStore::kKovaAudioAuxiliarySize];
  std::memset(aux, 0x33, sizeof aux);
  const std::vector<Call<A>> calls = {
      {"SetSessionDescriptor",
       [&](A& x) { x.SetSessionDescriptor(descriptor); }},
      {"SetSessionFlag", [](A& x) { x.SetSessionFlag(0x12); }},
      {"SetSessionValue12", [](A& x) { x.SetSessionValue12(12); }},
      {"SetSessionValue56", [](A& x) { x.SetSessionValue56(56); }},
      {"SetSessionValue116", [](A& x) { x.SetSessionValue116(116); }},
      {"SetSessionLevelsA", [](A& x) { x.SetSessionLevelsA(1.5f, 2, 3); }},
      {"SetSessionLevelsB", [](A& x) { x.SetSessionLevelsB(1, 2, 3); }},
      {"SetSessionLevelsC", [](A& x) { x.SetSessionLevelsC(1, 2, 3); }},
      {"SetStreamFlag", [](A& x) { x.SetStreamFlag(1, 0x22); }},
      {"SetStreamFlagAndValue",
       [](A& x) { x.SetStreamFlagAndValue(1, 0x21, 400); }},
      {"SetStreamValue12", [](A& x) { x.SetStreamValue12(1, 12); }},
      {"SetStreamCodec", [](A& x) { x.SetStreamCodec(1, 103); }},
      {"SetStreamCounters",
       [&](A& x) { x.SetStreamCounters(1, source, 0x31, 0x32); }},
      {"SetStreamTriple", [](A& x) { x.SetStreamTriple(1, 1, 2, 3); }},
      {"SetAuxiliary", [&](A& x) { x.SetAuxiliary(1, aux); }},
  };
  expectWritersMatchLayouts<A>(
      *a, [](A& x) { x.ResetStatistics(8101); },
      [](A& x) { return DecodeAudio(x); }, calls,
      {RecordKind::kAudioSession, RecordKind::kAudioStream,
       RecordKind::kAudioAuxiliary});

  // Types: a code, floats, and bytes that a wider field would run into.
  a->ResetStatistics(8101);
  a->SetSessionDescriptor(descriptor);
  a->SetSessionLevelsA(1.5f, 2, 3);
  a->SetStreamCounters(1, source, 0x31, 0x32);
  const std::vector<Field> fields = DecodeAudio(*a);
  const RecordKind session = RecordKind::kAudioSession;
  EXPECT_EQ("5 (codec 9)", textAt(fields, session, audio::kCodec));
  EXPECT_EQ("1.5", textAt(fields, session, audio::kLevelsA));
  EXPECT_EQ("49", textAt(fields, RecordKind::kAudioStream, audio::kByteA));
}

TEST_F(StatisticsDecodeTest, VideoLayoutsNameTheirWritersAndTypes) {
  auto* v = create<IKovaVideoInfo>(kovaStore::KovaMediaStat_ContentVideo, 8105);
  // Five sources whose every u32 differs from 0, with kind number 5.
  std::vector<uint8_t> sources(kovaStore::kKovaVideoSourceSize * 5);
  for (size_t at = 0; at < sources.size(); at += 4)
    kovaStore::WriteRecordU32(sources.data(), at, 0x1000 + at);
  for (size_t k = 0; k < 5; ++k)
    kovaStore::WriteRecordI32(
        sources.data(),
        kovaStore::kKovaVideoSourceSize * k + video::source::kKindNumber, 5);
  const void* from = sources.data();
  const uint32_t values[5] = {11, 12, 13, 14, 15};
  const std::vector<Call<V>> calls = {
      {"SetSessionFloats", [](V& x) { x.SetSessionFloats(3, 4, 5.5f); }},
      {"SetSessionTriple", [](V& x) { x.SetSessionTriple(1, 2, 3); }},
      {"SetSessionValue1120", [](V& x) { x.SetSessionValue1120(1120); }},
      {"RaiseSessionMaximum", [](V& x) { x.RaiseSessionMaximum(9); }},
      {"SetSessionValue1336", [](V& x) { x.SetSessionValue1336(1336); }},
      {"SetSessionPackedPair",
       [](V& x) { x.SetSessionPackedPair((3u << 16) | 2u); }},
      {"SetSessionFlag1140", [](V& x) { x.SetSessionFlag1140(0x40); }},
      {"SetStreamCountAndKind", [](V& x) { x.SetStreamCountAndKind(2, 4); }},
      {"SetSessionValue1128", [](V& x) { x.SetSessionValue1128(1128); }},
      {"SetSessionWide1176", [](V& x) { x.SetSessionWide1176(~0u); }},
      {"SetSessionWide1192", [](V& x) { x.SetSessionWide1192(1192); }},
      {"SetSessionSummary",
       [](V& x) { x.SetSessionSummary(1.25f, 2.5f, 3, 6, 4, 5, 6); }},
      {"SetStreamFromSource",
       [&](V& x) { x.SetStreamFromSource(from, 1, false, 77); }},
      {"SetStreamsFromSource", [&](V& x) { x.SetStreamsFromSource(from, 2); }},
      {"SetStreamValue24",
       [&](V& x) { x.SetStreamValue24(2424, from, 1, false); }},
      {"SetStreamCounterBlock",
       [&](V& x) { x.SetStreamCounterBlock(1108, from, 1); }},
      {"SetStreamValue52", [&](V& x) { x.SetStreamValue52(values, 1); }},
      {"SetStreamValues64", [&](V& x) { x.SetStreamValues64(values, 2); }},
      {"SetStreamValues88", [&](V& x) { x.SetStreamValues88(from, 2); }},
      {"SetStreamValues212", [&](V& x) { x.SetStreamValues212(values, 5); }},
  };
  expectWritersMatchLayouts<V>(
      *v, [](V& x) { x.ResetStatistics(8105); },
      [](V& x) { return DecodeVideo(x); }, calls,
      {RecordKind::kVideoStream, RecordKind::kVideoSession});

  // Types: kind codes, a float and the signed maximum.
  v->ResetStatistics(8105);
  v->SetSessionSummary(1.25f, 2.5f, 3, 6, 4, 5, 6);
  v->SetStreamFromSource(from, 1, false, 77);
  const std::vector<Field> fields = DecodeVideo(*v);
  EXPECT_EQ("104 (kind 6)",
            textAt(fields, RecordKind::kVideoSession, video::kSessionKind));
  EXPECT_EQ("102 (kind 5)",
            textAt(fields, RecordKind::kVideoStream, video::kKind));
  EXPECT_EQ("-1", textAt(fields, RecordKind::kVideoSession, video::kMaximum));
  // Only stream 1 was written: the other four entries are left out.
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
        R"({"nothing+12": "x"})", R"({"audio.session+4": "x"} trailing)",
        "[]"}) {
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
