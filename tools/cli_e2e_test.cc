// The built command on the shipped examples and written documents: exit
// codes and the lines that matter.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "KovaConfig/config_groups.h"
#include "exit_codes.h"
#include "ostrel/KovaConfigHelper.h"

namespace {

constexpr int kOk = ostrel_cli::kExitOk;
constexpr int kFails = ostrel_cli::kExitDocumentFails;
constexpr int kUsage = ostrel_cli::kExitUsage;

struct CommandRun {
  int exitCode = -1;
  std::string out;  // standard output and standard error
};

const std::string& tempFolder() {
  static const std::string folder = (std::filesystem::temp_directory_path() /
                                     ("ostrel-e2e-" + std::to_string(getpid())))
                                        .string();
  return folder;
}

// Runs a script in the examples folder; $T is the temporary folder and
// $OSTREL the command.
CommandRun runShell(const std::string& script) {
  const std::string command = std::string("cd '") + OSTREL_EXAMPLES_DIR +
                              "' && T='" + tempFolder() + "' && OSTREL='" +
                              OSTREL_CLI_PATH + "' && { " + script +
                              "; } 2>&1; echo \"exit=$?\"";
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

CommandRun runCommand(const std::string& arguments) {
  return runShell("\"$OSTREL\" " + arguments);
}

// $T with the documents the tests write.
class CliEndToEndTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::filesystem::create_directories(tempFolder());
    // A number value, "Key" in capitals, a quote in a value, a name that is
    // no toggle, and a group in lower case.
    write("five.json",
          "{\n"
          "  \"Audio\": [\n"
          "    {\"key\": \"AecMode\", \"value\": 2},\n"
          "    {\"Key\": \"NoiseSuppression\", \"value\": \"high\"},\n"
          "    {\"key\": \"Label\", \"value\": \"say \\\"hi\\\"\"}\n"
          "  ],\n"
          "  \"Feature\": [{\"key\": \"EnableRelayMod\", \"value\": \"1\"}],\n"
          "  \"video\": [{\"key\": \"MaxFps\", \"value\": \"30\"}]\n"
          "}\n");
    write("quote.json",
          "{\"Audio\":[{\"key\":\"Label\",\"value\":\"a\\\"b\"},"
          "{\"key\":\"Raw\",\"value\":\"\xff\"}]}");
    // Applied Audio first, against the text order; "Mode" set twice.
    write("order.json",
          "{\n"
          "  \"Video\": [\n"
          "    {\"key\": \"MaxFps\", \"value\": 30}\n"
          "  ],\n"
          "  \"Audio\": [\n"
          "    {\"key\": \"AecMode\", \"value\": 2},\n"
          "    {\"key\": \"Mode\", \"value\": \"1\"},\n"
          "    {\"key\": \"Mode\", \"value\": \"2\"}\n"
          "  ]\n"
          "}\n");
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(tempFolder()); }

  static void write(const std::string& name, const std::string& text) {
    std::ofstream(tempFolder() + "/" + name, std::ios::binary) << text;
  }
};

struct Case {
  template <class... Lines>
  Case(const char* a, int e, Lines... l)
      : arguments(a), exitCode(e), lines{l...} {}
  const char* arguments;
  int exitCode;
  std::vector<const char*> lines;  // '!': a line that must not appear
};

