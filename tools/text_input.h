// Reading a command's input documents: a file, or standard input for "-".
// Also finds the sample call configuration that ships in examples/.
//
// Called on the command's main thread; standard input can be read once.
#ifndef TOOLS_TEXT_INPUT_H_
#define TOOLS_TEXT_INPUT_H_

#include <string>

namespace ostrel_cli {

// Reads the whole file (standard input for "-") as bytes into `text`. On
// failure leaves a one-line reason in `error` and returns false.
bool ReadInputText(const std::string& path, std::string& text,
                   std::string& error);

// The path of examples/call-sample.json: looked for in the source tree the
// command was built from, then relative to the executable (`argv0`) in the
// build tree and in an installed tree. Empty when none exists.
std::string FindSampleDocument(const std::string& argv0);

}  // namespace ostrel_cli

#endif  // TOOLS_TEXT_INPUT_H_
