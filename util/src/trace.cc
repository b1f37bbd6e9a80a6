#include <CmTrace.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include <CmThread.h>

namespace {

std::atomic<int> g_traceMask{0};
std::atomic<unsigned long> g_assertionReports{0};

// Guards the sink pair, so that a sink is never called after it has been
// replaced, and keeps lines of the default sink whole.
std::mutex g_sinkMutex;
CmTraceSinkFn g_sink = nullptr;
void* g_sinkContext = nullptr;

const char* LevelName(int level) {
  switch (level) {
    case 0:
      return "ERROR";
    case 1:
      return "WARN";
    case 2:
      return "INFO";
    default:
      return "DEBUG";
  }
}

void DefaultSink(int level, const char* module, const char* text,
                 unsigned length) {
  using std::chrono::system_clock;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const long micros =
      static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                            now.time_since_epoch())
                            .count() %
                        1000000);
  std::tm tm{};
#if defined(_WIN32)
  gmtime_s(&tm, &seconds);
#else
  gmtime_r(&seconds, &tm);
#endif
  std::fprintf(
      stderr, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ %-5s [%lu] %s: %.*s\n",
      tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
      tm.tm_sec, micros, LevelName(level), GetThreadSelfId(),
      module ? module : "", static_cast<int>(length), text ? text : "");
}

}  // namespace

int get_external_trace_mask() {
  return g_traceMask.load(std::memory_order_relaxed);
}

void set_external_trace_mask(int mask) {
  g_traceMask.store(mask, std::memory_order_relaxed);
}

void SetCmTraceSink(CmTraceSinkFn fn, void* pContext) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  g_sink = fn;
  g_sinkContext = fn ? pContext : nullptr;
}

void util_adapter_trace(int level, const char* module, const char* text,
                        unsigned length) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  if (g_sink != nullptr) {
    g_sink(g_sinkContext, level, module, text, length);
  } else {
    DefaultSink(level, module, text, length);
  }
}

void cm_assertion_report() {
  g_assertionReports.fetch_add(1, std::memory_order_relaxed);
}

unsigned long cm_assertion_report_count() {
  return g_assertionReports.load(std::memory_order_relaxed);
}

CCmTextFormator::CCmTextFormator(char* buffer, unsigned size)
    : m_pBuffer(buffer), m_nSize(buffer ? size : 0), m_nLength(0) {
  if (m_nSize > 0) m_pBuffer[0] = '\0';
}

void CCmTextFormator::Append(const char* s, unsigned n) {
  if (m_nSize == 0) return;
  const unsigned room = m_nSize - 1 - m_nLength;
  if (n > room) n = room;
  std::memcpy(m_pBuffer + m_nLength, s, n);
  m_nLength += n;
  m_pBuffer[m_nLength] = '\0';
}

CCmTextFormator& CCmTextFormator::operator<<(const char* s) {
  if (s == nullptr) s = "(null)";
  Append(s, static_cast<unsigned>(std::strlen(s)));
  return *this;
}

CCmTextFormator& CCmTextFormator::operator<<(const std::string& s) {
  Append(s.data(), static_cast<unsigned>(s.size()));
  return *this;
}

namespace {
template <class T>
void AppendFormatted(CCmTextFormator& f, const char* format, T value) {
  char digits[32];
  const int n = std::snprintf(digits, sizeof(digits), format, value);
  if (n > 0) f << static_cast<const char*>(digits);
}
}  // namespace

CCmTextFormator& CCmTextFormator::operator<<(int n) {
  AppendFormatted(*this, "%d", n);
  return *this;
}
CCmTextFormator& CCmTextFormator::operator<<(unsigned n) {
  AppendFormatted(*this, "%u", n);
  return *this;
}
CCmTextFormator& CCmTextFormator::operator<<(long n) {
  AppendFormatted(*this, "%ld", n);
  return *this;
}
CCmTextFormator& CCmTextFormator::operator<<(unsigned long n) {
  AppendFormatted(*this, "%lu", n);
  return *this;
}
CCmTextFormator& CCmTextFormator::operator<<(long long n) {
  AppendFormatted(*this, "%lld", n);
  return *this;
}
CCmTextFormator& CCmTextFormator::operator<<(unsigned long long n) {
  AppendFormatted(*this, "%llu", n);
  return *this;
}
CCmTextFormator& CCmTextFormator::operator<<(const void* p) {
  AppendFormatted(
      *this, "0x%llx",
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return *this;
}

CCmUtilFuncTracer::CCmUtilFuncTracer(bool enabled, bool /*reserved*/,
                                     const char* module, const char* text1,
                                     const char* text2)
    : m_bEnabled(enabled) {
  if (!m_bEnabled) return;
  m_strModule = module ? module : "";
  m_strText = text1 ? text1 : "";
  if (text2 != nullptr && text2[0] != '\0') m_strText += text2;
  if (get_external_trace_mask() >= 2) {
    const std::string line = m_strText + " enter";
    util_adapter_trace(2, m_strModule.c_str(), line.data(),
                       static_cast<unsigned>(line.size()));
  }
}

CCmUtilFuncTracer::~CCmUtilFuncTracer() {
  if (!m_bEnabled || get_external_trace_mask() < 2) return;
  // Built in a fixed buffer: a destructor must not fail on memory.
  char line[1024];
  CCmTextFormator formator(line, sizeof(line));
  formator << m_strText << " leave";
  util_adapter_trace(2, m_strModule.c_str(), line, formator.tell());
}
