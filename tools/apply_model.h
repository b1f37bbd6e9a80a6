// What the store's apply would do with a parsed configuration document, step
// by step, without touching a store: the store's own walk
// (KovaConfig/config_document_walk.h) driven by a handler that records what
// each entry would store and why a group or entry would fail. Where the apply
// stops at the first failure, this handler goes on to find every later
// failure too, marking what it finds there as not reached; only the reached
// part is stored.
//
// The document is the value json::FromText gave for the text, so the reader's
// own decisions are the input here. Pure functions; any thread may call them.
#ifndef TOOLS_APPLY_MODEL_H_
#define TOOLS_APPLY_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "json/json_value.h"
#include "report_text.h"

namespace ostrel_cli {

// The part of the document a step or finding is about, for its position.
enum class Anchor {
  Document,
  GroupKey,
  GroupValue,
  Entry,
  EntryKey,    // the entry's "key" member value
  EntryValue,  // the entry's "value" member value
};

// A warning or note on a step: `kind` is a stable lower-case name
// ("not-a-toggle", "breaks-dump", ...).
struct Finding {
  Severity severity;
  const char* kind;
  Anchor anchor;
  std::string message;
};

enum class ApplyStepKind {
  GroupStart,  // a group the walk enters: `group`, `count` entries
  Stored,      // an entry the store keeps: `name` = `value`
  Refused,     // an entry the store refuses; the walk goes on
  EntryFails,  // an entry that fails the apply
  GroupFails,  // a group key or value that fails the apply
};

struct ApplyStep {
  ApplyStep(ApplyStepKind stepKind, std::string groupKey, long entryIndex = -1)
      : kind(stepKind), group(std::move(groupKey)), index(entryIndex) {}

  ApplyStepKind kind;
  std::string group;   // the group key as the document holds it
  long index = -1;     // the entry's index in its array; -1 for a group
  size_t count = 0;    // GroupStart: entries in the group's array
  std::string name;    // Stored, Refused: the configuration name
  std::string value;   // Stored: the value as a dump writes it
  std::string reason;  // Refused, EntryFails, GroupFails: why
  Anchor anchor = Anchor::GroupKey;  // what `reason` is about
  // False for steps after the point where the apply stops: what the apply
  // would meet there if it went on. Nothing of them is stored.
  bool bReached = true;
  // Warnings and notes on the step (a name that is no feature toggle, a
  // value the dump cannot write as valid JSON, ...); never a failure.
  std::vector<Finding> findings;
};

struct ApplyPrediction {
  // False when the text does not read as a JSON object: nothing is applied.
  bool bDocumentIsObject = false;
  // The document kind when it is not an object ("null", "array", ...).
  std::string documentKind;
  bool bSucceeds = false;
  std::vector<ApplyStep> steps;
  // Entries the walk never reached because it stopped: entries left in the
  // failing group and the groups after it.
  size_t unreachedEntries = 0;
  size_t unreachedGroups = 0;
  // What the store holds afterwards: group number -> name -> value text as a
  // dump writes it. Names in the store's order.
  std::map<int, std::map<std::string, std::string>> stored;
};

// Walks the document as the apply would.
ApplyPrediction PredictApply(const json::Value& document);

// The exact text DumpKovaConfigs(mask) would return after the predicted
// apply on a fresh store.
std::string PredictedDump(const ApplyPrediction& prediction, uint32_t mask);

// The number of values the prediction stores.
size_t StoredValueCount(const ApplyPrediction& prediction);

// "null", "string", "number 5", "true", "object", "array of 3", ... for
// messages.
std::string DescribeValue(const json::Value& value);

// Why the store's dump, which writes names and values unescaped, would not
// be valid JSON with `bytes` inside a string ("a double quote", ...); empty
// when it would be.
std::string DumpBreakingReason(const std::string& bytes);

// The group whose name equals `name` ignoring letter case or within one or
// two typing errors, or empty.
std::string SuggestGroupName(const std::string& name);

}  // namespace ostrel_cli

#endif  // TOOLS_APPLY_MODEL_H_
