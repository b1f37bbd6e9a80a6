// Test support: captures trace lines for the life of the object.
//
//   CmTraceCapture capture(2);            // mask 2, lines captured
//   DoSomething();
//   EXPECT_TRUE(capture.Contains(0, "Error parameters"));
//
// Sets the trace mask and the sink at construction and restores the previous
// mask and the default sink at destruction. Only one capture may be alive at
// a time. Lines may arrive from any thread.
#ifndef UTIL_TESTING_TRACE_CAPTURE_H_
#define UTIL_TESTING_TRACE_CAPTURE_H_

#include <mutex>
#include <string>
#include <vector>

#include <CmTrace.h>

struct CmTraceLine {
  int level;
  std::string module;
  std::string text;
};

class CmTraceCapture {
 public:
  explicit CmTraceCapture(int mask = 2)
      : m_previousMask(get_external_trace_mask()) {
    set_external_trace_mask(mask);
    SetCmTraceSink(&CmTraceCapture::Sink, this);
  }
  ~CmTraceCapture() {
    SetCmTraceSink(nullptr, nullptr);
    set_external_trace_mask(m_previousMask);
  }
  CmTraceCapture(const CmTraceCapture&) = delete;
  CmTraceCapture& operator=(const CmTraceCapture&) = delete;

  std::vector<CmTraceLine> Lines() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
  }
  // Texts only, in arrival order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const CmTraceLine& l : Lines()) out.push_back(l.text);
    return out;
  }
  // Number of lines of `level` (any level for -1) whose text contains `part`.
  size_t Count(int level, const std::string& part) const {
    size_t n = 0;
    for (const CmTraceLine& l : Lines())
      if ((level < 0 || l.level == level) &&
          l.text.find(part) != std::string::npos)
        ++n;
    return n;
  }
  bool Contains(int level, const std::string& part) const {
    return Count(level, part) > 0;
  }
  // True when a line of `level` is exactly `text`.
  bool HasExact(int level, const std::string& text) const {
    for (const CmTraceLine& l : Lines())
      if (l.level == level && l.text == text) return true;
    return false;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
  }

 private:
  static void Sink(void* ctx, int level, const char* module, const char* text,
                   unsigned length) {
    auto* self = static_cast<CmTraceCapture*>(ctx);
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_lines.push_back(
        {level, module ? module : "", std::string(text, length)});
  }

  int m_previousMask;
  mutable std::mutex m_mutex;
  std::vector<CmTraceLine> m_lines;
};

#endif  // UTIL_TESTING_TRACE_CAPTURE_H_
