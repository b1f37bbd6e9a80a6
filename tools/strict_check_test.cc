// `ostrel check --strict` against RapidJSON (strict, UTF-8 validated): over
// the shipped examples and their mutations, --strict passes nothing the
// parser rejects.
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "standard_json.h"

namespace ostrel_cli {
namespace {

namespace fs = std::filesystem;

bool parserAccepts(const std::string& text) {
  rapidjson::Document document;
  document.Parse<rapidjson::kParseValidateEncodingFlag>(text.data(),
                                                        text.size());
  return !document.HasParseError();
}

std::vector<std::string> shippedExamples() {
  std::vector<std::string> texts;
  for (const char* folder : {"", "/broken"})
    for (const auto& entry :
         fs::directory_iterator(std::string(OSTREL_EXAMPLES_DIR) + folder))
      if (entry.path().extension() == ".json") {
        std::ifstream file(entry.path(), std::ios::binary);
        texts.emplace_back(std::istreambuf_iterator<char>(file),
                           std::istreambuf_iterator<char>());
      }
  return texts;
}

// Offsets of `byte` in `text`, at most `limit` of them spread over it.
std::vector<size_t> placesOf(const std::string& text, char byte, size_t limit) {
  std::vector<size_t> all;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == byte) all.push_back(i);
  if (all.size() <= limit) return all;
  std::vector<size_t> spread;
  for (size_t k = 0; k < limit; ++k)
    spread.push_back(all[k * all.size() / limit]);
  return spread;
}

// Dropped and doubled commas, brackets and quotes, trailing commas, comments,
// a byte order mark, control bytes, and random single-byte changes.
std::vector<std::string> mutationsOf(const std::string& text,
                                     std::mt19937& random) {
  std::vector<std::string> out;
  auto erase = [&](size_t at) {
    std::string t = text;
    out.push_back(t.erase(at, 1));
  };
  auto insert = [&](size_t at, const std::string& what) {
    std::string t = text;
    out.push_back(t.insert(at, what));
  };
  for (const char byte : {',', '"', '{', '}', '[', ']'})
    for (const size_t at :
         placesOf(text, byte, byte == ',' || byte == '"' ? 3 : 2)) {
      erase(at);
      insert(at, std::string(1, byte));
    }
  for (size_t i = text.size(); i-- > 0;)
    if (text[i] == '}' || text[i] == ']') insert(i, ",");
  std::uniform_int_distribution<size_t> place(0, text.size());
  insert(place(random), "// note\n");
  insert(place(random), "/* note */");
  insert(0, "\xEF\xBB\xBF");
  for (const char control : {'\x01', '\x1F', '\t', '\n', '\0'})
    insert(place(random), std::string(1, control));
  for (const size_t at : placesOf(text, ':', 2)) insert(at + 1, "\x7F");
  const std::string bytes = "'\\u0ex-+.tfn/\xC3\xFF";
  for (int k = 0; k < 4 && !text.empty(); ++k) {
    std::string t = text;
    t[place(random) % text.size()] = bytes[random() % bytes.size()];
    out.push_back(t);
  }
  insert(text.size(), " x");
  return out;
}

bool passesStrict(const std::string& text, const std::string& path) {
  std::ofstream(path, std::ios::binary) << text;
  CheckOptions options;
  options.files = {path};
  options.bStrict = true;
  options.bQuiet = true;
  std::ostringstream out, err;
  return RunCheck(options, out, err) == kExitOk;
}

TEST(StrictCheckTest, PassesNothingThatAStandardParserRejects) {
  const std::string path =
      (fs::temp_directory_path() /
       ("ostrel-strict-" +
        std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
        ".json"))
          .string();
  std::mt19937 random(20261206);
  size_t documents = 0, rejected = 0, passed = 0;
  for (const std::string& example : shippedExamples()) {
    std::vector<std::string> texts = mutationsOf(example, random);
    texts.push_back(example);
    for (const std::string& text : texts) {
      ++documents;
      const bool bStandard = parserAccepts(text);
      const bool bPasses = passesStrict(text, path);
      rejected += bStandard ? 0 : 1;
      passed += bPasses ? 1 : 0;
      EXPECT_TRUE(bStandard || !bPasses) << "passes --strict:\n" << text;
      // The check's own test agrees with the parser but for a byte order
      // mark, which a parser may skip and a writer must not write.
      const bool bMark = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
      EXPECT_EQ(CheckStandardJson(text).bValid, bStandard && !bMark) << text;
    }
  }
  fs::remove(path);
  EXPECT_GE(documents, 300u);
  // Both outcomes occur: neither side of the comparison is empty.
  EXPECT_GE(rejected, 250u);
  EXPECT_GE(passed, 2u);
}

}  // namespace
}  // namespace ostrel_cli
