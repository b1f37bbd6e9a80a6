#include <CmThread.h>

#include <string>

#include <CmTimer.h>
#include "thread_name.h"
#include "windows_api.h"

unsigned long GetThreadSelfId() {
  // Never 0: Windows hands out no thread id 0 to a running thread.
  return static_cast<unsigned long>(::GetCurrentThreadId());
}

uint64_t GetCoarseWallClockUs() {
  // 100 ns units since 1601-01-01, at the system tick's resolution.
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const uint64_t ticks =
      (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;
  return ticks > kUnixEpochTicks ? (ticks - kUnixEpochTicks) / 10 : 0;
}

namespace {

typedef HRESULT(WINAPI* SetThreadDescriptionFn)(HANDLE, PCWSTR);

// SetThreadDescription exists only on newer Windows releases, so it is looked
// up at run time; null when the system lacks it.
SetThreadDescriptionFn findSetThreadDescription() {
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<SetThreadDescriptionFn>(reinterpret_cast<void*>(
      ::GetProcAddress(kernel, "SetThreadDescription")));
}

}  // namespace

void SetCurrentThreadName(const char* szName) {
  if (szName == nullptr || szName[0] == '\0') return;
  static const SetThreadDescriptionFn setDescription =
      findSetThreadDescription();
  if (setDescription == nullptr) return;
  const int wideLength =
      ::MultiByteToWideChar(CP_UTF8, 0, szName, -1, nullptr, 0);
  if (wideLength <= 0) return;
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, 0, szName, -1, &wide[0], wideLength) <=
      0) {
    return;
  }
  setDescription(::GetCurrentThread(), wide.c_str());
}
