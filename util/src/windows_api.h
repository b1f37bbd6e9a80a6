// The Windows API as util's Windows sources see it: only the core API, and no
// min/max macros to clash with the standard library. Included by the *_win.cc
// files only; nothing outside util includes it.
#ifndef UTIL_SRC_WINDOWS_API_H_
#define UTIL_SRC_WINDOWS_API_H_

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#endif  // UTIL_SRC_WINDOWS_API_H_
