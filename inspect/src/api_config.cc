// GET and POST /api/v1/calls/{id}/config.
#include <ostrel/cpp/results.h>
#include <ostrel/cpp/values.h>

#include "call_access.h"
#include "endpoints.h"
#include "tools/check_report.h"
#include "tools/json_out.h"
#include "tools/toggle_names.h"

namespace ostrel::inspect {

namespace {

using ostrel_cli::JsonOut;

constexpr int kFeatureGroup = 1;

Answer noCall(uint32_t callId) {
  return ErrorAnswer(404, "call " + std::to_string(callId) + " has no store");
}

void addEntries(const StoreConfig& config, JsonOut& json) {
  json.Key("groups").BeginArray();
  for (int group = 0; group < kGroupCount; ++group) {
    json.BeginObject().Key("group").String(GroupName(group));
    json.Key("number").Int(group).Key("entries").BeginArray();
    for (const ConfigEntry& entry : config[group]) {
      json.BeginObject().Key("name").String(entry.name);
      json.Key("value").String(entry.value);
      const int toggle =
          group == kFeatureGroup ? ostrel_cli::FeatureToggleId(entry.name) : -1;
      if (toggle >= 0) {
        json.Key("toggle").Int(toggle).Key("on");
        const std::optional<bool> on = Parse<bool>(ConfigData(
            entry.value.data(), static_cast<unsigned>(entry.value.size())));
        if (on) {
          json.Bool(*on);
        } else {
          json.Null();
        }
      }
      json.EndObject();
    }
    json.EndArray().EndObject();
  }
  json.EndArray();
}

// A document the store's apply takes back: names and values up to their
// first NUL, as the store's dump holds them.
std::string documentOf(const StoreConfig& config) {
  JsonOut json;
  json.BeginObject();
  for (int group = 0; group < kGroupCount; ++group) {
    if (config[group].empty()) continue;
    json.Key(GroupName(group)).BeginArray();
    for (const ConfigEntry& entry : config[group]) {
      json.BeginObject().Key("key").String(entry.name);
      json.Key("value").String(std::string(entry.value.c_str()));
      json.EndObject();
    }
    json.EndArray();
  }
  json.EndObject();
  return json.Text() + "\n";
}

}  // namespace

Answer ConfigAnswer(uint32_t callId, bool bDocument) {
  StoreRef store(callId);
  if (store.get() == nullptr) return noCall(callId);
  const StoreConfig config = ReadStoreConfig(*store.get());
  Answer answer;
  if (bDocument) {
    answer.body = documentOf(config);
    answer.headers.emplace_back("Content-Disposition",
                                "attachment; filename=\"call-" +
                                    std::to_string(callId) + "-config.json\"");
    return answer;
  }
  JsonOut json;
  json.BeginObject().Key("callId").Int(callId);
  addEntries(config, json);
  json.EndObject();
  answer.body = json.Text();
  return answer;
}

Answer ApplyConfigAnswer(uint32_t callId, const std::string& document) {
  StoreRef store(callId);
  if (store.get() == nullptr) return noCall(callId);
  // The report is that of `ostrel check --json` for one document; the
  // store's apply then does what it predicts.
  const ostrel_cli::DocumentReport report =
      ostrel_cli::CheckDocumentText("(request body)", document);
  const KOVA_RESULT result = store.get()->ApplyKovaConfigs(document.c_str());
  const bool bFails = ostrel_cli::DocumentFails(report);
  JsonOut json;
  json.BeginObject().Key("schema").Int(1).Key("documents").BeginArray();
  ostrel_cli::AddReportJson(report, json);
  json.EndArray().Key("applies").Bool(!bFails);
  json.Key("passes").Bool(!bFails &&
                          ostrel_cli::WarningAndNoteCount(report) == 0);
  json.EndObject();
  Answer answer;
  answer.status = result == KOVA_S_OK ? 200 : 422;
  answer.body = json.Text();
  answer.headers.emplace_back("X-Ostrel-Result", ResultName(result));
  return answer;
}

}  // namespace ostrel::inspect
