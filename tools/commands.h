// The subcommands of the ostrel command. Each is a function from its options
// to an exit code (exit_codes.h), with reports going to `out` and errors to
// `err`, and a Define function that declares its options on a CLI11
// subcommand. Each runs on the calling thread; the demo starts and joins
// threads of its own.
#ifndef TOOLS_COMMANDS_H_
#define TOOLS_COMMANDS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "text_input.h"

namespace CLI {
class App;
}

namespace ostrel_cli {

// What a command runs once its command line is parsed.
using CommandAction = std::function<int(std::ostream& out, std::ostream& err)>;

// One subcommand of ostrel. `define` declares the subcommand's options on
// `command` (already named and described from this entry) and returns the
// action that runs it with the values parsed into them; `argv0` is the path
// the command was started by, for files shipped beside the executable.
struct CommandEntry {
  const char* name;
  const char* description;
  CommandAction (*define)(CLI::App& command, const std::string& argv0);
};

struct CheckOptions {
  std::vector<std::string> files;  // "-" is standard input
  bool bJson = false;
  bool bStrict = false;  // warnings and notes fail the document too
  bool bQuiet = false;   // problems only
  size_t maxBytes = kDefaultMaxInputBytes;
};
// Reports, per document, what the store's apply would store and refuse, and
// what the reader silently changes. kExitDocumentFails when any document
// would fail to apply (or, with bStrict, has a warning or note).
int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err);
CommandAction DefineCheckCommand(CLI::App& command, const std::string& argv0);

struct ApplyOptions {
  std::string file;
  std::string groups = "all";  // "all", names separated by ',' or a bit mask
  uint32_t callId = 1;
  bool bValidJson = false;  // print the dump with its strings escaped
  size_t maxBytes = kDefaultMaxInputBytes;
};
// Applies the document to a fresh store and prints the store's dump of the
// selected groups byte for byte (a warning on `err` when that text is not
// valid JSON); kExitDocumentFails (after the dump) when the apply fails.
int RunApply(const ApplyOptions& options, std::ostream& out, std::ostream& err);
CommandAction DefineApplyCommand(CLI::App& command, const std::string& argv0);

// Parses "all", "Audio,Video" (exact group names) or a number ("0xFFF", "8")
// into a dump mask of groups 0 to 11. False with a reason in `error` for an
// unknown name, a bad number, or a mask that selects no group or a bit above
// the last group.
bool ParseGroupMask(const std::string& groups, uint32_t& mask,
                    std::string& error);

// Lists the twelve groups with their bit numbers.
int RunGroups(bool bJson, std::ostream& out);
CommandAction DefineGroupsCommand(CLI::App& command, const std::string& argv0);

// Lists the feature toggles, id and configuration name, that `filter`
// picks (ToggleMatches); kExitDocumentFails with a line on `err` when it
// picks none.
int RunToggles(bool bJson, const std::string& filter, std::ostream& out,
               std::ostream& err);
// An empty filter picks every toggle, a decimal number the toggle of that
// id, any other text the toggles whose name contains it, letter case
// ignored.
bool ToggleMatches(const std::string& filter, uint32_t id, const char* name);
CommandAction DefineTogglesCommand(CLI::App& command, const std::string& argv0);

// Prints the JSON Schema (draft 2020-12) of configuration documents.
int RunSchema(std::ostream& out);
CommandAction DefineSchemaCommand(CLI::App& command, const std::string& argv0);

struct DemoOptions {
  std::string file;     // empty: the shipped sample
  std::string argv0;    // to find the sample beside the executable
  int traceLevel = -1;  // the util trace mask while the demo runs
  // Keeps the call alive before its teardown, served by the inspector on
  // 127.0.0.1 at inspectPort (0: any free port), until standard input ends.
  bool bInspect = false;
  uint16_t inspectPort = 0;
  size_t maxBytes = kDefaultMaxInputBytes;
};
// A simulated call told as a story; kExitDocumentFails when a step fails or
// the teardown leaves anything behind.
int RunDemo(const DemoOptions& options, std::ostream& out, std::ostream& err);
CommandAction DefineDemoCommand(CLI::App& command, const std::string& argv0);

// Declares --max-bytes on `command`, bound to `maxBytes`.
void AddMaxBytesOption(CLI::App& command, size_t& maxBytes);

}  // namespace ostrel_cli

#endif  // TOOLS_COMMANDS_H_
