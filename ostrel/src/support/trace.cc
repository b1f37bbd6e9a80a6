#include "trace.h"

#include <cstring>
#include <mutex>
#include <string>

namespace kovaStore {

namespace {

// The module name, filled once. It lives in static storage so that it is
// released when the library is unloaded.
std::once_flag g_moduleNameOnce;
char g_moduleName[128];

void fillModuleName() {
  char buffer[128];
  if (GetCallerModuleName(buffer, sizeof(buffer))) {
    buffer[sizeof(buffer) - 1] = '\0';
    std::memcpy(g_moduleName, buffer, sizeof(buffer));
  } else {
    g_moduleName[0] = '\0';
  }
}

}  // namespace

const char* getModuleName(const char* name) {
  if (name != nullptr && name[0] != '\0') return name;
  std::call_once(g_moduleNameOnce, fillModuleName);
  return g_moduleName;
}

const char* sourceBaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  return base;
}

void reportAssertion(const char* file, int line, const char* expression) {
  KOVA_ERROR_TRACE(sourceBaseName(file) << ":" << line << " Assert failed: "
                                        << expression);
  cm_assertion_report();
}

}  // namespace kovaStore
