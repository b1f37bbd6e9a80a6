// Reference counting and interface identity.
//
// An object that counts its own references derives from IKovaUnknown (the
// interface callers see) and from CKovaUnknownImpl (the implementation), and
// forwards IKovaUnknown's operations to CKovaUnknownImpl:
//
//   class Thing : public IThing, public kova::IKovaUnknown,
//                 public kova::CKovaUnknownImpl { ... };
//
// The count starts at 0. ReleaseReference() that brings it to 0 calls
// OnReferenceDestory(), which deletes the object through its virtual
// destructor; the object must then not be touched again.
#ifndef UTIL_INCLUDE_KOVAUNKNOWN_H_
#define UTIL_INCLUDE_KOVAUNKNOWN_H_

#include <atomic>
#include <cstdint>
#include <cstring>

#include "CmMutex.h"
#include "KovaResult.h"
#include "util_export.h"

namespace kova {

struct KOVA_GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

inline bool operator==(const KOVA_GUID& a, const KOVA_GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

// {00000000-2013-0114-0123-456789ABCDEF}: the only identifier that
// QueryInterface accepts.
constexpr KOVA_GUID IID_IKovaUnknown = {
    0x00000000, 0x2013, 0x0114, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

class IKovaUnknown {
 public:
  virtual ~IKovaUnknown() = default;
  virtual uint32_t AddReference() = 0;
  virtual uint32_t ReleaseReference() = 0;
  // KOVA_E_POINTER for a null ppv; for IID_IKovaUnknown stores the object's
  // CKovaUnknownImpl part, adds a reference and gives KOVA_S_OK; any other
  // identifier stores null and gives KOVA_E_NOINTERFACE.
  virtual KOVA_RESULT QueryInterface(const KOVA_GUID& iid, void** ppv) = 0;
  virtual uint32_t GetReference() = 0;
};

// An atomic reference count whose drop to 0 calls OnReferenceDestory().
template <class MutexT>
class CCmReferenceControlT {
 public:
  CCmReferenceControlT() = default;
  virtual ~CCmReferenceControlT() = default;
  CCmReferenceControlT(const CCmReferenceControlT&) = delete;
  CCmReferenceControlT& operator=(const CCmReferenceControlT&) = delete;

  uint32_t AddReference() { return ++m_nReference; }
  uint32_t ReleaseReference() {
    const uint32_t n = --m_nReference;
    if (n == 0) OnReferenceDestory();
    return n;
  }
  uint32_t GetReference() const { return m_nReference.load(); }

 protected:
  virtual void OnReferenceDestory() = 0;

 private:
  std::atomic<uint32_t> m_nReference{0};
};

class CMUTIL_API CKovaUnknownImpl
    : public CCmReferenceControlT<CCmMutexThread> {
 public:
  CKovaUnknownImpl();
  ~CKovaUnknownImpl() override;
  void OnReferenceDestory() override { delete this; }
  virtual KOVA_RESULT QueryInterface(const KOVA_GUID& iid, void** ppv) {
    if (ppv == nullptr) return KOVA_E_POINTER;
    if (!(iid == IID_IKovaUnknown)) {
      *ppv = nullptr;
      return KOVA_E_NOINTERFACE;
    }
    *ppv = this;
    AddReference();
    return KOVA_S_OK;
  }
};

}  // namespace kova

#endif  // UTIL_INCLUDE_KOVAUNKNOWN_H_
