// OSTREL_API marks what libostrel exports; everything else is hidden.
#ifndef OSTREL_INCLUDE_OSTREL_EXPORT_H_
#define OSTREL_INCLUDE_OSTREL_EXPORT_H_

#if defined(_WIN32)
#if defined(OSTREL_BUILDING)
#define OSTREL_API __declspec(dllexport)
#else
#define OSTREL_API __declspec(dllimport)
#endif
#else
#define OSTREL_API __attribute__((visibility("default")))
#endif

#endif  // OSTREL_INCLUDE_OSTREL_EXPORT_H_
