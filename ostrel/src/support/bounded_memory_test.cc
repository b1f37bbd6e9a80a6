#include "bounded_memory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <string>

namespace kovaStore {
namespace {

constexpr uint64_t kMax = 0x7FFFFFFFFFFFFFFFULL;

std::string g_printed;  // every printed line, in order

void capturePrint(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  g_printed += line;
}

std::string corruptionLine(const std::string& msg) {
  return "DATA INCONSISTENCY/DATA CORRUPTION: (22) " + msg + "\n";
}

class BoundedMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_printed.clear();
    m_previousHook = setPrintHook(&capturePrint);
  }
  void TearDown() override { setPrintHook(m_previousHook); }

  PrintHookFn m_previousHook = nullptr;
};

// Each row runs on a fresh 64-byte pattern: a violation returns EINVAL, sets
// errno to EINVAL and prints one line; success leaves errno alone. `written` is
// what the buffer holds at `at` afterwards. Pointers are offsets into the
// buffer, -1 for null; a set's `src` is the fill value; `max` is smax or dmax.
TEST_F(BoundedMemoryTest, EachCallFailsOrWritesExactlyAsBounded) {
  const bool kSet = false, kCopy = true;
  const struct {
    bool bCopy;
    int dest, src;
    uint64_t max, n;
    const char* violation;  // null: success
    size_t at;
    std::string written;
  } cases[] = {
      // Null, then smax, then n; an oversized count fills the capacity.
      {kSet, -1, 0, kMax + 1, kMax + 1, "memset_s: s is null", 0, ""},
      {kSet, 0, 0, kMax + 1, kMax + 1, "memset_s: smax exceeds max", 0, ""},
      {kSet, 0, 'a', 4, kMax + 1, "memset_s: n exceeds max", 0, "aaaa"},
      {kSet, 0, 'b', 5, 6, "memset_s: n exceeds smax", 0, "bbbbb"},
      {kSet, 0, 0x1FF, 8, 3, nullptr, 0, "\xFF\xFF\xFF"},
      {kCopy, -1, -1, 8, 4, "memcpy_s: dest is NULL", 0, ""},
      {kCopy, 0, -1, 8, 4, "memcpy_s: src is NULL", 0, ""},
      // n above dmax is caught before dmax above the largest size.
      {kCopy, 0, 20, kMax + 1, kMax + 2, "memcpy_s: n exceeds dmax", 0, ""},
      {kCopy, 0, 20, kMax + 1, 4, "memcpy_s: dmax exceeds max", 0, ""},
      // Overlap: the destination's capacity against the source's n bytes.
      {kCopy, 0, 15, 16, 0, "memcpy_s: overlap undefined", 0, ""},
      {kCopy, 7, 0, 8, 8, "memcpy_s: overlap undefined", 0, ""},
      {kCopy, 0, 8, 8, 8, nullptr, 0, "IJKLMNOP"},
      {kCopy, 40, 32, kMax, 8, nullptr, 40, "GHIJKLMN"},
      {kCopy, 0, 0, 64, 64, nullptr, 0, ""},
  };
  std::string pattern;
  for (int i = 0; i < 64; ++i) pattern += static_cast<char>('A' + i % 26);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.violation ? c.violation : c.written.c_str());
    char buf[64];
    pattern.copy(buf, sizeof buf);
    char* dest = c.dest < 0 ? nullptr : buf + c.dest;
    g_printed.clear();
    errno = 0;
    const int rc =
        c.bCopy ? memcpy_s(dest, c.max, c.src < 0 ? nullptr : buf + c.src, c.n)
                : memset_s(dest, c.max, c.src, c.n);
    EXPECT_EQ(c.violation ? EINVAL : 0, rc);
    EXPECT_EQ(c.violation ? EINVAL : 0, errno);
    EXPECT_EQ(c.violation ? corruptionLine(c.violation) : "", g_printed);
    std::string expected = pattern;
    expected.replace(c.at, c.written.size(), c.written);
    EXPECT_EQ(expected, std::string(buf, sizeof buf));
  }
}

// Each call as "<message> <pointer> <error>;".
std::string g_handlerCalls;

void recordingHandler(const char* msg, void* ptr, int error) {
  g_handlerCalls += std::string(msg) + (ptr ? " ptr " : " null ") +
                    std::to_string(error) + ";";
  errno = 0;  // the routine must still leave EINVAL for its caller
}

// A custom handler replaces the default (back with null); a threshold below
// one silences the default handler, not the failure; without a hook the line
// goes to standard error.
TEST_F(BoundedMemoryTest, HandlerHookAndThresholdDecideWhereThePrintGoes) {
  g_handlerCalls.clear();
  const ConstraintHandlerFn previous = setConstraintHandler(&recordingHandler);
  char buf[4];
  EXPECT_EQ(EINVAL, memset_s(buf, 4, 0, 5));
  EXPECT_EQ(EINVAL, errno);
  EXPECT_TRUE(g_printed.empty());
  EXPECT_EQ("memset_s: n exceeds smax null 22;", g_handlerCalls);
  EXPECT_EQ(&recordingHandler, setConstraintHandler(nullptr));
  EXPECT_EQ(1, setPrintThreshold(0));
  EXPECT_EQ(EINVAL, memset_s(nullptr, 1, 0, 1));
  EXPECT_TRUE(g_printed.empty());
  setPrintThreshold(1);
  EXPECT_EQ(EINVAL, memset_s(nullptr, 1, 0, 1));
  EXPECT_EQ(corruptionLine("memset_s: s is null"), g_printed);
  setConstraintHandler(previous);
  setPrintHook(nullptr);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(EINVAL, memcpy_s(nullptr, 1, "a", 1));
  EXPECT_EQ(corruptionLine("memcpy_s: dest is NULL"),
            ::testing::internal::GetCapturedStderr());
}

}  // namespace
}  // namespace kovaStore
