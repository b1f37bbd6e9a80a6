#include "check_report.h"

#include "config_groups.h"
#include "json_reader.h"

namespace ostrel_cli {

namespace {

const uint32_t kAllGroups = 0xFFF;

// "1 entry", "2 entries", "1 group", "2 groups".
std::string plural(size_t n, const std::string& word) {
  if (n == 1) return "1 " + word;
  if (word.back() == 'y')
    return std::to_string(n) + " " + word.substr(0, word.size() - 1) + "ies";
  return std::to_string(n) + " " + word + "s";
}

std::string entryLabel(long index) { return "[" + std::to_string(index) + "]"; }

void printStep(const ApplyStep& step, std::ostream& out) {
  switch (step.kind) {
    case ApplyStepKind::GroupStart:
      out << "  " << step.group << ": " << plural(step.count, "entry") << "\n";
      return;
    case ApplyStepKind::Stored:
      out << "    " << entryLabel(step.index) << " store " << Quoted(step.name)
          << " = " << Quoted(step.value) << "\n";
      for (const std::string& remark : step.remarks)
        out << "        warning: " << remark << "\n";
      return;
    case ApplyStepKind::Refused:
      out << "    " << entryLabel(step.index) << " refused: " << step.reason
          << "\n";
      return;
    case ApplyStepKind::EntryFails:
      out << "    " << entryLabel(step.index) << " FAILS: " << step.reason
          << "\n";
      return;
    case ApplyStepKind::GroupFails:
      out << "  " << Quoted(step.group) << ": FAILS: " << step.reason << "\n";
      return;
  }
}

const char* stepName(ApplyStepKind kind) {
  switch (kind) {
    case ApplyStepKind::GroupStart:
      return "group";
    case ApplyStepKind::Stored:
      return "stored";
    case ApplyStepKind::Refused:
      return "refused";
    case ApplyStepKind::EntryFails:
      return "entry-fails";
    case ApplyStepKind::GroupFails:
      return "group-fails";
  }
  return "unknown";
}

void printStopLine(const ApplyPrediction& p, std::ostream& out) {
  if (p.bSucceeds || !p.bDocumentIsObject) return;
  out << "  apply stops here";
  if (p.unreachedEntries != 0 || p.unreachedGroups != 0) {
    out << ": not applied are ";
    if (p.unreachedEntries != 0)
      out << plural(p.unreachedEntries, "later entry") << " of this group";
    if (p.unreachedEntries != 0 && p.unreachedGroups != 0) out << " and ";
    if (p.unreachedGroups != 0) out << plural(p.unreachedGroups, "later group");
  }
  out << "\n";
}

std::string summary(const DocumentReport& report) {
  const ApplyPrediction& p = report.prediction;
  if (!p.bDocumentIsObject)
    return "FAILS: the text reads as " + p.documentKind +
           ", not as a JSON object; nothing is stored";
  const std::string stored = plural(StoredValueCount(p), "value") + " in " +
                             plural(p.stored.size(), "group");
  if (p.bSucceeds) return "applies: " + stored;
  return "FAILS (the apply returns KOVA_E_FAIL) after storing " + stored;
}

}  // namespace

DocumentReport CheckDocumentText(const std::string& source,
                                 const std::string& text) {
  DocumentReport report;
  report.source = source;
  report.notes = ScanDocumentText(text);
  report.depth = MaxNestingDepth(text);
  // The apply takes the document as a C string.
  report.prediction = PredictApply(json::FromText(AppliedText(text)));
  return report;
}

bool DocumentFails(const DocumentReport& report) {
  return !report.prediction.bSucceeds;
}

void PrintReportText(const DocumentReport& report, std::ostream& out) {
  out << report.source << "\n";
  for (const ApplyStep& step : report.prediction.steps) printStep(step, out);
  printStopLine(report.prediction, out);
  if (!report.notes.empty()) {
    out << "  reader notes:\n";
    for (const ScanNote& note : report.notes)
      out << "    " << note.line << ":" << note.column << ": "
          << ScanNoteKindName(note.kind) << ": " << note.message << "\n";
  }
  out << "  result: " << summary(report) << "\n";
}

void AddReportJson(const DocumentReport& report, JsonOut& out) {
  const ApplyPrediction& p = report.prediction;
  out.BeginObject();
  out.Key("file").String(report.source);
  out.Key("applies").Bool(!DocumentFails(report));
  out.Key("summary").String(summary(report));
  out.Key("depth").Int(static_cast<int64_t>(report.depth));
  out.Key("steps").BeginArray();
  for (const ApplyStep& step : p.steps) {
    out.BeginObject();
    out.Key("step").String(stepName(step.kind));
    out.Key("group").String(step.group);
    if (step.kind == ApplyStepKind::GroupStart)
      out.Key("entries").Int(static_cast<int64_t>(step.count));
    if (step.index >= 0) out.Key("index").Int(step.index);
    if (step.kind == ApplyStepKind::Stored) {
      out.Key("name").String(step.name);
      out.Key("value").String(step.value);
      out.Key("remarks").BeginArray();
      for (const std::string& remark : step.remarks) out.String(remark);
      out.EndArray();
    }
    if (!step.reason.empty()) out.Key("reason").String(step.reason);
    out.EndObject();
  }
  out.EndArray();
  out.Key("unreached").BeginObject();
  out.Key("entries").Int(static_cast<int64_t>(p.unreachedEntries));
  out.Key("groups").Int(static_cast<int64_t>(p.unreachedGroups));
  out.EndObject();
  out.Key("notes").BeginArray();
  for (const ScanNote& note : report.notes) {
    out.BeginObject();
    out.Key("kind").String(ScanNoteKindName(note.kind));
    out.Key("line").Int(note.line);
    out.Key("column").Int(note.column);
    out.Key("message").String(note.message);
    out.EndObject();
  }
  out.EndArray();
  out.Key("stored").BeginObject();
  for (const auto& group : p.stored) {
    out.Key(kovaStore::groupName(
                static_cast<kovaStore::KovaConfigGroup>(group.first)))
        .BeginObject();
    for (const auto& entry : group.second)
      out.Key(entry.first).String(entry.second);
    out.EndObject();
  }
  out.EndObject();
  out.Key("dump").String(PredictedDump(p, kAllGroups));
  out.EndObject();
}

}  // namespace ostrel_cli
