// Runs the built ostrel command on the shipped examples and checks exit codes
// and the lines that matter, not whole outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "KovaConfigHelper.h"
#include "config_groups.h"

namespace {

struct CommandRun {
  int exitCode = -1;
  std::string out;  // standard output and standard error
};

// Runs the command through the shell in the examples folder; the exit code
// travels as a last line.
CommandRun runCommand(const std::string& arguments) {
  const std::string command = std::string("cd '") + OSTREL_EXAMPLES_DIR +
                              "' && '" + OSTREL_CLI_PATH + "' " + arguments +
                              " 2>&1; echo \"exit=$?\"";
  CommandRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) run.out += buffer;
  pclose(pipe);
  const size_t at = run.out.rfind("exit=");
  if (at == std::string::npos) return run;
  run.exitCode = std::stoi(run.out.substr(at + 5));
  run.out.erase(at);
  return run;
}

// Each command exits with its code and prints the line that explains it.
// Warnings and reader notes do not fail a document, and the apply of a single
// document exits as its check does.
TEST(CliEndToEndTest, CommandsExitWithTheirCodesAndExplainWhy) {
  const struct {
    const char* arguments;
    int exitCode;
    const char* line;
  } cases[] = {
      {"check call-sample.json", 0, "result: applies: 17 values in 5 groups"},
      {"check broken/number-value.json", 1,
       "\"value\" is the number 64, not a string: write it as \"64\""},
      {"check broken/lowercase-group.json", 1, "did you mean \"Audio\"?"},
      {"check broken/comma-in-array-string.json", 1, "string-breaks-array"},
      {"check broken/group-not-array.json", 1, "is an object, not an array"},
      {"check broken/missing-value.json", 1, "entry has no \"value\" member"},
      {"check broken/toggle-typo.json", 0, "closest: \"EnableRelayMode\""},
      {"check broken/reader-quirks.json", 0, "lossy-unicode-escape"},
      {"apply - --groups Feature < call-sample.json", 0,
       "{\"Feature\":[{\"key\":\"Enable1080p60Fps\",\"value\":\"0\"},"},
      {"check call-sample.json broken/number-value.json", 1, "result: applies"},
      {"check call-sample.json broken/number-value.json", 1, "result: FAILS"},
      {"", 2, ""},
      {"check", 2, ""},
      {"frobnicate", 2, ""},
      {"check /nonexistent/file.json", 2, ""},
      {"apply call-sample.json --groups Audoi", 2, "did you mean \"Audio\"?"},
      {"apply --help", 0, ""},
      {"toggles", 0, "\n247\tEnableRelayMode\n"},
      {"toggles --json", 0, "{\"id\":250,\"name\":\"KOVA_FT_Unknow\"}]"},
      {"demo", 0,
       "ApplyKovaConfigs(the shipped call-sample.json) -> KOVA_S_OK"},
      {"demo", 0, "audio module got AecMode: \"2\" -> \"3\"  on audio-module"},
      {"demo", 0,
       "\nteardown: clean — 0 stores, 0 observers, 0 statistics objects\n"},
      // A failing configuration makes the demo fail, but it still tears down.
      {"demo broken/number-value.json", 1, "teardown: clean"},
  };
  for (const auto& c : cases) {
    const std::string arguments = c.arguments;
    const CommandRun run = runCommand(arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << arguments;
    EXPECT_NE(run.out.find(c.line), std::string::npos) << arguments << "\n"
                                                       << run.out;
    if (arguments.rfind("check ", 0) == 0 && c.exitCode != 2 &&
        arguments.find(' ', 6) == std::string::npos) {
      EXPECT_EQ(runCommand("apply" + arguments.substr(5)).exitCode, c.exitCode)
          << arguments;
    }
  }
  const std::string toggles = runCommand("toggles").out;
  EXPECT_EQ(std::count(toggles.begin(), toggles.end(), '\n'), 251);
}

// The schema is strict JSON naming the library's twelve groups and offering
// its 251 toggle names in id order.
TEST(CliEndToEndTest, SchemaListsTheGroupsAndToggleNames) {
  const CommandRun run = runCommand("schema");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  const nlohmann::json schema = nlohmann::json::parse(run.out);
  EXPECT_EQ(schema["$schema"], "https://json-schema.org/draft/2020-12/schema");
  std::vector<std::string> groups, toggles;
  for (const auto& group : schema["properties"].items())
    groups.push_back(group.key());
  for (const auto& name : schema["$defs"]["toggleName"]["enum"])
    toggles.push_back(name.get<std::string>());
  ASSERT_EQ(groups.size(), 12u);
  ASSERT_EQ(toggles.size(), 251u);
  for (int g = 0; g < 12; ++g)
    EXPECT_NE(std::find(groups.begin(), groups.end(),
                        kovaStore::groupName(
                            static_cast<kovaStore::KovaConfigGroup>(g))),
              groups.end());
  for (uint32_t id = 0; id < 251; ++id)
    EXPECT_EQ(toggles[id], kovaStore::KovaConfigHelper::GetFeatureToggleName(
                               static_cast<KovaFeatureToggleID>(id)));
}

}  // namespace