// Each command exits with its code and prints the line that explains it;
// the apply of a broken example exits as its check does.
TEST_F(CliEndToEndTest, CommandsExitWithTheirCodesAndExplainWhy) {
  const Case cases[] = {
    {"check broken/number-value.json", kFails,
     "broken/number-value.json:4:40: error: Audio[1]: \"value\" is the "
     "number 64, not a string: write it as \"64\" [entry-fails]"},
    {"check broken/toggle-typo.json", kOk, "closest: \"EnableRelayMode\""},
    {"check --strict broken/toggle-typo.json", kFails, "[not-a-toggle]"},
    // Every problem in one run, with positions, also past the stop.
    {"check $T/five.json", kFails, "five.json:3:33: error: Audio[0]: \"value\"",
     "five.json:4:5: note: Audio[1]: member names are matched exactly: "
     "\"Key\" is not \"key\" [case-hint]\n",
     "five.json:5:31: warning: Audio[2]: the value holds a double quote",
     "five.json:7:23: warning: Feature[0]: ",
     "five.json:8:3: error: unknown group name \"video\"; did you mean "
     "\"Video\"? (also fails; the apply stops before it)"},
    // Problems top to bottom, whatever the apply order; quiet hides the
    // summary.
    {"check -q - < $T/order.json", kFails, "!apply stops at",
     "(standard input):3:32: error: Video[0]: \"value\" is the number 30, "
     "not a string: write it as \"30\" (also fails; the apply stops before "
     "it) [entry-fails]\n"
     "(standard input):6:33: error: Audio[0]: ",
     "(standard input):8:5: warning: Audio[2]: sets \"Mode\" again: \"1\" is "
     "replaced (not applied: the apply stops before it) [set-again]"},
    {"check $T/order.json", kFails,
     "  apply stops at Audio[0], line 6: not applied are 2 later entries "
     "of this group and 1 later group\n"},
    {"apply --call-id 4294967294 - --groups Feature < call-sample.json", kOk,
     "{\"Feature\":[{\"key\":\"Enable1080p60Fps\",\"value\":\"0\"},"},
    // The dump byte for byte, with a warning when it is not valid JSON.
    {"apply $T/quote.json", kOk,
     "\"Audio\":[{\"key\":\"Label\",\"value\":\"a\"b\"},",
     "ostrel apply: warning: the dump is not valid JSON"},
    {"apply --valid-json $T/quote.json --groups Audio", kOk,
     "{\"Audio\":[{\"key\":\"Label\",\"value\":\"a\\\"b\"},"
     "{\"key\":\"Raw\",\"value\":\"\\u00FF\"}]}\n"},
    {"groups", kOk, "0\tCommon\n1\tFeature\n"},
    {"toggles", kOk, "\n247\tEnableRelayMode\n"},
    {"toggles 247 --json", kOk, "[{\"id\":247,\"name\":\"EnableRelayMode\"}]"},
    {"toggles NoSuchToggle", kFails,
     "ostrel toggles: no toggle name contains NoSuchToggle"},
    {"check --jsn call-sample.json", kUsage,
     "ostrel check: unknown option '--jsn'; did you mean '--json'? (see: "
     "ostrel help check)"},
    {"apply --call-id 4294967295 call-sample.json", kUsage,
     "ostrel apply: --call-id: 4294967295 is the \"no call\" id, which "
     "names no store; call ids are 0 to 4294967294"},
    {"demo --trace-level 9", kUsage,
     "ostrel demo: --trace-level: \"9\" is not a trace level; levels are -1 "
     "(quiet), 0 (errors), 1 (warnings) and 2 (information)"},
    {"help apply", kOk, "a number, which is a bit mask and not a group number",
     "Usage: ostrel apply"},
    {"--version", kOk, "ostrel " OSTREL_VERSION "\n"},
    {"", kUsage, "ostrel: no command given"},
    {"check - <&-", kUsage,
     "ostrel check: standard input: cannot read: Bad file descriptor"},
    {"check call-sample.json > /dev/full", kUsage,
     "ostrel check: cannot write standard output: No space left on device"},
    {"check /dev/zero", kUsage,
     "ostrel check: /dev/zero: larger than the limit of 67108864 bytes"},
    {"demo", kOk, "ApplyKovaConfigs(the shipped call-sample.json) -> KOVA_S_OK",
     "audio module got AecMode: \"2\" -> \"3\"  on audio-module",
     "\nteardown: clean — 0 stores, 0 observers, 0 statistics objects\n",
     "journal: the last 6 of 22 changes kept (of 22 recorded)",
     "Audio/AecMode \"3\" -> \"3\"  KOVA_E_UNCHANGED  [tid "},
#if OSTREL_WITH_INSPECTOR
    // The call is served before its teardown until standard input ends.
    {"demo --inspect < /dev/null", kOk,
     "the call stays alive: open http://127.0.0.1:", "teardown: clean"},
#endif
    {"demo broken/number-value.json", kFails, "teardown: clean", "!unexpected",
     "-> KOVA_E_FAIL\n"
     "    the document does not apply in full: 1 value stored before the "
     "failure\n"
     "    apply stops at Audio[1], line 4: not applied are 1 later entry of "
     "this group and 1 later group\n"
     "    why: Audio[1]: \"value\" is the number 64, not a string",
     "ostrel demo: broken/number-value.json: the document fails to apply"},
  };
  for (const auto& c : cases) {
    const std::string arguments = c.arguments;
    const CommandRun run = runCommand(arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << arguments << "\n" << run.out;
    for (const char* line : c.lines) {
      const bool bAbsent = line[0] == '!';
      EXPECT_EQ(run.out.find(line + bAbsent) == std::string::npos, bAbsent)
          << arguments << "\n"
          << line << "\n"
          << run.out;
    }
    if (arguments.rfind("check broken/", 0) == 0) {
      EXPECT_EQ(runCommand("apply" + arguments.substr(5)).exitCode, c.exitCode)
          << arguments;
    }
  }
  const std::string toggles = runCommand("toggles").out;
  EXPECT_EQ(std::count(toggles.begin(), toggles.end(), '\n'), 251);
  const std::string groups = runCommand("groups").out;
  EXPECT_EQ(std::count(groups.begin(), groups.end(), '\n'), 12);
}

// Memory running out ends the command with a reason, not an abort.
TEST_F(CliEndToEndTest, RunningOutOfMemoryExitsWithAReason) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "address-space limit under a sanitizer";
#else
  // A well-formed document of 100 MB, read whole and then parsed.
  const CommandRun run = runShell(
      "{ printf '{\"Audio\":['; yes '{\"key\":\"k\",\"value\":\"v\"},' | "
      "head -n 4000000; printf '{}]}'; } > \"$T/big.json\" && ulimit -v 200000 "
      "&& \"$OSTREL\" check --max-bytes 200000000 \"$T/big.json\"");
  EXPECT_EQ(run.exitCode, kUsage) << run.out;
  EXPECT_EQ(run.out, "ostrel check: out of memory\n");
#endif
}

