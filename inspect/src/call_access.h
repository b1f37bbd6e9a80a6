// How the inspector reaches the library's state: the calls listed, one
// call's store held for the length of a request, and a store's values read
// group by group.
//
// Values are found through the store's dump (which lists each group under
// that group's table lock, as briefly as any dump) and read back one by one
// through the lock-free read, which gives their exact bytes: the dump writes
// names and values without escaping, so it is only used to learn the names.
#ifndef OSTREL_INSPECT_SRC_CALL_ACCESS_H_
#define OSTREL_INSPECT_SRC_CALL_ACCESS_H_

#include <ostrel/ostrel.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::inspect {

constexpr int kGroupCount = 12;

// The call ids that have a store, ascending.
std::vector<uint32_t> ListCallIds();

// One reference on an existing call's store, given back on destruction.
// Never creates a store for a call that has none: the call must be listed
// when the reference is taken. The library offers no find-without-create
// for stores, so a call cleaned up in the instant between the listing and
// the reference leaves a fresh empty store behind (with the call's own
// reference, as if the call had started again).
class StoreRef {
 public:
  explicit StoreRef(uint32_t callId);
  ~StoreRef();
  StoreRef(const StoreRef&) = delete;
  StoreRef& operator=(const StoreRef&) = delete;

  // Null when the call has no store.
  kovaStore::IKovaConfig* get() const { return m_store; }

 private:
  kovaStore::IKovaConfig* m_store = nullptr;
};

struct ConfigEntry {
  std::string name;
  std::string value;  // the value's bytes
};

// Each group's entries in the store's (name) order.
using StoreConfig = std::array<std::vector<ConfigEntry>, kGroupCount>;

// Reads every group of the store. Values set or removed while it reads may
// or may not be in it, as with any dump.
StoreConfig ReadStoreConfig(kovaStore::IKovaConfig& store);

// The names in a store's dump text, group by group, with their values taken
// from `read` (the store's read of one name; false when it is not stored).
// Exposed for tests: a name or value holding the dump's own punctuation is
// still split right when the read confirms it.
using NameReader = bool (*)(void* context, int group, const std::string& name,
                            std::string& value);
StoreConfig ParseDump(const std::string& dump, NameReader read, void* context);

// The group's name ("Common" ... "TAOnly").
const char* GroupName(int group);

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_CALL_ACCESS_H_
