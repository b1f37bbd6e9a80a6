#include "bounded_memory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
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

std::string corruptionLine(const char* msg) {
  return std::string("DATA INCONSISTENCY/DATA CORRUPTION: (22) ") + msg + "\n";
}

// Routes printed lines into g_printed for the duration of each test.
class BoundedMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_printed.clear();
    m_previousHook = setPrintHook(&capturePrint);
    errno = 0;
  }
  void TearDown() override { setPrintHook(m_previousHook); }

  // A violation returns 22, leaves errno at 22 and prints exactly one line.
  static void expectViolation(int rc, const char* msg) {
    EXPECT_EQ(22, rc) << msg;
    EXPECT_EQ(22, errno) << msg;
    ASSERT_EQ(1u, g_printed.size()) << msg;
    EXPECT_EQ(corruptionLine(msg), g_printed[0]);
    g_printed.clear();
    errno = 0;
  }
  static void expectSuccess(int rc) {
    EXPECT_EQ(0, rc);
    EXPECT_TRUE(g_printed.empty());
    g_printed.clear();
  }

  PrintHookFn m_previousHook = nullptr;
};

TEST_F(BoundedMemoryTest, MemsetRejectsNullAndOversizedCapacityWithoutWriting) {
  expectViolation(memset_s(nullptr, 8, 0, 4), "memset_s: s is null");
  // The null check comes before every size check.
  expectViolation(memset_s(nullptr, kMax + 1, 0, kMax + 1),
                  "memset_s: s is null");

  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  expectViolation(memset_s(buf, kMax + 1, 0, 0), "memset_s: smax exceeds max");
  expectViolation(memset_s(buf, kMax + 1, 0, kMax + 1),
                  "memset_s: smax exceeds max");
  EXPECT_EQ(std::string(8, 'x'), std::string(buf, sizeof buf));
}

TEST_F(BoundedMemoryTest,
       MemsetFillsUpToCapacityBeforeReportingOversizedCount) {
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  expectViolation(memset_s(buf, 4, 'a', kMax + 1), "memset_s: n exceeds max");
  EXPECT_EQ("aaaaxxxx", std::string(buf, sizeof buf));

  std::memset(buf, 'x', sizeof buf);
  expectViolation(memset_s(buf, 5, 'b', 6), "memset_s: n exceeds smax");
  EXPECT_EQ("bbbbbxxx", std::string(buf, sizeof buf));
}

TEST_F(BoundedMemoryTest, MemsetFillsExactlyNBytesWithinCapacity) {
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  expectSuccess(memset_s(buf, 8, 'a', 8));
  EXPECT_EQ(std::string(8, 'a'), std::string(buf, sizeof buf));

  std::memset(buf, 'x', sizeof buf);
  expectSuccess(memset_s(buf, 8, 0x1FF, 3));  // only the low byte is used
  EXPECT_EQ(std::string("\xFF\xFF\xFFxxxxx", 8), std::string(buf, sizeof buf));

  std::memset(buf, 'x', sizeof buf);
  expectSuccess(memset_s(buf, 8, 'a', 0));
  expectSuccess(memset_s(buf, 0, 'a', 0));
  EXPECT_EQ(std::string(8, 'x'), std::string(buf, sizeof buf));
  EXPECT_EQ(0, errno);
}

TEST_F(BoundedMemoryTest, MemcpyChecksArgumentsInOrderAndWritesNothing) {
  char dst[8];
  const char src[8] = {'0', '1', '2', '3', '4', '5', '6', '7'};
  std::memset(dst, 'x', sizeof dst);

  expectViolation(memcpy_s(nullptr, 8, nullptr, 4), "memcpy_s: dest is NULL");
  expectViolation(memcpy_s(dst, 8, nullptr, 4), "memcpy_s: src is NULL");
  expectViolation(memcpy_s(dst, 4, src, 5), "memcpy_s: n exceeds dmax");
  // n above dmax is caught before dmax above the largest size.
  expectViolation(memcpy_s(dst, kMax + 1, src, kMax + 2),
                  "memcpy_s: n exceeds dmax");
  expectViolation(memcpy_s(dst, kMax + 1, src, 4),
                  "memcpy_s: dmax exceeds max");
  EXPECT_EQ(std::string(8, 'x'), std::string(dst, sizeof dst));
}

