// KovaVideoStatisticInfo: the video statistics object that the registry
// hands out for kind 1, and its content-sharing twin for kind 2.
//
// The object owns its records and its per-stream snapshots and counts its
// own references through KovaCountedMediaInfo: it starts at 0, the registry
// adds one per request, and the release that brings it to 0 deletes the object.
// Only the count is atomic; records and snapshots are written without a lock
// (see KovaMediaInfo.h).
#ifndef OSTREL_SRC_STATS_VIDEO_STATISTIC_INFO_H_
#define OSTREL_SRC_STATS_VIDEO_STATISTIC_INFO_H_

#include <cstdint>

#include "counted_media_info.h"
#include "ostrel/IKovaVideoInfo.h"

namespace kovaStore {

class KovaVideoStatisticInfo : public KovaCountedMediaInfo<IKovaVideoInfo> {
 public:
  explicit KovaVideoStatisticInfo(uint32_t callId);
  ~KovaVideoStatisticInfo() override;

  // IKovaMediaInfo
  KOVA_RESULT SetStatistics(const void* pRecord) override;
  KOVA_RESULT GetStatistics(void* pRecord, bool bReset) override;
  KOVA_RESULT ReservedB() override;
  void ResetStatistics(uint32_t callId) override;

  // IKovaVideoInfo
  void SetSessionFloats(uint32_t uA, uint32_t uB, float f) override;
  void SetSessionTriple(uint32_t u1208, uint32_t u1212,
                        uint32_t u1216) override;
  void SetSessionValue1120(uint32_t uValue) override;
  void RaiseSessionMaximum(int32_t nValue) override;
  void SetSessionValue1336(uint32_t uValue) override;
  void SetSessionPackedPair(uint32_t uPair) override;
  void SetSessionFlag1140(uint8_t byFlag) override;
  void SetStreamValues212(const uint32_t* pValues, int32_t nCount) override;
  void ClearStatistics() override;
  void SetStreamValue24(uint32_t uValue, const void* pSources, int32_t nIndex,
                        bool bAll) override;
  void SetStreamCounterBlock(uint32_t uValue, const void* pSources,
                             int32_t nIndex) override;
  void SetStreamValue52(const uint32_t* pValues, uint32_t uIndex) override;
  void SetStreamValues64(const uint32_t* pValues, int32_t nCount) override;
  void SetStreamCountAndKind(uint32_t uCount, int32_t nKind) override;
  void SetStreamFromSource(const void* pSources, int32_t nIndex, bool bReset,
                           uint32_t uValue) override;
  void SetStreamsFromSource(const void* pSources, int32_t nCount) override;
  void SetStreamValues88(const void* pSources, int32_t nCount) override;
  void SetSessionValue1128(uint32_t uValue) override;
  void SetSessionWide1176(uint32_t uValue) override;
  void SetSessionWide1192(uint32_t uValue) override;
  void SetSessionSummary(float fA, float fB, uint32_t uC, int32_t nKind,
                         uint32_t uD, uint32_t uE, uint32_t uF) override;

 private:
  static constexpr int kCounterCount = 11;

  // A stream's fields as they were at the previous resetting read.
  struct StreamSnapshot {
    uint32_t last20;
    uint32_t last24;
    uint32_t last88;
    uint32_t lastCounters[kCounterCount];
  };

  // Entry of stream nIndex, or null when nIndex is not 0 to 4.
  uint8_t* streamEntry(int32_t nIndex);
  void clearSnapshots();
  // Turns the caller's copy into deltas and restarts the interval.
  void resetInterval(uint8_t* pCopy);

  StreamSnapshot m_snapshots[kKovaVideoMaxStreams];
};

// Behaves exactly as KovaVideoStatisticInfo; a distinct type for content
// sharing.
class KovaContentVideoStatisticInfo : public KovaVideoStatisticInfo {
 public:
  using KovaVideoStatisticInfo::KovaVideoStatisticInfo;
  ~KovaContentVideoStatisticInfo() override;
};

// The kind code for a kind number (0 for numbers without one).
uint32_t mapVideoKind(int32_t nKind);

// A stream count as used to reach entries: clamped to 0 to 5.
uint32_t boundedStreamCount(int64_t count);

}  // namespace kovaStore

#endif  // OSTREL_SRC_STATS_VIDEO_STATISTIC_INFO_H_
