// `ostrel apply`: the document goes through the library's public API into a
// fresh store of its own call id, and the store's dump is printed byte for
// byte. The dump writes names and values unescaped; where that text is not
// valid JSON a warning says so, and --valid-json prints an escaped form built
// from the check's model of the apply, after making sure the model's dump is
// the store's.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "KovaConfig/config_groups.h"
#include "apply_model.h"
#include "commands.h"
#include "exit_codes.h"
#include "json/json_reader.h"
#include "json_out.h"
#include "ostrel/KovaConfigApi.h"
#include "text_input.h"

namespace ostrel_cli {

namespace {

const uint32_t kAllGroups = (1u << kovaStore::kKovaConfigGroupCount) - 1;

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

// The selected groups in dump order (byte order of their names).
std::vector<std::pair<std::string, int>> dumpOrder(uint32_t mask) {
  std::vector<std::pair<std::string, int>> groups;
  for (int g = 0; g < kovaStore::kKovaConfigGroupCount; ++g)
    if (mask & (1u << g))
      groups.emplace_back(
          kovaStore::groupName(static_cast<kovaStore::KovaConfigGroup>(g)), g);
  std::sort(groups.begin(), groups.end());
  return groups;
}

// The dump's document with every string escaped (JsonOut).
std::string escapedDump(const ApplyPrediction& p, uint32_t mask) {
  JsonOut json;
  json.BeginObject();
  for (const auto& group : dumpOrder(mask)) {
    json.Key(group.first).BeginArray();
    const auto found = p.stored.find(group.second);
    if (found != p.stored.end())
      for (const auto& entry : found->second)
        json.BeginObject()
            .Key("key")
            .String(entry.first)
            .Key("value")
            .String(entry.second)
            .EndObject();
    json.EndArray();
  }
  return json.EndObject().Text();
}

// Why the dump of the selected groups is not valid JSON, naming the first
// name or value that breaks it; empty when it is valid.
std::string dumpProblem(const ApplyPrediction& p, uint32_t mask) {
  size_t count = 0;
  std::string first;
  for (const auto& group : dumpOrder(mask)) {
    const auto found = p.stored.find(group.second);
    if (found == p.stored.end()) continue;
    for (const auto& entry : found->second) {
      const std::string inName = DumpBreakingReason(entry.first);
      const std::string inValue = DumpBreakingReason(entry.second);
      if (inName.empty() && inValue.empty()) continue;
      if (count++ == 0)
        first = group.first + " " + Quoted(entry.first) +
                (inName.empty() ? ": the value holds " + inValue
                                : ": the name holds " + inName);
    }
  }
  if (count == 0) return std::string();
  if (count > 1)
    first += " (and " + std::to_string(count - 1) + " more entries)";
  return first;
}

}  // namespace

bool ParseGroupMask(const std::string& groups, uint32_t& mask,
                    std::string& error) {
  const std::string text = trimmed(groups);
  if (text == "all") {
    mask = kAllGroups;
    return true;
  }
  if (!text.empty() && text[0] >= '0' && text[0] <= '9') {
    if (!parseNumericMask(text, mask)) {
      error = "bad group mask \"" + text + "\"";
      return false;
    }
    if (mask == 0) {
      error = "mask " + text + " selects no group";
      return false;
    }
    if ((mask & ~kAllGroups) != 0) {
      error = "mask " + text +
              " sets bits above 11; groups are bits 0 to 11 (see: ostrel "
              "groups)";
      return false;
    }
    return true;
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
  if (!ReadInputText(options.file, options.maxBytes, text, error)) {
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
  const std::string dump = store->DumpKovaConfigs(mask);
  kovaStore::ReleaseKovaConfig(store);
  kovaStore::CleanUpKovaConfig(options.callId);
  const ApplyPrediction prediction = PredictApply(json::FromText(text.c_str()));
  std::string().swap(text);
  if (options.bValidJson) {
    if (PredictedDump(prediction, mask) != dump) {
      err << "ostrel apply: no escaped form: the check's model of the apply "
             "does not match the store's dump\n";
      return kExitUsage;
    }
    out << escapedDump(prediction, mask) << "\n";
  } else {
    out << dump << "\n";
    const std::string problem = dumpProblem(prediction, mask);
    if (!problem.empty())
      err << "ostrel apply: warning: the dump is not valid JSON, since the "
             "store writes names and values unescaped: "
          << problem << "; --valid-json prints an escaped form\n";
  }
  if (result != KOVA_S_OK) {
    err << "ostrel apply: " << options.file
        << ": the apply fails (KOVA_E_FAIL); the dump shows what was stored "
           "before the failure (see: ostrel check "
        << options.file << ")\n";
    return kExitDocumentFails;
  }
  return kExitOk;
}

CommandAction DefineApplyCommand(CLI::App& command, const std::string&) {
  auto options = std::make_shared<ApplyOptions>();
  command.add_option("FILE", options->file, "Document; - reads standard input")
      ->required();
  command
      .add_option("--groups", options->groups,
                  "Groups to dump: all, group names separated by commas "
                  "(Audio,Video), or a number, which is a bit mask and not a "
                  "group number: bit n selects group n, so 12 (0xC) selects "
                  "Metrics and Audio (see: ostrel groups)")
      ->capture_default_str();
  command
      .add_option("--call-id", options->callId,
                  "Call id of the store, 0 to 4294967294 (4294967295 is the "
                  "\"no call\" id)")
      ->capture_default_str()
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            uint32_t id = 0;
            if (!parseNumericMask(text, id))
              return "\"" + text +
                     "\" is not a call id; call ids are 0 to "
                     "4294967294";
            if (id == 0xFFFFFFFFu)
              return text +
                     " is the \"no call\" id, which names no store; "
                     "call ids are 0 to 4294967294";
            return std::string();
          },
          "", "call id"));
  command.add_flag("--valid-json", options->bValidJson,
                   "Print the dump with its strings escaped, as valid JSON");
  AddMaxBytesOption(command, options->maxBytes);
  return [options](std::ostream& out, std::ostream& err) {
    return RunApply(*options, out, err);
  };
}

int RunGroups(bool bJson, std::ostream& out) {
  JsonOut json;
  json.BeginArray();
  for (int g = 0; g < kovaStore::kKovaConfigGroupCount; ++g) {
    const std::string name =
        kovaStore::groupName(static_cast<kovaStore::KovaConfigGroup>(g));
    if (bJson)
      json.BeginObject().Key("bit").Int(g).Key("name").String(name).EndObject();
    else
      out << g << "\t" << name << "\n";
  }
  json.EndArray();
  if (bJson) out << json.Text() << "\n";
  return kExitOk;
}

CommandAction DefineGroupsCommand(CLI::App& command, const std::string&) {
  auto bJson = std::make_shared<bool>(false);
  command.add_flag("--json", *bJson, "Print the list as JSON");
  return [bJson](std::ostream& out, std::ostream&) {
    return RunGroups(*bJson, out);
  };
}

}  // namespace ostrel_cli
