// GET /api/v1/calls/{id}/stats: each statistics object of the call decoded
// field by field, nothing reset.
#include "endpoints.h"
#include "stats_access.h"
#include "tools/json_out.h"

namespace ostrel::inspect {

Answer StatsAnswer(uint32_t callId, const FieldNames& names) {
  ostrel_cli::JsonOut json;
  json.BeginObject().Key("callId").Int(callId).Key("objects").BeginArray();
  bool bAny = false;
  for (int kind = 0; kind < kStatKindCount; ++kind) {
    std::vector<Field> fields;
    if (!DecodeStatistics(callId, kind, names, fields)) continue;
    bAny = true;
    json.BeginObject().Key("kind").String(StatKindName(kind));
    json.Key("fields").BeginArray();
    for (const Field& field : fields) {
      json.BeginObject();
      json.Key("record").String(RecordKindName(field.layout->record));
      json.Key("stream").Int(field.stream);
      json.Key("offset").Int(field.layout->offset);
      json.Key("type").String(FieldTypeName(field.layout->type));
      json.Key("setter").String(field.layout->setter);
      json.Key("label").String(field.Label());
      json.Key("value").Double(field.Value());
      json.Key("text").String(field.Text());
      if (field.number >= 0) json.Key("number").Int(field.number);
      json.EndObject();
    }
    json.EndArray().EndObject();
  }
  json.EndArray().EndObject();
  if (!bAny) {
    return ErrorAnswer(
        404, "call " + std::to_string(callId) + " has no statistics object");
  }
  Answer answer;
  answer.body = json.Text();
  return answer;
}

}  // namespace ostrel::inspect
