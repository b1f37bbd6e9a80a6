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

int g_formatCalls = 0;
const char* countedPiece() {
  ++g_formatCalls;
  return "piece";
}

TEST(TraceTest, MaskDecidesWhichLevelsAreBuiltAndEmitted) {
  struct Case {
    int mask;
    std::vector<int> levels;
  };
  const Case cases[] = {
      {-1, {}}, {0, {0}}, {1, {0, 1}}, {2, {0, 1, 2}}, {7, {0, 1, 2}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mask " << c.mask);
    CmTraceCapture capture(c.mask);
    g_formatCalls = 0;
    KOVA_ERROR_TRACE("kovaStore::Test::Error, " << countedPiece());
    KOVA_WARNING_TRACE("kovaStore::Test::Warning, " << countedPiece());
    KOVA_INFO_TRACE("kovaStore::Test::Info, " << countedPiece());
    std::vector<int> levels;
    for (const CmTraceLine& line : capture.Lines()) {
      levels.push_back(line.level);
      EXPECT_EQ(std::string(getModuleName(nullptr)), line.module);
    }
    EXPECT_EQ(c.levels, levels);
    // A line below the mask is not even formatted.
    EXPECT_EQ(static_cast<int>(c.levels.size()), g_formatCalls);
  }
}

TEST(TraceTest, LinesCarryTheirValuesAndSuffixesAndAreCutToTheBuffer) {
  CmTraceCapture capture(2);
  const int object = 0;
  KOVA_INFO_TRACE("kovaStore::Test::Kinds, n="
                  << -5 << ", id=" << 18446744073709551615ULL
                  << ", group=" << std::string("F")
                  << KOVA_STORE_SUFFIX(4000000000u, &object));
  KOVA_INFO_TRACE("kovaStore::Test::This" << KOVA_THIS_SUFFIX(&object));
  KOVA_INFO_TRACE("kovaStore::Test::Long, " << std::string(3000, 'x'));

  char address[32];
  std::snprintf(
      address, sizeof address, "0x%llx",
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&object)));
  const std::vector<std::string> texts = capture.Texts();
  ASSERT_EQ(3u, texts.size());
  EXPECT_EQ(
      std::string("kovaStore::Test::Kinds, n=-5, id=18446744073709551615, "
                  "group=F [cid=4000000000] [this=") +
          address + "]",
      texts[0]);
  EXPECT_EQ(std::string("kovaStore::Test::This [this=") + address + "]",
            texts[1]);
  EXPECT_EQ(1023u, texts[2].size());
  EXPECT_EQ(0u, texts[2].find("kovaStore::Test::Long, xxx"));
}

constexpr int kAssertLine = __LINE__ + 2;
int assertingFunction(const char* szName) {
  KOVA_ASSERT_RETURN((szName != NULL) && (szName[0] != '\0'),
                     KOVA_E_INVALIDARG);
  return KOVA_S_OK;
}

TEST(TraceTest, AssertionReportsAndReturnsTheFailureWhateverTheMask) {
  for (const int mask : {0, -1}) {
    SCOPED_TRACE(testing::Message() << "mask " << mask);
    CmTraceCapture capture(mask);
    const unsigned long before = cm_assertion_report_count();
    EXPECT_EQ(KOVA_S_OK, assertingFunction("name"));
    EXPECT_EQ(before, cm_assertion_report_count());
    EXPECT_TRUE(capture.Lines().empty());

    EXPECT_EQ(KOVA_E_INVALIDARG, assertingFunction(mask < 0 ? nullptr : ""));
    EXPECT_EQ(before + 1, cm_assertion_report_count());
    const std::vector<std::string> expected = {
        "trace_test.cc:" + std::to_string(kAssertLine) +
        " Assert failed: (szName != NULL) && (szName[0] != '\\0')"};
    EXPECT_EQ(mask < 0 ? std::vector<std::string>() : expected,
              capture.Texts());
  }
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
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = getModuleName(nullptr); });
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

TEST(ConfigDataExportTest, ByteConstructorAndCopyKeepExactlyTheBytes) {
  const char bytes[] = {'a', '\0', 'b', '\xFF'};
  EXPECT_EQ(ConfigData(std::string(bytes, 4)), ConfigData(bytes, 4));
  EXPECT_EQ(ConfigData(""), ConfigData(nullptr, 0));
  EXPECT_FALSE(ConfigData(nullptr, 3).IsValid());

  // CopyBufferTo needs the exact size and copies nothing otherwise.
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
