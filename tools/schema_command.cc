// `ostrel schema`: a JSON Schema (draft 2020-12) of configuration documents,
// built from the library's own tables: the group names (groupName) and the
// feature toggle names (GetFeatureToggleName). An editor that reads it
// completes group names, "key"/"value" members and the toggle names of group
// "Feature", and marks what the store would refuse or drop.
//
// The schema is stricter than the forgiving reader on purpose: it accepts only
// the shape the store applies in full (known groups, arrays of entries with a
// non-empty string key and a string value). What the reader changes silently
// within that shape (duplicate keys, white space around values) is for
// `ostrel check`. A "Feature" key that is no toggle name stays valid (the
// store keeps it): the toggle names are offered, not required.
#include "KovaConfig/config_groups.h"
#include "commands.h"
#include "exit_codes.h"
#include "json_out.h"
#include "ostrel/KovaConfigHelper.h"

namespace ostrel_cli {

namespace {

const char kDialect[] = "https://json-schema.org/draft/2020-12/schema";

void writeEntry(JsonOut& json) {
  json.Key("entry").BeginObject();
  json.Key("description")
      .String("One configuration value: its name and its value, both strings");
  json.Key("type").String("object");
  json.Key("properties").BeginObject();
  json.Key("key").BeginObject();
  json.Key("description").String("The configuration name; never empty");
  json.Key("type").String("string").Key("minLength").Int(1);
  json.EndObject();
  json.Key("value").BeginObject();
  json.Key("description")
      .String("The value, always a string (write numbers as \"64\")");
  json.Key("type").String("string");
  json.EndObject();
  json.EndObject();
  json.Key("required").BeginArray().String("key").String("value").EndArray();
  json.Key("additionalProperties").Bool(false);
  json.EndObject();
}

void writeFeatureEntry(JsonOut& json) {
  json.Key("featureEntry").BeginObject();
  json.Key("$ref").String("#/$defs/entry");
  json.Key("type").String("object");
  json.Key("properties").BeginObject();
  json.Key("key").BeginObject();
  json.Key("anyOf").BeginArray();
  json.BeginObject().Key("$ref").String("#/$defs/toggleName").EndObject();
  json.BeginObject().Key("type").String("string").EndObject();
  json.EndArray();
  json.EndObject();
  json.EndObject();
  json.EndObject();
}

void writeToggleNames(JsonOut& json) {
  json.Key("toggleName").BeginObject();
  json.Key("description")
      .String("The names of the numbered feature toggles (ostrel toggles)");
  json.Key("enum").BeginArray();
  for (uint32_t id = 0; id < kKovaFeatureToggleCount; ++id) {
    const char* name = kovaStore::KovaConfigHelper::GetFeatureToggleName(
        static_cast<KovaFeatureToggleID>(id));
    if (name != nullptr) json.String(name);
  }
  json.EndArray();
  json.EndObject();
}

void writeGroupArrays(JsonOut& json) {
  for (const char* item : {"entries", "featureEntries"}) {
    const bool bFeature = item[0] == 'f';
    json.Key(item).BeginObject();
    json.Key("type").String("array");
    json.Key("items").BeginObject();
    json.Key("$ref").String(bFeature ? "#/$defs/featureEntry"
                                     : "#/$defs/entry");
    json.EndObject();
    json.EndObject();
  }
}

}  // namespace

int RunSchema(std::ostream& out) {
  JsonOut json;
  json.BeginObject();
  json.Key("$schema").String(kDialect);
  json.Key("title").String("ostrel configuration document");
  json.Key("description")
      .String(
          "Configuration groups, each an array of {\"key\", \"value\"} "
          "entries, as ApplyKovaConfigs takes them and DumpKovaConfigs "
          "writes them");
  json.Key("type").String("object");
  json.Key("properties").BeginObject();
  for (int g = 0; g < kovaStore::kKovaConfigGroupCount; ++g) {
    const auto group = static_cast<kovaStore::KovaConfigGroup>(g);
    const bool bFeature = group == kovaStore::KovaConfigGroup_Feature;
    json.Key(kovaStore::groupName(group)).BeginObject();
    json.Key("description")
        .String("Group " + std::to_string(g) + " (bit " + std::to_string(g) +
                " of a dump mask)");
    json.Key("$ref").String(bFeature ? "#/$defs/featureEntries"
                                     : "#/$defs/entries");
    json.EndObject();
  }
  json.EndObject();
  json.Key("additionalProperties").Bool(false);
  json.Key("$defs").BeginObject();
  writeGroupArrays(json);
  writeEntry(json);
  writeFeatureEntry(json);
  writeToggleNames(json);
  json.EndObject();
  json.EndObject();
  // A failed write is reported by the command's checked standard output.
  out << json.Text() << "\n";
  return kExitOk;
}

CommandAction DefineSchemaCommand(CLI::App&, const std::string&) {
  return [](std::ostream& out, std::ostream&) { return RunSchema(out); };
}

}  // namespace ostrel_cli
