#include "bounded_memory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace kovaStore {
namespace {

constexpr uint64_t kMax = 0x7FFFFFFFFFFFFFFFULL;

std::vector<std::string> g_printed;

void capturePrint(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  g_printed.push_back(line);
}

std::string corruptionLine(const std::string& msg) {
  return "DATA INCONSISTENCY/DATA CORRUPTION: (22) " + msg + "\n";
}

// Routes printed lines into g_printed for the duration of each test.
class BoundedMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_printed.clear();
    m_previousHook = setPrintHook(&capturePrint);
  }
  void TearDown() override { setPrintHook(m_previousHook); }

  PrintHookFn m_previousHook = nullptr;
};

TEST_F(BoundedMemoryTest, EachCallFailsOrWritesExactlyAsBounded) {
  // Every row runs on a fresh 64-byte pattern. A violation returns 22, sets
  // errno to 22 and prints exactly one line; success leaves errno alone.
  // `written` is what the buffer holds at `at` afterwards, the rest unchanged.
  static const char kSrc[] = "01234567";
  struct Case {
    int (*call)(char* buf);
    const char* violation;  // null: success
    size_t at = 0;
    std::string written = "";
  };
  const char* const kSNull = "memset_s: s is null";
  const char* const kSmaxMax = "memset_s: smax exceeds max";
  const char* const kNMax = "memset_s: n exceeds max";
  const char* const kNSmax = "memset_s: n exceeds smax";
  const char* const kDestNull = "memcpy_s: dest is NULL";
  const char* const kSrcNull = "memcpy_s: src is NULL";
  const char* const kNDmax = "memcpy_s: n exceeds dmax";
  const char* const kDmaxMax = "memcpy_s: dmax exceeds max";
  const char* const kOverlap = "memcpy_s: overlap undefined";
  const Case cases[] = {
      // The null check comes first, then smax, then n.
      {[](char*) { return memset_s(nullptr, kMax + 1, 0, kMax + 1); }, kSNull},
      {[](char* b) { return memset_s(b, kMax + 1, 0, kMax + 1); }, kSmaxMax},
      // An oversized count still fills up to the capacity.
      {[](char* b) { return memset_s(b, 4, 'a', kMax + 1); }, kNMax, 0, "aaaa"},
      {[](char* b) { return memset_s(b, 5, 'b', 6); }, kNSmax, 0, "bbbbb"},
      {[](char* b) { return memset_s(b, 8, 'a', 8); }, nullptr, 0, "aaaaaaaa"},
      // Only the low byte of the fill value is used.
      {[](char* b) { return memset_s(b, 8, 0x1FF, 3); }, nullptr, 0,
       "\xFF\xFF\xFF"},
      {[](char* b) { return memset_s(b, 0, 'a', 0); }, nullptr},

      {[](char*) { return memcpy_s(nullptr, 8, nullptr, 4); }, kDestNull},
      {[](char* b) { return memcpy_s(b, 8, nullptr, 4); }, kSrcNull},
      {[](char* b) { return memcpy_s(b, 4, kSrc, 5); }, kNDmax},
      // n above dmax is caught before dmax above the largest size.
      {[](char* b) { return memcpy_s(b, kMax + 1, kSrc, kMax + 2); }, kNDmax},
      {[](char* b) { return memcpy_s(b, kMax + 1, kSrc, 4); }, kDmaxMax},
      {[](char* b) { return memcpy_s(b, 8, kSrc, 3); }, nullptr, 0, "012"},
      {[](char* b) { return memcpy_s(b, 8, kSrc, 8); }, nullptr, 0, kSrc},
      {[](char* b) { return memcpy_s(b, 0, kSrc, 0); }, nullptr},

      // Overlap measures the destination by its capacity, the source by n:
      // a source inside the capacity fails, even beyond dest + n or for n 0.
      {[](char* b) { return memcpy_s(b, 16, b + 8, 4); }, kOverlap},
      {[](char* b) { return memcpy_s(b, 16, b + 15, 0); }, kOverlap},
      {[](char* b) { return memcpy_s(b + 7, 8, b, 8); }, kOverlap},
      {[](char* b) { return memcpy_s(b, 8, b + 8, 8); }, nullptr, 0,
       "IJKLMNOP"},
      {[](char* b) { return memcpy_s(b + 40, kMax, b + 32, 8); }, nullptr, 40,
       "GHIJKLMN"},
      // A source equal to the destination passes and changes nothing.
      {[](char* b) { return memcpy_s(b, 64, b, 64); }, nullptr},
  };
  std::string pattern;
  for (int i = 0; i < 64; ++i) pattern += static_cast<char>('A' + i % 26);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "row " << i);
    char buf[64];
    pattern.copy(buf, sizeof buf);
    g_printed.clear();
    errno = 0;
    const int rc = c.call(buf);
    EXPECT_EQ(c.violation ? 22 : 0, rc);
    EXPECT_EQ(c.violation ? 22 : 0, errno);
    EXPECT_EQ(c.violation
                  ? std::vector<std::string>{corruptionLine(c.violation)}
                  : std::vector<std::string>(),
              g_printed);
    std::string expected = pattern;
    expected.replace(c.at, c.written.size(), c.written);
    EXPECT_EQ(expected, std::string(buf, sizeof buf));
  }
}

// Each call as "<message> <pointer> <error>".
std::vector<std::string> g_handlerCalls;

void recordingHandler(const char* msg, void* ptr, int error) {
  g_handlerCalls.push_back(std::string(msg) + (ptr ? " ptr " : " null ") +
                           std::to_string(error));
  errno = 0;  // the routine must still leave 22 for its caller
}

TEST_F(BoundedMemoryTest, HandlerGetsMessageNullPointerAndErrorNumber) {
  g_handlerCalls.clear();
  const ConstraintHandlerFn previous = setConstraintHandler(&recordingHandler);
  char buf[4];
  EXPECT_EQ(22, memset_s(buf, 4, 0, 5));
  EXPECT_EQ(22, errno);
  EXPECT_EQ(0, memcpy_s(buf, 4, "ab", 2));
  EXPECT_EQ(22, memcpy_s(buf, 4, buf + 1, 1));
  // The custom handler replaces the default: nothing is printed.
  EXPECT_TRUE(g_printed.empty());
  EXPECT_EQ((std::vector<std::string>{"memset_s: n exceeds smax null 22",
                                      "memcpy_s: overlap undefined null 22"}),
            g_handlerCalls);
  // Null brings back the default handler.
  EXPECT_EQ(&recordingHandler, setConstraintHandler(nullptr));
  EXPECT_EQ(22, memset_s(nullptr, 1, 0, 1));
  EXPECT_EQ(std::vector<std::string>{corruptionLine("memset_s: s is null")},
            g_printed);
  setConstraintHandler(previous);
}

TEST_F(BoundedMemoryTest, ThresholdBelowOneSilencesButStillFails) {
  const int previous = setPrintThreshold(0);
  EXPECT_EQ(1, previous);
  errno = 0;
  EXPECT_EQ(22, memset_s(nullptr, 1, 0, 1));
  EXPECT_EQ(22, errno);
  EXPECT_TRUE(g_printed.empty());
  setPrintThreshold(previous);
}

TEST(BoundedMemoryStderrTest, DefaultLineGoesToStandardError) {
  ::testing::internal::CaptureStderr();
  const int rc = memcpy_s(nullptr, 1, "a", 1);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(22, rc);
  EXPECT_EQ(corruptionLine("memcpy_s: dest is NULL"), err);
}

}  // namespace
}  // namespace kovaStore
