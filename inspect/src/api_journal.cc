// GET /api/v1/calls/{id}/journal: the call's change journal, oldest first.
#include <ostrel/cpp/results.h>

#include <algorithm>
#include <vector>

#include "call_access.h"
#include "endpoints.h"
#include "tools/json_out.h"

namespace ostrel::inspect {

namespace {

const char* operationName(int32_t operation) {
  switch (operation) {
    case kovaStore::KovaJournal_Set:
      return "set";
    case kovaStore::KovaJournal_NotifyOnly:
      return "notifyOnly";
    case kovaStore::KovaJournal_Remove:
      return "remove";
    case kovaStore::KovaJournal_RemoveGroup:
      return "removeGroup";
  }
  return "unknown";
}

// A cut text: the bytes kept, and whether the original was longer.
void addText(ostrel_cli::JsonOut& json, const char* key, const char* text,
             uint32_t fullLength) {
  const std::string kept(text);
  json.Key(key).String(kept);
  if (fullLength > kept.size()) {
    json.Key(std::string(key) + "Length").Int(fullLength);
  }
}

}  // namespace

Answer JournalAnswer(uint32_t callId) {
  std::vector<kovaStore::KovaJournalEntry> entries(64);
  uint32_t count = 0;
  KOVA_RESULT result = KOVA_S_OK;
  for (int attempt = 0; attempt < 4; ++attempt) {
    result = kovaStore::ReadKovaJournal(
        callId, entries.data(), static_cast<uint32_t>(entries.size()), &count);
    if (result != KOVA_S_FALSE || count <= entries.size()) break;
    entries.resize(count);
  }
  const std::vector<uint32_t> ids = ListCallIds();
  if (!std::binary_search(ids.begin(), ids.end(), callId)) {
    return ErrorAnswer(404, "call " + std::to_string(callId) + " has no store");
  }
  entries.resize(std::min<size_t>(count, entries.size()));
  kovaStore::KovaJournalSettings settings{};
  settings.size = sizeof settings;
  kovaStore::GetKovaJournalSettings(&settings);
  ostrel_cli::JsonOut json;
  json.BeginObject().Key("callId").Int(callId);
  json.Key("depth")
      .Int(settings.depth)
      .Key("cutLength")
      .Int(settings.cutLength);
  json.Key("entries").BeginArray();
  for (const kovaStore::KovaJournalEntry& entry : entries) {
    json.BeginObject()
        .Key("sequence")
        .Int(static_cast<int64_t>(entry.sequence));
    json.Key("timeUs").Int(static_cast<int64_t>(entry.timeUs));
    json.Key("thread").Int(entry.threadId);
    json.Key("group").String(GroupName(entry.group));
    json.Key("operation").String(operationName(entry.operation));
    json.Key("result").String(ResultName(entry.result));
    if (entry.operation != kovaStore::KovaJournal_RemoveGroup) {
      addText(json, "name", entry.name, entry.nameLength);
    }
    if (entry.hasOld) addText(json, "old", entry.oldValue, entry.oldLength);
    if (entry.hasNew) addText(json, "new", entry.newValue, entry.newLength);
    json.EndObject();
  }
  json.EndArray().EndObject();
  Answer answer;
  answer.body = json.Text();
  return answer;
}

}  // namespace ostrel::inspect
