#include "ostrel_registry.h"

#include <cstdint>
#include <new>

#include "audio_statistic_info.h"
#include "ostrel/KovaOstrelApi.h"
#include "support/trace.h"
#include "video_statistic_info.h"

namespace kovaStore {

namespace {

constexpr uint32_t kNoReference = 0xFFFFFFFF;

// Built during static initialisation when the library is loaded, before any
// caller can reach the exported functions.
CKovaOstrel g_ostrel;

// A new object of the kind with no reference yet; nothing for other kinds.
template <class T>
bool buildEntity(uint32_t callId, IKovaMediaInfo** ppInfo,
                 kova::IKovaUnknown** ppUnknown, RegistryLink** ppLink) {
  T* pObject = new (std::nothrow) T(callId);
  if (pObject == nullptr) return false;
  *ppInfo = pObject;
  *ppUnknown = pObject;
  *ppLink = &pObject->m_registryLink;
  return true;
}

bool buildEntity(KovaMediaStatType type, uint32_t callId,
                 IKovaMediaInfo** ppInfo, kova::IKovaUnknown** ppUnknown,
                 RegistryLink** ppLink) {
  switch (type) {
    case KovaMediaStat_Audio:
      return buildEntity<KovaAudioStatisticInfo>(callId, ppInfo, ppUnknown,
                                                 ppLink);
    case KovaMediaStat_Video:
      return buildEntity<KovaVideoStatisticInfo>(callId, ppInfo, ppUnknown,
                                                 ppLink);
    case KovaMediaStat_ContentVideo:
      return buildEntity<KovaContentVideoStatisticInfo>(callId, ppInfo,
                                                        ppUnknown, ppLink);
    case KovaMediaStat_ContentAudio:
      return buildEntity<KovaContentAudioStatisticInfo>(callId, ppInfo,
                                                        ppUnknown, ppLink);
  }
  return false;
}

bool isMediaStatType(KovaMediaStatType type) {
  return type >= KovaMediaStat_Audio && type <= KovaMediaStat_ContentAudio;
}

unsigned long long pointerNumber(const void* p) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p));
}

}  // namespace

CKovaOstrel::CKovaOstrel() = default;

CKovaOstrel::~CKovaOstrel() {
  // Objects still referenced outlive the registry: they must not call back.
  UtilLockGuard guard(m_mutex);
  for (auto& entry : m_entities) entry.second.pLink->pRegistry.store(nullptr);
}

void forgetRegisteredEntity(const RegistryLink& link,
                            const IKovaMediaInfo* pInfo) {
  if (CKovaOstrel* pRegistry = link.pRegistry.load()) {
    pRegistry->forgetEntity(link.type, link.callId, pInfo);
  }
}

void CKovaOstrel::forgetEntity(int32_t type, uint32_t callId,
                               const IKovaMediaInfo* pInfo) {
  // Recursive: a release through the registry comes here holding the lock.
  UtilLockGuard guard(m_mutex);
  if (!guard.Locked()) return;
  auto it = m_entities.find(EntityKey(type, callId));
  if (it != m_entities.end() && it->second.pInfo == pInfo) {
    m_entities.erase(it);
  }
}

CKovaOstrel& CKovaOstrel::instance() { return g_ostrel; }

IKovaMediaInfo* CKovaOstrel::createOrGetOstrelEntity(KovaMediaStatType type,
                                                     uint32_t callId) {
  UtilLockGuard guard(m_mutex);
  if (!guard.Locked()) {
    KOVA_ERROR_TRACE("CKovaOstrel::createOrGetOstrelEntity lock failed, type="
                     << static_cast<int>(type)
                     << ", callId=" << static_cast<unsigned>(callId)
                     << KOVA_THIS_SUFFIX(this));
    return nullptr;
  }
  const EntityKey key(static_cast<int32_t>(type), callId);
  auto it = m_entities.find(key);
  uint32_t count = 0;
  if (it != m_entities.end()) {
    count = it->second.pUnknown->AddReference();
    // From 0: a release on another thread has begun destroying the object,
    // which waits for this lock to unregister. It is not handed out.
    if (count == 1) {
      m_entities.erase(it);
      it = m_entities.end();
    }
  }
  if (it == m_entities.end()) {
    Entity entity{nullptr, nullptr, nullptr};
    if (!buildEntity(type, callId, &entity.pInfo, &entity.pUnknown,
                     &entity.pLink)) {
      KOVA_INFO_TRACE("CKovaOstrel::createOrGetOstrelEntity failed, type="
                      << static_cast<int>(type)
                      << ", callId=" << static_cast<unsigned>(callId)
                      << KOVA_THIS_SUFFIX(this));
      return nullptr;
    }
    try {
      it = m_entities.emplace(key, entity).first;
    } catch (const std::bad_alloc&) {
      delete entity.pUnknown;  // never handed out, no reference yet
      return nullptr;
    }
    entity.pLink->type = key.first;
    entity.pLink->callId = key.second;
    entity.pLink->pRegistry.store(this);
    it->second.pUnknown->AddReference();
  }
  count = it->second.pUnknown->GetReference();
  KOVA_INFO_TRACE(
      "CKovaOstrel::createOrGetOstrelEntity, type="
      << static_cast<int>(type) << ", callId=" << static_cast<unsigned>(callId)
      << ", pMediaStatInfo=" << static_cast<const void*>(it->second.pInfo)
      << ", refCnt=" << static_cast<unsigned>(count) << KOVA_THIS_SUFFIX(this));
  return it->second.pInfo;
}

