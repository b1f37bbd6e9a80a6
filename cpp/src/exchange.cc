#include <cstdio>

#include "exchange_text.h"

namespace ostrel {

namespace {

const char* const kGroupNames[] = {"Common",     "Feature",      "Metrics",
                                   "Audio",      "AudioSlide",   "Video",
                                   "VideoSlide", "Application",  "Gamestate",
                                   "AudioSi",    "Transmission", "TAOnly"};

constexpr std::string_view kKey = "{\"key\":\"";
constexpr std::string_view kValue = "\",\"value\":\"";
constexpr std::string_view kNextEntry = "\"},{\"key\":\"";
constexpr std::string_view kLastEntry = "\"}]";

bool Take(std::string_view& text, std::string_view token) {
  if (text.substr(0, token.size()) != token) return false;
  text.remove_prefix(token.size());
  return true;
}

void AppendEscaped(std::string_view bytes, std::string& out) {
  for (const char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
}

}  // namespace

const char* GroupName(kovaStore::KovaConfigGroup group) {
  const auto index = static_cast<uint32_t>(group);
  return index < 12 ? kGroupNames[index] : "Undefined_Group";
}

std::string ApplyReport::ToText() const {
  std::string text = ResultName(result) + "\n";
  for (const ApplyChange& change : changes) {
    text += GroupName(change.group);
    text += '/';
    text += change.name;
    text += ": ";
    text += change.before ? *change.before : std::string("(new)");
    text += " -> ";
    text += change.after;
    text += '\n';
  }
  return text;
}

namespace detail {

std::optional<DumpGroups> ReadDumpText(std::string_view text) {
  DumpGroups groups;
  if (!Take(text, "{")) return std::nullopt;
  if (Take(text, "}"))
    return text.empty() ? std::optional(groups) : std::nullopt;
  for (;;) {
    if (!Take(text, "\"")) return std::nullopt;
    const size_t nameEnd = text.find("\":[");
    if (nameEnd == std::string_view::npos) return std::nullopt;
    const std::string_view groupName = text.substr(0, nameEnd);
    text.remove_prefix(nameEnd + 3);
    int group = -1;
    for (int g = 0; g < 12; ++g)
      if (groupName == kGroupNames[g]) group = g;
    if (group < 0) return std::nullopt;
    std::vector<std::pair<std::string, std::string>>& entries =
        groups[static_cast<kovaStore::KovaConfigGroup>(group)];
    if (!Take(text, "]")) {
      if (!Take(text, kKey)) return std::nullopt;
      for (;;) {
        const size_t keyEnd = text.find(kValue);
        if (keyEnd == std::string_view::npos) return std::nullopt;
        std::string name(text.substr(0, keyEnd));
        text.remove_prefix(keyEnd + kValue.size());
        const size_t next = text.find(kNextEntry);
        const size_t last = text.find(kLastEntry);
        if (last == std::string_view::npos) return std::nullopt;
        const bool bMore = next != std::string_view::npos && next < last;
        const size_t valueEnd = bMore ? next : last;
        entries.emplace_back(std::move(name),
                             std::string(text.substr(0, valueEnd)));
        text.remove_prefix(valueEnd +
                           (bMore ? kNextEntry.size() : kLastEntry.size()));
        if (!bMore) break;
      }
    }
    if (Take(text, "}"))
      return text.empty() ? std::optional(groups) : std::nullopt;
    if (!Take(text, ",")) return std::nullopt;
  }
}

std::string WriteDumpJson(const DumpGroups& groups) {
  // Groups in the dump's order: ascending byte order of their names.
  std::vector<std::pair<std::string_view, const DumpGroups::mapped_type*>>
      ordered;
  for (const auto& group : groups)
    ordered.emplace_back(GroupName(group.first), &group.second);
  std::sort(ordered.begin(), ordered.end());
  std::string out = "{";
  for (size_t g = 0; g < ordered.size(); ++g) {
    if (g != 0) out += ',';
    out += '"';
    out += ordered[g].first;
    out += "\":[";
    const auto& entries = *ordered[g].second;
    for (size_t e = 0; e < entries.size(); ++e) {
      if (e != 0) out += ',';
      out += kKey;
      AppendEscaped(entries[e].first, out);
      out += kValue;
      AppendEscaped(entries[e].second, out);
      out += "\"}";
    }
    out += ']';
  }
  out += '}';
  return out;
}

std::vector<ApplyChange> ChangesBetween(const DumpGroups& before,
                                        const DumpGroups& after) {
  std::vector<ApplyChange> changes;
  for (const auto& group : after) {
    std::map<std::string_view, std::string_view> old;
    const auto was = before.find(group.first);
    if (was != before.end())
      for (const auto& entry : was->second) old[entry.first] = entry.second;
    for (const auto& entry : group.second) {
      const auto it = old.find(entry.first);
      if (it != old.end() && it->second == entry.second) continue;
      ApplyChange change{group.first, entry.first, std::nullopt, entry.second};
      if (it != old.end()) change.before = std::string(it->second);
      changes.push_back(std::move(change));
    }
  }
  return changes;
}

}  // namespace detail
}  // namespace ostrel
