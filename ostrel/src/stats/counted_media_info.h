// KovaCountedMediaInfo: the reference-counting half that every statistics
// object shares. It joins a statistics interface (IKovaAudioInfo or
// IKovaVideoInfo) with kova::IKovaUnknown and kova::CKovaUnknownImpl, in that
// order, and forwards IKovaUnknown's operations to CKovaUnknownImpl, so that
// callers holding either interface reach the one atomic count.
//
// The count starts at 0; the release that brings it to 0 deletes the whole
// object through its virtual destructor, after which it must not be touched.
// Any thread may add, release or read references; the records behind InfoT
// follow that interface's own rules (see KovaMediaInfo.h).
//
// Whatever path brings the count to 0 (a release through the registry, or
// one through IKovaUnknown after QueryInterface), the object first tells the
// registry that handed it out, which forgets it, and only then deletes
// itself.
#ifndef OSTREL_SRC_STATS_COUNTED_MEDIA_INFO_H_
#define OSTREL_SRC_STATS_COUNTED_MEDIA_INFO_H_

#include <KovaUnknown.h>

#include <atomic>
#include <cstdint>

#include "ostrel/KovaMediaInfo.h"

namespace kovaStore {

class CKovaOstrel;

// The registry entry an object was handed out under. The registry fills it
// when it registers the object and clears pRegistry when it goes itself.
struct RegistryLink {
  std::atomic<CKovaOstrel*> pRegistry{nullptr};
  int32_t type = 0;
  uint32_t callId = 0;
};

// Tells the link's registry that the object behind `pInfo` is being
// destroyed; the registry then forgets that entry unless it holds another
// object by now. Defined with the registry.
void forgetRegisteredEntity(const RegistryLink& link,
                            const IKovaMediaInfo* pInfo);

template <class InfoT>
class KovaCountedMediaInfo : public InfoT,
                             public kova::IKovaUnknown,
                             public kova::CKovaUnknownImpl {
 public:
  // The entry the registry handed this object out under.
  RegistryLink m_registryLink;

  // A reference count is never copied along with the records.
  KovaCountedMediaInfo(const KovaCountedMediaInfo&) = delete;
  KovaCountedMediaInfo& operator=(const KovaCountedMediaInfo&) = delete;

  uint32_t AddReference() override {
    return kova::CKovaUnknownImpl::AddReference();
  }
  uint32_t ReleaseReference() override {
    return kova::CKovaUnknownImpl::ReleaseReference();
  }
  KOVA_RESULT QueryInterface(const kova::KOVA_GUID& iid, void** ppv) override {
    return kova::CKovaUnknownImpl::QueryInterface(iid, ppv);
  }
  uint32_t GetReference() override {
    return kova::CKovaUnknownImpl::GetReference();
  }

  // The slots that every statistics object answers alike.
  KOVA_RESULT ReservedA() override { return KOVA_E_FAIL; }
  uint32_t GetCallId() const override { return this->m_callId; }

 protected:
  explicit KovaCountedMediaInfo(uint32_t callId) : InfoT(callId) {}
  ~KovaCountedMediaInfo() override = default;

  // The count reached 0: unregistered first, so that no request can find the
  // object while it is destroyed.
  void OnReferenceDestory() override {
    forgetRegisteredEntity(m_registryLink, static_cast<const InfoT*>(this));
    delete this;
  }
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_STATS_COUNTED_MEDIA_INFO_H_
