// IKovaMediaInfo: what every statistics object of a call offers, and the
// kinds of statistics objects.
//
// A statistics object holds the media statistics of one call as fixed binary
// records (see IKovaAudioInfo.h and IKovaVideoInfo.h). Objects are obtained
// and given back through createOstrelEntity() and releaseOstrelEntity()
// (KovaOstrelApi.h); they count their own references and delete themselves
// when the last one is given back, so never delete one.
//
// Any thread may call any operation. Only the reference count is atomic: the
// records are read and written without a lock, so a whole-record read beside
// a setter on another thread may see a mix of old and new fields.
#ifndef OSTREL_INCLUDE_KOVAMEDIAINFO_H_
#define OSTREL_INCLUDE_KOVAMEDIAINFO_H_

#include <KovaResult.h>

#include <cstdint>

namespace kovaStore {

// The kind of a statistics object. Any other value is refused.
enum KovaMediaStatType : int32_t {
  KovaMediaStat_Audio = 0,         // an IKovaAudioInfo
  KovaMediaStat_Video = 1,         // an IKovaVideoInfo
  KovaMediaStat_ContentVideo = 2,  // an IKovaVideoInfo for content sharing
  KovaMediaStat_ContentAudio = 3,  // an IKovaAudioInfo for content sharing
};

// Virtual operations are declared in their table order, destructor first;
// keep that order, media modules built against it call by position.
class IKovaMediaInfo {
 protected:
  // Objects delete themselves when their last reference is released.
  virtual ~IKovaMediaInfo() = default;

 public:
  // Copies the whole session record (audio) or statistics record (video)
  // in. KOVA_E_FAIL for a null pointer, else KOVA_S_OK.
  virtual KOVA_RESULT SetStatistics(const void* pRecord) = 0;
  // Reserved; ignores everything and gives KOVA_E_FAIL.
  virtual KOVA_RESULT ReservedA() = 0;
  // Copies the whole record out and, with bReset, starts a new interval (what
  // that resets is documented by each interface). KOVA_E_FAIL for a null
  // pointer, else KOVA_S_OK.
  virtual KOVA_RESULT GetStatistics(void* pRecord, bool bReset) = 0;
  // Reserved; ignores everything. Audio gives KOVA_S_OK, video KOVA_E_FAIL.
  virtual KOVA_RESULT ReservedB() = 0;
  // Returns every record to its state after creation and binds `callId`.
  // The reference count is untouched.
  virtual void ResetStatistics(uint32_t callId) = 0;
  virtual uint32_t GetCallId() const = 0;

 protected:
  explicit IKovaMediaInfo(uint32_t callId) : m_callId(callId) {}
  IKovaMediaInfo(const IKovaMediaInfo&) = default;
  IKovaMediaInfo& operator=(const IKovaMediaInfo&) = default;

  uint32_t m_callId;
};

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_KOVAMEDIAINFO_H_
