#include "apply_model.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "KovaConfigApi.h"
#include "check_report.h"
#include "document_scan.h"
#include "json_reader.h"

namespace ostrel_cli {
namespace {

const uint32_t kAllGroups = 0xFFF;

// The check's verdict and predicted dump must match what the library does
// with the text on a fresh store.
void expectAgreement(const std::string& text) {
  static uint32_t callId = 70000;
  kovaStore::IKovaConfig* store = nullptr;
  ASSERT_EQ(kovaStore::CreateKovaConfig(++callId, &store), KOVA_S_OK);
  const bool bApplied = store->ApplyKovaConfigs(text.c_str()) == KOVA_S_OK;
  const std::string dump = store->DumpKovaConfigs(kAllGroups);
  kovaStore::ReleaseKovaConfig(store);
  kovaStore::CleanUpKovaConfig(callId);
  const DocumentReport report = CheckDocumentText("doc", text);
  EXPECT_EQ(!DocumentFails(report), bApplied) << text;
  EXPECT_EQ(PredictedDump(report.prediction, kAllGroups), dump) << text;
}

// The shipped sample and every broken example document.
std::vector<std::string> exampleDocuments() {
  const std::filesystem::path examples(OSTREL_EXAMPLES_DIR);
  std::vector<std::filesystem::path> paths = {examples / "call-sample.json"};
  for (const auto& entry :
       std::filesystem::directory_iterator(examples / "broken"))
    if (entry.path().extension() == ".json") paths.push_back(entry.path());
  std::vector<std::string> texts;
  for (const std::filesystem::path& path : paths) {
    std::ifstream file(path, std::ios::binary);
    texts.push_back(std::string(std::istreambuf_iterator<char>(file), {}));
  }
  return texts;
}

// Documents built from pieces that exercise every rule of the apply and the
// reader's odd corners, in a fixed pseudo-random mix.
std::string generatedDocument(std::mt19937& random) {
  static const char* const groups[] = {
      "Audio",   "Video",           "Feature",  "Common",
      "audio",   "Undefined_Group", "TAOnly",   "Transmission",
      "AudioSi", "AudioSlide",      "LastGroup"};
  // clang-format off
  static const char* const entries[] = {
      R"({"key":"AecMode","value":"2"})", R"({"key":"AecMode","value":"3"})",
      R"({"value":"x","key":"Zeta"})", R"({"key":"n","value":5})",
      R"({"key":"n","value":true})", R"({"key":"only"})",
      R"({"key":"  padded ","value":"  v  "})", R"({"key":"","value":"e"})",
      R"({"key":"esc","value":"a\u20ACb\qc\n"})",
      R"({"key":"list","value":"1,2]"})", R"({"key":"k","value":"v",})",
      R"({"key":"k" "value":"v"})", R"({"key":"k","value":"v","x":[1,{}]})",
      R"({"key":"EnableRelayMod","value":"1"})",
      R"({"k\u0065y":"raw","value":"1"})", "null", "", "7", R"("a,b")", "[]"};
  // clang-format on
  const size_t groupCount = random() % 4;
  std::string text = "{";
  for (size_t g = 0; g < groupCount; ++g) {
    if (g != 0) text += random() % 5 == 0 ? " , " : ",";
    text += "\"" + std::string(groups[random() % std::size(groups)]) + "\":";
    if (random() % 9 == 0) {
      text += random() % 2 ? "{}" : "\"text\"";
      continue;
    }
    text += "[";
    const size_t entryCount = random() % 5;
    for (size_t e = 0; e < entryCount; ++e) {
      if (e != 0) text += random() % 4 == 0 ? ",\n  " : ",";
      text += entries[random() % std::size(entries)];
    }
    text += "]";
  }
  return text + (random() % 6 == 0 ? " }" : "}");
}

TEST(ApplyModelTest, CheckAgreesWithTheLibraryOnExamplesAndGeneratedDocuments) {
  const std::vector<std::string> texts = exampleDocuments();
  ASSERT_GE(texts.size(), 7u);
  for (const std::string& text : texts) expectAgreement(text);
  std::mt19937 random(20261205);
  for (int i = 0; i < 400; ++i) expectAgreement(generatedDocument(random));
}

TEST(ApplyModelTest, CheckAgreesWithTheLibraryOnDamagedSamplesAndNoise) {
  std::mt19937 random(7);
  const std::vector<std::string> texts = exampleDocuments();
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
    expectAgreement(text);
  }
  const std::string alphabet = "{}[],:\"\\ \nnulAudiokeyvalue0u";
  for (int i = 0; i < 2000; ++i) {
    std::string text = random() % 2 ? "{\"Audio\":[" : "{";
    for (size_t n = random() % 60; n > 0; --n)
      text += alphabet[random() % alphabet.size()];
    text += random() % 2 ? "]}" : "}";
    expectAgreement(text);
    ScanDocumentText(text);
  }
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ApplyModelTest, WalksGroupsInByteOrderAndStopsAtTheFirstFailure) {
  const ApplyPrediction p = PredictApply(json::FromText(
      R"({"Video":[{"key":"v","value":"1"}],"Undefined_Group":[],)"
      R"("Audio":[{"key":"a","value":"1"},{"key":"b","value":2},)"
      R"({"key":"c","value":"3"}]})"));
  ASSERT_TRUE(p.bDocumentIsObject);
  EXPECT_FALSE(p.bSucceeds);
  ASSERT_EQ(p.steps.size(), 3u);
  EXPECT_EQ(p.steps[0].kind, ApplyStepKind::GroupStart);
  EXPECT_EQ(p.steps[0].group, "Audio");
  EXPECT_EQ(p.steps[1].kind, ApplyStepKind::Stored);
  EXPECT_EQ(p.steps[2].kind, ApplyStepKind::EntryFails);
  EXPECT_TRUE(contains(p.steps[2].reason, "write it as \"2\""));
  EXPECT_EQ(p.unreachedEntries, 1u);
  EXPECT_EQ(p.unreachedGroups, 2u);
}

