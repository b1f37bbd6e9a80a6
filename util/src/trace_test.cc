#include <CmTrace.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "util/testing/trace_capture.h"

namespace {

// Each row formats into the first `size` bytes of a canary-filled array.
TEST(TextFormatorTest, NeverWritesPastTheBufferAndStaysTerminated) {
  const struct {
    unsigned size;
    void (*stream)(CCmTextFormator&);
    const char* expected;  // null: not even the NUL fits
  } cases[] = {
      {5, [](CCmTextFormator& f) { f << "abcdefgh"; }, "abcd"},
      {5, [](CCmTextFormator& f) { f << "ab" << -345 << "xy"; }, "ab-3"},
      {1, [](CCmTextFormator& f) { f << "abc" << 12; }, ""},
      {0, [](CCmTextFormator& f) { f << "abc"; }, nullptr},
  };
  for (const auto& c : cases) {
    char bytes[64];
    std::memset(bytes, '#', sizeof bytes);
    CCmTextFormator f(bytes, c.size);
    c.stream(f);
    if (c.expected) {
      EXPECT_STREQ(c.expected, bytes) << c.size;
    }
    EXPECT_EQ(c.expected ? std::strlen(c.expected) : 0u, f.tell()) << c.size;
    EXPECT_EQ(std::string(sizeof bytes - c.size, '#'),
              std::string(bytes + c.size, sizeof bytes - c.size));
  }
}

// The sink gets exactly `length` bytes; the tracer adds " enter" and
// " leave" only when enabled and the mask allows information lines.
TEST(TraceSinkTest, SinksAndFuncTracerWriteLevelModuleAndExactText) {
  {
    CmTraceCapture capture(2);
    util_adapter_trace(1, "libx.so", "abcdef", 3);
    { CCmUtilFuncTracer tracer(true, false, "libx.so", "ns::F", ", a=1"); }
    { CCmUtilFuncTracer tracer(false, false, "libx.so", "ns::G", ""); }
    EXPECT_EQ((std::vector<std::string>{"abc", "ns::F, a=1 enter",
                                        "ns::F, a=1 leave"}),
              capture.Texts());
    const std::vector<CmTraceLine> lines = capture.Lines();
    EXPECT_EQ(1, lines.at(0).level);
    EXPECT_EQ("libx.so", lines.at(2).module);
    EXPECT_EQ(2, lines.at(2).level);
  }
  {
    CmTraceCapture capture(1);
    { CCmUtilFuncTracer tracer(true, false, nullptr, nullptr, nullptr); }
    EXPECT_TRUE(capture.Lines().empty());
  }
  // With the capture gone the default sink writes one line to standard error.
  ::testing::internal::CaptureStderr();
  util_adapter_trace(0, "libx.so", "hello world", 5);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, err.find("ERROR"));
  EXPECT_NE(std::string::npos, err.find("libx.so: hello\n"));
}

TEST(ModuleNameTest, CallerModuleIsTheTestExecutable) {
#if defined(_WIN32)
  const char* expected = "util_test.exe";
#else
  const char* expected = "util_test";
#endif
  char name[128];
  ASSERT_TRUE(GetCallerModuleName(name, sizeof name));
  EXPECT_STREQ(expected, name);
  EXPECT_FALSE(GetCallerModuleName(name, 9));
}

}  // namespace
