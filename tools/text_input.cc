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
  std::vector<fs::path> candidates;
#ifdef OSTREL_EXAMPLES_DIR
  candidates.push_back(fs::path(OSTREL_EXAMPLES_DIR) / kSampleName);
#endif
  const fs::path here = fs::path(argv0).parent_path();
  // build/<preset>/tools/ostrel, and build-<name>/tools/ostrel.
  candidates.push_back(here / "../../../examples" / kSampleName);
  candidates.push_back(here / "../../examples" / kSampleName);
  // <prefix>/bin/ostrel with <prefix>/share/ostrel/examples.
  candidates.push_back(here / "../share/ostrel/examples" / kSampleName);
  for (const fs::path& candidate : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec))
      return candidate.lexically_normal().string();
  }
  return std::string();
}

}  // namespace ostrel_cli
