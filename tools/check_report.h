// The report of `ostrel check` for one document: the apply walk over the
// parsed document beside the scan of the raw text, as one list of items in
// report order, rendered as text for people (problems as
// FILE:LINE:COL: error|warning|note: message lines that editors and CI
// annotate) or as JSON for scripts.
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
  DocumentScan scan;
  ApplyPrediction prediction;
};

DocumentReport CheckDocumentText(const std::string& source,
                                 const std::string& text);

// True when ApplyKovaConfigs would return KOVA_E_FAIL for the document.
bool DocumentFails(const DocumentReport& report);

// The number of warnings and notes (what --strict fails on).
size_t WarningAndNoteCount(const DocumentReport& report);

// The walk, the problems and the result; with bQuiet only the problems.
void PrintReportText(const DocumentReport& report, bool bQuiet,
                     std::ostream& out);

// Adds the report as one JSON object to `out` (an array element or member
// value).
void AddReportJson(const DocumentReport& report, JsonOut& out);

}  // namespace ostrel_cli

#endif  // TOOLS_CHECK_REPORT_H_
