// Runs the built ostrel command on the shipped examples and checks exit codes
// and the lines that matter, not whole outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

struct CommandRun {
  int exitCode = -1;
  std::string out;  // standard output, then standard error when asked
};

// Runs the command through the shell; the exit code travels as a last line.
CommandRun runCommand(const std::string& arguments, bool bWithStderr = false) {
  const std::string command =
      std::string("'") + OSTREL_CLI_PATH + "' " + arguments +
      (bWithStderr ? " 2>&1" : " 2>/dev/null") + "; echo \"exit=$?\"";
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

std::string example(const std::string& name) {
  return std::string("'") + OSTREL_EXAMPLES_DIR + "/" + name + "'";
}

bool has(const CommandRun& run, const std::string& part) {
  return run.out.find(part) != std::string::npos;
}

// Each shipped document checks with its exit code and the line that explains
// it, and the apply exits as the check does.
TEST(CliEndToEndTest, ChecksExplainAndApplyExitsAsTheCheckDoes) {
  const struct {
    const char* file;
    int exitCode;
    const char* line;
  } cases[] = {
      {"call-sample.json", 0, "result: applies: 17 values in 5 groups"},
      {"broken/number-value.json", 1,
       "\"value\" is the number 64, not a string: write it as \"64\""},
      {"broken/lowercase-group.json", 1, "did you mean \"Audio\"?"},
      {"broken/comma-in-array-string.json", 1, "string-breaks-array"},
      {"broken/group-not-array.json", 1, "is an object, not an array"},
      {"broken/missing-value.json", 1, "entry has no \"value\" member"},
      // Warnings and reader notes do not fail a document.
      {"broken/toggle-typo.json", 0, "closest: \"EnableRelayMode\""},
      {"broken/reader-quirks.json", 0, "lossy-unicode-escape"},
  };
  for (const auto& c : cases) {
    const CommandRun run = runCommand("check " + example(c.file));
    EXPECT_EQ(run.exitCode, c.exitCode) << c.file;
    EXPECT_TRUE(has(run, c.line)) << c.file << "\n" << run.out;
    EXPECT_EQ(c.exitCode, runCommand("apply " + example(c.file)).exitCode)
        << c.file;
  }
}

TEST(CliEndToEndTest, ReadsStandardInputSelectedGroupsAndSeveralFiles) {
  CommandRun run =
      runCommand("apply - --groups Feature < " + example("call-sample.json"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(
      has(run, "{\"Feature\":[{\"key\":\"Enable1080p60Fps\",\"value\":\"0\"},"))
      << run.out;
  run = runCommand("check " + example("call-sample.json") + " " +
                   example("broken/number-value.json"));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(has(run, "result: applies")) << run.out;
  EXPECT_TRUE(has(run, "result: FAILS")) << run.out;
}

TEST(CliEndToEndTest, UsageErrorsExitWithTwoAndHelpWithZero) {
  for (const char* command :
       {"", "check", "frobnicate", "check /nonexistent/file.json"})
    EXPECT_EQ(runCommand(command).exitCode, 2) << command;
  const CommandRun run = runCommand(
      "apply " + example("call-sample.json") + " --groups Audoi", true);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(has(run, "did you mean \"Audio\"?")) << run.out;
  EXPECT_EQ(runCommand("apply --help").exitCode, 0);
}

TEST(CliEndToEndTest, TogglesListsAllTwoHundredFiftyOne) {
  CommandRun run = runCommand("toggles");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 251);
  EXPECT_TRUE(has(run, "\n247\tEnableRelayMode\n"));
  EXPECT_TRUE(has(runCommand("toggles --json"),
                  "{\"id\":250,\"name\":\"KOVA_FT_Unknow\"}]"));
}

TEST(CliEndToEndTest, DemoTellsTheCallAndTearsDownCleanly) {
  const CommandRun run = runCommand("demo");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  for (const char* line :
       {"ApplyKovaConfigs(the shipped call-sample.json) -> KOVA_S_OK",
        "audio module got AecMode: \"2\" -> \"3\"  on audio-module",
        "\nteardown: clean — 0 stores, 0 observers, 0 statistics objects\n"})
    EXPECT_TRUE(has(run, line)) << line << "\n" << run.out;
  // A failing configuration makes the demo fail, but it still tears down.
  const CommandRun broken =
      runCommand("demo " + example("broken/number-value.json"));
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_TRUE(has(broken, "teardown: clean")) << broken.out;
}

}  // namespace
