// `ostrel check`: one report per document, as text or as one JSON object.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>

#include "check_report.h"
#include "commands.h"
#include "exit_codes.h"
#include "text_input.h"

namespace ostrel_cli {

void AddMaxBytesOption(CLI::App& command, size_t& maxBytes) {
  command
      .add_option("--max-bytes", maxBytes,
                  "Refuse an input longer than this many bytes")
      ->capture_default_str();
}

int RunCheck(const CheckOptions& options, std::ostream& out,
             std::ostream& err) {
  if (std::count(options.files.begin(), options.files.end(), "-") > 1) {
    err << "ostrel check: - (standard input) is given twice; it can be read "
           "only once\n";
    return kExitUsage;
  }
  bool bAnyFails = false;
  bool bStrictFails = false;
  bool bUnreadable = false;
  bool bFirst = true;
  JsonOut json;
  json.BeginObject().Key("schema").Int(1).Key("documents").BeginArray();
  for (const std::string& file : options.files) {
    const std::string source = file == "-" ? "(standard input)" : file;
    std::string text, error;
    if (!ReadInputText(file, options.maxBytes, text, error)) {
      err << "ostrel check: " << error << "\n";
      json.BeginObject().Key("file").String(source);
      json.Key("applies").Bool(false).Key("error").String(error).EndObject();
      bUnreadable = true;
      continue;
    }
    const DocumentReport report = CheckDocumentText(source, text);
    bAnyFails = bAnyFails || DocumentFails(report);
    bStrictFails = bStrictFails || (options.bStrict && !PassesStrict(report));
    if (options.bJson) {
      AddReportJson(report, json);
    } else {
      if (!bFirst && !options.bQuiet) out << "\n";
      PrintReportText(report, options.bQuiet, out);
    }
    bFirst = false;
  }
  json.EndArray().Key("applies").Bool(!bAnyFails && !bUnreadable);
  json.Key("passes").Bool(!bAnyFails && !bStrictFails && !bUnreadable);
  json.EndObject();
  if (options.bJson) out << json.Text() << "\n";
  if (bUnreadable) return kExitUsage;
  return bAnyFails || bStrictFails ? kExitDocumentFails : kExitOk;
}

CommandAction DefineCheckCommand(CLI::App& command, const std::string&) {
  auto options = std::make_shared<CheckOptions>();
  command
      .add_option("FILE", options->files,
                  "Documents to check; - reads standard input")
      ->required();
  command.add_flag("--json", options->bJson,
                   "Print the report as one JSON object (\"schema\": 1)");
  command.add_flag("--strict", options->bStrict,
                   "Fail (exit 1) on any warning or note as well, so also on "
                   "text that is not standard JSON");
  command.add_flag("-q,--quiet", options->bQuiet, "Print the problems only");
  AddMaxBytesOption(command, options->maxBytes);
  return [options](std::ostream& out, std::ostream& err) {
    return RunCheck(*options, out, err);
  };
}

}  // namespace ostrel_cli