// --json output is strict JSON whatever the documents hold; the schema
// offers the twelve groups and the toggle names in id order; the README
// states the help's exit codes.
TEST_F(CliEndToEndTest, JsonOutputSchemaAndReadmeAgreeWithTheLibrary) {
  const CommandRun run =
      runCommand("check --json $T/five.json $T/quote.json missing.json");
  EXPECT_EQ(run.exitCode, kUsage);
  const nlohmann::json report =
      nlohmann::json::parse(run.out.substr(run.out.find('{')));
  ASSERT_EQ(report["documents"].size(), 3u);
  EXPECT_EQ(report["documents"][2]["error"],
            "missing.json: cannot open: No such file or directory");
  EXPECT_EQ(report["documents"][0]["items"].size(), 10u);
  for (const auto& item : report["documents"][0]["items"])
    for (const char* field : {"kind", "severity", "line", "column"})
      EXPECT_TRUE(item.contains(field)) << item.dump();
  EXPECT_TRUE(nlohmann::json::accept(runCommand("groups --json").out));

  const nlohmann::json schema = nlohmann::json::parse(runCommand("schema").out);
  for (int g = 0; g < 12; ++g)
    EXPECT_TRUE(schema["properties"].contains(
        kovaStore::groupName(static_cast<kovaStore::KovaConfigGroup>(g))));
  const auto& toggles = schema["$defs"]["toggleName"]["enum"];
  ASSERT_EQ(toggles.size(), 251u);
  for (uint32_t id = 0; id < 251; ++id)
    EXPECT_EQ(toggles[id], kovaStore::KovaConfigHelper::GetFeatureToggleName(
                               static_cast<KovaFeatureToggleID>(id)));

  const std::string help = runCommand("help").out;
  std::ifstream file(std::string(OSTREL_EXAMPLES_DIR) + "/../README.md");
  const std::string readme((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
  EXPECT_NE(readme.find(help.substr(help.find("Exit status:"))),
            std::string::npos);
}

}  // namespace
