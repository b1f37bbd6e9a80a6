// KovaAudioStatisticInfo: the audio statistics object that the registry
// hands out for kind 0, and its content-sharing twin for kind 3.
//
// The object owns its records and counts its own references through
// KovaCountedMediaInfo: it starts at 0, the registry adds one per request, and
// the release that brings it to 0 deletes the object. Only the count is
// atomic; the records are written without a lock (see KovaMediaInfo.h).
#ifndef OSTREL_SRC_STATS_AUDIO_STATISTIC_INFO_H_
#define OSTREL_SRC_STATS_AUDIO_STATISTIC_INFO_H_

#include <cstdint>

#include "counted_media_info.h"
#include "ostrel/IKovaAudioInfo.h"

namespace kovaStore {

class KovaAudioStatisticInfo : public KovaCountedMediaInfo<IKovaAudioInfo> {
 public:
  explicit KovaAudioStatisticInfo(uint32_t callId);
  ~KovaAudioStatisticInfo() override;

  // IKovaMediaInfo
  KOVA_RESULT SetStatistics(const void* pRecord) override;
  KOVA_RESULT GetStatistics(void* pRecord, bool bReset) override;
  KOVA_RESULT ReservedB() override;
  void ResetStatistics(uint32_t callId) override;

  // IKovaAudioInfo
  void SetSessionDescriptor(const void* pDescriptor) override;
  void SetSessionValue12(uint32_t uValue) override;
  void SetStreamValue12(int32_t nIndex, uint32_t uValue) override;
  void SetSessionValue116(uint32_t uValue) override;
  void SetSessionLevelsB(float f72, float f76, float f80) override;
  void SetSessionLevelsA(float f60, float f64, float f68) override;
  void SetSessionLevelsC(float f84, float f88, float f92) override;
  void SetStreamCodec(int32_t nIndex, int32_t nCodec) override;
  void SetStreamFlagAndValue(int32_t nIndex, uint8_t byFlag,
                             uint32_t uValue) override;
  void SetStreamCounters(int32_t nIndex, const void* pSource, uint8_t byA,
                         uint8_t byB) override;
  void SetStreamTriple(int32_t nIndex, uint32_t u196, uint32_t u200,
                       uint32_t u204) override;
  void SetSessionFlag(uint8_t byFlag) override;
  void SetStreamFlag(int32_t nIndex, uint8_t byFlag) override;
  void SetSessionValue56(uint32_t uValue) override;
  void SetAuxiliary(int32_t nIndex, const void* pAuxiliary) override;
  KOVA_RESULT GetStreamStatistics(void* pRecord, int32_t nIndex,
                                  bool bReset) override;
  KOVA_RESULT GetAuxiliary(void* pAuxiliary, int32_t nIndex) override;

 private:
  // Zeroes every record, applies the session defaults, binds callId.
  void resetRecords(uint32_t callId);
  // The -100.0, 0.0 and 20 fields of the session record.
  void applySessionDefaults();
  // Stream record nIndex, or null when nIndex is not 0 to 19.
  uint8_t* streamRecord(int32_t nIndex);

  uint8_t m_session[kKovaAudioRecordSize];
  uint8_t m_streams[kKovaAudioStreamCount][kKovaAudioRecordSize];
  uint8_t m_auxiliary[kKovaAudioStreamCount][kKovaAudioAuxiliarySize];
};

// Behaves exactly as KovaAudioStatisticInfo; a distinct type for content
// sharing.
class KovaContentAudioStatisticInfo : public KovaAudioStatisticInfo {
 public:
  using KovaAudioStatisticInfo::KovaAudioStatisticInfo;
  ~KovaContentAudioStatisticInfo() override;
};

// The codec code for a codec number, or false when the number has none.
bool mapAudioCodec(int32_t nCodec, uint32_t* pCode);

}  // namespace kovaStore

#endif  // OSTREL_SRC_STATS_AUDIO_STATISTIC_INFO_H_
