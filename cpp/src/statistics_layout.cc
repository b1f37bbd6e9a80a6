// The layout tables of the statistics records, as IKovaAudioInfo.h and
// KovaVideoRecord.h describe them, and the code-to-number maps.
#include <ostrel/cpp/statistics.h>

#include <utility>
#include <vector>

namespace ostrel {

namespace {

using K = RecordKind;
using T = FieldType;

// Appends `count` fields of one type and setter, `step` bytes apart.
void addRun(std::vector<FieldLayout>& layouts, RecordKind kind, uint32_t offset,
            int count, FieldType type, const char* setter) {
  for (int i = 0; i < count; ++i) {
    layouts.push_back(
        FieldLayout{kind, offset + static_cast<uint32_t>(i) * 4, type, setter});
  }
}

std::vector<FieldLayout> audioSession() {
  const K k = K::kAudioSession;
  std::vector<FieldLayout> s = {
      {k, 0, T::kU8, "SetSessionDescriptor, SetSessionFlag"},
      {k, 4, T::kU32, "SetSessionDescriptor"},
      {k, 12, T::kU32, "SetSessionValue12"},
      {k, 16, T::kCodecCode, "SetSessionDescriptor"},
      {k, 56, T::kU32, "SetSessionDescriptor, SetSessionValue56"},
  };
  addRun(s, k, 60, 3, T::kF32, "SetSessionLevelsA");
  addRun(s, k, 72, 3, T::kF32, "SetSessionLevelsB");
  addRun(s, k, 84, 3, T::kF32, "SetSessionLevelsC");
  addRun(s, k, 96, 3, T::kU32, "SetSessionDescriptor");
  s.push_back({k, 112, T::kU32, ""});  // 20 from creation and resetting reads
  s.push_back({k, 116, T::kU32, "SetSessionValue116"});
  return s;
}

std::vector<FieldLayout> audioStream() {
  const K k = K::kAudioStream;
  std::vector<FieldLayout> s = {
      {k, 0, T::kU8, "SetStreamFlag, SetStreamFlagAndValue"},
      {k, 4, T::kU32, "SetStreamFlagAndValue"},
      {k, 8, T::kU32, "SetStreamCounters"},
      {k, 12, T::kU32, "SetStreamValue12"},
      {k, 16, T::kCodecCode, "SetStreamCodec"},
      {k, 108, T::kU8, "SetStreamCounters"},
      {k, 109, T::kU8, "SetStreamCounters"},
      {k, 112, T::kU32, "SetStreamCounters"},
  };
  addRun(s, k, 120, 6, T::kU32, "SetStreamCounters");
  addRun(s, k, 196, 3, T::kU32, "SetStreamTriple");
  return s;
}

std::vector<FieldLayout> audioAuxiliary() {
  const K k = K::kAudioAuxiliary;
  std::vector<FieldLayout> s = {{k, 0, T::kU8, "SetAuxiliary"}};
  addRun(s, k, 4, 6, T::kU32, "SetAuxiliary");
  s.push_back({k, 28, T::kU8, "SetAuxiliary"});
  addRun(s, k, 32, 13, T::kU32, "SetAuxiliary");
  return s;
}

std::vector<FieldLayout> videoStream() {
  const K k = K::kVideoStream;
  const char* fromSource = "SetStreamFromSource";
  const char* fromBoth = "SetStreamFromSource, SetStreamsFromSource";
  const char* fromMany = "SetStreamsFromSource";
  std::vector<FieldLayout> s;
  addRun(s, k, 0, 2, T::kU32, fromSource);
  addRun(s, k, 8, 2, T::kU32, fromBoth);
  addRun(s, k, 16, 2, T::kU32, fromSource);
  s.push_back({k, 24, T::kU32, "SetStreamFromSource, SetStreamValue24"});
  s.push_back({k, 28, T::kU32, "SetStreamFromSource, SetStreamCounterBlock"});
  s.push_back({k, 32, T::kU32, fromSource});
  s.push_back({k, 36, T::kU8, fromSource});
  addRun(s, k, 40, 2, T::kF32, fromMany);
  s.push_back({k, 48, T::kU32, fromMany});
  s.push_back({k, 52, T::kU32, "SetStreamValue52"});
  addRun(s, k, 56, 2, T::kU32, fromMany);
  s.push_back({k, 64, T::kU32, "SetStreamValues64"});
  addRun(s, k, 72, 4, T::kU32, fromSource);
  s.push_back({k, 88, T::kU32, "SetStreamFromSource, SetStreamValues88"});
  addRun(s, k, 92, 4, T::kU32, fromBoth);
  s.push_back({k, 108, T::kU32, fromMany});
  s.push_back({k, 112, T::kU32, fromBoth});
  addRun(s, k, 116, 11, T::kU32, "SetStreamCounterBlock");
  s.push_back({k, 160, T::kKindCode, fromSource});
  addRun(s, k, 164, 2, T::kU32, fromSource);
  addRun(s, k, 172, 6, T::kU32, fromSource);
  addRun(s, k, 196, 2, T::kU32, fromSource);
  s.push_back({k, 212, T::kU32, "SetStreamValues212"});
  return s;
}

std::vector<FieldLayout> videoSession() {
  const K k = K::kVideoSession;
  return {
      {k, 1080, T::kU32, "SetStreamCountAndKind, SetStreamsFromSource"},
      {k, 1084, T::kU32, "SetSessionPackedPair"},
      {k, 1088, T::kU32, "SetSessionPackedPair"},
      {k, 1092, T::kF32, "SetSessionFloats"},
      {k, 1096, T::kF32, "SetSessionFloats"},
      {k, 1100, T::kF32, "SetSessionFloats"},
      {k, 1104, T::kU32, "SetStreamValue24"},
      {k, 1108, T::kU32, "SetStreamCounterBlock"},
      {k, 1116, T::kU32, "SetSessionSummary"},
      {k, 1120, T::kU32, "SetSessionValue1120"},
      {k, 1128, T::kU32, "SetSessionValue1128, SetStreamFromSource"},
      {k, 1140, T::kU8, "SetSessionFlag1140"},
      {k, 1160, T::kF32, "SetSessionSummary"},
      {k, 1168, T::kF32, "SetSessionSummary"},
      {k, 1176, T::kU64, "SetSessionWide1176"},
      {k, 1192, T::kU64, "SetSessionWide1192"},
      {k, 1204, T::kU32, "SetSessionSummary"},
      {k, 1208, T::kU32, "SetSessionTriple"},
      {k, 1212, T::kU32, "SetSessionTriple"},
      {k, 1216, T::kU32, "SetSessionTriple"},
      {k, 1224, T::kU32, "SetSessionSummary"},
      {k, 1236, T::kKindCode, "SetStreamCountAndKind, SetSessionSummary"},
      {k, 1336, T::kU32, "SetSessionValue1336"},
      {k, 1340, T::kU32, "SetSessionSummary"},
      {k, 1356, T::kI32, "RaiseSessionMaximum"},
  };
}

// Codec number to codec code (SetSessionDescriptor, SetStreamCodec) and
// kind number to kind code (the video setters).
constexpr std::pair<int32_t, uint32_t> kCodecs[] = {
    {0, 1},   {8, 2},   {9, 5},   {18, 7},   {101, 4},
    {102, 3}, {103, 8}, {104, 9}, {105, 10}, {106, 11}};
constexpr std::pair<int32_t, uint32_t> kKinds[] = {
    {0, 100}, {1, 101}, {4, 103}, {5, 102}, {6, 104}};

}  // namespace

const std::vector<FieldLayout>& FieldLayouts(RecordKind kind) {
  static const std::vector<FieldLayout> tables[] = {
      audioSession(), audioStream(), audioAuxiliary(), videoStream(),
      videoSession()};
  return tables[static_cast<int>(kind)];
}

const char* RecordKindName(RecordKind kind) {
  switch (kind) {
    case K::kAudioSession:
      return "audio.session";
    case K::kAudioStream:
      return "audio.stream";
    case K::kAudioAuxiliary:
      return "audio.auxiliary";
    case K::kVideoStream:
      return "video.stream";
    case K::kVideoSession:
      return "video.session";
  }
  return "";
}

const char* FieldTypeName(FieldType type) {
  switch (type) {
    case T::kU8:
      return "u8";
    case T::kU32:
      return "u32";
    case T::kI32:
      return "i32";
    case T::kU64:
      return "u64";
    case T::kF32:
      return "f32";
    case T::kCodecCode:
      return "codec";
    case T::kKindCode:
      return "kind";
  }
  return "";
}

int32_t CodecNumberOf(uint32_t codecCode) {
  for (const auto& codec : kCodecs) {
    if (codec.second == codecCode) return codec.first;
  }
  return -1;
}

int32_t KindNumberOf(uint32_t kindCode) {
  for (const auto& kind : kKinds) {
    if (kind.second == kindCode) return kind.first;
  }
  return -1;
}

}  // namespace ostrel
