// `ostrel toggles`: the toggle table as the library holds it.
#include <CLI/CLI.hpp>
#include <memory>

#include "KovaConfigHelper.h"
#include "commands.h"
#include "exit_codes.h"
#include "json_out.h"

namespace ostrel_cli {

int RunToggles(bool bJson, std::ostream& out) {
  JsonOut json;
  json.BeginArray();
  for (uint32_t id = 0; id < kKovaFeatureToggleCount; ++id) {
    const char* name = kovaStore::KovaConfigHelper::GetFeatureToggleName(
        static_cast<KovaFeatureToggleID>(id));
    if (name == nullptr) continue;
    if (bJson) {
      json.BeginObject().Key("id").Int(id).Key("name").String(name).EndObject();
    } else {
      out << id << "\t" << name << "\n";
    }
  }
  json.EndArray();
  if (bJson) out << json.Text() << "\n";
  return kExitOk;
}

CommandAction DefineTogglesCommand(CLI::App& command, const std::string&) {
  auto bJson = std::make_shared<bool>(false);
  command.add_flag("--json", *bJson, "Print the list as JSON");
  return [bJson](std::ostream& out, std::ostream&) {
    return RunToggles(*bJson, out);
  };
}

}  // namespace ostrel_cli
