#include "text_input.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>
#include <vector>

namespace ostrel_cli {

namespace {

const char kSampleName[] = "call-sample.json";

bool readStream(std::istream& in, std::string& text) {
  text.assign(std::istreambuf_iterator<char>(in),
              std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

bool ReadInputText(const std::string& path, std::string& text,
                   std::string& error) {
  if (path == "-") {
    if (readStream(std::cin, text)) return true;
    error = "cannot read standard input";
    return false;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = path + ": is a directory";
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot open";
    return false;
  }
  if (!readStream(file, text)) {
    error = path + ": read error";
    return false;
  }
  return true;
}

std::string FindSampleDocument(const std::string& argv0) {
  namespace fs = std::filesystem;
  // The executable itself, wherever the shell found it; argv0 where the
  // system does not say.
  fs::path executable = argv0;
  std::error_code ec;
#ifdef __linux__
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) executable = self;
#endif
  const fs::path here = executable.parent_path();
  std::vector<fs::path> candidates;
#ifdef OSTREL_INSTALLED_SAMPLE_DIR
  // An installed command: <prefix>/bin/ostrel with the sample in
  // <prefix>/share/ostrel.
  candidates.push_back(here / OSTREL_INSTALLED_SAMPLE_DIR / kSampleName);
#endif
  // build/<preset>/tools/ostrel, and build-<name>/tools/ostrel.
  candidates.push_back(here / "../../../examples" / kSampleName);
  candidates.push_back(here / "../../examples" / kSampleName);
#ifdef OSTREL_EXAMPLES_DIR
  // The source tree the command was built from.
  candidates.push_back(fs::path(OSTREL_EXAMPLES_DIR) / kSampleName);
#endif
  for (const fs::path& candidate : candidates) {
    if (fs::is_regular_file(candidate, ec))
      return candidate.lexically_normal().string();
  }
  return std::string();
}

}  // namespace ostrel_cli
