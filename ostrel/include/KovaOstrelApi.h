// The exported functions of the statistics store, under plain C names.
//
//   IKovaMediaInfo* p = nullptr;
//   if (createOstrelEntity(KovaMediaStat_Video, callId, &p) == KOVA_S_OK) {
//     auto* video = static_cast<IKovaVideoInfo*>(p);  // per the kind
//     ...
//     releaseOstrelEntity(KovaMediaStat_Video, callId, p);
//   }
//
// There is one statistics object per (kind, call id). The first request for a
// pair creates it with zeroed statistics; every successful request adds one
// reference, and each must be given back with releaseOstrelEntity(). The
// release that brings the count to 0 destroys the object; a later request
// creates a fresh one. That holds whatever path brings the count to 0, a
// ReleaseReference() through the object's IKovaUnknown (after
// QueryInterface) included: the registry never hands out an object whose
// count has reached 0. The pointer is valid until its holder has given its
// reference back. Kinds 0 and 3 give an IKovaAudioInfo, 1 and 2 an
// IKovaVideoInfo, each handed out as its IKovaMediaInfo base.
//
// Both functions may be called from any thread; they are serialised by one
// process-wide lock. Reading and writing statistics takes no such lock.
#ifndef OSTREL_INCLUDE_KOVAOSTRELAPI_H_
#define OSTREL_INCLUDE_KOVAOSTRELAPI_H_

#include <cstdint>

#include "IKovaAudioInfo.h"
#include "IKovaVideoInfo.h"
#include "KovaMediaInfo.h"
#include "ostrel_export.h"

namespace kovaStore {

extern "C" {

// KOVA_S_OK with the object in *ppMediaStatInfo; KOVA_E_FAIL for a null
// ppMediaStatInfo, or for an unknown kind (then *ppMediaStatInfo is null).
OSTREL_API KOVA_RESULT createOstrelEntity(KovaMediaStatType type,
                                          uint32_t callId,
                                          IKovaMediaInfo** ppMediaStatInfo);

// Gives back one reference of the object registered for (type, callId) and
// returns the references left. The pair alone decides which object is
// released; pMediaStatInfo must only be non-null. 0xFFFFFFFF for a null
// pointer or a pair without an object.
OSTREL_API uint32_t releaseOstrelEntity(KovaMediaStatType type, uint32_t callId,
                                        IKovaMediaInfo* pMediaStatInfo);

}  // extern "C"

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_KOVAOSTRELAPI_H_
