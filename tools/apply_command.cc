// `ostrel apply`: the document goes through the library's public API into a
// fresh store of its own call id, and the store's dump is printed.
#include <cerrno>
#include <cstdlib>

#include "KovaConfigApi.h"
#include "apply_model.h"
#include "commands.h"
#include "config_groups.h"
#include "exit_codes.h"
#include "text_input.h"

namespace ostrel_cli {

namespace {

std::string trimmed(const std::string& text) {
  const size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  return text.substr(b, text.find_last_not_of(" \t") - b + 1);
}

bool parseNumericMask(const std::string& digits, uint32_t& mask) {
  if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(digits.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != '\0' || value > 0xFFFFFFFFull)
    return false;
  mask = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

bool ParseGroupMask(const std::string& groups, uint32_t& mask,
                    std::string& error) {
  const std::string text = trimmed(groups);
  if (!text.empty() && text[0] >= '0' && text[0] <= '9') {
    if (parseNumericMask(text, mask)) return true;
    error = "bad group mask \"" + text + "\"";
    return false;
  }
  mask = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string name = trimmed(text.substr(start, comma - start));
    const kovaStore::KovaConfigGroup group = kovaStore::stringToGroup(name);
    if (group == kovaStore::KovaConfigGroup_LastGroup) {
      error = "unknown group \"" + name + "\"";
      const std::string suggestion = SuggestGroupName(name);
      if (!suggestion.empty())
        error += "; did you mean \"" + suggestion + "\"?";
      return false;
    }
    mask |= 1u << group;
    start = comma + 1;
  }
  return true;
}

int RunApply(const ApplyOptions& options, std::ostream& out,
             std::ostream& err) {
  uint32_t mask = 0;
  std::string text, error;
  if (!ParseGroupMask(options.groups, mask, error)) {
    err << "ostrel apply: --groups: " << error << "\n";
    return kExitUsage;
  }
  if (!ReadInputText(options.file, text, error)) {
    err << "ostrel apply: " << error << "\n";
    return kExitUsage;
  }
  kovaStore::IKovaConfig* store = nullptr;
  if (kovaStore::CreateKovaConfig(options.callId, &store) != KOVA_S_OK ||
      store == nullptr) {
    err << "ostrel apply: no store for call id " << options.callId << "\n";
    return kExitDocumentFails;
  }
  const KOVA_RESULT result = store->ApplyKovaConfigs(text.c_str());
  out << store->DumpKovaConfigs(mask) << "\n";
  kovaStore::ReleaseKovaConfig(store);
  kovaStore::CleanUpKovaConfig(options.callId);
  if (result != KOVA_S_OK) {
    err << "ostrel apply: " << options.file
        << ": the apply fails (KOVA_E_FAIL); the dump shows what was stored "
           "before the failure (see: ostrel check "
        << options.file << ")\n";
    return kExitDocumentFails;
  }
  return kExitOk;
}

}  // namespace ostrel_cli
