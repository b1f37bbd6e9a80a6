#include "check_report.h"

#include <algorithm>

#include "KovaConfig/config_groups.h"
#include "json/json_reader.h"

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

// One line of the report: a step of the walk, a finding on it, or a note of
// the text scan.
struct Item {
  Severity severity;
  std::string kind;
  size_t offset;
  std::string message;
  const ApplyStep* step;  // null for scan notes and document errors
};

const char* stepKind(ApplyStepKind kind) {
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

Severity stepSeverity(ApplyStepKind kind) {
  switch (kind) {
    case ApplyStepKind::Refused:
      return Severity::Warning;
    case ApplyStepKind::EntryFails:
    case ApplyStepKind::GroupFails:
      return Severity::Error;
    default:
      return Severity::Info;
  }
}

// The offset of what `anchor` names for the step, falling back to the
// nearest enclosing place the scan knows.
size_t offsetOf(const DocumentScan& scan, const ApplyStep& step,
                Anchor anchor) {
  const auto group = scan.groups.find(step.group);
  if (anchor == Anchor::Document || group == scan.groups.end()) return 0;
  const GroupPlace& place = group->second;
  const size_t key = place.keyOffset == kNoOffset ? 0 : place.keyOffset;
  const size_t value = place.valueOffset == kNoOffset ? key : place.valueOffset;
  if (anchor == Anchor::GroupKey) return key;
  if (anchor == Anchor::GroupValue || step.index < 0) return value;
  if (static_cast<size_t>(step.index) >= place.entries.size()) return value;
  const EntryPlace& entry = place.entries[static_cast<size_t>(step.index)];
  if (anchor == Anchor::EntryKey && entry.keyOffset != kNoOffset)
    return entry.keyOffset;
  if (anchor == Anchor::EntryValue && entry.valueOffset != kNoOffset)
    return entry.valueOffset;
  return entry.offset;
}

std::string where(const ApplyStep& step) {
  return step.index < 0 ? step.group + ": "
                        : step.group + "[" + std::to_string(step.index) + "]: ";
}

std::string stepMessage(const ApplyStep& step) {
  switch (step.kind) {
    case ApplyStepKind::GroupStart:
      return step.group + ": " + plural(step.count, "entry");
    case ApplyStepKind::Stored:
      return "[" + std::to_string(step.index) + "] store " + Quoted(step.name) +
             " = " + Quoted(step.value);
    case ApplyStepKind::GroupFails:
      return step.reason;
    default:
      return where(step) + step.reason;
  }
}

std::vector<Item> reportItems(const DocumentReport& report) {
  const ApplyPrediction& p = report.prediction;
  std::vector<Item> items;
  if (!p.bDocumentIsObject)
    items.push_back({Severity::Error, "not-an-object", 0,
                     "the text reads as " + p.documentKind +
                         ", not as a JSON object; nothing is stored",
                     nullptr});
  for (const ApplyStep& step : p.steps) {
    Item item{stepSeverity(step.kind), stepKind(step.kind),
              offsetOf(report.scan, step, step.anchor), stepMessage(step),
              &step};
    if (!step.bReached && item.severity == Severity::Error)
      item.message += " (also fails; the apply stops before it)";
    items.push_back(std::move(item));
    for (const Finding& finding : step.findings) {
      std::string message = where(step) + finding.message;
      if (!step.bReached && step.kind == ApplyStepKind::Stored)
        message += " (not applied: the apply stops before it)";
      items.push_back({finding.severity, finding.kind,
                       offsetOf(report.scan, step, finding.anchor),
                       std::move(message), &step});
    }
  }
  for (const ScanNote& note : report.scan.notes)
    items.push_back({note.severity, ScanNoteKindName(note.kind), note.offset,
                     note.message, nullptr});
  if (!report.standard.bValid)
    items.push_back({Severity::Note, "not-standard-json",
                     report.standard.offset,
                     "not standard JSON: " + report.standard.problem +
                         "; other JSON tools and the schema reject the "
                         "document",
                     nullptr});
  return items;
}

// The step where the apply stops, or null when it does not.
const ApplyStep* stopStep(const ApplyPrediction& p) {
  for (const ApplyStep& step : p.steps)
    if (step.bReached && (step.kind == ApplyStepKind::EntryFails ||
                          step.kind == ApplyStepKind::GroupFails))
      return &step;
  return nullptr;
}

}  // namespace

std::string ApplyStopLine(const DocumentReport& report) {
  const ApplyPrediction& p = report.prediction;
  std::string line = "apply stops";
  if (const ApplyStep* step = stopStep(p)) {
    unsigned at = 1, column = 1;
    report.scan.Position(offsetOf(report.scan, *step, step->anchor), at,
                         column);
    line += " at " +
            (step->index < 0
                 ? step->group
                 : step->group + "[" + std::to_string(step->index) + "]") +
            ", line " + std::to_string(at);
  }
  if (p.unreachedEntries != 0 || p.unreachedGroups != 0) {
    line += ": not applied are ";
    if (p.unreachedEntries != 0)
      line += plural(p.unreachedEntries, "later entry") + " of this group";
    if (p.unreachedEntries != 0 && p.unreachedGroups != 0) line += " and ";
    if (p.unreachedGroups != 0)
      line += plural(p.unreachedGroups, "later group");
  }
  return line;
}

