// `ostrel toggles [FILTER]`: the toggle table as the library holds it, or the
// toggles that a filter picks.
#include <CLI/CLI.hpp>
#include <memory>

#include "commands.h"
#include "exit_codes.h"
#include "json_out.h"
#include "ostrel/KovaConfigHelper.h"
#include "report_text.h"

namespace ostrel_cli {

namespace {

bool isDecimal(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool ToggleMatches(const std::string& filter, uint32_t id, const char* name) {
  if (filter.empty()) return true;
  if (isDecimal(filter)) return std::stoul(filter) == id;
  return AsciiLower(name).find(AsciiLower(filter)) != std::string::npos;
}

int RunToggles(bool bJson, const std::string& filter, std::ostream& out,
               std::ostream& err) {
  JsonOut json;
  json.BeginArray();
  size_t shown = 0;
  for (uint32_t id = 0; id < kKovaFeatureToggleCount; ++id) {
    const char* name = kovaStore::KovaConfigHelper::GetFeatureToggleName(
        static_cast<KovaFeatureToggleID>(id));
    if (name == nullptr || !ToggleMatches(filter, id, name)) continue;
    ++shown;
    if (bJson) {
      json.BeginObject().Key("id").Int(id).Key("name").String(name).EndObject();
    } else {
      out << id << "\t" << name << "\n";
    }
  }
  json.EndArray();
  if (bJson) out << json.Text() << "\n";
  if (shown != 0) return kExitOk;
  err << "ostrel toggles: no toggle "
      << (isDecimal(filter) ? "has the id " : "name contains ") << filter
      << " (ids are 0 to " << kKovaFeatureToggleCount - 1 << ")\n";
  return kExitDocumentFails;
}

CommandAction DefineTogglesCommand(CLI::App& command, const std::string&) {
  auto bJson = std::make_shared<bool>(false);
  auto filter = std::make_shared<std::string>();
  command.add_option("FILTER", *filter,
                     "Only the toggles whose name contains this text (letter "
                     "case ignored), or the toggle with this id");
  command.add_flag("--json", *bJson, "Print the list as JSON");
  return [bJson, filter](std::ostream& out, std::ostream& err) {
    return RunToggles(*bJson, *filter, out, err);
  };
}

}  // namespace ostrel_cli
