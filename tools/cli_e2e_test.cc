// The built command on the shipped examples and on written documents: exit
// codes and the lines that matter, not whole outputs.
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
#include "ostrel/KovaConfigHelper.h"

namespace {

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

// Runs a shell script in the examples folder, with $T naming the temporary
// folder and $OSTREL the command. The exit code travels as a last line.
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
    // Five different mistakes: a number value (the apply stops there), "Key"
    // in capitals, a quote in a value that the dump writes unescaped, a name
    // that is no feature toggle, and a group in lower case.
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
    write("hints.json", "\xEF\xBB\xBF{'Audio': [], // none\n}");
    write("trailing.json", "{\"Audio\":[],}");
    // Standard JSON tools reject the comma after the last entry; the store's
    // reader takes it.
    write("entry-comma.json", "{\"Audio\":[{\"key\":\"A\",\"value\":\"1\"},]}");
    // Applied Audio first, Video second: the text order is the other way.
    // "Mode" is set twice past the point where the apply stops.
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
    // A well-formed document of 100 MB.
    std::ofstream big(tempFolder() + "/big.json", std::ios::binary);
    big << "{\"Audio\":[";
    const std::string entry = "{\"key\":\"k\",\"value\":\"v\"},";
    std::string chunk;
    for (int i = 0; i < 4096; ++i) chunk += entry;
    for (size_t size = 0; size < 100000000; size += chunk.size()) big << chunk;
    big << "{\"key\":\"k\",\"value\":\"v\"}]}";
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

// Each command exits with its code and prints the line that explains it
// (a line starting with '!' must not appear). Warnings and reader notes do
// not fail a document unless --strict, and the apply of a single document
// exits as its check does.
TEST_F(CliEndToEndTest, CommandsExitWithTheirCodesAndExplainWhy) {
  const Case cases[] = {
    {"check broken/number-value.json", 1,
     "broken/number-value.json:4:40: error: Audio[1]: \"value\" is the "
     "number 64, not a string: write it as \"64\" [entry-fails]"},
    {"check broken/lowercase-group.json", 1, "did you mean \"Audio\"?"},
    {"check broken/comma-in-array-string.json", 1, "string-breaks-array"},
    {"check broken/group-not-array.json", 1, "is an object, not an array"},
    {"check broken/missing-value.json", 1, "entry has no \"value\" member"},
    {"check broken/toggle-typo.json", 0, "closest: \"EnableRelayMode\""},
    {"check --strict broken/toggle-typo.json", 1, "[not-a-toggle]"},
    {"check broken/reader-quirks.json", 0, "lossy-unicode-escape"},
    {"check -q call-sample.json broken/toggle-typo.json", 0, "!store"},
    // Every problem in one run, with positions, also past the stop.
    {"check $T/five.json", 1, "five.json:3:33: error: Audio[0]: \"value\"",
     "five.json:4:5: note: Audio[1]: member names are matched exactly: "
     "\"Key\" is not \"key\" [case-hint]\n",
     "five.json:5:31: warning: Audio[2]: the value "
     "holds a double quote",
     "five.json:7:23: warning: Feature[0]: ",
     "five.json:8:3: error: unknown group name \"video\"; did you mean "
     "\"Video\"? (also fails; the apply stops before it)"},
    {"check $T/hints.json", 1,
     "hints.json:1:1: note: the text starts with "
     "a UTF-8 byte order mark",
     "[single-quote]", "[comment]"},
    {"check $T/trailing.json", 1,
     "trailing.json:1:12: note: trailing comma "
     "after the last group"},
    {"check - < /dev/null", 1, "[empty-document]"},
    // --strict fails what a standard JSON parser rejects.
    {"check $T/entry-comma.json", 0, "result: applies: 1 value"},
    {"check --strict $T/entry-comma.json", 1,
     "entry-comma.json:1:35: note: not standard JSON: a trailing comma "
     "before ']'"},
    {"check --strict broken/reader-quirks.json", 1, "[not-standard-json]"},
    {"check --strict call-sample.json", 0,
     "result: applies: 17 values in 5 groups"},
    // Problems top to bottom, whatever the apply order; a name set twice
    // past the stop is reported too.
    {"check -q - < $T/order.json", 1,
     "(standard input):3:32: error: Video[0]: \"value\" is the number 30, "
     "not a string: write it as \"30\" (also fails; the apply stops before "
     "it) [entry-fails]\n"
     "(standard input):6:33: error: Audio[0]: "},
    {"check - < $T/order.json", 1,
     "  apply stops at Audio[0], line 6: not applied are 2 later entries "
     "of this group and 1 later group\n(standard input):3:32: error: "},
    {"check $T/order.json", 1,
     "order.json:8:5: warning: Audio[2]: sets \"Mode\" again: \"1\" is "
     "replaced (not applied: the apply stops before it) [set-again]"},
    {"apply - --groups Feature < call-sample.json", 0,
     "{\"Feature\":[{\"key\":\"Enable1080p60Fps\",\"value\":\"0\"},"},
    {"apply call-sample.json --groups all", 0, "{\"Application\":[],"},
    // The dump byte for byte, with a warning when it is not valid JSON.
    {"apply $T/quote.json", 0,
     "\"Audio\":[{\"key\":\"Label\",\"value\":\"a\"b\"},",
     "ostrel apply: warning: the dump is not valid JSON"},
    {"apply --valid-json $T/quote.json --groups Audio", 0,
     "{\"Audio\":[{\"key\":\"Label\",\"value\":\"a\\\"b\"},"
     "{\"key\":\"Raw\",\"value\":\"\\u00FF\"}]}\n"},
    {"apply --valid-json $T/quote.json", 0, "!warning"},
    {"apply call-sample.json --groups 0", 2, "mask 0 selects no group"},
    {"apply call-sample.json --groups 0x1000", 2, "bits above 11"},
    {"apply call-sample.json --groups Audoi", 2, "did you mean \"Audio\"?"},
    {"check call-sample.json broken/number-value.json", 1, "result: applies",
     "result: FAILS"},
    {"groups", 0, "0\tCommon\n1\tFeature\n"},
    {"toggles", 0, "\n247\tEnableRelayMode\n"},
    {"toggles --json", 0, "{\"id\":250,\"name\":\"KOVA_FT_Unknow\"}]"},
    {"toggles relaymode", 0, "247\tEnableRelayMode\n"},
    {"toggles 247 --json", 0, "[{\"id\":247,\"name\":\"EnableRelayMode\"}]"},
    {"toggles NoSuchToggle", 1,
     "ostrel toggles: no toggle name contains NoSuchToggle"},
    // Options: a misspelt one gets the closest, values out of range the
    // valid range, --groups takes names and says what a number is.
    {"check --jsn call-sample.json", 2,
     "ostrel check: unknown option '--jsn'; did you mean '--json'? (see: "
     "ostrel help check)"},
    {"apply --valid-jsn call-sample.json", 2, "did you mean '--valid-json'?"},
    {"apply --call-id 4294967295 call-sample.json", 2,
     "ostrel apply: --call-id: 4294967295 is the \"no call\" id, which "
     "names no store; call ids are 0 to 4294967294"},
    {"apply --call-id 4294967294 --groups Audio,Video call-sample.json", 0,
     "{\"Audio\":[{\"key\":\"AecMode\""},
    {"demo --trace-level 9", 2,
     "ostrel demo: --trace-level: \"9\" is not a trace level; levels are -1 "
     "(quiet), 0 (errors), 1 (warnings) and 2 (information)"},
    {"help apply", 0, "a number, which is a bit mask and not a group number",
     "Usage: ostrel apply"},
    {"help", 0, "\n  help  "},
    // Conventions: version, help, unknown commands, errors with the
    // command's name and the system's reason, failed writes.
    {"--version", 0, "ostrel " OSTREL_VERSION "\n"},
    {"apply --help", 0, "--valid-json"},
    {"", 2, "ostrel: no command given"},
    {"chek call-sample.json", 2,
     "ostrel: unknown command 'chek'; did you mean 'check'?"},
    {"frobnicate", 2, "ostrel: unknown command 'frobnicate'"},
    {"help frob", 2, "ostrel help: unknown command 'frob'"},
    {"check", 2, "ostrel check: FILE is required"},
    {"check --max-bytes x call-sample.json", 2, "ostrel check: "},
    {"check /nonexistent/file.json", 2,
     "ostrel check: /nonexistent/file.json: cannot open: No such file or "
     "directory"},
    {"check - - < call-sample.json", 2, "ostrel check: - (standard input)"},
    {"check - <&-", 2,
     "ostrel check: standard input: cannot read: Bad file descriptor"},
    {"check call-sample.json > /dev/full", 2,
     "ostrel check: cannot write standard output: No space left on device"},
    {"toggles >&-", 2,
     "ostrel toggles: cannot write standard output: Bad file descriptor"},
    {"--version > /dev/full", 2, "ostrel: cannot write standard output"},
    // Bounded input: endless and oversized inputs stop at the cap.
    {"check /dev/zero", 2,
     "ostrel check: /dev/zero: larger than the limit of 67108864 bytes"},
    {"apply - < /dev/zero", 2, "ostrel apply: standard input: larger than"},
    {"check $T/big.json", 2, "big.json: larger than the limit of 67108864"},
    {"check --max-bytes 100 call-sample.json", 2, "limit of 100 bytes"},
    {"demo", 0, "ApplyKovaConfigs(the shipped call-sample.json) -> KOVA_S_OK",
     "audio module got AecMode: \"2\" -> \"3\"  on audio-module",
     "\nteardown: clean — 0 stores, 0 observers, 0 statistics objects\n",
     "      sets KOVA_E_UNCHANGED: 1\n",
     "journal: the last 6 of 22 changes kept (of 22 recorded)",
     "Audio/AecMode \"3\" -> \"3\"  KOVA_E_UNCHANGED  [tid "},
#if OSTREL_WITH_INSPECTOR
    // The call is served before its teardown until standard input ends.
    {"demo --inspect < /dev/null", 0,
     "the call stays alive: open http://127.0.0.1:", "teardown: clean"},
#endif
    // A failing configuration makes the demo fail, but it still tears down,
    // and the story tells what happened with the document.
    {"demo broken/number-value.json", 1, "teardown: clean", "!unexpected",
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

// Memory running out ends the command with a reason, not an abort. The
// address-space limit would also stop a sanitizer's own start-up.
TEST_F(CliEndToEndTest, RunningOutOfMemoryExitsWithAReason) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "address-space limit under a sanitizer";
#else
  const CommandRun run = runShell(
      "ulimit -v 200000 && \"$OSTREL\" check --max-bytes 200000000 "
      "\"$T/big.json\"");
  EXPECT_EQ(run.exitCode, 2) << run.out;
  EXPECT_EQ(run.out, "ostrel check: out of memory\n");
#endif
}

// --json output parses as strict UTF-8 JSON whatever bytes the documents
// hold; every item has a kind, a severity and a position, and an unreadable
// file is an entry with its error. The README states the help's exit codes.
TEST_F(CliEndToEndTest, JsonOutputIsValidAndCompleteAndReadmeMatchesHelp) {
  const CommandRun run =
      runCommand("check --json $T/five.json $T/quote.json missing.json");
  EXPECT_EQ(run.exitCode, 2);
  const std::string json = run.out.substr(run.out.find('{'));
  const nlohmann::json report = nlohmann::json::parse(json);
  EXPECT_EQ(report["schema"], 1);
  ASSERT_EQ(report["documents"].size(), 3u);
  EXPECT_EQ(report["documents"][2]["error"],
            "missing.json: cannot open: No such file or directory");
  size_t items = 0;
  for (const auto& document : report["documents"])
    for (const auto& item : document.value("items", nlohmann::json::array())) {
      ++items;
      for (const char* field : {"kind", "severity", "line", "column"})
        EXPECT_TRUE(item.contains(field)) << item.dump();
    }
  EXPECT_GT(items, 10u);
  for (const char* arguments :
       {"apply --valid-json $T/quote.json", "toggles --json", "groups --json"})
    EXPECT_TRUE(nlohmann::json::accept(runCommand(arguments).out)) << arguments;

  const std::string help = runCommand("help").out;
  std::ifstream file(std::string(OSTREL_EXAMPLES_DIR) + "/../README.md");
  const std::string readme((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
  const std::string exitStatus = help.substr(help.find("Exit status:"));
  EXPECT_NE(readme.find(exitStatus), std::string::npos) << exitStatus;
}

// The schema is strict JSON naming the library's twelve groups and offering
// its 251 toggle names in id order.
TEST_F(CliEndToEndTest, SchemaListsTheGroupsAndToggleNames) {
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
