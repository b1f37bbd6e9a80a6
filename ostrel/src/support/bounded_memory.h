// Bounded fill and copy routines for fixed-size records.
//
//   char record[260];
//   memset_s(record, sizeof record, 0, sizeof record);
//   memcpy_s(out, 260, record, 260);
//
// Both check their arguments against the destination's capacity before
// touching memory. A violated constraint sets errno to EINVAL (22), prints
// "DATA INCONSISTENCY/DATA CORRUPTION: (22) <message>" through the constraint
// handler and returns 22; success returns 0. Sizes above 0x7FFFFFFFFFFFFFFF
// are rejected. They live in namespace kovaStore so that they never collide
// with a C library's routines of the same name.
#ifndef OSTREL_SRC_SUPPORT_BOUNDED_MEMORY_H_
#define OSTREL_SRC_SUPPORT_BOUNDED_MEMORY_H_

#include <cstdint>

namespace kovaStore {

// Fills min(n, smax) bytes of s with the byte c. Fails (after filling smax
// bytes) when n exceeds smax or the largest size; fails without writing for a
// null s or an smax above the largest size.
int memset_s(void* s, uint64_t smax, int c, uint64_t n);

// Copies n bytes from src to dest, whose capacity is dmax. Writes nothing on
// failure: null pointers, n above dmax, dmax above the largest size, or
// overlap, where the source range is measured by n and the destination's by
// its capacity dmax (a source equal to the destination passes).
int memcpy_s(void* dest, uint64_t dmax, const void* src, uint64_t n);

// Process-wide reporting state. Nothing in ostrel changes it at run time;
// tests may, before any other thread uses the routines.
typedef void (*ConstraintHandlerFn)(const char* msg, void* ptr, int error);
typedef void (*PrintHookFn)(const char* format, ...);

// The handler called on every violated constraint (default: print at level 1);
// null restores the default. Each setter returns the previous setting.
ConstraintHandlerFn setConstraintHandler(ConstraintHandlerFn handler);
// Lines of a level above the threshold (default 1) are not printed.
int setPrintThreshold(int threshold);
// When set, printed lines go to the hook instead of standard error.
PrintHookFn setPrintHook(PrintHookFn hook);

}  // namespace kovaStore

#endif  // OSTREL_SRC_SUPPORT_BOUNDED_MEMORY_H_