TEST_F(BoundedMemoryTest, MemcpyCopiesNBytesAndZeroCopiesNothing) {
  char dst[8];
  const char src[8] = {'0', '1', '2', '3', '4', '5', '6', '7'};
  std::memset(dst, 'x', sizeof dst);
  expectSuccess(memcpy_s(dst, 8, src, 3));
  EXPECT_EQ("012xxxxx", std::string(dst, sizeof dst));
  expectSuccess(memcpy_s(dst, 8, src, 8));
  EXPECT_EQ("01234567", std::string(dst, sizeof dst));

  std::memset(dst, 'x', sizeof dst);
  expectSuccess(memcpy_s(dst, 8, src, 0));
  expectSuccess(memcpy_s(dst, 0, src, 0));  // no rule against a zero capacity
  EXPECT_EQ(std::string(8, 'x'), std::string(dst, sizeof dst));
  EXPECT_EQ(0, errno);
}

TEST_F(BoundedMemoryTest, MemcpyOverlapMeasuresDestinationByCapacity) {
  char buf[64];
  for (int i = 0; i < 64; ++i) buf[i] = static_cast<char>('A' + i % 26);
  const std::string before(buf, sizeof buf);

  // Source inside the destination's capacity, though beyond dest + n.
  expectViolation(memcpy_s(buf, 16, buf + 8, 4), "memcpy_s: overlap undefined");
  // The same holds for a copy of nothing.
  expectViolation(memcpy_s(buf, 16, buf + 15, 0),
                  "memcpy_s: overlap undefined");
  // Destination inside the copied source range.
  expectViolation(memcpy_s(buf + 4, 8, buf, 8), "memcpy_s: overlap undefined");
  expectViolation(memcpy_s(buf + 7, 8, buf, 8), "memcpy_s: overlap undefined");
  EXPECT_EQ(before, std::string(buf, sizeof buf));

  // Source right at the end of the destination's capacity.
  expectSuccess(memcpy_s(buf, 8, buf + 8, 8));
  EXPECT_EQ(before.substr(8, 8), std::string(buf, 8));
  // Destination at or above src + n, with any capacity.
  expectSuccess(memcpy_s(buf + 40, kMax, buf + 32, 8));
  EXPECT_EQ(std::string(buf + 32, 8), std::string(buf + 40, 8));
  expectSuccess(memcpy_s(buf + 56, 8, buf, 8));
  // A source equal to the destination changes nothing.
  const std::string same(buf, sizeof buf);
  expectSuccess(memcpy_s(buf, 64, buf, 64));
  EXPECT_EQ(same, std::string(buf, sizeof buf));
}

struct HandlerCall {
  std::string msg;
  void* ptr;
  int error;
};
std::vector<HandlerCall> g_handlerCalls;

void recordingHandler(const char* msg, void* ptr, int error) {
  g_handlerCalls.push_back({msg, ptr, error});
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
  ASSERT_EQ(2u, g_handlerCalls.size());
  EXPECT_EQ("memset_s: n exceeds smax", g_handlerCalls[0].msg);
  EXPECT_EQ("memcpy_s: overlap undefined", g_handlerCalls[1].msg);
  for (const HandlerCall& c : g_handlerCalls) {
    EXPECT_EQ(nullptr, c.ptr);
    EXPECT_EQ(22, c.error);
  }

  // Null brings back the default handler.
  EXPECT_EQ(&recordingHandler, setConstraintHandler(nullptr));
  expectViolation(memset_s(nullptr, 1, 0, 1), "memset_s: s is null");
  setConstraintHandler(previous);
}

TEST_F(BoundedMemoryTest, ThresholdBelowOneSilencesButStillFails) {
  const int previous = setPrintThreshold(0);
  EXPECT_EQ(1, previous);
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
