#include "apply_model.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

#include "KovaConfig/config_document_walk.h"
#include "KovaConfig/config_groups.h"
#include "report_text.h"
#include "toggle_names.h"

namespace ostrel_cli {

namespace {

using kovaStore::KovaConfigGroup;

std::string numberText(const json::Value& value) {
  char text[64];
  switch (value.GetKind()) {
    case json::KindInt:
      std::snprintf(text, sizeof text, "%d", value.GetInt());
      break;
    case json::KindUInt:
      std::snprintf(text, sizeof text, "%u", value.GetUInt());
      break;
    case json::KindInt64:
      std::snprintf(text, sizeof text, "%lld",
                    static_cast<long long>(value.GetInt64()));
      break;
    case json::KindFloat:
      std::snprintf(text, sizeof text, "%g",
                    static_cast<double>(value.GetFloat()));
      break;
    default:
      std::snprintf(text, sizeof text, "%g", value.GetDouble());
      break;
  }
  return text;
}

bool isNumber(const json::Value& value) {
  switch (value.GetKind()) {
    case json::KindInt:
    case json::KindInt64:
    case json::KindFloat:
    case json::KindDouble:
    case json::KindUInt:
      return true;
    default:
      return false;
  }
}

// Why a member of an entry that must be a string is not one, with the fix
// where there is an obvious one.
std::string notAStringReason(const char* member, const json::Value& value) {
  std::string reason = std::string("\"") + member + "\" is " +
                       DescribeValue(value) + ", not a string";
  if (isNumber(value))
    reason += ": write it as \"" + numberText(value) + "\"";
  else if (value.GetKind() == json::KindBool)
    reason += std::string(": write it as \"") +
              (value.GetBool() ? "true" : "false") + "\"";
  return reason;
}

// The command's handler of the store's walk: it carries on past every
// problem, recording each step; the first problem is where the apply stops.
class ApplyWalk : public kovaStore::ConfigDocumentHandler {
 public:
  explicit ApplyWalk(ApplyPrediction& prediction) : m_prediction(prediction) {}

  void Run(const json::Value& document) {
    m_prediction.bDocumentIsObject = true;
    m_prediction.bSucceeds =
        kovaStore::WalkConfigDocument(document, *this) && !m_bStopped;
  }

  bool OnGroup(const kovaStore::ConfigDocumentPlace& place,
               KovaConfigGroup group) override {
    ApplyStep start{ApplyStepKind::GroupStart, std::string(place.groupKey)};
    start.count = place.entryCount;
    push(std::move(start));
    // An applied group exists even when empty.
    if (!m_bStopped) m_prediction.stored[group];
    return true;
  }

  bool OnEntry(const kovaStore::ConfigDocumentPlace& place,
               KovaConfigGroup group, json::StringRef name,
               std::string_view value) override {
    const std::string key(place.groupKey);
    const long index = static_cast<long>(place.entryIndex);
    // The store takes the name as a C string.
    const std::string storedName = name.c_str();
    if (storedName.empty()) {
      ApplyStep step{ApplyStepKind::Refused, key, index};
      step.reason = "empty name: the store refuses it and the apply goes on";
      step.anchor = Anchor::EntryKey;
      push(std::move(step));
      return true;
    }
    ApplyStep step{ApplyStepKind::Stored, key, index};
    step.name = storedName;
    step.value = std::string(value.substr(0, value.find('\0')));
    step.anchor = Anchor::Entry;
    addFindings(step, group, name, value);
    if (!m_bStopped) m_prediction.stored[group][step.name] = step.value;
    push(std::move(step));
    return true;
  }