uint32_t CKovaOstrel::releaseOstrelEntity(KovaMediaStatType type,
                                          uint32_t callId,
                                          IKovaMediaInfo* pMediaStatInfo) {
  UtilLockGuard guard(m_mutex);
  if (!guard.Locked()) {
    KOVA_ERROR_TRACE("CKovaOstrel::releaseOstrelEntity lock failed, type="
                     << static_cast<int>(type)
                     << ", callId=" << static_cast<unsigned>(callId)
                     << KOVA_THIS_SUFFIX(this));
    return kNoReference;
  }
  auto it = m_entities.find(EntityKey(static_cast<int32_t>(type), callId));
  if (it == m_entities.end()) {
    KOVA_INFO_TRACE("CKovaOstrel::releaseOstrelEntity, type="
                    << static_cast<int>(type) << ", callId="
                    << static_cast<unsigned>(callId) << ", inPMediaStatInfo="
                    << static_cast<const void*>(pMediaStatInfo)
                    << ", refCnt=4294967295" << KOVA_THIS_SUFFIX(this));
    return kNoReference;
  }
  const Entity entity = it->second;
  // At 0 the object unregisters (erasing `it`) and deletes itself; only its
  // address is used afterwards.
  const uint32_t count = entity.pUnknown->ReleaseReference();
  KOVA_INFO_TRACE(
      "CKovaOstrel::releaseOstrelEntity, type="
      << static_cast<int>(type) << ", callId=" << static_cast<unsigned>(callId)
      << ", in_PMediaStatInfo=" << static_cast<const void*>(pMediaStatInfo)
      << "out_PMediaStatInfo=" << pointerNumber(entity.pInfo)
      << ", refCnt=" << static_cast<unsigned>(count) << KOVA_THIS_SUFFIX(this));
  return count;
}

IKovaMediaInfo* CKovaOstrel::findOstrelEntity(KovaMediaStatType type,
                                              uint32_t callId) {
  UtilLockGuard guard(m_mutex);
  if (!guard.Locked()) return nullptr;
  auto it = m_entities.find(EntityKey(static_cast<int32_t>(type), callId));
  if (it == m_entities.end()) return nullptr;
  // From 0: the object is being destroyed by a release on another thread
  // and waits for this lock to unregister; it is not handed out, and the
  // reference just added dies with it.
  if (it->second.pUnknown->AddReference() == 1) {
    m_entities.erase(it);
    return nullptr;
  }
  return it->second.pInfo;
}

uint32_t CKovaOstrel::listEntities(KovaOstrelEntityKey* pKeys,
                                   uint32_t nCapacity) {
  UtilLockGuard guard(m_mutex);
  if (!guard.Locked()) return 0;
  uint32_t n = 0;
  for (const auto& entry : m_entities) {
    if (n < nCapacity) pKeys[n] = {entry.first.first, entry.first.second};
    ++n;
  }
  return n;
}

size_t CKovaOstrel::entityCount() {
  UtilLockGuard guard(m_mutex);
  return guard.Locked() ? m_entities.size() : 0;
}

extern "C" {

KOVA_RESULT createOstrelEntity(KovaMediaStatType type, uint32_t callId,
                               IKovaMediaInfo** ppMediaStatInfo) {
  if (ppMediaStatInfo == nullptr) return KOVA_E_FAIL;
  *ppMediaStatInfo = nullptr;
  *ppMediaStatInfo = g_ostrel.createOrGetOstrelEntity(type, callId);
  return *ppMediaStatInfo != nullptr ? KOVA_S_OK : KOVA_E_FAIL;
}

uint32_t releaseOstrelEntity(KovaMediaStatType type, uint32_t callId,
                             IKovaMediaInfo* pMediaStatInfo) {
  if (pMediaStatInfo == nullptr) return kNoReference;
  return g_ostrel.releaseOstrelEntity(type, callId, pMediaStatInfo);
}

KOVA_RESULT findOstrelEntity(KovaMediaStatType type, uint32_t callId,
                             IKovaMediaInfo** ppMediaStatInfo) {
  if (ppMediaStatInfo == nullptr || !isMediaStatType(type)) return KOVA_E_FAIL;
  *ppMediaStatInfo = g_ostrel.findOstrelEntity(type, callId);
  return *ppMediaStatInfo != nullptr ? KOVA_S_OK : KOVA_S_FALSE;
}

KOVA_RESULT listOstrelEntities(KovaOstrelEntityKey* pKeys, uint32_t nCapacity,
                               uint32_t* pnCount) {
  if (pnCount == nullptr || (pKeys == nullptr && nCapacity != 0)) {
    return KOVA_E_INVALIDARG;
  }
  *pnCount = g_ostrel.listEntities(pKeys, nCapacity);
  return *pnCount <= nCapacity ? KOVA_S_OK : KOVA_S_FALSE;
}

}  // extern "C"

}  // namespace kovaStore
