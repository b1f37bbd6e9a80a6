#include "trace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ConfigData.h"
#include "KovaResult.h"
#include "trace_capture.h"

namespace kovaStore {
namespace {

void traceAllLevels() {
  KOVA_ERROR_TRACE("kovaStore::Test::Error");
  KOVA_WARNING_TRACE("kovaStore::Test::Warning");
  KOVA_INFO_TRACE("kovaStore::Test::Info");
}

TEST(TraceTest, MaskDecidesWhichLevelsAreEmitted) {
  struct Case {
    int mask;
    std::vector<int> levels;
  };
  const Case cases[] = {
      {-1, {}}, {0, {0}}, {1, {0, 1}}, {2, {0, 1, 2}}, {7, {0, 1, 2}}};
  for (const Case& c : cases) {
    CmTraceCapture capture(c.mask);
    traceAllLevels();
    std::vector<int> levels;
    for (const CmTraceLine& line : capture.Lines())
      levels.push_back(line.level);
    EXPECT_EQ(c.levels, levels) << "mask " << c.mask;
  }
}

int g_formatCalls = 0;
const char* countedPiece() {
  ++g_formatCalls;
  return "piece";
}

TEST(TraceTest, MessageIsNotBuiltBelowTheMask) {
  g_formatCalls = 0;
  {
    CmTraceCapture capture(1);
    KOVA_INFO_TRACE("kovaStore::Test::Info, " << countedPiece());
    EXPECT_EQ(0, g_formatCalls);
    EXPECT_TRUE(capture.Lines().empty());
    KOVA_WARNING_TRACE("kovaStore::Test::Warning, " << countedPiece());
    EXPECT_EQ(1, g_formatCalls);
    EXPECT_TRUE(capture.HasExact(1, "kovaStore::Test::Warning, piece"));
  }
  {
    CmTraceCapture capture(-1);
    KOVA_ERROR_TRACE("kovaStore::Test::Error, " << countedPiece());
    EXPECT_EQ(1, g_formatCalls);
  }
}

TEST(TraceTest, LinesStreamEveryValueKindAndCarryTheModuleName) {
  CmTraceCapture capture(2);
  const std::string group = "Feature";
  KOVA_INFO_TRACE("kovaStore::Test::Kinds, n=" << -5 << ", u=" << 7u << ", id="
                                               << 18446744073709551615ULL
                                               << ", group=" << group);
  ASSERT_EQ(1u, capture.Lines().size());
  const CmTraceLine line = capture.Lines()[0];
  EXPECT_EQ(
      "kovaStore::Test::Kinds, n=-5, u=7, id=18446744073709551615, "
      "group=Feature",
      line.text);
  EXPECT_EQ(std::string(getModuleName(nullptr)), line.module);
}

TEST(TraceTest, OverlongLineIsCutToTheBuffer) {
  CmTraceCapture capture(2);
  const std::string longText(3000, 'x');
  KOVA_INFO_TRACE("kovaStore::Test::Long, " << longText);
  ASSERT_EQ(1u, capture.Lines().size());
  const std::string text = capture.Lines()[0].text;
  EXPECT_EQ(1023u, text.size());
  EXPECT_EQ(0u, text.find("kovaStore::Test::Long, xxx"));
}

TEST(TraceTest, StoreSuffixClosesTheLine) {
  CmTraceCapture capture(2);
  const int object = 0;
  KOVA_INFO_TRACE("kovaStore::Test::Suffix"
                  << KOVA_STORE_SUFFIX(4000000000u, &object));
  KOVA_INFO_TRACE("kovaStore::Test::This" << KOVA_THIS_SUFFIX(&object));

  char address[32];
  std::snprintf(
      address, sizeof address, "0x%llx",
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&object)));
  EXPECT_TRUE(capture.HasExact(
      2, std::string("kovaStore::Test::Suffix [cid=4000000000] [this=") +
             address + "]"));
  EXPECT_TRUE(capture.HasExact(
      2, std::string("kovaStore::Test::This [this=") + address + "]"));
}

