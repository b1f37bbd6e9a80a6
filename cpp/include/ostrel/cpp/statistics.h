// Decoded statistics: the fixed binary records of the audio and video
// statistics objects as lists of fields, so that a program, a test or a page
// never hard-codes an offset.
//
//   ostrel::FieldNames names;                       // optional
//   names.Set(ostrel::RecordKind::kAudioSession, 12, "jitterMs");
//   for (const ostrel::Field& f : ostrel::DecodeAudio(*audio, &names))
//     std::printf("%s = %s\n", f.Label().c_str(), f.Text().c_str());
//
// A field is one entry of the layout table: the record it lies in, the
// stream (-1 for session fields), its offset and type, the setter(s) of
// IKovaAudioInfo / IKovaVideoInfo that write it, and its value. Codec codes
// (audio +16) and kind codes (video stream +160, session +1236) also carry
// the codec or kind number the setters map to that code (-1 when none does).
// Only fields some setter writes are listed; bytes that only a whole-record
// copy (SetStatistics) writes are not.
//
// Decoding reads through the non-resetting reads (GetStatistics with reset
// false, GetStreamStatistics with reset false, GetAuxiliary): nothing is
// reset or changed. Like those reads it takes no lock, so a decode racing a
// setter can see a mix of old and new fields. FieldNames is a plain value:
// fill it on one thread, then share it read-only.
#ifndef OSTREL_CPP_INCLUDE_OSTREL_CPP_STATISTICS_H_
#define OSTREL_CPP_INCLUDE_OSTREL_CPP_STATISTICS_H_

#include <ostrel.h>  // the exported interface (ostrel/include)

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {

enum class RecordKind {
  kAudioSession,    // the 260-byte session record
  kAudioStream,     // one of the 20 stream records (same layout)
  kAudioAuxiliary,  // one of the 20 84-byte auxiliary records
  kVideoStream,     // one 216-byte stream entry of the video record
  kVideoSession,    // the session fields of the video record (+1080 on)
};

enum class FieldType {
  kU8,
  kU32,
  kI32,
  kU64,
  kF32,
  kCodecCode,  // u32 audio codec code
  kKindCode,   // u32 video kind code
};

// One entry of the layout table. Offsets are from the start of the record
// the kind names (a video stream entry's own start; the video record's start
// for session fields).
struct FieldLayout {
  RecordKind record;
  uint32_t offset;
  FieldType type;
  const char* setter;  // e.g. "SetStreamFromSource, SetStreamsFromSource"
};

// The fields of one record kind, in offset order.
const std::vector<FieldLayout>& FieldLayouts(RecordKind kind);
// "audio.session", "audio.stream", "audio.auxiliary", "video.stream",
// "video.session": the names used in labels and name files.
const char* RecordKindName(RecordKind kind);
const char* FieldTypeName(FieldType type);

// The codec number that SetSessionDescriptor / SetStreamCodec map to a codec
// code, and the kind number that the video setters map to a kind code; -1
// when no number maps to the code.
int32_t CodecNumberOf(uint32_t codecCode);
int32_t KindNumberOf(uint32_t kindCode);

// Names a host gives fields, by record kind and offset.
class FieldNames {
 public:
  void Set(RecordKind kind, uint32_t offset, std::string name);
  // Null when the field has no name of the host's.
  const std::string* Find(RecordKind kind, uint32_t offset) const;
  bool empty() const { return m_names.empty(); }

  // Reads a flat JSON object of names, keyed "<record kind name>+<offset>":
  //   {"audio.session+12": "jitterMs", "video.stream+88": "framesSent"}
  // Adds every entry (replacing names already set); on a malformed text or
  // an unknown key adds nothing, returns false and says why in *pError.
  bool LoadJson(const std::string& text, std::string* pError);

 private:
  std::map<std::pair<RecordKind, uint32_t>, std::string> m_names;
};

struct Field {
  const FieldLayout* layout;  // points into FieldLayouts(); never null
  int32_t stream;             // stream index; -1 for session fields
  uint64_t bits;              // the raw value, zero-extended (a float's bits)
  int32_t number;             // codec/kind number for code fields, else -1
  std::string name;           // the host's name, or empty

  // The value as a number: floats as floats, I32 signed, others unsigned.
  double Value() const;
  // The value as text: "-100", "1.5", "5 (codec 9)", "102 (kind 5)".
  std::string Text() const;
  // The host's name, or "<record kind name>[<stream>]+<offset>" (without
  // "[<stream>]" for session fields).
  std::string Label() const;
};

// Decodes one record buffer of the kind (`stream` is stored in the fields as
// given). REQUIRES: `record` holds the kind's whole record: 260 / 84 bytes
// for audio, the whole 1504-byte video record for both video kinds.
std::vector<Field> DecodeRecord(RecordKind kind, int32_t stream,
                                const void* record,
                                const FieldNames* pNames = nullptr);

// Every field of the object: the session record, then each stream record and
// auxiliary record (audio: 20 each; video: the five stream entries), stream
// by stream. With bSkipEmptyStreams, a stream whose record (audio: stream
// and auxiliary record) is all zero bytes is left out.
std::vector<Field> DecodeAudio(kovaStore::IKovaAudioInfo& info,
                               const FieldNames* pNames = nullptr,
                               bool bSkipEmptyStreams = false);
std::vector<Field> DecodeVideo(kovaStore::IKovaVideoInfo& info,
                               const FieldNames* pNames = nullptr,
                               bool bSkipEmptyStreams = false);

}  // namespace ostrel

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_STATISTICS_H_
