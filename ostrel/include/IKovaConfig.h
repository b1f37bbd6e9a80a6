// IKovaConfig: the configuration store of one call.
//
//   IKovaConfig* store = nullptr;
//   CreateKovaConfig(callId, &store);
//   store->SetKovaConfig(KovaConfigGroup_Audio, "AecMode", ConfigData("2"),
//                        false, false);
//   ConfigData v;
//   store->GetKovaConfig(KovaConfigGroup_Audio, "AecMode", v);
//   ReleaseKovaConfig(store);
//
// Stores are created and shared per call id by CreateKovaConfig() and given
// back with ReleaseKovaConfig(); never delete one. Any thread may call any
// operation at any time, also from inside an observer callback. The store
// holds no lock while a callback or provider runs.
//
// Groups must be 0 to 11; names are NUL-terminated byte strings, compared
// exactly. Values, callbacks and providers are taken by value (copied in).
#ifndef OSTREL_INCLUDE_IKOVACONFIG_H_
#define OSTREL_INCLUDE_IKOVACONFIG_H_

#include <cstdint>
#include <functional>

#include "ConfigData.h"
#include "KovaConfigEvent.h"
#include "KovaConfigTypes.h"

class ACmThread;

namespace kovaStore {

// Told of every change of one name; see SubscribeConfig.
typedef std::function<void(const KovaConfigEvent&)> KovaConfigCallback;
// Answers dynamic queries for one name; see BindConfig.
typedef std::function<ConfigData(const KovaConfigEvent&)> KovaConfigProvider;

class IKovaConfig {
 public:
  // Registers `callback` for changes of the name. With a null `pRunThread` it
  // is called on the setting thread; otherwise on pRunThread, either handed
  // over while the setter waits (bAsync false) or posted (bAsync true). If the
  // name already has a value the callback is told at once, with an invalid
  // old value. Returns the observer id (1, 2, 3, ... per store), 0 if refused.
  virtual uint64_t SubscribeConfig(KovaConfigGroup group,
                                   const char* szConfigName,
                                   KovaConfigCallback callback,
                                   ACmThread* pRunThread, bool bAsync) = 0;
  // Binds the one provider of the name; returns its observer id, or 0 when
  // refused (the name already has a provider). Providers always run on the
  // querying thread.
  virtual uint64_t BindConfig(KovaConfigGroup group, const char* szConfigName,
                              KovaConfigProvider provider) = 0;
  // Removes an observer. Waits (polling every millisecond) while a delivery
  // to it is running, at most about 3 s; after it returns KOVA_S_OK no new
  // delivery starts. KOVA_E_FAIL for an id that is not registered.
  virtual KOVA_RESULT UnsubscribeConfig(uint64_t id) = 0;
  // Stores the value (or, with bNotifyOnly, removes the name and only tells
  // the observers) and notifies the name's subscribers. KOVA_S_OK when at
  // least one was notified, KOVA_E_NOOBSERVER when none observes the name,
  // KOVA_E_UNCHANGED when the value equals the stored one and bForceNotify is
  // false, KOVA_E_INVALIDARG for a bad group, name or invalid value.
  virtual KOVA_RESULT SetKovaConfig(KovaConfigGroup group,
                                    const char* szConfigName, ConfigData value,
                                    bool bForceNotify, bool bNotifyOnly) = 0;
  // Copies the stored value into `value`: KOVA_S_OK, or KOVA_E_FAIL with
  // `value` marked invalid when the name is not stored. Takes no lock and
  // never waits for a writer, observer, apply or dump; a value of up to 15
  // bytes is read without a heap allocation. A read that starts after a set
  // has returned sees that set's value or a later one.
  virtual KOVA_RESULT GetKovaConfig(KovaConfigGroup group,
                                    const char* szConfigName,
                                    ConfigData& value) = 0;
  // Asks the name's provider: KOVA_S_OK with its answer in `value`, or
  // KOVA_E_NOOBSERVER (value untouched) when none is bound.
  virtual KOVA_RESULT GetDynamicConfig(KovaConfigGroup group,
                                       const char* szConfigName,
                                       ConfigData& value,
                                       ConfigData paramValue) = 0;
  // Removes one name (KOVA_S_OK whether or not it was stored); observers are
  // not told.
  virtual KOVA_RESULT RemoveKovaConfig(KovaConfigGroup group,
                                       const char* szConfigName) = 0;
  // Removes every value of a group; observers are not told.
  virtual KOVA_RESULT RemoveKovaConfigByGroup(KovaConfigGroup group) = 0;
  // Writes the groups selected by the bit mask (bit n = group n) as compact
  // JSON. The text stays valid until the next dump on this store or its
  // destruction; never null. Do not run two dumps on one store at once.
  virtual const char* DumpKovaConfigs(uint32_t groups) = 0;
  // Stores every entry of a JSON configuration document, group by group in
  // name order, notifying observers as SetKovaConfig does. KOVA_S_OK, or
  // KOVA_E_FAIL at the first malformed group or entry (what came before it
  // stays applied).
  virtual KOVA_RESULT ApplyKovaConfigs(const char* szJsonConfig) = 0;

  virtual ~IKovaConfig() = default;
};

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_IKOVACONFIG_H_
