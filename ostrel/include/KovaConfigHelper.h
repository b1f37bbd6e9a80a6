// KovaConfigHelper: a module's handle on the configuration store of one call,
// bound to one call id and one default group (which doubles as the module's
// session type), with the numbered feature toggles on top.
//
//   kovaStore::KovaConfigHelper config;                 // not bound yet
//   config.InitKovaConfig(callId, kova::KovaSessionType_Video);
//   // Told of every change on m_thread's own thread, posted:
//   config.SubscribeFeatureToggle(
//       KOVA_FT_EnableRelayMode,
//       [this](const kovaStore::KovaConfigEvent& e) { OnRelayMode(e); },
//       m_thread, true);
//   ConfigData fps = config.GetKovaConfig("MaxFps");    // group "Video"
//
// Binding: the call id and the default group are each set once (constructor,
// SetCallId, SetKovaSessionType, SetDefaultGroup or InitKovaConfig). Binding a
// call id takes one registry reference on the call's store (CreateKovaConfig),
// given back by the destructor. An operation given group -1
// (KovaConfigGroup_Undefined) uses the default group; with none set it fails
// with KOVA_E_FAIL (observer id 0) and an error trace.
//
// Ownership: the helper owns its observer bookkeeping: every subscription and
// binding made through it is removed from the store when the helper is
// destroyed, before its store reference is given back. Subscriptions made
// before the store exists are remembered (the call returns 0) and registered
// when the call id is bound.
//
// Copies: a copy binds the same call id and default group, takes its own
// registry reference on the same store (when the original has one) and
// starts with its own, empty set of subscriptions; the original's
// subscriptions stay with the original. Assignment first gives up everything
// the target held (its subscriptions end, its store reference is returned).
//
// Reads: GetKovaConfig, HaveKovaConfig and the toggle reads take no lock and
// never wait for writers (see IKovaConfig::GetKovaConfig); HaveFeatureToggle
// is a couple of atomic loads.
//
// Threads: binding (SetCallId, SetKovaSessionType, SetDefaultGroup,
// InitKovaConfig, assignment) is not synchronised and must finish before the
// helper is shared. Once bound, every other operation may run on any thread,
// several at once, also inside an observer callback.
//
// Guards: a missing store or observer bookkeeping, or a null name, reports an
// assertion (it never aborts) and returns KOVA_E_INVALIDARG, observer id 0,
// false or a null text. Every other result is the store's own.
//
// Shutdown: after DestroyKovaConfig() a helper bound before it behaves as a
// helper without a store (its operations fail their guards, its
// subscriptions are only forgotten), and its destructor gives its reference
// back, which lets the registry free what it kept of the ended store (see
// KovaConfigApi.h); helpers may be torn down after the stores are gone. The
// check costs one relaxed atomic load per operation; an operation racing
// DestroyKovaConfig() on another thread stays inside the store's memory and
// is either done or refused.
//
// Exceptions: no operation, constructor or destructor lets an exception of
// the library's own making (an allocation failure) escape: it is traced at
// level 0 and the operation fails with KOVA_E_FAIL, observer id 0 or an
// empty dump text. A callback's or provider's own exception reaches the caller
// of the set or query unchanged, as from IKovaConfig.
//
// Removal: after UnsubscribeConfig() posted deliveries already queued may
// still run, and a removal that gave up after about 3 s leaves its running
// delivery in place (see IKovaConfig::UnsubscribeConfig). A callback that
// uses an object must not outlive it: capture shared or weak ownership, e.g.
//
//   std::weak_ptr<Module> weak = shared_from_this();
//   config.SubscribeConfig(
//       "MaxFps",
//       [weak](const kovaStore::KovaConfigEvent& e) {
//         if (auto self = weak.lock()) self->OnMaxFps(e);
//       },
//       kovaStore::KovaConfigGroup_Video, m_thread, true);
//
// or stop and drain the run thread before the object goes. A callback may
// own a shared_ptr to a helper: the library destroys callables only outside
// its registry lock.
#ifndef OSTREL_INCLUDE_KOVACONFIGHELPER_H_
#define OSTREL_INCLUDE_KOVACONFIGHELPER_H_

#include <ConfigData.h>

#include <cstdint>

#include "IKovaConfig.h"
#include "KovaConfigEvent.h"
#include "KovaConfigTypes.h"
#include "KovaFeatureToggle.h"
#include "ostrel_export.h"

class ACmThread;

namespace kovaStore {

class KovaConfigObserverHelper;

class OSTREL_API KovaConfigHelper {
 public:
  // Binds `callId` at once unless it is 0xFFFFFFFF (no call). A store that
  // cannot be obtained leaves the helper bound but without a store.
  explicit KovaConfigHelper(uint32_t callId = 0xFFFFFFFF);
  KovaConfigHelper(const KovaConfigHelper& other);
  KovaConfigHelper& operator=(const KovaConfigHelper& other);
  virtual ~KovaConfigHelper();

