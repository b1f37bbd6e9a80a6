// The exit codes of the ostrel command.
#ifndef TOOLS_EXIT_CODES_H_
#define TOOLS_EXIT_CODES_H_

namespace ostrel_cli {

enum ExitCode : int {
  kExitOk = 0,
  // A document that the store would refuse (the apply fails), a demo step
  // that went wrong, or a toggles filter that picks nothing.
  kExitDocumentFails = 1,
  // Bad command line, or an input that cannot be read.
  kExitUsage = 2,
};

}  // namespace ostrel_cli

#endif  // TOOLS_EXIT_CODES_H_
