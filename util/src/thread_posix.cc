#include <CmThread.h>

#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include <CmTimer.h>
#include "thread_name.h"

unsigned long GetThreadSelfId() {
  static thread_local unsigned long id =
      static_cast<unsigned long>(::syscall(SYS_gettid));
  return id;
}

uint64_t GetCoarseWallClockUs() {
#if defined(CLOCK_REALTIME_COARSE)
  const clockid_t clock = CLOCK_REALTIME_COARSE;
#else
  const clockid_t clock = CLOCK_REALTIME;
#endif
  timespec now{};
  if (clock_gettime(clock, &now) != 0) return 0;
  return static_cast<uint64_t>(now.tv_sec) * 1000000u +
         static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void SetCurrentThreadName(const char* szName) {
  if (szName == nullptr || szName[0] == '\0') return;
  char name[16];
  std::strncpy(name, szName, sizeof(name) - 1);
  name[sizeof(name) - 1] = '\0';
  pthread_setname_np(pthread_self(), name);
}