  bool OnProblem(const kovaStore::ConfigDocumentPlace& place,
                 kovaStore::ConfigDocumentProblem problem,
                 const json::Value* offending) override {
    using Problem = kovaStore::ConfigDocumentProblem;
    const std::string key(place.groupKey);
    const bool bGroup = place.entryIndex == place.kNoEntry;
    ApplyStep step{
        bGroup ? ApplyStepKind::GroupFails : ApplyStepKind::EntryFails, key,
        bGroup ? -1 : static_cast<long>(place.entryIndex)};
    step.anchor = bGroup ? Anchor::GroupValue : Anchor::Entry;
    switch (problem) {
      case Problem::DocumentNotObject:
        m_prediction.bDocumentIsObject = false;
        m_prediction.documentKind = DescribeValue(*offending);
        return false;
      case Problem::UnknownGroup: {
        step.reason = "unknown group name " + Quoted(key);
        const std::string suggestion = SuggestGroupName(key);
        if (!suggestion.empty())
          step.reason += "; did you mean \"" + suggestion + "\"?";
        step.anchor = Anchor::GroupKey;
        break;
      }
      case Problem::GroupNotArray:
        step.reason =
            offending->GetKind() == json::KindNull
                ? "group " + Quoted(key) +
                      " reads as null, not as an array (written null, or a "
                      "part the reader cannot read)"
                : "group " + Quoted(key) + " is " + DescribeValue(*offending) +
                      ", not an array";
        break;
      case Problem::EntryNotObject:
        step.reason = "entry is " + DescribeValue(*offending) +
                      ", not an object with \"key\" and \"value\"";
        break;
      case Problem::EntryLacksKey:
      case Problem::EntryLacksValue:
      case Problem::EntryLacksKeyAndValue:
        step.reason = std::string("entry has no ") +
                      (problem == Problem::EntryLacksKeyAndValue
                           ? "\"key\" and no \"value\""
                       : problem == Problem::EntryLacksKey ? "\"key\""
                                                           : "\"value\"") +
                      " member";
        step.findings = caseHints(*offending);
        break;
      case Problem::KeyNotString:
        step.reason = notAStringReason("key", *offending);
        step.anchor = Anchor::EntryKey;
        break;
      case Problem::ValueNotString:
        step.reason = notAStringReason("value", *offending);
        step.anchor = Anchor::EntryValue;
        break;
    }
    push(std::move(step));
    // The first failure is where the apply stops; what follows it there is
    // not reached.
    if (!m_bStopped) {
      m_bStopped = true;
      m_prediction.unreachedGroups = place.groupCount - place.groupIndex - 1;
      if (!bGroup)
        m_prediction.unreachedEntries = place.entryCount - place.entryIndex - 1;
    }
    return true;
  }

 private:
  void push(ApplyStep step) {
    step.bReached = !m_bStopped;
    m_prediction.steps.push_back(std::move(step));
  }

  // Notes for members that differ from "key" or "value" only in letter case.
  static std::vector<Finding> caseHints(const json::Value& entry) {
    std::vector<Finding> hints;
    for (const auto& member : entry.GetObject()) {
      const std::string lower = AsciiLower(std::string(member.first));
      if ((lower == "key" || lower == "value") && lower != member.first)
        hints.push_back({Severity::Note, "case-hint", Anchor::Entry,
                         "member names are matched exactly: " +
                             Quoted(std::string(member.first)) + " is not \"" +
                             lower + "\""});
    }
    return hints;
  }

  void addFindings(ApplyStep& step, KovaConfigGroup group,
                   std::string_view rawName, std::string_view rawValue) {
    auto add = [&step](const char* kind, Anchor anchor, std::string message) {
      step.findings.push_back(
          {Severity::Warning, kind, anchor, std::move(message)});
    };
    if (rawName.size() != step.name.size())
      add("nul-byte", Anchor::EntryKey,
          "the name holds a NUL byte: only " + Quoted(step.name) +
              " before it is the name");
    if (rawValue.size() != step.value.size())
      add("nul-byte", Anchor::EntryValue,
          "the value holds a NUL byte: a dump shows only the bytes before it");
    const std::string nameBreaks = DumpBreakingReason(step.name);
    if (!nameBreaks.empty())
      add("breaks-dump", Anchor::EntryKey,
          "the name holds " + nameBreaks +
              ": the dump writes it unescaped, so its text is not valid JSON");
    const std::string valueBreaks = DumpBreakingReason(step.value);
    if (!valueBreaks.empty())
      add("breaks-dump", Anchor::EntryValue,
          "the value holds " + valueBreaks +
              ": the dump writes it unescaped, so its text is not valid JSON");
    // Past the stop too: a name set twice is reported wherever it stands.
    std::map<std::string, std::string>& walked = m_walked[group];
    const auto previous = walked.find(step.name);
    if (previous != walked.end())
      add("set-again", Anchor::Entry,
          "sets " + Quoted(step.name) + " again: " + Quoted(previous->second) +
              " is replaced");
    walked[step.name] = step.value;
    if (group == kovaStore::KovaConfigGroup_Feature &&
        !IsFeatureToggleName(step.name)) {
      std::string remark = Quoted(step.name) + " is not a feature toggle name";
      // Suggestions cost a comparison with every toggle name; a document
      // full of unknown names gets them for its first ones only.
      std::vector<std::string> closest;
      if (m_suggestionsLeft != 0) {
        --m_suggestionsLeft;
        closest = ClosestToggleNames(step.name);
      }
      for (size_t i = 0; i < closest.size(); ++i)
        remark += (i == 0 ? "; closest: " : ", ") + Quoted(closest[i]);
      add("not-a-toggle", Anchor::EntryKey, remark);
    }
  }

