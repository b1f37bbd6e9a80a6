// CKovaOstrel: the process-wide table of statistics objects by (kind, call
// id), behind createOstrelEntity() and releaseOstrelEntity().
//
// The registry creates an object on the first request for its key and adds
// one reference per request; it holds no reference of its own. Whatever
// release brings an object's count to 0 (through the registry or directly
// through IKovaUnknown), the object unregisters itself before it is
// destroyed, and the next request for its key builds a fresh one.
//
// Any thread may call. Every operation holds the registry lock from look-up
// to trace; when the lock cannot be taken the request fails without touching
// the table. The registry's own destruction (at unload) detaches the objects
// still referenced whatever the lock answers: nothing may call it later.
#ifndef OSTREL_SRC_STATS_OSTREL_REGISTRY_H_
#define OSTREL_SRC_STATS_OSTREL_REGISTRY_H_

#include <KovaUnknown.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>

#include "counted_media_info.h"
#include "ostrel/KovaIntrospection.h"
#include "ostrel/KovaMediaInfo.h"
#include "support/mutex.h"

namespace kovaStore {

class CKovaOstrel {
 public:
  CKovaOstrel();
  // Frees the table; objects still referenced are left alone.
  ~CKovaOstrel();
  CKovaOstrel(const CKovaOstrel&) = delete;
  CKovaOstrel& operator=(const CKovaOstrel&) = delete;

  // The object for (type, callId), created on first request, with one more
  // reference; null for an unknown type, when the lock fails or when memory
  // runs out.
  IKovaMediaInfo* createOrGetOstrelEntity(KovaMediaStatType type,
                                          uint32_t callId);
  // Releases one reference of the object registered for (type, callId);
  // pMediaStatInfo is only traced. The references left, or 0xFFFFFFFF when
  // no object is registered or the lock fails.
  uint32_t releaseOstrelEntity(KovaMediaStatType type, uint32_t callId,
                               IKovaMediaInfo* pMediaStatInfo);
  // The object for (type, callId) with one more reference if it is
  // registered; null otherwise. Never creates one.
  IKovaMediaInfo* findOstrelEntity(KovaMediaStatType type, uint32_t callId);
  // The registered keys, ascending: up to nCapacity written to pKeys, the
  // number registered returned.
  uint32_t listEntities(KovaOstrelEntityKey* pKeys, uint32_t nCapacity);
  // The number of registered objects.
  size_t entityCount();
  // Erases the entry (type, callId) if it still holds `pInfo`; called by an
  // object whose count reached 0. Any thread.
  void forgetEntity(int32_t type, uint32_t callId, const IKovaMediaInfo* pInfo);

  // The instance behind the exported functions, built when the library is
  // loaded.
  static CKovaOstrel& instance();

 private:
  // Keys order by type (signed), then call id (unsigned).
  typedef std::pair<int32_t, uint32_t> EntityKey;
  struct Entity {
    IKovaMediaInfo* pInfo;         // what callers hold
    kova::IKovaUnknown* pUnknown;  // the same object's reference count
    RegistryLink* pLink;           // the same object's way back here
  };

  // The util's recursive lock (CCmMutexThreadRecursive, wrapped so that the
  // analysis sees it); nothing here takes it again while holding it, but an
  // object released under it unregisters through forgetEntity().
  UtilLock m_mutex;
  std::map<EntityKey, Entity> m_entities GUARDED_BY(m_mutex);
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_STATS_OSTREL_REGISTRY_H_
