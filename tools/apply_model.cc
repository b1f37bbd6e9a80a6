#include "apply_model.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "config_groups.h"
#include "document_scan.h"
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

// The bytes up to the first NUL: what a C string of them holds.
std::string upToNul(const std::string& bytes) {
  return std::string(bytes.c_str());
}

class ApplyWalk {
 public:
  explicit ApplyWalk(ApplyPrediction& prediction) : m_prediction(prediction) {}

  void Run(const json::Object& document) {
    size_t groupIndex = 0;
    for (const auto& member : document) {
      ++groupIndex;
      m_groupsLeft = document.size() - groupIndex;
      if (!walkGroup(member.first, member.second)) {
        m_prediction.unreachedGroups = m_groupsLeft;
        return;
      }
    }
    m_prediction.bSucceeds = true;
  }

 private:
  bool failGroup(const std::string& key, std::string reason) {
    ApplyStep step{ApplyStepKind::GroupFails, key};
    step.reason = std::move(reason);
    m_prediction.steps.push_back(std::move(step));
    return false;
  }

  bool walkGroup(const std::string& key, const json::Value& value) {
    const KovaConfigGroup group = kovaStore::stringToGroup(key);
    if (group == kovaStore::KovaConfigGroup_LastGroup) {
      std::string reason = "unknown group name " + Quoted(key);
      const std::string suggestion = SuggestGroupName(key);
      if (!suggestion.empty())
        reason += "; did you mean \"" + suggestion + "\"?";
      return failGroup(key, reason);
    }
    if (value.GetKind() == json::KindNull)
      return failGroup(key, "group " + Quoted(key) +
                                " reads as null, not as an array (written "
                                "null, or a part the reader cannot read)");
    if (value.GetKind() != json::KindArray)
      return failGroup(key, "group " + Quoted(key) + " is " +
                                DescribeValue(value) + ", not an array");
    const json::Array& entries = value.GetArray();
    ApplyStep start{ApplyStepKind::GroupStart, key};
    start.count = entries.size();
    m_prediction.steps.push_back(std::move(start));
    m_prediction.stored[group];  // an applied group exists even when empty
    for (size_t i = 0; i < entries.size(); ++i) {
      if (!walkEntry(key, group, static_cast<long>(i), entries[i])) {
        m_prediction.unreachedEntries = entries.size() - i - 1;
        return false;
      }
    }
    return true;
  }

  bool failEntry(const std::string& key, long index, std::string reason) {
    ApplyStep step{ApplyStepKind::EntryFails, key, index};
    step.reason = std::move(reason);
    m_prediction.steps.push_back(std::move(step));
    return false;
  }

  bool walkEntry(const std::string& key, KovaConfigGroup group, long index,
                 const json::Value& entry) {
    if (entry.GetKind() != json::KindObject)
      return failEntry(key, index,
                       "entry is " + DescribeValue(entry) +
                           ", not an object with \"key\" and \"value\"");
    const bool bHasKey = entry.HasKey("key");
    const bool bHasValue = entry.HasKey("value");
    if (!bHasKey || !bHasValue)
      return failEntry(key, index,
                       std::string("entry has no ") +
                           (!bHasKey && !bHasValue ? "\"key\" and no \"value\""
                            : !bHasKey             ? "\"key\""
                                                   : "\"value\"") +
                           " member");
    const json::Value& name = entry["key"];
    const json::Value& value = entry["value"];
    if (name.GetKind() != json::KindString)
      return failEntry(key, index, notAStringReason("key", name));
    if (value.GetKind() != json::KindString)
      return failEntry(key, index, notAStringReason("value", value));

    // The store takes the name as a C string.
    const std::string storedName = upToNul(name.GetString());
    if (storedName.empty()) {
      ApplyStep step{ApplyStepKind::Refused, key, index};
      step.reason = "empty name: the store refuses it and the apply goes on";
      m_prediction.steps.push_back(std::move(step));
      return true;
    }
    ApplyStep step{ApplyStepKind::Stored, key, index};
    step.name = storedName;
    step.value = upToNul(value.GetString());
    addRemarks(step, group, name.GetString(), value.GetString());
    m_prediction.stored[group][step.name] = step.value;
    m_prediction.steps.push_back(std::move(step));
    return true;
  }

  void addRemarks(ApplyStep& step, KovaConfigGroup group,
                  const std::string& rawName, const std::string& rawValue) {
    if (rawName.size() != step.name.size())
      step.remarks.push_back("the name holds a NUL byte: only " +
                             Quoted(step.name) + " before it is the name");
    if (rawValue.size() != step.value.size())
      step.remarks.push_back(
          "the value holds a NUL byte: a dump shows only the bytes before it");
    const auto& groupValues = m_prediction.stored[group];
    const auto previous = groupValues.find(step.name);
    if (previous != groupValues.end())
      step.remarks.push_back("sets " + Quoted(step.name) + " again: " +
                             Quoted(previous->second) + " is replaced");
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
      step.remarks.push_back(remark);
    }
  }

  ApplyPrediction& m_prediction;
  size_t m_groupsLeft = 0;
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
  prediction.bDocumentIsObject = document.GetKind() == json::KindObject;
  if (!prediction.bDocumentIsObject) {
    prediction.documentKind = DescribeValue(document);
    return prediction;
  }
  ApplyWalk(prediction).Run(document.GetObject());
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
