#include <CmTrace.h>

#include <dlfcn.h>

#include <cstring>

bool GetCallerModuleName(char* buffer, unsigned size) {
  if (buffer == nullptr || size == 0) return false;
  Dl_info info;
  void* caller = __builtin_return_address(0);
  if (dladdr(caller, &info) == 0 || info.dli_fname == nullptr) return false;
  const char* base = std::strrchr(info.dli_fname, '/');
  base = base ? base + 1 : info.dli_fname;
  const size_t n = std::strlen(base);
  if (n == 0 || n >= size) return false;
  std::memcpy(buffer, base, n + 1);
  return true;
}
