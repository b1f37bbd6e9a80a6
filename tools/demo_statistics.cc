#include "demo_statistics.h"

#include <vector>

#include "ostrel/KovaOstrelApi.h"
#include "ostrel/KovaVideoRecord.h"

namespace ostrel_cli {

namespace {

using kovaStore::IKovaAudioInfo;
using kovaStore::IKovaMediaInfo;
using kovaStore::IKovaVideoInfo;

// Offsets in the audio stream record and the video statistics record that the
// scene fills and reads.
const size_t kAudioCodecCode = 16;
const size_t kAudioLevelA = 60;
const size_t kAudioReceived = 120;
const size_t kVideoFrames = 88;
const size_t kVideoStreamCount = 1080;
const size_t kVideoKindCode = 1236;
const size_t kVideoMaximum = 1356;
// Offsets in the caller's source records.
const size_t kAudioSourceReceived = 12;
const size_t kVideoSourceFrames = 92;

class Scene {
 public:
  Scene(uint32_t callId, std::ostream& out) : m_callId(callId), m_out(out) {}

  StatisticsOutcome Run() {
    IKovaMediaInfo* audio = create(kovaStore::KovaMediaStat_Audio, "audio");
    IKovaMediaInfo* video = create(kovaStore::KovaMediaStat_Video, "video");
    if (audio != nullptr) audioScene(static_cast<IKovaAudioInfo*>(audio));
    if (video != nullptr) videoScene(static_cast<IKovaVideoInfo*>(video));
    release(kovaStore::KovaMediaStat_Audio, "audio", audio);
    release(kovaStore::KovaMediaStat_Video, "video", video);
    m_outcome.bOk = m_bOk && audio != nullptr && video != nullptr;
    return m_outcome;
  }

 private:
  IKovaMediaInfo* create(kovaStore::KovaMediaStatType type, const char* what) {
    IKovaMediaInfo* object = nullptr;
    if (kovaStore::createOstrelEntity(type, m_callId, &object) != KOVA_S_OK) {
      m_out << "    createOstrelEntity(" << what << ") failed\n";
      m_bOk = false;
      return nullptr;
    }
    ++m_outcome.objectsCreated;
    m_out << "    " << what << " module: createOstrelEntity(" << what
          << ", call " << m_callId << ") -> the call's " << what
          << " statistics object\n";
    return object;
  }

  void release(kovaStore::KovaMediaStatType type, const char* what,
               IKovaMediaInfo* object) {
    if (object == nullptr) return;
    const uint32_t left =
        kovaStore::releaseOstrelEntity(type, m_callId, object);
    m_out << "    " << what << " module: releaseOstrelEntity -> " << left
          << " references left" << (left == 0 ? " (object destroyed)" : "")
          << "\n";
    if (left != 0) ++m_outcome.objectsRemaining;
  }

  void expect(bool bHolds, const char* what) {
    if (bHolds) return;
    m_out << "    unexpected: " << what << "\n";
    m_bOk = false;
  }

