#include "text_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace ostrel_cli {

namespace {

const char kSampleName[] = "call-sample.json";

std::string systemReason(int error) {
  return std::strerror(error != 0 ? error : EIO);
}

}  // namespace

bool ReadInputText(const std::string& path, size_t maxBytes, std::string& text,
                   std::string& error) {
  const bool bStandardInput = path == "-";
  const std::string name = bStandardInput ? "standard input" : path;
  text.clear();
  errno = 0;
  FILE* file = bStandardInput ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = name + ": cannot open: " + systemReason(errno);
    return false;
  }
  if (!bStandardInput) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec)
      text.reserve(static_cast<size_t>(std::min<uintmax_t>(size, maxBytes)));
  }
  std::vector<char> buffer(size_t{1} << 16);
  bool bRead = true;
  for (;;) {
    errno = 0;
    const size_t n = std::fread(buffer.data(), 1, buffer.size(), file);
    if (n > maxBytes - text.size()) {
      error = name + ": larger than the limit of " + std::to_string(maxBytes) +
              " bytes (--max-bytes changes it)";
      bRead = false;
      break;
    }
    text.append(buffer.data(), n);
    if (n == buffer.size()) continue;
    if (std::ferror(file)) {
      error = name + ": cannot read: " + systemReason(errno);
      bRead = false;
    }
    break;
  }
  if (!bStandardInput) std::fclose(file);
  if (!bRead) std::string().swap(text);
  return bRead;
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