  ApplyPrediction& m_prediction;
  // Every name the walk meets, before and past the stop, with its last
  // value: group number -> name -> value.
  std::map<int, std::map<std::string, std::string>> m_walked;
  bool m_bStopped = false;
  size_t m_suggestionsLeft = 100;
};

}  // namespace

std::string DescribeValue(const json::Value& value) {
  switch (value.GetKind()) {
    case json::KindNull:
      return "null";
    case json::KindString:
      return "the string " + Quoted(value.GetString());
    case json::KindBool:
      return value.GetBool() ? "true" : "false";
    case json::KindObject:
      return "an object";
    case json::KindArray:
      return "an array of " + std::to_string(value.GetArray().size());
    default:
      return "the number " + numberText(value);
  }
}

std::string DumpBreakingReason(const std::string& bytes) {
  char text[64];
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '"') return "a double quote";
    if (c == '\\') return "a backslash";
    const size_t length = Utf8SequenceLength(bytes, i);
    if (c < 0x20 || length == 0) {
      std::snprintf(text, sizeof text,
                    c < 0x20 ? "the control byte 0x%02X"
                             : "the byte 0x%02X, which is not UTF-8 here",
                    c);
      return text;
    }
    i += length;
  }
  return std::string();
}

std::string SuggestGroupName(const std::string& name) {
  std::string best;
  size_t bestDistance = 5;  // at most two typing errors (each costs 2)
  for (int g = 0; g < kovaStore::kKovaConfigGroupCount; ++g) {
    const std::string candidate =
        kovaStore::groupName(static_cast<KovaConfigGroup>(g));
    if (name.size() > 64) break;
    const size_t distance = WeightedEditDistance(name, candidate);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best;
}

ApplyPrediction PredictApply(const json::Value& document) {
  ApplyPrediction prediction;
  ApplyWalk(prediction).Run(document);
  return prediction;
}

size_t StoredValueCount(const ApplyPrediction& prediction) {
  size_t count = 0;
  for (const auto& group : prediction.stored) count += group.second.size();
  return count;
}

std::string PredictedDump(const ApplyPrediction& prediction, uint32_t mask) {
  std::vector<std::pair<std::string, int>> groups;
  for (int g = 0; g < kovaStore::kKovaConfigGroupCount; ++g)
    if (mask & (1u << g))
      groups.emplace_back(kovaStore::groupName(static_cast<KovaConfigGroup>(g)),
                          g);
  std::sort(groups.begin(), groups.end());
  std::string text = "{";
  for (size_t i = 0; i < groups.size(); ++i) {
    if (i != 0) text += ',';
    text += "\"" + groups[i].first + "\":[";
    const auto found = prediction.stored.find(groups[i].second);
    if (found != prediction.stored.end()) {
      bool bFirst = true;
      for (const auto& entry : found->second) {
        if (!bFirst) text += ',';
        bFirst = false;
        text += "{\"key\":\"" + entry.first + "\",\"value\":\"" + entry.second +
                "\"}";
      }
    }
    text += ']';
  }
  return text + "}";
}

}  // namespace ostrel_cli
