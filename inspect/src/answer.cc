#include "endpoints.h"
#include "tools/json_out.h"

namespace ostrel::inspect {

Answer ErrorAnswer(int status, const std::string& message) {
  ostrel_cli::JsonOut json;
  json.BeginObject().Key("error").String(message).EndObject();
  Answer answer;
  answer.status = status;
  answer.body = json.Text();
  return answer;
}

Answer StoppingAnswer() {
  return ErrorAnswer(503, "the inspector is stopping");
}

}  // namespace ostrel::inspect
