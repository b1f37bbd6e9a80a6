// Reading a command's input documents: a file, or standard input for "-",
// always with a cap on the bytes kept. Also finds the sample call
// configuration that ships in examples/.
//
// Called on the command's main thread; standard input can be read once.
#ifndef TOOLS_TEXT_INPUT_H_
#define TOOLS_TEXT_INPUT_H_

#include <cstddef>
#include <string>

namespace ostrel_cli {

// The default cap on one input document: 64 MiB.
constexpr size_t kDefaultMaxInputBytes = size_t{64} << 20;

// Reads the whole file (standard input for "-") as bytes into `text`, keeping
// at most `maxBytes`: a longer input is refused without being read further,
// so an endless one costs no more than the cap. On failure leaves a one-line
// reason in `error` ("x.json: cannot open: No such file or directory") and
// returns false.
bool ReadInputText(const std::string& path, size_t maxBytes, std::string& text,
                   std::string& error);

// The path of the sample call configuration: looked for relative to the
// executable (found through the system, else `argv0`) in an installed tree
// (share/ostrel/call-sample.json) and in the build tree, then in the source
// tree the command was built from. Empty when none exists.
std::string FindSampleDocument(const std::string& argv0);

}  // namespace ostrel_cli

#endif  // TOOLS_TEXT_INPUT_H_
