#include "CmThread.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

#include "thread_name.h"

unsigned long GetThreadSelfId() {
  static thread_local unsigned long id =
      static_cast<unsigned long>(::syscall(SYS_gettid));
  return id;
}

void SetCurrentThreadName(const char* szName) {
  if (szName == nullptr || szName[0] == '\0') return;
  char name[16];
  std::strncpy(name, szName, sizeof(name) - 1);
  name[sizeof(name) - 1] = '\0';
  pthread_setname_np(pthread_self(), name);
}
