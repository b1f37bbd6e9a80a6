// The report of `ostrel check` for one document: the reader notes of the raw
// text scan beside the apply walk over the parsed document, rendered as text
// for people or as JSON for scripts.
//
// Building a report reads the text with the store's own reader
// (json::FromText), exactly as ApplyKovaConfigs does, so what the report
// says is stored is what the apply stores. Pure functions of their input;
// any thread may call them.
#ifndef TOOLS_CHECK_REPORT_H_
#define TOOLS_CHECK_REPORT_H_

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "apply_model.h"
#include "document_scan.h"
#include "json_out.h"

namespace ostrel_cli {

struct DocumentReport {
  std::string source;  // the file name, or "(standard input)"
  size_t depth = 0;    // deepest bracket nesting of the text
  std::vector<ScanNote> notes;
  ApplyPrediction prediction;
};

DocumentReport CheckDocumentText(const std::string& source,
                                 const std::string& text);

// True when ApplyKovaConfigs would return KOVA_E_FAIL for the document.
bool DocumentFails(const DocumentReport& report);

void PrintReportText(const DocumentReport& report, std::ostream& out);

// Adds the report as one JSON object to `out` (an array element or member
// value).
void AddReportJson(const DocumentReport& report, JsonOut& out);

}  // namespace ostrel_cli

#endif  // TOOLS_CHECK_REPORT_H_
