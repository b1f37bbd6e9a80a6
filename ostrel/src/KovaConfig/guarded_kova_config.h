// GuardedKovaConfig: the store as the registry hands it out, KovaConfig with
// the host boundary around every operation of IKovaConfig.
//
// Each operation runs KovaConfig's own; an exception of the library's own
// making (an allocation failure, a failed lock) is traced at level 0 and
// answered with the operation's failure: observer id 0, KOVA_E_FAIL, or an
// empty dump text. What a callback or provider throws passes through
// unchanged, as it does from KovaConfig (see host_boundary.h).
//
// Once the registry has retired the store (DestroyKovaConfig() while
// references to it are still out), every operation is refused without
// touching the store: GetKovaConfig silently, as a name not stored
// (KOVA_E_FAIL, the value marked invalid), the others with the failure above
// and a level-1 line "<operation>, store destroyed [cid=..] [this=..]".
#ifndef OSTREL_SRC_KOVACONFIG_GUARDED_KOVA_CONFIG_H_
#define OSTREL_SRC_KOVACONFIG_GUARDED_KOVA_CONFIG_H_

#include <cstdint>
#include <utility>

#include "host_boundary.h"
#include "kova_config.h"

namespace kovaStore {

class GuardedKovaConfig final : public KovaConfig {
 public:
  using KovaConfig::KovaConfig;

  uint64_t SubscribeConfig(KovaConfigGroup group, const char* szConfigName,
                           KovaConfigCallback callback, ACmThread* pRunThread,
                           bool bAsync) override {
    return guard("kovaStore::KovaConfig::SubscribeConfig", uint64_t{0}, [&] {
      return KovaConfig::SubscribeConfig(
          group, szConfigName, std::move(callback), pRunThread, bAsync);
    });
  }
  uint64_t BindConfig(KovaConfigGroup group, const char* szConfigName,
                      KovaConfigProvider provider) override {
    return guard("kovaStore::KovaConfig::BindConfig", uint64_t{0}, [&] {
      return KovaConfig::BindConfig(group, szConfigName, std::move(provider));
    });
  }
  KOVA_RESULT UnsubscribeConfig(uint64_t id) override {
    return guard("kovaStore::KovaConfig::UnsubscribeConfig", KOVA_E_FAIL,
                 [&] { return KovaConfig::UnsubscribeConfig(id); });
  }
  KOVA_RESULT SetKovaConfig(KovaConfigGroup group, const char* szConfigName,
                            ConfigData value, bool bForceNotify,
                            bool bNotifyOnly) override {
    const KOVA_RESULT result =
        guard("kovaStore::KovaConfig::SetKovaConfig", KOVA_E_FAIL, [&] {
          return KovaConfig::setKovaConfig(group, szConfigName, value,
                                           bForceNotify, bNotifyOnly);
        });
    // The set itself never fails so: an exception of the library's own.
    if (result == KOVA_E_FAIL) counters().add(kCountSetFailed, group);
    return result;
  }
  KOVA_RESULT GetKovaConfig(KovaConfigGroup group, const char* szConfigName,
                            ConfigData& value) override {
    if (IsRetired()) {
      value.SetInvalid();
      return KOVA_E_FAIL;
    }
    return guard("kovaStore::KovaConfig::GetKovaConfig", KOVA_E_FAIL, [&] {
      return KovaConfig::GetKovaConfig(group, szConfigName, value);
    });
  }
  KOVA_RESULT GetDynamicConfig(KovaConfigGroup group, const char* szConfigName,
                               ConfigData& value,
                               ConfigData paramValue) override {
    return guard("kovaStore::KovaConfig::GetDynamicConfig", KOVA_E_FAIL, [&] {
      return KovaConfig::GetDynamicConfig(group, szConfigName, value,
                                          std::move(paramValue));
    });
  }
  KOVA_RESULT RemoveKovaConfig(KovaConfigGroup group,
                               const char* szConfigName) override {
    return guard("kovaStore::KovaConfig::RemoveKovaConfig", KOVA_E_FAIL, [&] {
      return KovaConfig::RemoveKovaConfig(group, szConfigName);
    });
  }
  KOVA_RESULT RemoveKovaConfigByGroup(KovaConfigGroup group) override {
    return guard("kovaStore::KovaConfig::RemoveKovaConfigByGroup", KOVA_E_FAIL,
                 [&] { return KovaConfig::RemoveKovaConfigByGroup(group); });
  }
  const char* DumpKovaConfigs(uint32_t groups) override {
    return guard("kovaStore::KovaConfig::DumpKovaConfigs", "",
                 [&] { return KovaConfig::DumpKovaConfigs(groups); });
  }
  KOVA_RESULT ApplyKovaConfigs(const char* szJsonConfig) override {
    return guard("kovaStore::KovaConfig::ApplyKovaConfigs", KOVA_E_FAIL,
                 [&] { return KovaConfig::ApplyKovaConfigs(szJsonConfig); });
  }

 private:
  template <class Result, class Operation>
  OSTREL_BOUNDARY_INLINE Result guard(const char* szOperation, Result failed,
                                      Operation&& operation) {
    if (IsRetired()) {
      traceRefusedAsRetired(szOperation);
      return failed;
    }
    return runAtHostBoundary<Result>(szOperation, this, failed,
                                     std::forward<Operation>(operation));
  }
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_GUARDED_KOVA_CONFIG_H_
