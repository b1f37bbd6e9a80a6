#include "CmTrace.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "trace_capture.h"

namespace {

// A formatter over the first `size` bytes of a larger, canary-filled array,
// so that a write past the end shows.
class Bounded {
 public:
  explicit Bounded(unsigned size) : m_size(size) {
    std::memset(m_bytes, '#', sizeof m_bytes);
  }
  char* buffer() { return m_bytes; }
  unsigned size() const { return m_size; }
  bool tailUntouched() const {
    for (unsigned i = m_size; i < sizeof m_bytes; ++i)
      if (m_bytes[i] != '#') return false;
    return true;
  }

 private:
  unsigned m_size;
  char m_bytes[64];
};

TEST(TextFormatorTest, EveryOverloadRendersItsValue) {
  char buffer[256];
  CCmTextFormator f(buffer, sizeof buffer);
  const std::string s = "str";
  const char* none = nullptr;
  f << "t:" << s << " " << -7 << " " << 4294967295u << " " << LONG_MIN << " "
    << 18446744073709551615ul << " " << LLONG_MIN << " "
    << 18446744073709551615ull << " " << none << " "
    << static_cast<const void*>(nullptr) << " "
    << reinterpret_cast<const void*>(static_cast<uintptr_t>(0xABCDEF));
  const std::string expected =
      "t:str -7 4294967295 " + std::to_string(LONG_MIN) + " " +
      std::to_string(18446744073709551615ul) + " " + std::to_string(LLONG_MIN) +
      " 18446744073709551615 (null) 0x0 0xabcdef";
  EXPECT_EQ(expected, static_cast<char*>(f));
  EXPECT_EQ(expected.size(), f.tell());
  EXPECT_EQ(buffer, static_cast<char*>(f));
}

TEST(TextFormatorTest, NeverWritesPastTheBufferAndStaysTerminated) {
  // Each overload, cut at a buffer of 5 bytes: 4 characters and the NUL.
  struct Case {
    const char* name;
    void (*stream)(CCmTextFormator&);
    const char* expected;
  };
  const Case cases[] = {
      {"text", [](CCmTextFormator& f) { f << "abcdefgh"; }, "abcd"},
      {"string", [](CCmTextFormator& f) { f << std::string("abcdefgh"); },
       "abcd"},
      {"int", [](CCmTextFormator& f) { f << -123456; }, "-123"},
      {"unsigned", [](CCmTextFormator& f) { f << 123456u; }, "1234"},
      {"long", [](CCmTextFormator& f) { f << 123456l; }, "1234"},
      {"unsigned long", [](CCmTextFormator& f) { f << 123456ul; }, "1234"},
      {"long long", [](CCmTextFormator& f) { f << 123456ll; }, "1234"},
      {"unsigned long long", [](CCmTextFormator& f) { f << 123456ull; },
       "1234"},
      {"pointer",
       [](CCmTextFormator& f) {
         f << reinterpret_cast<const void*>(static_cast<uintptr_t>(0xabcdef));
       },
       "0xab"},
      {"pieces",
       [](CCmTextFormator& f) {
         f << "ab" << 345 << "x"
           << "y";
       },
       "ab34"},
  };
  for (const Case& c : cases) {
    Bounded b(5);
    CCmTextFormator f(b.buffer(), b.size());
    c.stream(f);
    EXPECT_STREQ(c.expected, b.buffer()) << c.name;
    EXPECT_EQ(4u, f.tell()) << c.name;
    EXPECT_TRUE(b.tailUntouched()) << c.name;
  }
}

TEST(TextFormatorTest, DegenerateBuffersHoldNothing) {
  Bounded one(1);
  CCmTextFormator f1(one.buffer(), one.size());
  f1 << "abc" << 12;
  EXPECT_EQ(0u, f1.tell());
  EXPECT_EQ('\0', one.buffer()[0]);
  EXPECT_TRUE(one.tailUntouched());

  Bounded zero(0);
  CCmTextFormator f0(zero.buffer(), zero.size());
  f0 << "abc";
  EXPECT_EQ(0u, f0.tell());
  EXPECT_TRUE(zero.tailUntouched());

  CCmTextFormator fnull(nullptr, 100);
  fnull << "abc" << std::string("d");
  EXPECT_EQ(0u, fnull.tell());
}

TEST(TraceSinkTest, SinkReceivesLevelModuleAndExactlyLengthBytes) {
  CmTraceCapture capture(2);
  EXPECT_EQ(2, get_external_trace_mask());
  util_adapter_trace(1, "libx.so", "abcdef", 3);
  const std::vector<CmTraceLine> lines = capture.Lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(1, lines[0].level);
  EXPECT_EQ("libx.so", lines[0].module);
  EXPECT_EQ("abc", lines[0].text);
}

TEST(TraceSinkTest, CaptureRestoresTheMask) {
  const int before = get_external_trace_mask();
  {
    CmTraceCapture capture(-1);
    EXPECT_EQ(-1, get_external_trace_mask());
  }
  EXPECT_EQ(before, get_external_trace_mask());
}

TEST(TraceSinkTest, DefaultSinkWritesOneLineToStandardError) {
  SetCmTraceSink(nullptr, nullptr);
  ::testing::internal::CaptureStderr();
  util_adapter_trace(0, "libx.so", "hello world", 5);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, err.find("ERROR"));
  EXPECT_NE(std::string::npos, err.find("libx.so: hello\n"));
  EXPECT_EQ(std::string::npos, err.find("world"));
}

TEST(TraceSinkTest, AssertionReportsAreCounted) {
  const unsigned long before = cm_assertion_report_count();
  cm_assertion_report();
  cm_assertion_report();
  EXPECT_EQ(before + 2, cm_assertion_report_count());
}

TEST(FuncTracerTest, TracesEntryAndExitOnlyWhenEnabledAndAllowed) {
  {
    CmTraceCapture capture(2);
    {
      CCmUtilFuncTracer tracer(true, false, "libx.so", "ns::F,line=7", ", a=1");
    }
    { CCmUtilFuncTracer tracer(false, false, "libx.so", "ns::G", ""); }
    const std::vector<CmTraceLine> lines = capture.Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("ns::F,line=7, a=1 enter", lines[0].text);
    EXPECT_EQ("ns::F,line=7, a=1 leave", lines[1].text);
    EXPECT_EQ("libx.so", lines[0].module);
    EXPECT_EQ(2, lines[0].level);
  }
  {
    CmTraceCapture capture(1);
    { CCmUtilFuncTracer tracer(true, false, nullptr, nullptr, nullptr); }
    EXPECT_TRUE(capture.Lines().empty());
  }
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

  // A buffer that cannot hold the name and its NUL is refused.
  char small[9];
  EXPECT_FALSE(GetCallerModuleName(small, sizeof small));
  EXPECT_FALSE(GetCallerModuleName(nullptr, 128));
  EXPECT_FALSE(GetCallerModuleName(name, 0));
}

}  // namespace
