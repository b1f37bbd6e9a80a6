#include "trace.h"

#include <ConfigData.h>
#include <KovaResult.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/testing/trace_capture.h"

namespace kovaStore {
namespace {

TEST(TraceTest, MaskDecidesWhichLevelsAreBuiltAndEmitted) {
  const struct {
    int mask;
    std::vector<int> levels;
  } cases[] = {{-1, {}}, {1, {0, 1}}, {7, {0, 1, 2}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mask " << c.mask);
    CmTraceCapture capture(c.mask);
    int formatCalls = 0;
    auto countedPiece = [&formatCalls] {
      ++formatCalls;
      return "piece";
    };
    KOVA_ERROR_TRACE("kovaStore::Test::Error, " << countedPiece());
    KOVA_WARNING_TRACE("kovaStore::Test::Warning, " << countedPiece());
    KOVA_INFO_TRACE("kovaStore::Test::Info, " << countedPiece());
    std::vector<int> levels;
    for (const CmTraceLine& line : capture.Lines())
      levels.push_back(line.level);
    EXPECT_EQ(c.levels, levels);
    // A line below the mask is not even formatted.
    EXPECT_EQ(static_cast<int>(c.levels.size()), formatCalls);
  }
}

TEST(TraceTest, LinesCarryTheirValuesAndSuffixesAndAreCutToTheBuffer) {
  CmTraceCapture capture(2);
  const void* self = reinterpret_cast<const void*>(uintptr_t{0xabc0});
  KOVA_INFO_TRACE("kovaStore::Test::Kinds, n="
                  << -5 << ", id=" << 18446744073709551615ULL << ", group="
                  << std::string("F") << KOVA_STORE_SUFFIX(4000000000u, self));
  KOVA_INFO_TRACE("kovaStore::Test::Long, " << std::string(3000, 'x'));

  const std::vector<std::string> texts = capture.Texts();
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ(getModuleName(nullptr), capture.Lines()[0].module);
  EXPECT_EQ(
      "kovaStore::Test::Kinds, n=-5, id=18446744073709551615, group=F "
      "[cid=4000000000] [this=0xabc0]",
      texts[0]);
  EXPECT_EQ(1023u, texts[1].size());
  EXPECT_EQ(0u, texts[1].find("kovaStore::Test::Long, xxx"));
}

constexpr int kAssertLine = __LINE__ + 2;
int assertingFunction(const char* szName) {
  KOVA_ASSERT_RETURN((szName != NULL) && (szName[0] != '\0'),
                     KOVA_E_INVALIDARG);
  return KOVA_S_OK;
}

TEST(TraceTest, AssertionReportsAndReturnsTheFailureWhateverTheMask) {
  {
    CmTraceCapture capture(0);
    EXPECT_EQ(KOVA_S_OK, assertingFunction("name"));
    EXPECT_EQ(KOVA_E_INVALIDARG, assertingFunction(""));
    EXPECT_EQ(std::vector<std::string>{"trace_test.cc:" +
                                       std::to_string(kAssertLine) +
                                       " Assert failed: (szName != NULL) && "
                                       "(szName[0] != '\\0')"},
              capture.Texts());
  }
  CmTraceCapture silent(-1);
  const unsigned long before = cm_assertion_report_count();
  EXPECT_EQ(KOVA_E_INVALIDARG, assertingFunction(nullptr));
  EXPECT_EQ(before + 1, cm_assertion_report_count());
  EXPECT_TRUE(silent.Lines().empty());
  EXPECT_STREQ("a.cc", sourceBaseName("C:\\src\\ostrel\\a.cc"));
}

// CopyBufferTo needs the exact size and copies nothing otherwise.
TEST(ConfigDataExportTest, ByteConstructorAndCopyKeepExactlyTheBytes) {
  EXPECT_EQ(ConfigData(std::string("a\0b\xFF", 4)), ConfigData("a\0b\xFF", 4));
  EXPECT_FALSE(ConfigData(nullptr, 3).IsValid());
  const ConfigData value("abcd");
  char buffer[6] = "-----";
  EXPECT_FALSE(value.CopyBufferTo(buffer, 5));
  EXPECT_STREQ("-----", buffer);
  EXPECT_TRUE(value.CopyBufferTo(buffer, 4));
  EXPECT_STREQ("abcd-", buffer);
  EXPECT_FALSE(ConfigData().CopyBufferTo(buffer, 1));
}

}  // namespace
}  // namespace kovaStore
