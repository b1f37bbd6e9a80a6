// `ostrel check`: one report per document, as text or as one JSON object.
#include "check_report.h"
#include "commands.h"
#include "exit_codes.h"
#include "text_input.h"

namespace ostrel_cli {

int RunCheck(const CheckOptions& options, std::ostream& out,
             std::ostream& err) {
  bool bAnyFails = false;
  bool bUnreadable = false;
  JsonOut json;
  json.BeginObject().Key("documents").BeginArray();
  for (size_t i = 0; i < options.files.size(); ++i) {
    const std::string& file = options.files[i];
    std::string text, error;
    if (!ReadInputText(file, text, error)) {
      err << "ostrel check: " << error << "\n";
      bUnreadable = true;
      continue;
    }
    const DocumentReport report =
        CheckDocumentText(file == "-" ? "(standard input)" : file, text);
    bAnyFails = bAnyFails || DocumentFails(report);
    if (options.bJson) {
      AddReportJson(report, json);
    } else {
      if (i != 0) out << "\n";
      PrintReportText(report, out);
    }
  }
  json.EndArray().Key("applies").Bool(!bAnyFails && !bUnreadable).EndObject();
  if (options.bJson) out << json.Text() << "\n";
  if (bUnreadable) return kExitUsage;
  return bAnyFails ? kExitDocumentFails : kExitOk;
}

}  // namespace ostrel_cli
