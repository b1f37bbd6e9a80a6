#include "bounded_memory.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kovaStore {

namespace {

// The largest size either routine accepts: the largest signed 64-bit value.
constexpr uint64_t kMaxSize = 0x7FFFFFFFFFFFFFFFULL;
// The invalid-argument error number, fixed so that every platform reports the
// same value.
constexpr int kInvalidArgument = 22;
// The level at which the default handler prints.
constexpr int kCorruptionLevel = 1;

void defaultConstraintHandler(const char* msg, void* ptr, int error);

// Process-wide reporting state. The routines only read it; the setters exist
// for tests. Atomic so that a test changing it never races a reader.
std::atomic<ConstraintHandlerFn> g_constraintHandler{&defaultConstraintHandler};
std::atomic<int> g_printThreshold{1};
std::atomic<PrintHookFn> g_printHook{nullptr};

constexpr char kCorruptionFormat[] =
    "DATA INCONSISTENCY/DATA CORRUPTION: (%u) %s\n";

// Prints the corruption line when `level` is within the threshold: through
// the hook when one is set, otherwise to standard error, flushed at once so
// that the line survives a crash that a corrupted record may cause later.
void printCorruptionLine(int level, unsigned error, const char* msg) {
  if (level > g_printThreshold.load(std::memory_order_relaxed)) return;
  PrintHookFn hook = g_printHook.load(std::memory_order_relaxed);
  if (hook != nullptr) {
    hook(kCorruptionFormat, error, msg);
    return;
  }
  std::fprintf(stderr, kCorruptionFormat, error, msg);
  std::fflush(stderr);
}

void defaultConstraintHandler(const char* msg, void* /*ptr*/, int error) {
  printCorruptionLine(kCorruptionLevel, static_cast<unsigned>(error),
                      msg != nullptr ? msg : "");
}

// Sets the caller's errno and hands the violation to the handler; returns the
// error number for the routine to return. errno is set again afterwards
// because printing may change it, and the caller relies on reading 22.
int reportConstraint(const char* msg) {
  errno = kInvalidArgument;
  g_constraintHandler.load(std::memory_order_relaxed)(msg, nullptr,
                                                      kInvalidArgument);
  errno = kInvalidArgument;
  return kInvalidArgument;
}

}  // namespace

int memset_s(void* s, uint64_t smax, int c, uint64_t n) {
  if (s == nullptr) return reportConstraint("memset_s: s is null");
  if (smax > kMaxSize) return reportConstraint("memset_s: smax exceeds max");
  if (n > kMaxSize) {
    std::memset(s, c, static_cast<size_t>(smax));
    return reportConstraint("memset_s: n exceeds max");
  }
  if (n <= smax) {
    std::memset(s, c, static_cast<size_t>(n));
    return 0;
  }
  std::memset(s, c, static_cast<size_t>(smax));
  return reportConstraint("memset_s: n exceeds smax");
}

int memcpy_s(void* dest, uint64_t dmax, const void* src, uint64_t n) {
  if (dest == nullptr) return reportConstraint("memcpy_s: dest is NULL");
  if (src == nullptr) return reportConstraint("memcpy_s: src is NULL");
  if (n > dmax) return reportConstraint("memcpy_s: n exceeds dmax");
  if (dmax > kMaxSize) return reportConstraint("memcpy_s: dmax exceeds max");

  // The destination range is its whole capacity, the source range only the
  // bytes copied. Compared as numbers, so unrelated buffers are fine too.
  const uint64_t d = reinterpret_cast<uintptr_t>(dest);
  const uint64_t sp = reinterpret_cast<uintptr_t>(src);
  if ((sp < d && d < sp + n) || (sp > d && sp < d + dmax)) {
    return reportConstraint("memcpy_s: overlap undefined");
  }
  if (n != 0 && sp != d) std::memcpy(dest, src, static_cast<size_t>(n));
  return 0;
}

ConstraintHandlerFn setConstraintHandler(ConstraintHandlerFn handler) {
  // Null brings back the default, so the handler is never a null pointer.
  return g_constraintHandler.exchange(
      handler != nullptr ? handler : &defaultConstraintHandler);
}

int setPrintThreshold(int threshold) {
  return g_printThreshold.exchange(threshold);
}

PrintHookFn setPrintHook(PrintHookFn hook) {
  return g_printHook.exchange(hook);
}

}  // namespace kovaStore
