// IKovaAudioInfo: the audio statistics of one call.
//
//   IKovaMediaInfo* p = nullptr;
//   if (createOstrelEntity(KovaMediaStat_Audio, callId, &p) == KOVA_S_OK) {
//     IKovaAudioInfo* audio = static_cast<IKovaAudioInfo*>(p);
//     audio->SetStreamCodec(0, 9);
//     uint8_t record[kKovaAudioRecordSize];
//     audio->GetStreamStatistics(record, 0, true);
//     releaseOstrelEntity(KovaMediaStat_Audio, callId, p);
//   }
//
// The object holds one session record, 20 stream records of the same layout
// (index 0 to 19) and 20 auxiliary records. Stream indexes are taken as
// unsigned: anything above 19 (so also every negative index) makes a setter
// do nothing and a getter give KOVA_E_FAIL. A null input pointer makes a
// setter do nothing. Threads: see KovaMediaInfo.h.
//
// Audio record, 260 bytes, little-endian (KovaRecordFields.h reads and
// writes fields). Bytes not listed are written only by SetStatistics and are
// 0 otherwise. "reset" is the value after creation, ResetStatistics and, for
// the session record, every resetting GetStatistics.
//
//   offset       type        session record           stream record
//   0            u8          SetSessionDescriptor,    SetStreamFlag,
//                            SetSessionFlag           SetStreamFlagAndValue
//   4            u32         SetSessionDescriptor     SetStreamFlagAndValue
//   8            u32         -                        SetStreamCounters (+32)
//   12           u32         SetSessionValue12        SetStreamValue12
//   16           u32 codec   SetSessionDescriptor     SetStreamCodec
//   56           u32         SetSessionDescriptor,    -
//                            SetSessionValue56
//   60, 64, 68   f32 x3      SetSessionLevelsA;       -
//                            reset -100.0
//   72, 76, 80   f32 x3      SetSessionLevelsB;       -
//                            reset 0.0
//   84, 88, 92   f32 x3      SetSessionLevelsC;       -
//                            reset -100.0
//   96, 100, 104 u32 x3      SetSessionDescriptor     -
//   108, 109     u8 x2       -                        SetStreamCounters (a, b)
//   112          u32         reset 20                 SetStreamCounters (+36)
//   116          u32         SetSessionValue116       -
//   120,124,128  u32 x3      -                        SetStreamCounters (+12,
//                                                     +8, +16); 0 after a
//                                                     resetting stream read
//   132,136,140  u32 x3      -                        SetStreamCounters (+40,
//                                                     +44, +48)
//   196,200,204  u32 x3      -                        SetStreamTriple
//
// Session descriptor (SetSessionDescriptor reads 28 bytes): u8 at 0 -> +0,
// u32 at 4 -> +4, i32 codec number at 8 -> +16 (mapped), u32 at 12 -> +56,
// u32 at 16, 20, 24 -> +96, +100, +104.
//
// Stream counter source (SetStreamCounters reads 52 bytes): u32 at 8, 12,
// 16, 32, 36, 40, 44, 48, stored as the table above shows (+N = source
// offset).
//
// Auxiliary record, 84 bytes: u8 at 0, six u32 at 4 to 24, u8 at 28,
// thirteen u32 at 32 to 80. SetAuxiliary copies exactly these fields (the
// bytes between them stay 0); GetAuxiliary copies all 84 bytes.
//
// Codec number to codec code (any other number leaves the code unchanged):
//   number  0  8  9  18  101  102  103  104  105  106
//   code    1  2  5   7    4    3    8    9   10   11
#ifndef OSTREL_INCLUDE_IKOVAAUDIOINFO_H_
#define OSTREL_INCLUDE_IKOVAAUDIOINFO_H_

#include <cstdint>

#include "KovaMediaInfo.h"
#include "KovaRecordFields.h"
#include "ostrel_export.h"

namespace kovaStore {

constexpr size_t kKovaAudioRecordSize = 260;
constexpr size_t kKovaAudioAuxiliarySize = 84;
constexpr size_t kKovaAudioDescriptorSize = 28;
constexpr size_t kKovaAudioCounterSourceSize = 52;
constexpr int32_t kKovaAudioStreamCount = 20;

// Slots after those of IKovaMediaInfo, in table order. SetStatistics and
// GetStatistics work on the session record; a resetting GetStatistics
// restores the session's -100.0, 0.0 and 20 defaults after the copy.
class IKovaAudioInfo : public IKovaMediaInfo {
 public:
  // Copies the call id.
  OSTREL_API IKovaAudioInfo(const IKovaAudioInfo& other);
  OSTREL_API IKovaAudioInfo& operator=(const IKovaAudioInfo& other);

  // Session fields from a 28-byte descriptor, the codec number mapped.
  virtual void SetSessionDescriptor(const void* pDescriptor) = 0;
  virtual void SetSessionValue12(uint32_t uValue) = 0;
  virtual void SetStreamValue12(int32_t nIndex, uint32_t uValue) = 0;
  virtual void SetSessionValue116(uint32_t uValue) = 0;
  virtual void SetSessionLevelsB(float f72, float f76, float f80) = 0;
  virtual void SetSessionLevelsA(float f60, float f64, float f68) = 0;
  virtual void SetSessionLevelsC(float f84, float f88, float f92) = 0;
  virtual void SetStreamCodec(int32_t nIndex, int32_t nCodec) = 0;
  virtual void SetStreamFlagAndValue(int32_t nIndex, uint8_t byFlag,
                                     uint32_t uValue) = 0;
  // Stream fields from a 52-byte counter source; byA at +108, byB at +109.
  virtual void SetStreamCounters(int32_t nIndex, const void* pSource,
                                 uint8_t byA, uint8_t byB) = 0;
  virtual void SetStreamTriple(int32_t nIndex, uint32_t u196, uint32_t u200,
                               uint32_t u204) = 0;
  virtual void SetSessionFlag(uint8_t byFlag) = 0;
  virtual void SetStreamFlag(int32_t nIndex, uint8_t byFlag) = 0;
  virtual void SetSessionValue56(uint32_t uValue) = 0;
  virtual void SetAuxiliary(int32_t nIndex, const void* pAuxiliary) = 0;
  // Copies stream record nIndex out; with bReset zeroes its +120, +124 and
  // +128 afterwards. KOVA_E_FAIL for a null pointer or a bad index.
  virtual KOVA_RESULT GetStreamStatistics(void* pRecord, int32_t nIndex,
                                          bool bReset) = 0;
  // Copies auxiliary record nIndex out. KOVA_E_FAIL for a null pointer or a
  // bad index.
  virtual KOVA_RESULT GetAuxiliary(void* pAuxiliary, int32_t nIndex) = 0;

 protected:
  explicit IKovaAudioInfo(uint32_t callId) : IKovaMediaInfo(callId) {}
  ~IKovaAudioInfo() override = default;
};

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_IKOVAAUDIOINFO_H_
