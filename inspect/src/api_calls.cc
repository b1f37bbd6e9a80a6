// GET /api/v1/calls: every call with its values per group, its observers,
// counters and the statistics kinds it has.
#include <algorithm>

#include "call_access.h"
#include "counters.h"
#include "endpoints.h"
#include "stats_access.h"
#include "tools/json_out.h"

namespace ostrel::inspect {

namespace {

using ostrel_cli::JsonOut;

void addCounters(const kovaStore::KovaConfigCounters& counters, JsonOut& json) {
  json.Key("counters").BeginObject();
  for (const CounterSpec& layout : CounterSpecs()) {
    json.Key(layout.key).Int(static_cast<int64_t>(counters.*layout.field));
  }
  json.EndObject();
}

void addCall(uint32_t callId, const std::vector<int>& kinds, JsonOut& json) {
  json.BeginObject().Key("callId").Int(callId);
  {
    StoreRef store(callId);
    json.Key("groups").BeginObject();
    if (store.get() != nullptr) {
      const StoreConfig config = ReadStoreConfig(*store.get());
      for (int group = 0; group < kGroupCount; ++group) {
        if (config[group].empty()) continue;
        json.Key(GroupName(group)).BeginObject();
        for (const ConfigEntry& entry : config[group]) {
          json.Key(entry.name).String(entry.value);
        }
        json.EndObject();
      }
    }
    json.EndObject();
  }
  json.Key("statistics").BeginArray();
  for (int kind : kinds) json.String(StatKindName(kind));
  json.EndArray();
  if (const auto counters = CallCounters(callId)) {
    // Observers registered now: those added less those removed.
    json.Key("observers")
        .Int(static_cast<int64_t>(counters->observersAdded -
                                  counters->observersRemoved));
    addCounters(*counters, json);
  }
  json.EndObject();
}

}  // namespace

Answer CallsAnswer(const std::atomic<bool>& bStopping) {
  const std::vector<uint32_t> ids = ListCallIds();
  const std::map<uint32_t, std::vector<int>> kinds = ListStatKinds();
  static const std::vector<int> kNone;
  JsonOut json;
  json.BeginObject().Key("calls").BeginArray();
  for (uint32_t callId : ids) {
    if (bStopping.load(std::memory_order_relaxed)) return StoppingAnswer();
    const auto found = kinds.find(callId);
    addCall(callId, found == kinds.end() ? kNone : found->second, json);
  }
  json.EndArray();
  // Calls with statistics but no store are listed by id.
  json.Key("statisticsOnly").BeginArray();
  for (const auto& [callId, callKinds] : kinds) {
    if (std::binary_search(ids.begin(), ids.end(), callId)) continue;
    json.BeginObject().Key("callId").Int(callId).Key("statistics").BeginArray();
    for (int kind : callKinds) json.String(StatKindName(kind));
    json.EndArray().EndObject();
  }
  json.EndArray();
  if (const auto totals = TotalCounters()) {
    json.Key("totals").BeginObject();
    json.Key("stores").Int(static_cast<int64_t>(totals->stores));
    json.Key("storesDestroyed")
        .Int(static_cast<int64_t>(totals->storesDestroyed));
    addCounters(*totals, json);
    json.EndObject();
  }
  json.EndObject();
  Answer answer;
  answer.body = json.Text();
  return answer;
}

}  // namespace ostrel::inspect
