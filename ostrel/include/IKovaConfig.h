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
// back with ReleaseKovaConfig(); never delete one. A pointer stays valid until
// its reference has been given back: after DestroyKovaConfig() it still is,
// but every operation through it is refused (see KovaConfigApi.h). Any
// thread may call any operation at any time, also from inside an observer
// callback. The store holds no lock while a callback or provider runs.
//
// Groups must be 0 to 11; names are NUL-terminated byte strings, compared
// exactly. Values, callbacks and providers are taken by value (copied in).
//
// Exceptions: what a callback or provider throws reaches the caller of the set
// or query that ran it, unchanged (callbacks should not throw). No other
// exception leaves an operation: an allocation failure or another fault of the
// store's own is traced at level 0 and answered with the operation's failure
// (observer id 0, KOVA_E_FAIL, an empty dump text). The store stays consistent
// and usable: other values are untouched; a set either took effect with every
// observer told (now, or on its run thread) or did not take effect and failed
// (a change that cannot be made ready for every observer, out of memory or
// because a callback cannot be copied, is taken back before anyone is told,
// unless another set has changed the name meanwhile); an observer is registered
// with the id returned or not at all (a subscription whose callback throws in
// its initial notification is withdrawn before the exception goes on). A
// callback that throws stops the delivery of that change to the observers after
// it, but holds up no later removal. A callback run by posting or hand-over
// runs on its event thread, which reports what it throws and goes on.
//
// Callables' lifetime: the store destroys its copies of callbacks and
// providers on the thread that removes them, or, when the store itself goes,
// after the registry has released its lock; a callable's destructor may call
// any registry function (KovaConfigApi.h) and may own a KovaConfigHelper.
//
// Delivery caveats (they follow from delivery without locks):
// - A set whose observers' run thread has no event queue, or has been
//   stopped, still counts them as told: it returns KOVA_S_OK although no
//   callback ran.
// - A sent (waiting) delivery waits without a limit. Two run threads whose
//   sent deliveries set values observed by each other's sent observers wait
//   for each other for ever; use bAsync for one direction.
// - A subscribe racing a set of the same name may deliver the new value
//   twice (as the initial value and as the change), or deliver the initial,
//   older value after the new one. Read the current value in the callback
//   when the order matters.
#ifndef OSTREL_INCLUDE_IKOVACONFIG_H_
#define OSTREL_INCLUDE_IKOVACONFIG_H_

#include <ConfigData.h>

#include <cstdint>
#include <functional>

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
  // old value (see the caveat on racing sets above). Returns the observer id
  // (1, 2, 3, ... per store), 0 if refused.
  virtual uint64_t SubscribeConfig(KovaConfigGroup group,
                                   const char* szConfigName,
                                   KovaConfigCallback callback,
                                   ACmThread* pRunThread, bool bAsync) = 0;
  // Binds the one provider of the name; returns its observer id, or 0 when
  // refused (the name already has a provider). Providers always run on the
  // querying thread.
  virtual uint64_t BindConfig(KovaConfigGroup group, const char* szConfigName,
                              KovaConfigProvider provider) = 0;
  // Removes an observer. Waits (polling every millisecond) while a direct or
  // sent delivery to it is running, at most about 3 s; KOVA_E_FAIL for an id
  // that is not registered. After KOVA_S_OK no new set reaches the observer,
  // but two kinds of delivery may still run: posted deliveries already
  // queued on its run thread (they carry their own copy of the callback),
  // and, when the 3 s limit was reached (for example when the callback
  // removes itself), the delivery that held it. Safe teardown: let the
  // callback capture shared or weak ownership of what it uses
  // (std::weak_ptr, lock in the callback), or stop and drain the run thread
  // before freeing what the callback uses.
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
  // has returned sees that set's value or a later one. A name passed again
  // from the same address (a string literal, a long-lived string) is found
  // fastest: the store remembers where a name at that address was found and
  // checks the bytes before it trusts that, so reusing a buffer for other
  // names is still correct.
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
  // JSON; never null. Each thread has its own text per store: it stays valid
  // until the next dump on this store made by the same thread, or until the
  // store's memory goes (with the last reference). Dumps on several threads
  // may run at once.
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
