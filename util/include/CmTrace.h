// Tracing: the trace mask, the trace sink, the text formatter, assertion
// reports and function tracers.
//
//   if (get_external_trace_mask() >= 2) {
//     char buf[1024];
//     CCmTextFormator f(buf, sizeof buf);
//     f << "Thing::Do, n=" << 3;
//     util_adapter_trace(2, "libthing.so", buf, f.tell());
//   }
//
// Levels: 0 error, 1 warning, 2 information. A line of level L is meant to be
// built only while get_external_trace_mask() >= L. The default sink writes one
// line per trace to standard error with a timestamp, the level, the thread id
// and the module name; SetCmTraceSink() replaces it (tests capture lines).
#ifndef UTIL_INCLUDE_CMTRACE_H_
#define UTIL_INCLUDE_CMTRACE_H_

#include <string>

#include "util_export.h"

// The current trace threshold (starts at 0: errors only).
CMUTIL_API int get_external_trace_mask();
CMUTIL_API void set_external_trace_mask(int mask);

// Delivers one finished line of `length` bytes to the sink.
CMUTIL_API void util_adapter_trace(int level, const char* module,
                                   const char* text, unsigned length);

// A sink receives every line; `text` is not NUL-terminated. Calls of the sink
// are serialised under one process-wide lock (also the default sink's), so a
// slow sink delays every thread that traces, and a sink must not call back
// into code that traces (it would wait for that lock for ever). It should not
// throw. Passing null restores the default sink.
typedef void (*CmTraceSinkFn)(void* pContext, int level, const char* module,
                              const char* text, unsigned length);
CMUTIL_API void SetCmTraceSink(CmTraceSinkFn fn, void* pContext);

// Writes the file base name of the module (executable or shared library) that
// holds the code calling this function into `buffer`. False when it cannot be
// found or does not fit.
CMUTIL_API bool GetCallerModuleName(char* buffer, unsigned size);

// Called after an assertion line; counts the report and returns.
CMUTIL_API void cm_assertion_report();
CMUTIL_API unsigned long cm_assertion_report_count();

// Formats into a caller's buffer and never writes past it: a piece that does
// not fit is cut, and the text stays NUL-terminated within `size` bytes.
class CMUTIL_API CCmTextFormator {
 public:
  CCmTextFormator(char* buffer, unsigned size);
  CCmTextFormator(const CCmTextFormator&) = delete;
  CCmTextFormator& operator=(const CCmTextFormator&) = delete;

  CCmTextFormator& operator<<(const char* s);  // null prints "(null)"
  CCmTextFormator& operator<<(const std::string& s);
  CCmTextFormator& operator<<(int n);
  CCmTextFormator& operator<<(unsigned n);
  CCmTextFormator& operator<<(long n);
  CCmTextFormator& operator<<(unsigned long n);
  CCmTextFormator& operator<<(long long n);
  CCmTextFormator& operator<<(unsigned long long n);
  CCmTextFormator& operator<<(const void* p);  // "0x" and lower-case hex

  operator char*() { return m_pBuffer; }
  // The number of bytes written, without the NUL.
  unsigned tell() const { return m_nLength; }

 private:
  void Append(const char* s, unsigned n);

  char* m_pBuffer;
  unsigned m_nSize;
  unsigned m_nLength;
};

// Traces "enter" at construction and "leave" at destruction (level 2) when
// `enabled`; does nothing otherwise.
class CMUTIL_API CCmUtilFuncTracer {
 public:
  CCmUtilFuncTracer(bool enabled, bool reserved, const char* module,
                    const char* text1, const char* text2);
  ~CCmUtilFuncTracer();
  CCmUtilFuncTracer(const CCmUtilFuncTracer&) = delete;
  CCmUtilFuncTracer& operator=(const CCmUtilFuncTracer&) = delete;

 private:
  bool m_bEnabled;
  std::string m_strModule;
  std::string m_strText;
};

#endif  // UTIL_INCLUDE_CMTRACE_H_