  // Binds the call id once: KOVA_S_OK for a first real id (even when its
  // store cannot be obtained, unless subscriptions made before are waiting
  // for it) or for repeating the bound id of a helper with a store;
  // KOVA_E_FAIL with an error trace otherwise. The subscriptions made before
  // are registered now; one that cannot be (out of memory, refused, its
  // callback threw in its initial notification) is forgotten, the others are
  // still registered, and the bind reports KOVA_E_FAIL (or passes on the
  // first callback's exception).
  KOVA_RESULT SetCallId(uint32_t callId);
  uint32_t GetCallId() const { return m_callId; }
  // Sets the default group to the session type's group, once. Repeating the
  // current session type is KOVA_S_OK; another one, or a type without a
  // group, is KOVA_E_FAIL with an error trace.
  KOVA_RESULT SetKovaSessionType(kova::KovaSessionType sessionType);
  // The session type of the default group; KovaSessionType_None when it has
  // none.
  kova::KovaSessionType GetKovaSessionType() const;
  // Sets the default group (0 to 11) once; KOVA_E_FAIL, untraced, otherwise.
  KOVA_RESULT SetDefaultGroup(KovaConfigGroup group);
  // SetCallId and SetKovaSessionType, both always; KOVA_S_OK when both are.
  KOVA_RESULT InitKovaConfig(uint32_t callId,
                             kova::KovaSessionType sessionType);

  // Subscribes to changes of a name (see IKovaConfig::SubscribeConfig).
  // Returns the store's observer id; 0 on failure, for a name already
  // observed through this helper, or while the helper has no store (the
  // subscription is then remembered).
  uint64_t SubscribeConfig(const char* szConfigName,
                           KovaConfigCallback callback,
                           KovaConfigGroup group = KovaConfigGroup_Undefined,
                           ACmThread* pRunThread = nullptr,
                           bool bAsync = false);
  // Binds the provider of a name, as SubscribeConfig.
  uint64_t BindConfig(const char* szConfigName, KovaConfigProvider provider,
                      KovaConfigGroup group = KovaConfigGroup_Undefined);
  // Removes an observer registered through this helper; posted deliveries
  // already queued still run (see the removal note above).
  KOVA_RESULT UnsubscribeConfig(uint64_t id);
  KOVA_RESULT UnsubscribeConfig(const char* szConfigName,
                                KovaConfigGroup group);

  KOVA_RESULT SetKovaConfig(const char* szConfigName, ConfigData value,
                            KovaConfigGroup group = KovaConfigGroup_Undefined,
                            bool bForceNotify = false,
                            bool bNotifyOnly = false);
  // In the session type's group; a type without a group means the default.
  KOVA_RESULT SetKovaConfig(kova::KovaSessionType sessionType,
                            const char* szConfigName, ConfigData value,
                            bool bForceNotify = false,
                            bool bNotifyOnly = false);
  KOVA_RESULT GetKovaConfig(const char* szConfigName, ConfigData& value,
                            KovaConfigGroup group = KovaConfigGroup_Undefined);
  // The value-returning reads give the invalid value on any failure.
  ConfigData GetKovaConfig(const char* szConfigName,
                           KovaConfigGroup group = KovaConfigGroup_Undefined);
  KOVA_RESULT GetKovaConfig(kova::KovaSessionType sessionType,
                            const char* szConfigName, ConfigData& value);
  ConfigData GetKovaConfig(kova::KovaSessionType sessionType,
                           const char* szConfigName);
  KOVA_RESULT GetDynamicConfig(const char* szConfigName, ConfigData& value,
                               KovaConfigGroup group,
                               ConfigData paramValue = ConfigData());
  ConfigData GetDynamicConfig(const char* szConfigName, KovaConfigGroup group,
                              ConfigData paramValue = ConfigData());
  KOVA_RESULT RemoveKovaConfig(
      const char* szConfigName,
      KovaConfigGroup group = KovaConfigGroup_Undefined);
  KOVA_RESULT RemoveKovaConfigByGroup(KovaConfigGroup group);
  // True exactly when the name is stored in the (resolved) group.
  bool HaveKovaConfig(const char* szConfigName,
                      KovaConfigGroup group = KovaConfigGroup_Undefined);
  // The store's JSON dump of the groups in the bit mask; owned by the store,
  // valid until the next dump on that store by the same thread. Null when
  // the helper has no store.
  const char* DumpKovaConfigs(uint32_t groups);
  KOVA_RESULT ApplyKovaConfigs(const char* szJsonConfig);

  // Feature toggles, always in group "Feature" whatever the default group.
  // An id outside 0 to 250 has no name and fails as a null name does.
  KOVA_RESULT SetFeatureToggle(KovaFeatureToggleID id, ConfigData value);
  ConfigData GetFeatureToggle(KovaFeatureToggleID id);
  uint64_t SubscribeFeatureToggle(KovaFeatureToggleID id,
                                  KovaConfigCallback callback,
                                  ACmThread* pRunThread = nullptr,
                                  bool bAsync = false);
  KOVA_RESULT UnsubscribeFeatureToggle(KovaFeatureToggleID id);
  bool HaveFeatureToggle(KovaFeatureToggleID id);
  KOVA_RESULT RemoveFeatureToggle(KovaFeatureToggleID id);
  // The configuration name of a toggle (static storage); null outside 0 to
  // 250.
  static const char* GetFeatureToggleName(KovaFeatureToggleID id);

 protected:
  // Obtains the store for the bound call id and attaches the observer
  // bookkeeping to it. KOVA_E_FAIL when a store is held already, no call id
  // is bound or the store cannot be obtained.
  KOVA_RESULT createKovaConfig();

 private:
  // Detaches and deletes the observer bookkeeping, then gives the store
  // reference back.
  void releaseKovaConfig();
  // The group an operation works on: `group`, or the default for -1.
  KovaConfigGroup resolveGroup(KovaConfigGroup group) const {
    return group == KovaConfigGroup_Undefined ? m_defaultGroup : group;
  }

  uint32_t m_callId;
  KovaConfigGroup m_defaultGroup;
  IKovaConfig* m_pIKovaConfig;
  KovaConfigObserverHelper* m_pObserverHelper;
};

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_KOVACONFIGHELPER_H_
