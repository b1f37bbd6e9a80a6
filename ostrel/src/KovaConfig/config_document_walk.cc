#include "config_document_walk.h"

#include "json/json_plain_document.h"
#include "json/json_reader.h"

namespace kovaStore {

namespace {

const char kEntryKey[] = "key";
const char kEntryValue[] = "value";

// Walks the tree's groups from `firstGroup` on.
bool walkTree(const json::Value& document, ConfigDocumentHandler& handler,
              std::size_t firstGroup) {
  ConfigDocumentPlace place;
  if (document.GetKind() != json::KindObject) {
    handler.OnProblem(place, ConfigDocumentProblem::DocumentNotObject,
                      &document);
    return false;
  }
  const json::Object& groups = document.GetObject();
  place.groupCount = groups.size();
  auto member = groups.begin();
  for (std::size_t g = 0; g < firstGroup && member != groups.end(); ++g)
    ++member;
  for (place.groupIndex = firstGroup; member != groups.end();
       ++member, ++place.groupIndex) {
    place.groupKey = member->first;
    place.entryIndex = ConfigDocumentPlace::kNoEntry;
    place.entryCount = 0;
    const KovaConfigGroup group = stringToGroup(member->first);
    const json::Value& value = member->second;
    if (group == KovaConfigGroup_LastGroup) {
      if (!handler.OnProblem(place, ConfigDocumentProblem::UnknownGroup,
                             nullptr))
        return false;
      continue;
    }
    if (value.GetKind() != json::KindArray) {
      if (!handler.OnProblem(place, ConfigDocumentProblem::GroupNotArray,
                             &value))
        return false;
      continue;
    }
    const json::Array& entries = value.GetArray();
    place.entryCount = entries.size();
    if (!handler.OnGroup(place, group)) return false;
    for (place.entryIndex = 0; place.entryIndex < entries.size();
         ++place.entryIndex) {
      const json::Value& entry = entries[place.entryIndex];
      ConfigDocumentProblem problem;
      const json::Value* offending = &entry;
      if (entry.GetKind() != json::KindObject) {
        problem = ConfigDocumentProblem::EntryNotObject;
      } else {
        const json::Object& fields = entry.GetObject();
        const auto name = fields.find(kEntryKey);
        const auto text = fields.find(kEntryValue);
        if (name == fields.end() || text == fields.end()) {
          problem = name != fields.end()
                        ? ConfigDocumentProblem::EntryLacksValue
                    : text != fields.end()
                        ? ConfigDocumentProblem::EntryLacksKey
                        : ConfigDocumentProblem::EntryLacksKeyAndValue;
        } else if (name->second.GetKind() != json::KindString) {
          problem = ConfigDocumentProblem::KeyNotString;
          offending = &name->second;
        } else if (text->second.GetKind() != json::KindString) {
          problem = ConfigDocumentProblem::ValueNotString;
          offending = &text->second;
        } else {
          if (!handler.OnEntry(place, group, name->second.GetString(),
                               text->second.GetString()))
            return false;
          continue;
        }
      }
      if (!handler.OnProblem(place, problem, offending)) return false;
    }
  }
  return true;
}

}  // namespace

bool ConfigDocumentHandler::OnGroup(const ConfigDocumentPlace&,
                                    KovaConfigGroup) {
  return true;
}

bool WalkConfigDocument(const json::Value& document,
                        ConfigDocumentHandler& handler) {
  return walkTree(document, handler, 0);
}

bool WalkConfigDocumentText(std::string_view text,
                            ConfigDocumentHandler& handler) {
  json::PlainDocument plain;
  if (!json::ReadPlainConfigDocument(text, plain))
    return walkTree(json::FromText(text), handler, 0);
  // The plain reading gives the tree's groups, keys and complete entries. It
  // keeps no entry after a group's first incomplete one, nor the number of
  // elements there: from such a group on, the walk reads the tree.
  ConfigDocumentPlace place;
  place.groupCount = plain.groups.size();
  std::string name;  // the name as a C string
  for (place.groupIndex = 0; place.groupIndex < plain.groups.size();
       ++place.groupIndex) {
    const json::PlainGroup& member = plain.groups[place.groupIndex];
    place.groupKey = member.key;
    place.entryIndex = ConfigDocumentPlace::kNoEntry;
    place.entryCount = 0;
    const KovaConfigGroup group = stringToGroup(std::string(member.key));
    if (group == KovaConfigGroup_LastGroup) {
      if (!handler.OnProblem(place, ConfigDocumentProblem::UnknownGroup,
                             nullptr))
        return false;
      continue;
    }
    const json::PlainEntry* entries = plain.entries.data() + member.firstEntry;
    if (member.entryCount != 0) {
      const json::PlainEntry& last = entries[member.entryCount - 1];
      if (!last.bHasName || !last.bHasValue)
        return walkTree(json::FromText(text), handler, place.groupIndex);
    }
    place.entryCount = member.entryCount;
    if (!handler.OnGroup(place, group)) return false;
    for (place.entryIndex = 0; place.entryIndex < member.entryCount;
         ++place.entryIndex) {
      const json::PlainEntry& entry = entries[place.entryIndex];
      name.assign(entry.name);
      if (!handler.OnEntry(place, group,
                           json::StringRef(name.c_str(), name.size()),
                           entry.value))
        return false;
    }
  }
  return true;
}

}  // namespace kovaStore
