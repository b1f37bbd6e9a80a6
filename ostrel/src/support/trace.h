// Trace and assertion output used by every part of ostrel.
//
//   KOVA_INFO_TRACE("kovaStore::KovaConfig::RemoveKovaConfig, " << name
//                   << KOVA_STORE_SUFFIX(m_callId, this));
//   KOVA_ASSERT_RETURN((szConfigName != NULL), KOVA_E_INVALIDARG);
//
// A line of level L is built only while get_external_trace_mask() >= L; below
// it a trace costs one call and one comparison: no formatting, no module-name
// look-up, no allocation. Lines are built in a 1024-byte stack buffer (longer
// text is cut by the formatter) and handed to util_adapter_trace() with the
// cached name of the module that ostrel is.
//
// Every line starts with the emitting function's qualified name and ends with
// " [cid=<call id>] [this=<address>]" where a store is concerned.
#ifndef OSTREL_SRC_SUPPORT_TRACE_H_
#define OSTREL_SRC_SUPPORT_TRACE_H_

#include <CmTrace.h>

namespace kovaStore {

// `name` when it is non-null and not empty, otherwise the cached module name
// (fetched once per process, "" when it cannot be found).
const char* getModuleName(const char* name);

// The part of a source path after its last '/' or '\\'.
const char* sourceBaseName(const char* path);

// Writes the level-0 "<file>:<line> Assert failed: <expression>" line when the
// mask allows it, then calls cm_assertion_report() whatever the mask.
void reportAssertion(const char* file, int line, const char* expression);

}  // namespace kovaStore

#define KOVA_TRACE(level, message)                                         \
  do {                                                                     \
    const int kova_trace_level_ = (level);                                 \
    if (get_external_trace_mask() >= kova_trace_level_) {                  \
      char kova_trace_buffer_[1024];                                       \
      CCmTextFormator kova_trace_formator_(kova_trace_buffer_,             \
                                           sizeof(kova_trace_buffer_));    \
      kova_trace_formator_ << message;                                     \
      util_adapter_trace(kova_trace_level_,                                \
                         ::kovaStore::getModuleName(nullptr),              \
                         kova_trace_buffer_, kova_trace_formator_.tell()); \
    }                                                                      \
  } while (0)

#define KOVA_ERROR_TRACE(message) KOVA_TRACE(0, message)
#define KOVA_WARNING_TRACE(message) KOVA_TRACE(1, message)
#define KOVA_INFO_TRACE(message) KOVA_TRACE(2, message)

// The closing context of a line about a store, and about any other object.
#define KOVA_STORE_SUFFIX(callId, self)     \
  " [cid=" << static_cast<unsigned>(callId) \
           << "] [this=" << static_cast<const void*>(self) << "]"
#define KOVA_THIS_SUFFIX(self) \
  " [this=" << static_cast<const void*>(self) << "]"

// Reports a failed assertion (see reportAssertion) and returns `result` from
// the enclosing function. Never aborts.
#define KOVA_ASSERT_RETURN(expression, result)                       \
  do {                                                               \
    if (!(expression)) {                                             \
      ::kovaStore::reportAssertion(__FILE__, __LINE__, #expression); \
      return result;                                                 \
    }                                                                \
  } while (0)

// The same, reporting `text` as the failed expression: for a check written in
// other terms than the ones it reports.
#define KOVA_ASSERT_RETURN_AS(expression, text, result)       \
  do {                                                        \
    if (!(expression)) {                                      \
      ::kovaStore::reportAssertion(__FILE__, __LINE__, text); \
      return result;                                          \
    }                                                         \
  } while (0)

#endif  // OSTREL_SRC_SUPPORT_TRACE_H_
