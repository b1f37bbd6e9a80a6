// Runs the built ostrel command on the shipped examples and checks exit codes
// and the lines that matter, not whole outputs.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "json_out.h"

namespace {

const std::string kExamples = OSTREL_EXAMPLES_DIR;

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
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    run.out.append(buffer, n);
  pclose(pipe);
  const size_t at = run.out.rfind("exit=");
  if (at != std::string::npos) {
    run.exitCode = std::stoi(run.out.substr(at + 5));
    run.out.erase(at);
  }
  return run;
}

std::string example(const std::string& name) {
  return "'" + kExamples + "/" + name + "'";
}

bool has(const CommandRun& run, const std::string& part) {
  return run.out.find(part) != std::string::npos;
}

TEST(CliEndToEndTest, SampleChecksCleanAndApplies) {
  CommandRun run = runCommand("check " + example("call-sample.json"));
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(has(run, "result: applies: 17 values in 5 groups")) << run.out;
  EXPECT_FALSE(has(run, "reader notes")) << run.out;
  run =
      runCommand("apply " + example("call-sample.json") + " --groups Feature");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(
      has(run, "{\"Feature\":[{\"key\":\"Enable1080p60Fps\",\"value\":\"0\"},"))
      << run.out;
}

TEST(CliEndToEndTest, BrokenDocumentsFailWithTheirReason) {
  struct Case {
    const char* file;
    const char* line;
  } cases[] = {
      {"broken/number-value.json",
       "\"value\" is the number 64, not a string: write it as \"64\""},
      {"broken/lowercase-group.json", "did you mean \"Audio\"?"},
      {"broken/comma-in-array-string.json", "string-breaks-array"},
      {"broken/group-not-array.json", "is an object, not an array"},
      {"broken/missing-value.json", "entry has no \"value\" member"},
  };
  for (const Case& c : cases) {
    const CommandRun run = runCommand("check " + example(c.file));
    EXPECT_EQ(run.exitCode, 1) << c.file;
    EXPECT_TRUE(has(run, c.line)) << c.file << "\n" << run.out;
    EXPECT_TRUE(has(run, "result: FAILS")) << c.file;
  }
}

TEST(CliEndToEndTest, WarningsDoNotFailADocument) {
  CommandRun run = runCommand("check " + example("broken/toggle-typo.json"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(has(run, "closest: \"EnableRelayMode\"")) << run.out;
  EXPECT_TRUE(has(run, "closest: \"EnableOpusDeepPLC\"")) << run.out;
  run = runCommand("check " + example("broken/reader-quirks.json"));
  EXPECT_EQ(run.exitCode, 0) << run.out;
  for (const char* kind :
       {"trimmed-value", "dropped-element", "object-reads-as-null",
        "lossy-unicode-escape", "raw-key-escape", "duplicate-key"})
    EXPECT_TRUE(has(run, kind)) << kind << "\n" << run.out;
}

// Also the apply's exit code on every document: it equals the check's.
TEST(CliEndToEndTest, CheckPredictsExactlyWhatApplyDumps) {
  for (const char* file :
       {"call-sample.json", "broken/number-value.json",
        "broken/lowercase-group.json", "broken/comma-in-array-string.json",
        "broken/group-not-array.json", "broken/missing-value.json",
        "broken/toggle-typo.json", "broken/reader-quirks.json"}) {
    const CommandRun check = runCommand("check --json " + example(file));
    const CommandRun apply = runCommand("apply " + example(file));
    // The apply prints the dump and a newline; the report holds it escaped.
    ASSERT_FALSE(apply.out.empty()) << file;
    EXPECT_EQ('\n', apply.out.back()) << file;
    ostrel_cli::JsonOut dump;
    dump.String(apply.out.substr(0, apply.out.size() - 1));
    EXPECT_TRUE(has(check, "\"dump\":" + dump.Text())) << file << "\n"
                                                       << check.out;
    EXPECT_EQ(check.exitCode, apply.exitCode) << file;
  }
}

TEST(CliEndToEndTest, ReadsStandardInputAndSeveralFiles) {
  CommandRun run =
      runCommand("check - < " + example("broken/missing-value.json"));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(has(run, "entry has no \"value\" member"));
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
  for (const char* command : {"--help", "check --help", "apply --help",
                              "toggles --help", "demo --help"})
    EXPECT_EQ(runCommand(command).exitCode, 0) << command;
}

TEST(CliEndToEndTest, TogglesListsAllTwoHundredFiftyOne) {
  CommandRun run = runCommand("toggles");
  EXPECT_EQ(run.exitCode, 0);
  size_t lines = 0;
  for (char c : run.out) lines += c == '\n';
  EXPECT_EQ(lines, 251u);
  EXPECT_TRUE(has(run, "\n247\tEnableRelayMode\n"));
  run = runCommand("toggles --json");
  EXPECT_TRUE(has(run, "{\"id\":250,\"name\":\"KOVA_FT_Unknow\"}]"));
}

TEST(CliEndToEndTest, DemoTellsTheCallAndTearsDownCleanly) {
  const CommandRun run = runCommand("demo");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  for (const char* line :
       {"ApplyKovaConfigs(the shipped call-sample.json) -> KOVA_S_OK",
        "audio module got AecMode: \"2\" -> \"3\"  on audio-module",
        "video module got MaxFps: \"30\" -> \"15\"  on video-module",
        "media engine got EnableRelayMode: \"1\" -> \"0\"  on main",
        "\nteardown: clean — 0 stores, 0 observers, 0 statistics objects\n"})
    EXPECT_TRUE(has(run, line)) << line << "\n" << run.out;
  // A failing configuration makes the demo fail, but it still tears down.
  const CommandRun broken =
      runCommand("demo " + example("broken/number-value.json"));
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_TRUE(has(broken, "teardown: clean")) << broken.out;
}

}  // namespace
