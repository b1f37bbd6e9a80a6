// IKovaVideoInfo: the video statistics of one call.
//
//   IKovaMediaInfo* p = nullptr;
//   if (createOstrelEntity(KovaMediaStat_Video, callId, &p) == KOVA_S_OK) {
//     IKovaVideoInfo* video = static_cast<IKovaVideoInfo*>(p);
//     video->SetStreamsFromSource(sources, 2);     // 2 records of 360 bytes
//     uint8_t record[kKovaVideoRecordSize];
//     video->GetStatistics(record, true);          // deltas since last time
//     releaseOstrelEntity(KovaMediaStat_Video, callId, p);
//   }
//
// The object holds one 1504-byte statistics record (layout in
// KovaVideoRecord.h), a spare record of the same size that only copies and
// resets touch, and for each of the five streams a snapshot of its counters
// at the previous resetting read.
//
// A resetting GetStatistics hands out, for each stream below the stream count
// at +1080, the change since the previous resetting read of +88 and of the
// counters at +116 to +156 (counters wrap around 2^32), and the changes of +20
// and +24 at +204 and +208; the object keeps the running totals, clears the
// stream's +32, +36, +164 and +168, and sets +1356 to -1. The first resetting
// read after creation, ResetStatistics or ClearStatistics gives full values.
//
// Five streams at most: no input reaches memory outside the records. Stream
// indexes outside 0 to 4 make the per-stream part of an operation do nothing;
// counts of streams above 5 are clamped to 5, counts of 0 or less touch no
// stream; a null pointer skips the part that would read it. Session fields
// given directly as arguments are stored whatever the index or pointer.
// Threads: see KovaMediaInfo.h.
#ifndef OSTREL_INCLUDE_IKOVAVIDEOINFO_H_
#define OSTREL_INCLUDE_IKOVAVIDEOINFO_H_

#include <cstdint>

#include "KovaMediaInfo.h"
#include "KovaRecordFields.h"
#include "KovaVideoRecord.h"
#include "ostrel_export.h"

namespace kovaStore {

// Slots after those of IKovaMediaInfo, in table order. Source arguments point
// at arrays of 360-byte stream source records.
class IKovaVideoInfo : public IKovaMediaInfo {
 public:
  // Copies the call id and both records byte for byte.
  OSTREL_API IKovaVideoInfo(const IKovaVideoInfo& other);
  OSTREL_API IKovaVideoInfo& operator=(const IKovaVideoInfo& other);

  // +1096 = a, +1100 = b (as floats), +1092 = f.
  virtual void SetSessionFloats(uint32_t uA, uint32_t uB, float f) = 0;
  virtual void SetSessionTriple(uint32_t u1208, uint32_t u1212,
                                uint32_t u1216) = 0;
  virtual void SetSessionValue1120(uint32_t uValue) = 0;
  // +1356 = the larger (signed) of itself and nValue.
  virtual void RaiseSessionMaximum(int32_t nValue) = 0;
  virtual void SetSessionValue1336(uint32_t uValue) = 0;
  // +1084 = low 16 bits, +1088 = high 16 bits.
  virtual void SetSessionPackedPair(uint32_t uPair) = 0;
  virtual void SetSessionFlag1140(uint8_t byFlag) = 0;
  // entry[k] +212 = pValues[k] for k below nCount. Ignored unless nCount is
  // 1 to 5 and pValues is not null.
  virtual void SetStreamValues212(const uint32_t* pValues, int32_t nCount) = 0;
  // Zeroes the statistics record (+1356 becomes 0) and the snapshots; the
  // call id and the spare record stay.
  virtual void ClearStatistics() = 0;
  // +1104 = uValue. With bAll, entry[k] +24 = src[k] +68 for k below nIndex
  // (clamped to 5); else entry[nIndex] +24 = src[nIndex] +68.
  virtual void SetStreamValue24(uint32_t uValue, const void* pSources,
                                int32_t nIndex, bool bAll) = 0;
  // +1108 = uValue; entry[nIndex] +28 = src +72 and +116 to +156 = src +212
  // to +252.
  virtual void SetStreamCounterBlock(uint32_t uValue, const void* pSources,
                                     int32_t nIndex) = 0;
  // entry[uIndex] +52 = pValues[uIndex].
  virtual void SetStreamValue52(const uint32_t* pValues, uint32_t uIndex) = 0;
  // entry[k] +64 = pValues[k] for k below nCount (clamped to 5).
  virtual void SetStreamValues64(const uint32_t* pValues, int32_t nCount) = 0;
  // +1080 = uCount as given (reads use at most 5); +1236 = kind code.
  virtual void SetStreamCountAndKind(uint32_t uCount, int32_t nKind) = 0;
  // Copies the SetStreamFromSource fields of src[nIndex] into entry[nIndex];
  // with bReset also restarts that stream's deltas and zeroes its +116 to
  // +156. +1128 = uValue.
  virtual void SetStreamFromSource(const void* pSources, int32_t nIndex,
                                   bool bReset, uint32_t uValue) = 0;
  // +1080 = nCount as given; copies the SetStreamsFromSource fields of
  // src[k] into entry[k] for k below nCount (clamped to 5).
  virtual void SetStreamsFromSource(const void* pSources, int32_t nCount) = 0;
  // entry[k] +88 = src[k] +92 for k below nCount (clamped to 5).
  virtual void SetStreamValues88(const void* pSources, int32_t nCount) = 0;
  virtual void SetSessionValue1128(uint32_t uValue) = 0;
  virtual void SetSessionWide1176(uint32_t uValue) = 0;
  virtual void SetSessionWide1192(uint32_t uValue) = 0;
  // +1168 = fA, +1160 = fB, +1116 = uC, +1236 = kind code, +1224 = uD,
  // +1204 = uE, +1340 = uF.
  virtual void SetSessionSummary(float fA, float fB, uint32_t uC, int32_t nKind,
                                 uint32_t uD, uint32_t uE, uint32_t uF) = 0;

 protected:
  explicit IKovaVideoInfo(uint32_t callId);
  ~IKovaVideoInfo() override = default;

  uint8_t m_statistics[kKovaVideoRecordSize];
  uint8_t m_spare[kKovaVideoRecordSize];
};

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_IKOVAVIDEOINFO_H_
