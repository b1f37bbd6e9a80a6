// The report of `ostrel check` for one document: the apply walk over the
// parsed document beside the scan of the raw text and the test against
// standard JSON, rendered as text for people (the walk in apply order, then
// the problems as FILE:LINE:COL: error|warning|note: message lines in text
// order, which editors and CI annotate) or as JSON for scripts (every item
// in apply order, the scan's and the standard JSON note after them).
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
#include "standard_json.h"

namespace ostrel_cli {

struct DocumentReport {
  std::string source;  // the file name, or "(standard input)"
  size_t depth = 0;    // deepest bracket nesting of the text
  DocumentScan scan;
  ApplyPrediction prediction;
  StandardJsonResult standard;  // the whole text, NUL bytes included
};

DocumentReport CheckDocumentText(const std::string& source,
                                 const std::string& text);

// True when ApplyKovaConfigs would return KOVA_E_FAIL for the document.
bool DocumentFails(const DocumentReport& report);

// The number of warnings and notes, a text that is not standard JSON
// included.
size_t WarningAndNoteCount(const DocumentReport& report);

// Where the apply stops and what it leaves out: "apply stops at Audio[1],
// line 4: not applied are 1 later group". Only for a document that is an
// object and fails.
std::string ApplyStopLine(const DocumentReport& report);

// The message of the failure where the apply stops, or empty.
std::string StopReason(const DocumentReport& report);

// Whether `check --strict` passes the document: it applies, and has no
// warning or note, so it is standard JSON too.
bool PassesStrict(const DocumentReport& report);

// The walk, the problems sorted by their place in the text, and the result;
// with bQuiet only the problems.
void PrintReportText(const DocumentReport& report, bool bQuiet,
                     std::ostream& out);

// Adds the report as one JSON object to `out` (an array element or member
// value).
void AddReportJson(const DocumentReport& report, JsonOut& out);

}  // namespace ostrel_cli

#endif  // TOOLS_CHECK_REPORT_H_
