#include "apply_model.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "check_report.h"
#include "json/json_reader.h"
#include "ostrel/KovaConfigApi.h"

namespace ostrel_cli {
namespace {

// The check and the library's apply share one walk; what is left to agree
// is their handlers: the check's verdict and predicted dump of all groups
// must match what the apply does with the text on a fresh store; with
// bPlaces, the scan must also place every entry the reader keeps (randomly
// damaged text can make the reader read junk as extra elements, which the
// scan does not model).
void expectAgreement(const std::string& text, bool bPlaces = true) {
  static uint32_t callId = 70000;
  kovaStore::IKovaConfig* store = nullptr;
  ASSERT_EQ(kovaStore::CreateKovaConfig(++callId, &store), KOVA_S_OK);
  const bool bApplied = store->ApplyKovaConfigs(text.c_str()) == KOVA_S_OK;
  const std::string dump = store->DumpKovaConfigs(0xFFF);
  kovaStore::ReleaseKovaConfig(store);
  kovaStore::CleanUpKovaConfig(callId);
  const DocumentReport report = CheckDocumentText("doc", text);
  EXPECT_EQ(!DocumentFails(report), bApplied) << text;
  EXPECT_EQ(PredictedDump(report.prediction, 0xFFF), dump) << text;
  // Every entry the reader keeps has its place in the text, so report lines
  // point at the entry they are about.
  const json::Value document = json::FromText(AppliedText(text));
  if (!bPlaces || document.GetKind() != json::KindObject) return;
  for (const auto& group : document.GetObject()) {
    if (group.second.GetKind() != json::KindArray) continue;
    const auto place = report.scan.groups.find(group.first);
    ASSERT_NE(place, report.scan.groups.end()) << text;
    EXPECT_EQ(place->second.entries.size(), group.second.GetArray().size())
        << group.first << " in " << text;
  }
}

// The shipped sample and every broken example document.
std::vector<std::string> exampleDocuments() {
  const std::filesystem::path examples(OSTREL_EXAMPLES_DIR);
  std::vector<std::string> texts;
  auto read = [&texts](const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    texts.emplace_back(std::istreambuf_iterator<char>(file),
                       std::istreambuf_iterator<char>());
  };
  read(examples / "call-sample.json");
  for (const auto& entry :
       std::filesystem::directory_iterator(examples / "broken"))
    read(entry.path());
  return texts;
}

// Documents built from pieces that exercise the rules of the apply and the
// reader's odd corners that the examples lack, in a fixed pseudo-random mix.
std::string generatedDocument(std::mt19937& random) {
  static const char* const groups[] = {
      "Audio", "Video", "Feature", "TAOnly", "Undefined_Group", "LastGroup"};
  // clang-format off
  static const char* const entries[] = {
      R"({"key":"AecMode","value":"2"})", R"({"value":"x","key":"Zeta"})",
      R"({"key":"n","value":true})", R"({"key":"","value":"e"})",
      R"({"key":"esc","value":"a\u20ACb\qc\n"})",
      R"({"key":"list","value":"1,2]"})", R"({"key":"k","value":"v",})",
      R"({"key":"k" "value":"v"})", R"({"key":"k","value":"v","x":[1,{}]})",
      "null", "", "7", "[]"};
  // clang-format on
  std::string text = "{";
  for (size_t g = random() % 4; g > 0; --g) {
    text += "\"" + std::string(groups[random() % std::size(groups)]) + "\":[";
    for (size_t e = random() % 5; e > 0; --e)
      text += std::string(entries[random() % std::size(entries)]) +
              (e > 1 ? "," : "");
    text += g > 1 ? "]," : "]";
  }
  return text + "}";
}

// Examples as shipped and with random damage, and generated documents.
TEST(ApplyModelTest, CheckAgreesWithTheLibraryOnExamplesAndGeneratedDocuments) {
  const std::vector<std::string> texts = exampleDocuments();
  ASSERT_GE(texts.size(), 7u);
  for (const std::string& text : texts) expectAgreement(text);
  std::mt19937 random(20261205);
  for (int i = 0; i < 400; ++i) expectAgreement(generatedDocument(random));
  const std::string damage = "{}[],:\"\\ \nx0";
  for (int i = 0; i < 300; ++i) {
    std::string text = texts[random() % texts.size()];
    for (int edits = 1 + random() % 3; edits > 0 && !text.empty(); --edits) {
      const size_t at = random() % text.size();
      if (random() % 2)
        text.erase(at, 1);
      else
        text.insert(at, 1, damage[random() % damage.size()]);
    }
    expectAgreement(text, false);
  }
}

}  // namespace
}  // namespace ostrel_cli
