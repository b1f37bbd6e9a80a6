// Result codes shared by the util library and ostrel.
//
// Every operation that can fail returns one of these 32-bit codes; 0 is
// success. They are plain constants so that C callers can use them too.
#ifndef UTIL_INCLUDE_KOVARESULT_H_
#define UTIL_INCLUDE_KOVARESULT_H_

#include <cstdint>

typedef int32_t KOVA_RESULT;

// Success.
#define KOVA_S_OK ((KOVA_RESULT)0)
// Nothing to do: unknown pointer or call id, a call already cleaned up, a
// handler already present or absent in an observer table.
#define KOVA_S_FALSE ((KOVA_RESULT)0x46000001)
// Refused or not found.
#define KOVA_E_FAIL ((KOVA_RESULT)0x46004001)
// A bad argument.
#define KOVA_E_INVALIDARG ((KOVA_RESULT)0x46004003)
// QueryInterface with an identifier the object does not have.
#define KOVA_E_NOINTERFACE ((KOVA_RESULT)0x46004005)
// QueryInterface with a null out-pointer.
#define KOVA_E_POINTER ((KOVA_RESULT)0x46004006)
// A set whose value equals the stored one, without forcing.
#define KOVA_E_UNCHANGED ((KOVA_RESULT)0x46004009)
// A set that reached no observer, or a dynamic query with no provider.
#define KOVA_E_NOOBSERVER ((KOVA_RESULT)0x4600400A)

// Result codes of the util event queues.
#define CM_OK 0
#define CM_ERROR_FAILURE 0x01C9C381
#define CM_ERROR_NOT_INITIALIZED 0x01C9C382
#define CM_ERROR_INVALID_ARG 0x01C9C383

#endif  // UTIL_INCLUDE_KOVARESULT_H_
