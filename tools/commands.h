// The subcommands of the ostrel command, each a function from its options to
// an exit code (exit_codes.h). Reports go to `out`, errors to `err`. Each runs
// on the calling thread; the demo starts and joins threads of its own.
#ifndef TOOLS_COMMANDS_H_
#define TOOLS_COMMANDS_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace ostrel_cli {

struct CheckOptions {
  std::vector<std::string> files;  // "-" is standard input
  bool bJson = false;
};
// Reports, per document, what the store's apply would store and refuse, and
// what the reader silently changes. kExitDocumentFails when any document
// would fail to apply.
int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err);

struct ApplyOptions {
  std::string file;
  std::string groups = "0xFFF";  // names separated by ',' or a bit mask
  uint32_t callId = 1;
};
// Applies the document to a fresh store and prints the store's dump of the
// selected groups; kExitDocumentFails (after the dump) when the apply fails.
int RunApply(const ApplyOptions& options, std::ostream& out, std::ostream& err);

// Parses "Audio,Video" (exact group names) or a number ("0xFFF", "8") into a
// dump mask. False with a reason in `error` for an unknown name or a bad
// number.
bool ParseGroupMask(const std::string& groups, uint32_t& mask,
                    std::string& error);

// Lists the feature toggles: id and configuration name.
int RunToggles(bool bJson, std::ostream& out);

// Prints the JSON Schema of configuration documents; kExitUsage when the
// output cannot be written.
int RunSchema(std::ostream& out, std::ostream& err);

struct DemoOptions {
  std::string file;     // empty: the shipped sample
  std::string argv0;    // to find the sample beside the executable
  int traceLevel = -1;  // the util trace mask while the demo runs
};
// A simulated call told as a story; kExitDocumentFails when a step fails or
// the teardown leaves anything behind.
int RunDemo(const DemoOptions& options, std::ostream& out, std::ostream& err);

}  // namespace ostrel_cli

#endif  // TOOLS_COMMANDS_H_
