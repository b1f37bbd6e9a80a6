#include <CmTrace.h>

#include <cstring>
#include <vector>

#include "windows_api.h"

#if defined(_MSC_VER)
#include <intrin.h>
#define CM_NOINLINE __declspec(noinline)
#define CM_RETURN_ADDRESS() _ReturnAddress()
#else
#define CM_NOINLINE __attribute__((noinline))
#define CM_RETURN_ADDRESS() __builtin_return_address(0)
#endif

namespace {

// The longest path Windows hands out, in characters.
constexpr DWORD kMaxModulePath = 32768;

// The full file name of `module`; empty when it cannot be read whole.
std::vector<char> moduleFileName(HMODULE module) {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD n = ::GetModuleFileNameA(module, path.data(), size);
    if (n == 0) return {};
    // A name that fills the buffer may have been cut: retry with more room.
    if (n < size) {
      path.resize(n + 1);
      return path;
    }
    if (size >= kMaxModulePath) return {};
    path.resize(size * 2);
  }
}

}  // namespace

// Not inlined: the return address must lie in the module that called it.
CM_NOINLINE bool GetCallerModuleName(char* buffer, unsigned size) {
  if (buffer == nullptr || size == 0) return false;
  void* caller = CM_RETURN_ADDRESS();
  HMODULE module = nullptr;
  // The module is not pinned: it is the caller's own, loaded while it runs.
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(caller), &module)) {
    return false;
  }
  const std::vector<char> path = moduleFileName(module);
  if (path.empty()) return false;
  const char* base = path.data();
  for (const char* p = path.data(); *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  const size_t n = std::strlen(base);
  if (n == 0 || n >= size) return false;
  std::memcpy(buffer, base, n + 1);
  return true;
}