TEST(ApplyModelTest, ExplainsGroupFailuresWithTheRightSpelling) {
  ApplyPrediction p = PredictApply(json::FromText(R"({"audio":[]})"));
  ASSERT_EQ(p.steps.size(), 1u);
  EXPECT_EQ(p.steps[0].kind, ApplyStepKind::GroupFails);
  EXPECT_TRUE(contains(p.steps[0].reason, "did you mean \"Audio\""));
  p = PredictApply(json::FromText("[]"));
  EXPECT_FALSE(p.bDocumentIsObject);
  EXPECT_EQ(p.documentKind, "an array of 0");
}

TEST(ApplyModelTest, RemarksOnUnknownTogglesAndRepeatedNames) {
  const ApplyPrediction p = PredictApply(
      json::FromText(R"({"Feature":[{"key":"EnableRelayMod","value":"1"},)"
                     R"({"key":"EnableRelayMode","value":"1"},)"
                     R"({"key":"EnableRelayMode","value":"0"}]})"));
  ASSERT_TRUE(p.bSucceeds);
  ASSERT_EQ(p.steps.size(), 4u);
  ASSERT_EQ(p.steps[1].remarks.size(), 1u);
  EXPECT_TRUE(contains(p.steps[1].remarks[0], "closest: \"EnableRelayMode\""));
  EXPECT_TRUE(p.steps[2].remarks.empty());
  ASSERT_EQ(p.steps[3].remarks.size(), 1u);
  EXPECT_TRUE(contains(p.steps[3].remarks[0], "again"));
  EXPECT_EQ(
      p.stored.at(kovaStore::KovaConfigGroup_Feature).at("EnableRelayMode"),
      "0");
}

}  // namespace
}  // namespace ostrel_cli
