// `ostrel toggles`: the toggle table as the library holds it.
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

}  // namespace ostrel_cli
