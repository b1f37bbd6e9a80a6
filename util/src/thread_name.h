// The platform layer of the util threads: thread ids and names.
#ifndef UTIL_SRC_THREAD_NAME_H_
#define UTIL_SRC_THREAD_NAME_H_

// Names the calling thread for debuggers; silently ignores failures and
// truncates long names.
void SetCurrentThreadName(const char* szName);

#endif  // UTIL_SRC_THREAD_NAME_H_