  void audioScene(IKovaAudioInfo* audio) {
    // A reporter shares the object: one more reference.
    IKovaMediaInfo* shared = nullptr;
    kovaStore::createOstrelEntity(kovaStore::KovaMediaStat_Audio, m_callId,
                                  &shared);
    expect(shared == audio, "a second request shares the audio object");
    m_out << "    reporter: createOstrelEntity(audio) again -> the same "
             "object (2 references)\n";

    audio->SetStreamCodec(0, 9);
    audio->SetSessionLevelsA(-31.5f, -28.0f, -40.25f);
    std::vector<uint8_t> source(kovaStore::kKovaAudioCounterSourceSize, 0);
    kovaStore::WriteRecordU32(source.data(), kAudioSourceReceived, 1480);
    audio->SetStreamCounters(0, source.data(), 1, 0);
    m_out << "    audio module: stream 0 codec number 9, 1480 packets "
             "received; session levels -31.5 / -28 / -40.25 dB\n";

    std::vector<uint8_t> record(kovaStore::kKovaAudioRecordSize, 0);
    audio->GetStatistics(record.data(), true);
    const float level = kovaStore::ReadRecordFloat(record.data(), kAudioLevelA);
    audio->GetStatistics(record.data(), false);
    const float after = kovaStore::ReadRecordFloat(record.data(), kAudioLevelA);
    m_out << "    reporter: session read with reset -> level " << level
          << " dB; the next read shows the reset default " << after << "\n";
    expect(level == -31.5f && after == -100.0f, "audio session levels");

    audio->GetStreamStatistics(record.data(), 0, true);
    const uint32_t codec =
        kovaStore::ReadRecordU32(record.data(), kAudioCodecCode);
    const uint32_t received =
        kovaStore::ReadRecordU32(record.data(), kAudioReceived);
    audio->GetStreamStatistics(record.data(), 0, true);
    const uint32_t again =
        kovaStore::ReadRecordU32(record.data(), kAudioReceived);
    m_out << "    reporter: stream 0 read with reset -> codec code " << codec
          << ", " << received << " packets; read again -> " << again << "\n";
    expect(codec == 5 && received == 1480 && again == 0, "audio stream record");

    const uint32_t left = kovaStore::releaseOstrelEntity(
        kovaStore::KovaMediaStat_Audio, m_callId, shared);
    m_out << "    reporter: releaseOstrelEntity(audio) -> " << left
          << " reference left\n";
    expect(left == 1, "the reporter's release leaves one reference");
  }

  void videoScene(IKovaVideoInfo* video) {
    std::vector<uint8_t> sources(kovaStore::kKovaVideoSourceSize, 0);
    std::vector<uint8_t> record(kovaStore::kKovaVideoRecordSize, 0);
    video->SetStreamCountAndKind(1, 1);
    kovaStore::WriteRecordU32(sources.data(), kVideoSourceFrames, 300);
    video->SetStreamValues88(sources.data(), 1);
    video->RaiseSessionMaximum(12);
    video->RaiseSessionMaximum(7);
    m_out << "    video module: 1 stream of kind 1, 300 frames decoded; "
             "peaks 12 then 7 reported\n";

    video->GetStatistics(record.data(), true);
    const uint32_t frames =
        kovaStore::ReadRecordU32(record.data(), kVideoFrames);
    const uint32_t streams =
        kovaStore::ReadRecordU32(record.data(), kVideoStreamCount);
    const uint32_t kind =
        kovaStore::ReadRecordU32(record.data(), kVideoKindCode);
    const int32_t peak = kovaStore::ReadRecordI32(record.data(), kVideoMaximum);
    m_out << "    reporter: read with reset -> " << streams
          << " stream, kind code " << kind << ", " << frames << " frames, peak "
          << peak << "\n";
    expect(frames == 300 && streams == 1 && kind == 101 && peak == 12,
           "first video interval");

    kovaStore::WriteRecordU32(sources.data(), kVideoSourceFrames, 450);
    video->SetStreamValues88(sources.data(), 1);
    video->GetStatistics(record.data(), true);
    const uint32_t delta =
        kovaStore::ReadRecordU32(record.data(), kVideoFrames);
    const int32_t peak2 =
        kovaStore::ReadRecordI32(record.data(), kVideoMaximum);
    m_out << "    video module: 450 frames decoded in total\n"
          << "    reporter: read with reset -> " << delta
          << " frames in this interval, peak " << peak2 << " (none reported)\n";
    expect(delta == 150 && peak2 == -1, "second video interval");
  }

  const uint32_t m_callId;
  std::ostream& m_out;
  StatisticsOutcome m_outcome;
  bool m_bOk = true;
};

}  // namespace

StatisticsOutcome RunStatisticsScene(uint32_t callId, std::ostream& out) {
  return Scene(callId, out).Run();
}

}  // namespace ostrel_cli
