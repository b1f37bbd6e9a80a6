// The store's JSON exchange: dumping chosen groups as one configuration
// document and applying such a document entry by entry.
//
// The document is an object whose keys are group names, each holding an
// array of {"key": name, "value": text} objects.
#include <string>
#include <thread>
#include <utility>

#include "json_reader.h"
#include "json_value.h"
#include "json_writer.h"
#include "kova_config.h"
#include "trace.h"

namespace kovaStore {

namespace {

const char kEntryKey[] = "key";
const char kEntryValue[] = "value";

}  // namespace

json::Array KovaConfig::getConfigsJsonArray(KovaConfigGroup group) {
  json::Array entries;
  if (!isStorableGroup(group)) return entries;
  m_configs[group].foreach (
      [&entries](const std::string& name, const ConfigData& value) {
        json::Object entry;
        // A name is its bytes up to the first NUL, as a caller's C string.
        entry.Set(kEntryKey, json::Value(name.c_str()));
        entry.Set(kEntryValue, json::Value(value.ToCstr()));
        entries.push_back(json::Value(std::move(entry)));
      });
  return entries;
}

const char* KovaConfig::DumpKovaConfigs(uint32_t groups) {
  KOVA_INFO_TRACE("kovaStore::KovaConfig::DumpKovaConfigs, groups="
                  << groups << KOVA_STORE_SUFFIX(m_callId, this));
  // Each group is read under its own lock in turn: the document is not a
  // snapshot of all groups at one instant.
  json::Object document;
  for (int n = 0; n < kKovaConfigGroupCount; ++n) {
    if ((groups & (1u << n)) == 0) continue;
    const auto group = static_cast<KovaConfigGroup>(n);
    document.Set(groupToString(group), json::Value(getConfigsJsonArray(group)));
  }
  std::string text = json::ToText(json::Value(std::move(document)));
  // The thread's previous text goes with `text`, after the lock.
  std::lock_guard<std::mutex> lock(m_dumpMutex);
  std::string& mine = m_dumpText[std::this_thread::get_id()];
  mine.swap(text);
  return mine.c_str();
}

KOVA_RESULT KovaConfig::ApplyKovaConfigs(const char* szJsonConfig) {
  if (szJsonConfig == nullptr) return KOVA_E_FAIL;
  KOVA_INFO_TRACE("kovaStore::KovaConfig::ApplyKovaConfigs [cid="
                  << m_callId << "], szJsonConfig=" << szJsonConfig
                  << KOVA_THIS_SUFFIX(this));

  const json::Value document = json::FromText(szJsonConfig);
  if (document.GetKind() != json::KindObject) return KOVA_E_FAIL;
  // Members come in key order, whatever their order in the text. Whatever
  // was stored before a malformed group or entry stays stored.
  for (const auto& member : document.GetObject()) {
    const KovaConfigGroup group = stringToGroup(member.first);
    if (group == KovaConfigGroup_LastGroup) return KOVA_E_FAIL;
    if (member.second.GetKind() != json::KindArray) return KOVA_E_FAIL;
    for (const json::Value& entry : member.second.GetArray()) {
      if (!entry.HasKey(kEntryKey) || !entry.HasKey(kEntryValue)) {
        return KOVA_E_FAIL;
      }
      const json::Value& name = entry[kEntryKey];
      const json::Value& value = entry[kEntryValue];
      if (name.GetKind() != json::KindString ||
          value.GetKind() != json::KindString) {
        return KOVA_E_FAIL;
      }
      // An entry the store refuses (empty name) or that changes nothing is
      // passed over.
      SetKovaConfig(group, name.GetString().c_str(),
                    ConfigData(value.GetString()), false, false);
    }
  }
  return KOVA_S_OK;
}

}  // namespace kovaStore
