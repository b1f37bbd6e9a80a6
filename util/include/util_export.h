// Export macros of the util platform library.
//
// CMUTIL_API marks what the util shared library exports. CMUTIL_EXT_API marks
// the two ConfigData members that are compiled into libostrel rather than into
// util (see ConfigData.h): libostrel exports them, util neither defines nor
// calls them.
#ifndef UTIL_INCLUDE_UTIL_EXPORT_H_
#define UTIL_INCLUDE_UTIL_EXPORT_H_

#if defined(_WIN32)
#if defined(CMUTIL_BUILDING)
#define CMUTIL_API __declspec(dllexport)
#else
#define CMUTIL_API __declspec(dllimport)
#endif
#if defined(OSTREL_BUILDING)
#define CMUTIL_EXT_API __declspec(dllexport)
#elif defined(CMUTIL_BUILDING)
#define CMUTIL_EXT_API
#else
#define CMUTIL_EXT_API __declspec(dllimport)
#endif
#else
#define CMUTIL_API __attribute__((visibility("default")))
#define CMUTIL_EXT_API __attribute__((visibility("default")))
#endif

#endif  // UTIL_INCLUDE_UTIL_EXPORT_H_