constexpr int kAssertLine = __LINE__ + 2;
int assertingFunction(const char* szName) {
  KOVA_ASSERT_RETURN((szName != NULL) && (szName[0] != '\0'),
                     KOVA_E_INVALIDARG);
  return KOVA_S_OK;
}

TEST(TraceTest, AssertionWritesLineReportsAndReturnsTheFailure) {
  CmTraceCapture capture(0);
  const unsigned long before = cm_assertion_report_count();
  EXPECT_EQ(KOVA_S_OK, assertingFunction("name"));
  EXPECT_EQ(before, cm_assertion_report_count());
  EXPECT_TRUE(capture.Lines().empty());

  EXPECT_EQ(KOVA_E_INVALIDARG, assertingFunction(""));
  EXPECT_EQ(before + 1, cm_assertion_report_count());
  EXPECT_TRUE(
      capture.HasExact(0, "trace_test.cc:" + std::to_string(kAssertLine) +
                              " Assert failed: (szName != NULL) && "
                              "(szName[0] != '\\0')"));
}

TEST(TraceTest, AssertionIsReportedEvenWhenNothingIsTraced) {
  CmTraceCapture capture(-1);
  const unsigned long before = cm_assertion_report_count();
  EXPECT_EQ(KOVA_E_INVALIDARG, assertingFunction(nullptr));
  EXPECT_EQ(before + 1, cm_assertion_report_count());
  EXPECT_TRUE(capture.Lines().empty());
}

TEST(TraceTest, SourceBaseNameTakesThePartAfterEitherSeparator) {
  EXPECT_STREQ("a.cc", sourceBaseName("C:\\src\\ostrel\\a.cc"));
  EXPECT_STREQ("b.cc", sourceBaseName("/src/ostrel/b.cc"));
  EXPECT_STREQ("c.cc", sourceBaseName("c.cc"));
  EXPECT_STREQ("", sourceBaseName("dir/"));
}

TEST(TraceTest, ModuleNameIsFetchedOnceAndShared) {
  std::vector<const char*> seen(4, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = getModuleName(nullptr); });
  }
  for (std::thread& t : threads) t.join();
  const char* name = getModuleName(nullptr);
  ASSERT_NE(nullptr, name);
  EXPECT_STRNE("", name);
  for (const char* p : seen) EXPECT_EQ(name, p);
  EXPECT_EQ(name, getModuleName(""));
  // An explicit name is passed through untouched.
  const char* mine = "libother.so";
  EXPECT_EQ(mine, getModuleName(mine));
}

TEST(ConfigDataExportTest, ByteConstructorKeepsExactlyTheGivenBytes) {
  const char bytes[] = {'a', '\0', 'b', '\xFF'};
  const ConfigData value(bytes, 4);
  EXPECT_TRUE(value.IsValid());
  ASSERT_EQ(4u, value.GetLength());
  EXPECT_EQ(0, std::memcmp(bytes, value.GetData(), 4));
  EXPECT_EQ(ConfigData(std::string(bytes, 4)), value);

  const ConfigData empty(nullptr, 0);
  EXPECT_TRUE(empty.IsValid());
  EXPECT_EQ(0u, empty.GetLength());
  EXPECT_FALSE(ConfigData(nullptr, 3).IsValid());
}

TEST(ConfigDataExportTest, CopyBufferToNeedsTheExactSize) {
  const ConfigData value("abcd");
  char buffer[6] = {'-', '-', '-', '-', '-', '-'};
  EXPECT_FALSE(value.CopyBufferTo(buffer, 5));
  EXPECT_FALSE(value.CopyBufferTo(buffer, 3));
  EXPECT_EQ(std::string(6, '-'), std::string(buffer, 6));

  EXPECT_TRUE(value.CopyBufferTo(buffer, 4));
  EXPECT_EQ("abcd--", std::string(buffer, 6));

  EXPECT_TRUE(ConfigData("").CopyBufferTo(nullptr, 0));
  EXPECT_FALSE(ConfigData().CopyBufferTo(buffer, 1));
}

}  // namespace
}  // namespace kovaStore
