// The allocation hook of alloc_fault.h. The memory itself comes from the
// allocator that would have served the call: a sanitizer's (its interceptor
// entry points) when one is linked, glibc's otherwise.
#include "alloc_fault.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" {
void* __interceptor_malloc(size_t size) __attribute__((weak));
void* __interceptor_calloc(size_t count, size_t size) __attribute__((weak));
void* __interceptor_realloc(void* p, size_t size) __attribute__((weak));
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
}

namespace {

// Per thread, constant-initialised: usable before anything else runs.
struct State {
  bool armed, reached;
  uint64_t target, count;
};
thread_local State t_state = {false, false, 0, 0};

// Counts one allocation of this thread; true when it is the one to fail.
bool failsNow() {
  State& state = t_state;
  return state.armed && ++state.count == state.target && (state.reached = true);
}

bool failsWithEnomem() { return failsNow() && (errno = ENOMEM); }

void* realMalloc(size_t size) {
  return __interceptor_malloc != nullptr ? __interceptor_malloc(size)
                                         : __libc_malloc(size);
}

// For operator new: `align` 0 for the default alignment.
void* allocate(size_t size, size_t align = 0) {
  if (failsNow()) return nullptr;
  if (size == 0) size = 1;
  if (align == 0) return realMalloc(size);
  void* p = nullptr;
  return posix_memalign(&p, std::max(align, sizeof(void*)), size) == 0
             ? p
             : nullptr;
}

void* orThrow(void* p) { return p != nullptr ? p : throw std::bad_alloc(); }

}  // namespace

namespace AllocFault {

void Arm(uint64_t n) { t_state = State{true, false, n, 0}; }

bool Disarm() {
  t_state.armed = false;
  return t_state.reached;
}

Paused::Paused() : m_bWasArmed(t_state.armed) { t_state.armed = false; }
Paused::~Paused() { t_state.armed = m_bWasArmed; }

}  // namespace AllocFault

extern "C" {

void* malloc(size_t size) {
  return failsWithEnomem() ? nullptr : realMalloc(size);
}

void* calloc(size_t count, size_t size) {
  if (failsWithEnomem()) return nullptr;
  return __interceptor_calloc != nullptr ? __interceptor_calloc(count, size)
                                         : __libc_calloc(count, size);
}

// On failure the old block stays.
void* realloc(void* p, size_t size) {
  if (failsWithEnomem()) return nullptr;
  return __interceptor_realloc != nullptr ? __interceptor_realloc(p, size)
                                          : __libc_realloc(p, size);
}

}  // extern "C"

using std::nothrow_t;
using A = std::align_val_t;
// clang-format off
void* operator new(size_t n) { return orThrow(allocate(n)); }
void* operator new[](size_t n) { return orThrow(allocate(n)); }
void* operator new(size_t n, const nothrow_t&) noexcept { return allocate(n); }
void* operator new[](size_t n, const nothrow_t&) noexcept { return allocate(n); }
void* operator new(size_t n, A a) { return orThrow(allocate(n, size_t(a))); }
void* operator new[](size_t n, A a) { return orThrow(allocate(n, size_t(a))); }
void* operator new(size_t n, A a, const nothrow_t&) noexcept { return allocate(n, size_t(a)); }
void* operator new[](size_t n, A a, const nothrow_t&) noexcept { return allocate(n, size_t(a)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, A) noexcept { std::free(p); }
void operator delete[](void* p, A) noexcept { std::free(p); }
void operator delete(void* p, size_t, A) noexcept { std::free(p); }
void operator delete[](void* p, size_t, A) noexcept { std::free(p); }
void operator delete(void* p, A, const nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, A, const nothrow_t&) noexcept { std::free(p); }
// clang-format on
