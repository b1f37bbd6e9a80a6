// The allocation hook of alloc_fault.h: replacements of operator new/delete
// and of malloc, calloc and realloc that count the arming thread's
// allocations and fail the chosen one. The memory itself comes from the
// allocator that would have served the call: a sanitizer's (its interceptor
// entry points) when one is linked, glibc's otherwise.
#include "alloc_fault.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

extern "C" {
// A sanitizer's allocator entry points, when its runtime is loaded.
void* __interceptor_malloc(size_t size) __attribute__((weak));
void* __interceptor_calloc(size_t count, size_t size) __attribute__((weak));
void* __interceptor_realloc(void* p, size_t size) __attribute__((weak));
// glibc's own.
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
}

namespace {

// Per thread, constant-initialised: usable before anything else runs.
struct State {
  bool armed;
  bool reached;
  uint64_t target;
  uint64_t count;
};
thread_local State t_state = {false, false, 0, 0};

// Counts one allocation of this thread; true when it is the one to fail.
bool failsNow() {
  State& state = t_state;
  if (!state.armed) return false;
  if (++state.count != state.target) return false;
  state.reached = true;
  return true;
}

void* realMalloc(size_t size) {
  return __interceptor_malloc != nullptr ? __interceptor_malloc(size)
                                         : __libc_malloc(size);
}

void* allocate(size_t size) {
  if (failsNow()) return nullptr;
  return realMalloc(size == 0 ? 1 : size);
}

void* allocateAligned(size_t size, std::align_val_t align) {
  if (failsNow()) return nullptr;
  size_t alignment = static_cast<size_t>(align);
  if (alignment < sizeof(void*)) alignment = sizeof(void*);
  void* p = nullptr;
  if (posix_memalign(&p, alignment, size == 0 ? 1 : size) != 0) return nullptr;
  return p;
}

void* allocateOrThrow(size_t size) {
  void* p = allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* allocateAlignedOrThrow(size_t size, std::align_val_t align) {
  void* p = allocateAligned(size, align);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

namespace AllocFault {

void Arm(uint64_t n) { t_state = State{true, false, n, 0}; }

bool Disarm() {
  t_state.armed = false;
  return t_state.reached;
}

uint64_t Counted() { return t_state.count; }

Paused::Paused() : m_bWasArmed(t_state.armed) { t_state.armed = false; }
Paused::~Paused() { t_state.armed = m_bWasArmed; }

}  // namespace AllocFault

extern "C" {

void* malloc(size_t size) {
  if (failsNow()) {
    errno = ENOMEM;
    return nullptr;
  }
  return realMalloc(size);
}

void* calloc(size_t count, size_t size) {
  if (failsNow()) {
    errno = ENOMEM;
    return nullptr;
  }
  return __interceptor_calloc != nullptr ? __interceptor_calloc(count, size)
                                         : __libc_calloc(count, size);
}

void* realloc(void* p, size_t size) {
  if (failsNow()) {
    errno = ENOMEM;
    return nullptr;
  }
  return __interceptor_realloc != nullptr ? __interceptor_realloc(p, size)
                                          : __libc_realloc(p, size);
}

}  // extern "C"

void* operator new(size_t size) { return allocateOrThrow(size); }
void* operator new[](size_t size) { return allocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void* operator new(size_t size, std::align_val_t align) {
  return allocateAlignedOrThrow(size, align);
}
void* operator new[](size_t size, std::align_val_t align) {
  return allocateAlignedOrThrow(size, align);
}
void* operator new(size_t size, std::align_val_t align,
                   const std::nothrow_t&) noexcept {
  return allocateAligned(size, align);
}
void* operator new[](size_t size, std::align_val_t align,
                     const std::nothrow_t&) noexcept {
  return allocateAligned(size, align);
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t,
                     const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t,
                       const std::nothrow_t&) noexcept {
  std::free(p);
}
