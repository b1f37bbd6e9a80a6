#include <ostrel/cpp/results.h>

#include <cstdio>

namespace ostrel {

std::string ResultName(KOVA_RESULT code) {
  switch (code) {
    case KOVA_S_OK:
      return "KOVA_S_OK";
    case KOVA_S_FALSE:
      return "KOVA_S_FALSE";
    case KOVA_E_FAIL:
      return "KOVA_E_FAIL";
    case KOVA_E_INVALIDARG:
      return "KOVA_E_INVALIDARG";
    case KOVA_E_NOINTERFACE:
      return "KOVA_E_NOINTERFACE";
    case KOVA_E_POINTER:
      return "KOVA_E_POINTER";
    case KOVA_E_UNCHANGED:
      return "KOVA_E_UNCHANGED";
    case KOVA_E_NOOBSERVER:
      return "KOVA_E_NOOBSERVER";
  }
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

bool Succeeded(KOVA_RESULT code, Operation operation) {
  if (code == KOVA_S_OK) return true;
  switch (operation) {
    case Operation::kSet:
      return code == KOVA_E_NOOBSERVER || code == KOVA_E_UNCHANGED;
    case Operation::kCleanUp:
      return code == KOVA_S_FALSE;
    default:
      return false;
  }
}

const char* Version() { return OSTREL_VERSION_STRING; }

}  // namespace ostrel