namespace {

std::string summary(const DocumentReport& report) {
  const ApplyPrediction& p = report.prediction;
  std::string text;
  if (!p.bDocumentIsObject) {
    text = "FAILS: the text reads as " + p.documentKind +
           ", not as a JSON object; nothing is stored";
  } else {
    const std::string stored = plural(StoredValueCount(p), "value") + " in " +
                               plural(p.stored.size(), "group");
    text = p.bSucceeds ? "applies: " + stored
                       : "FAILS (the apply returns KOVA_E_FAIL) after "
                         "storing " +
                             stored;
  }
  const size_t findings = WarningAndNoteCount(report);
  if (findings != 0)
    text += "; " + std::to_string(findings) +
            (findings == 1 ? " warning or note" : " warnings or notes");
  return text;
}

}  // namespace

std::string StopReason(const DocumentReport& report) {
  const ApplyStep* step = stopStep(report.prediction);
  return step == nullptr ? std::string() : stepMessage(*step);
}

DocumentReport CheckDocumentText(const std::string& source,
                                 const std::string& text) {
  DocumentReport report;
  report.source = source;
  // The apply takes the document as a C string.
  report.prediction = PredictApply(json::FromText(text.c_str()));
  report.scan = ScanDocument(text);
  report.depth = MaxNestingDepth(text);
  report.standard = CheckStandardJson(text);
  return report;
}

bool DocumentFails(const DocumentReport& report) {
  return !report.prediction.bSucceeds;
}

size_t WarningAndNoteCount(const DocumentReport& report) {
  size_t count = 0;
  for (const ApplyStep& step : report.prediction.steps) {
    count += step.findings.size();
    if (step.kind == ApplyStepKind::Refused) ++count;
  }
  return count + report.scan.notes.size() + (report.standard.bValid ? 0 : 1);
}

bool PassesStrict(const DocumentReport& report) {
  return !DocumentFails(report) && WarningAndNoteCount(report) == 0;
}

void PrintReportText(const DocumentReport& report, bool bQuiet,
                     std::ostream& out) {
  std::vector<Item> items = reportItems(report);
  if (!bQuiet) {
    out << report.source << "\n";
    // The walk, in the order the apply takes the groups and entries.
    for (const Item& item : items)
      if (item.severity == Severity::Info && item.step->bReached)
        out << (item.step->kind == ApplyStepKind::GroupStart ? "  " : "    ")
            << item.message << "\n";
    if (report.prediction.bDocumentIsObject && !report.prediction.bSucceeds)
      out << "  " << ApplyStopLine(report) << "\n";
  }
  // The problems, top to bottom; those at one place in apply order.
  items.erase(std::remove_if(items.begin(), items.end(),
                             [](const Item& item) {
                               return item.severity == Severity::Info;
                             }),
              items.end());
  std::stable_sort(
      items.begin(), items.end(),
      [](const Item& a, const Item& b) { return a.offset < b.offset; });
  for (const Item& item : items) {
    unsigned line = 1, column = 1;
    report.scan.Position(item.offset, line, column);
    out << report.source << ":" << line << ":" << column << ": "
        << SeverityName(item.severity) << ": " << item.message << " ["
        << item.kind << "]\n";
  }
  if (!bQuiet) out << "  result: " << summary(report) << "\n";
}

void AddReportJson(const DocumentReport& report, JsonOut& out) {
  const ApplyPrediction& p = report.prediction;
  out.BeginObject();
  out.Key("file").String(report.source);
  out.Key("applies").Bool(!DocumentFails(report));
  out.Key("summary").String(summary(report));
  out.Key("depth").Int(static_cast<int64_t>(report.depth));
  out.Key("items").BeginArray();
  for (const Item& item : reportItems(report)) {
    unsigned line = 1, column = 1;
    report.scan.Position(item.offset, line, column);
    out.BeginObject();
    out.Key("kind").String(item.kind);
    out.Key("severity").String(SeverityName(item.severity));
    out.Key("line").Int(line);
    out.Key("column").Int(column);
    out.Key("message").String(item.message);
    if (const ApplyStep* step = item.step) {
      out.Key("reached").Bool(step->bReached);
      out.Key("group").String(step->group);
      if (step->index >= 0) out.Key("index").Int(step->index);
      if (step->kind == ApplyStepKind::GroupStart)
        out.Key("entries").Int(static_cast<int64_t>(step->count));
      if (step->kind == ApplyStepKind::Stored && item.kind == "stored") {
        out.Key("name").String(step->name);
        out.Key("value").String(step->value);
      }
    }
    out.EndObject();
  }
  out.EndArray();
  out.Key("unreached").BeginObject();
  out.Key("entries").Int(static_cast<int64_t>(p.unreachedEntries));
  out.Key("groups").Int(static_cast<int64_t>(p.unreachedGroups));
  out.EndObject();
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
