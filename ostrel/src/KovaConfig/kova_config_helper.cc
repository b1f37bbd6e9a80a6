// KovaConfigHelper: binding, group defaulting, guards and forwarding to the
// call's store and to the helper's observer bookkeeping.
#include "ostrel/KovaConfigHelper.h"

// What the implementation uses beyond its own header.
#include <utility>

#include "config_groups.h"
#include "config_registry.h"
#include "host_boundary.h"
#include "observer_helper.h"
#include "ostrel/KovaConfigApi.h"
#include "support/trace.h"

namespace kovaStore {

namespace {

constexpr uint32_t kNoCallId = 0xFFFFFFFF;

// Brings the observer bookkeeping in line with the store: attached (and every
// remembered observer registered) when there is a store, detached when not.
// False when a remembered observer could not be registered.
bool syncObserverHelper(KovaConfigObserverHelper* pObserverHelper,
                        IKovaConfig* pConfig, uint64_t generation) {
  if (pObserverHelper->GetConfig() == nullptr && pConfig != nullptr) {
    return pObserverHelper->AttachConfig(pConfig, generation);
  }
  if (pObserverHelper->GetConfig() != nullptr && pConfig == nullptr) {
    pObserverHelper->DetachConfig();
  }
  return true;
}

// Runs `forward` with the resolved `group`. A group that did not resolve
// (-1 with no default group) forwards nothing: the error line `szError` about
// `self` is written and `failed` returned. Whatever the caller passed by value
// is then destroyed with the caller's frame.
template <typename Result, typename Forward>
Result forwardInGroup(KovaConfigGroup group, const void* self,
                      const char* szError, Result failed, Forward&& forward) {
  if (group == KovaConfigGroup_Undefined) {
    KOVA_ERROR_TRACE(szError << KOVA_THIS_SUFFIX(self));
    return failed;
  }
  return forward(group);
}

// Exceptions: operations that only forward to the store need no boundary of
// their own, since every store the registry hands out guards each of its
// operations (GuardedKovaConfig) and the forwarding allocates nothing. The
// others (binding, observers, construction, copies, destruction) run at the
// host boundary themselves.

// The guard texts name the member the check is about.
#define KOVA_HELPER_NAME_AND_STORE_GUARD(result)                              \
  KOVA_ASSERT_RETURN_AS((szConfigName != NULL) && (pConfig != NULL),          \
                        "(szConfigName != NULL) && (m_pIKovaConfig != NULL)", \
                        result)
#define KOVA_HELPER_STORE_GUARD(result) \
  KOVA_ASSERT_RETURN_AS((pConfig != NULL), "(m_pIKovaConfig != NULL)", result)

}  // namespace

KovaConfigHelper::KovaConfigHelper(uint32_t callId)
    : m_callId(callId),
      m_defaultGroup(KovaConfigGroup_Undefined),
      m_pIKovaConfig(nullptr),
      m_pObserverHelper(nullptr) {
  // Out of memory, the helper is left without bookkeeping or store.
  runAtHostBoundary("kovaStore::KovaConfigHelper::KovaConfigHelper", this, 0,
                    [&] {
                      m_pObserverHelper = new KovaConfigObserverHelper();
                      if (m_callId != kNoCallId) createKovaConfig();
                      return 0;
                    });
}

KovaConfigHelper::KovaConfigHelper(const KovaConfigHelper& other)
    : m_callId(other.m_callId),
      m_defaultGroup(other.m_defaultGroup),
      m_pIKovaConfig(nullptr),
      m_pObserverHelper(nullptr) {
  runAtHostBoundary(
      "kovaStore::KovaConfigHelper::KovaConfigHelper", this, 0, [&] {
        m_pObserverHelper = new KovaConfigObserverHelper();
        // Our own registry reference on the store the original
        // holds, if it is alive.
        if (liveStore(other.m_pIKovaConfig, other.m_pObserverHelper) !=
            nullptr) {
          createKovaConfig();
        }
        return 0;
      });
}

KovaConfigHelper& KovaConfigHelper::operator=(const KovaConfigHelper& other) {
  if (&other == this) return *this;
  runAtHostBoundary("kovaStore::KovaConfigHelper::operator=", this, 0, [&] {
    // Allocated first, so that a failure leaves the target as it was.
    KovaConfigObserverHelper* pFresh = new KovaConfigObserverHelper();
    releaseKovaConfig();
    m_callId = other.m_callId;
    m_defaultGroup = other.m_defaultGroup;
    m_pObserverHelper = pFresh;
    if (liveStore(other.m_pIKovaConfig, other.m_pObserverHelper) != nullptr) {
      createKovaConfig();
    }
    return 0;
  });
  return *this;
}

KovaConfigHelper::~KovaConfigHelper() {
  runAtHostBoundary("kovaStore::KovaConfigHelper::~KovaConfigHelper", this, 0,
                    [&] {
                      releaseKovaConfig();
                      return 0;
                    });
}

void KovaConfigHelper::releaseKovaConfig() {
  // The bookkeeping is detached and deleted before the store reference goes,
  // so no observer of this helper outlives it in the store.
  // From a store that DestroyKovaConfig() ended the bookkeeping only forgets
  // its observers; the reference still goes back (KOVA_S_FALSE), which lets
  // the registry free what it kept of the store for this pointer.
  if (m_pIKovaConfig != nullptr) {
    if (m_pObserverHelper != nullptr) {
      if (m_pObserverHelper->GetConfig() != nullptr) {
        m_pObserverHelper->DetachConfig();
      }
      delete m_pObserverHelper;
      m_pObserverHelper = nullptr;
    }
    ReleaseKovaConfig(m_pIKovaConfig);
    m_pIKovaConfig = nullptr;
  }
  delete m_pObserverHelper;
  m_pObserverHelper = nullptr;
}

KOVA_RESULT KovaConfigHelper::createKovaConfig() {
  if (m_pIKovaConfig != nullptr) return KOVA_E_FAIL;
  uint64_t generation = 0;
  if (m_callId == kNoCallId ||
      createKovaConfigIn(m_callId, &m_pIKovaConfig, &generation) != KOVA_S_OK) {
    return KOVA_E_FAIL;
  }
  if (m_pObserverHelper == nullptr) return KOVA_E_FAIL;
  return syncObserverHelper(m_pObserverHelper, m_pIKovaConfig, generation)
             ? KOVA_S_OK
             : KOVA_E_FAIL;
}

KOVA_RESULT KovaConfigHelper::SetCallId(uint32_t callId) {
  return runAtHostBoundary(
      "kovaStore::KovaConfigHelper::SetCallId", this, KOVA_E_FAIL,
      [&]() -> KOVA_RESULT {
        bool bRefused = true;
        if (m_callId == kNoCallId && callId != kNoCallId) {
          m_callId = callId;
          // Binding succeeds without a store too, unless observers
          // remembered for it are left unregistered: those the store did not
          // accept are forgotten, and the caller must learn of it.
          bRefused = createKovaConfig() != KOVA_S_OK &&
                     (m_pIKovaConfig != nullptr ||
                      (m_pObserverHelper != nullptr &&
                       m_pObserverHelper->HasRemembered()));
        } else if (m_callId != kNoCallId && m_callId == callId &&
                   liveStore(m_pIKovaConfig, m_pObserverHelper) != nullptr) {
          bRefused = false;
        }
        if (!bRefused) return KOVA_S_OK;
        KOVA_ERROR_TRACE("kovaStore::KovaConfigHelper::SetCallId, m_callId="
                         << m_callId << ", callId=" << callId
                         << KOVA_THIS_SUFFIX(this));
        return KOVA_E_FAIL;
      });
}

KOVA_RESULT KovaConfigHelper::SetKovaSessionType(
    kova::KovaSessionType sessionType) {
  const KovaConfigGroup group = sessionTypeToGroup(sessionType);
  if (m_defaultGroup == KovaConfigGroup_Undefined) {
    m_defaultGroup = group;
    if (group != KovaConfigGroup_Undefined) return KOVA_S_OK;
  } else if (m_defaultGroup == group) {
    return KOVA_S_OK;
  }
  KOVA_ERROR_TRACE("kovaStore::KovaConfigHelper::SetKovaSessionType, "
                   << groupName(m_defaultGroup) << ", sessionType="
                   << static_cast<int>(sessionType) << KOVA_THIS_SUFFIX(this));
  return KOVA_E_FAIL;
}

kova::KovaSessionType KovaConfigHelper::GetKovaSessionType() const {
  return groupToSessionType(m_defaultGroup);
}

KOVA_RESULT KovaConfigHelper::SetDefaultGroup(KovaConfigGroup group) {
  // Compared unsigned: every negative group is refused with -1 and 12.
  if (m_defaultGroup != KovaConfigGroup_Undefined || !isStorableGroup(group)) {
    return KOVA_E_FAIL;
  }
  m_defaultGroup = group;
  return KOVA_S_OK;
}

KOVA_RESULT KovaConfigHelper::InitKovaConfig(
    uint32_t callId, kova::KovaSessionType sessionType) {
  const KOVA_RESULT callResult = SetCallId(callId);
  const KOVA_RESULT typeResult = SetKovaSessionType(sessionType);
  return callResult == KOVA_S_OK && typeResult == KOVA_S_OK ? KOVA_S_OK
                                                            : KOVA_E_FAIL;
}

uint64_t KovaConfigHelper::SubscribeConfig(const char* szConfigName,
                                           KovaConfigCallback callback,
                                           KovaConfigGroup group,
                                           ACmThread* pRunThread, bool bAsync) {
  return runAtHostBoundary(
      "kovaStore::KovaConfigHelper::SubscribeConfig", this, uint64_t{0},
      [&]() -> uint64_t {
        KOVA_ASSERT_RETURN(
            (m_pObserverHelper != NULL) && (szConfigName != NULL), 0);
        return forwardInGroup<uint64_t>(
            resolveGroup(group), this,
            "kovaStore::KovaConfigHelper::SubscribeConfig Error "
            "KovaConfigGroup",
            0, [&](KovaConfigGroup resolved) {
              return m_pObserverHelper->SubscribeConfig(resolved, szConfigName,
                                                        std::move(callback),
                                                        pRunThread, bAsync);
            });
      });
}

uint64_t KovaConfigHelper::BindConfig(const char* szConfigName,
                                      KovaConfigProvider provider,
                                      KovaConfigGroup group) {
  return runAtHostBoundary(
      "kovaStore::KovaConfigHelper::BindConfig", this, uint64_t{0},
      [&]() -> uint64_t {
        KOVA_ASSERT_RETURN(
            (m_pObserverHelper != NULL) && (szConfigName != NULL), 0);
        return forwardInGroup<uint64_t>(
            resolveGroup(group), this,
            "kovaStore::KovaConfigHelper::BindConfig Error KovaConfigGroup", 0,
            [&](KovaConfigGroup resolved) {
              return m_pObserverHelper->BindConfig(resolved, szConfigName,
                                                   std::move(provider));
            });
      });
}

KOVA_RESULT KovaConfigHelper::UnsubscribeConfig(uint64_t id) {
  return runAtHostBoundary("kovaStore::KovaConfigHelper::UnsubscribeConfig",
                           this, KOVA_E_FAIL, [&]() -> KOVA_RESULT {
                             KOVA_ASSERT_RETURN(m_pObserverHelper != NULL,
                                                KOVA_E_INVALIDARG);
                             return m_pObserverHelper->UnsubscribeConfig(id);
                           });
}

KOVA_RESULT KovaConfigHelper::UnsubscribeConfig(const char* szConfigName,
                                                KovaConfigGroup group) {
  return runAtHostBoundary("kovaStore::KovaConfigHelper::UnsubscribeConfig",
                           this, KOVA_E_FAIL, [&]() -> KOVA_RESULT {
                             KOVA_ASSERT_RETURN(m_pObserverHelper != NULL,
                                                KOVA_E_INVALIDARG);
                             // The name is checked by the bookkeeping.
                             return forwardInGroup<KOVA_RESULT>(
                                 resolveGroup(group), this,
                                 "kovaStore::KovaConfigHelper::"
                                 "UnsubscribeConfigError KovaConfigGroup",
                                 KOVA_E_FAIL, [&](KovaConfigGroup resolved) {
                                   return m_pObserverHelper->UnsubscribeConfig(
                                       szConfigName, resolved);
                                 });
                           });
}

KOVA_RESULT KovaConfigHelper::SetKovaConfig(const char* szConfigName,
                                            ConfigData value,
                                            KovaConfigGroup group,
                                            bool bForceNotify,
                                            bool bNotifyOnly) {
  IKovaConfig* const pConfig = liveStore(m_pIKovaConfig, m_pObserverHelper);
  KOVA_HELPER_NAME_AND_STORE_GUARD(KOVA_E_INVALIDARG);
  return forwardInGroup<KOVA_RESULT>(
      resolveGroup(group), this,
      "kovaStore::KovaConfigHelper::SetKovaConfigError KovaConfigGroup",
      KOVA_E_FAIL, [&](KovaConfigGroup resolved) {
        return pConfig->SetKovaConfig(resolved, szConfigName, std::move(value),
                                      bForceNotify, bNotifyOnly);
      });
}

KOVA_RESULT KovaConfigHelper::SetKovaConfig(kova::KovaSessionType sessionType,
                                            const char* szConfigName,
                                            ConfigData value, bool bForceNotify,
                                            bool bNotifyOnly) {
  return SetKovaConfig(szConfigName, std::move(value),
                       sessionTypeToGroup(sessionType), bForceNotify,
                       bNotifyOnly);
}

KOVA_RESULT KovaConfigHelper::GetKovaConfig(const char* szConfigName,
                                            ConfigData& value,
                                            KovaConfigGroup group) {
  IKovaConfig* const pConfig = liveStore(m_pIKovaConfig, m_pObserverHelper);
  KOVA_HELPER_NAME_AND_STORE_GUARD(KOVA_E_INVALIDARG);
  return forwardInGroup<KOVA_RESULT>(
      resolveGroup(group), this,
      "kovaStore::KovaConfigHelper::GetKovaConfigError KovaConfigGroup",
      KOVA_E_FAIL, [&](KovaConfigGroup resolved) {
        return pConfig->GetKovaConfig(resolved, szConfigName, value);
      });
}

ConfigData KovaConfigHelper::GetKovaConfig(const char* szConfigName,
                                           KovaConfigGroup group) {
  ConfigData value;
  GetKovaConfig(szConfigName, value, group);
  return value;
}

KOVA_RESULT KovaConfigHelper::GetKovaConfig(kova::KovaSessionType sessionType,
                                            const char* szConfigName,
                                            ConfigData& value) {
  return GetKovaConfig(szConfigName, value, sessionTypeToGroup(sessionType));
}

ConfigData KovaConfigHelper::GetKovaConfig(kova::KovaSessionType sessionType,
                                           const char* szConfigName) {
  ConfigData value;
  GetKovaConfig(sessionType, szConfigName, value);
  return value;
}

KOVA_RESULT KovaConfigHelper::GetDynamicConfig(const char* szConfigName,
                                               ConfigData& value,
                                               KovaConfigGroup group,
                                               ConfigData paramValue) {
  IKovaConfig* const pConfig = liveStore(m_pIKovaConfig, m_pObserverHelper);
  KOVA_HELPER_NAME_AND_STORE_GUARD(KOVA_E_INVALIDARG);
  return forwardInGroup<KOVA_RESULT>(
      resolveGroup(group), this,
      "kovaStore::KovaConfigHelper::GetDynamicConfigError "
      "KovaConfigGroup",
      KOVA_E_FAIL, [&](KovaConfigGroup resolved) {
        return pConfig->GetDynamicConfig(resolved, szConfigName, value,
                                         std::move(paramValue));
      });
}

ConfigData KovaConfigHelper::GetDynamicConfig(const char* szConfigName,
                                              KovaConfigGroup group,
                                              ConfigData paramValue) {
  ConfigData value;
  GetDynamicConfig(szConfigName, value, group, std::move(paramValue));
  return value;
}

KOVA_RESULT KovaConfigHelper::RemoveKovaConfig(const char* szConfigName,
                                               KovaConfigGroup group) {
  IKovaConfig* const pConfig = liveStore(m_pIKovaConfig, m_pObserverHelper);
  KOVA_HELPER_NAME_AND_STORE_GUARD(KOVA_E_INVALIDARG);
  return forwardInGroup<KOVA_RESULT>(
      resolveGroup(group), this,
      "kovaStore::KovaConfigHelper::RemoveKovaConfigError "
      "KovaConfigGroup",
      KOVA_E_FAIL, [&](KovaConfigGroup resolved) {
        return pConfig->RemoveKovaConfig(resolved, szConfigName);
      });
}

KOVA_RESULT KovaConfigHelper::RemoveKovaConfigByGroup(KovaConfigGroup group) {
  IKovaConfig* const pConfig = liveStore(m_pIKovaConfig, m_pObserverHelper);
  KOVA_HELPER_STORE_GUARD(KOVA_E_INVALIDARG);
  return forwardInGroup<KOVA_RESULT>(
      resolveGroup(group), this,
      "kovaStore::KovaConfigHelper::RemoveKovaConfigByGroupError "
      "KovaConfigGroup",
      KOVA_E_FAIL, [&](KovaConfigGroup resolved) {
        return pConfig->RemoveKovaConfigByGroup(resolved);
      });
}

bool KovaConfigHelper::HaveKovaConfig(const char* szConfigName,
                                      KovaConfigGroup group) {
  ConfigData value;
  return GetKovaConfig(szConfigName, value, group) == KOVA_S_OK;
}

const char* KovaConfigHelper::DumpKovaConfigs(uint32_t groups) {
  IKovaConfig* const pConfig = liveStore(m_pIKovaConfig, m_pObserverHelper);
  KOVA_HELPER_STORE_GUARD(nullptr);
  return pConfig->DumpKovaConfigs(groups);
}

KOVA_RESULT KovaConfigHelper::ApplyKovaConfigs(const char* szJsonConfig) {
  IKovaConfig* const pConfig = liveStore(m_pIKovaConfig, m_pObserverHelper);
  KOVA_ASSERT_RETURN_AS((szJsonConfig != NULL) && (pConfig != NULL),
                        "(szJsonConfig != NULL) && (m_pIKovaConfig != NULL)",
                        KOVA_E_INVALIDARG);
  return pConfig->ApplyKovaConfigs(szJsonConfig);
}

}  // namespace kovaStore
