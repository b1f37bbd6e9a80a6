// The store's JSON exchange: dumping chosen groups as one configuration
// document and applying such a document entry by entry.
//
// The document is an object whose keys are group names, each holding an
// array of {"key": name, "value": text} objects.
#include <cstddef>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "json/json_plain_document.h"
#include "json/json_reader.h"
#include "json/json_value.h"
#include "json/json_writer.h"
#include "kova_config.h"
#include "support/trace.h"

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
  m_counters.add(kCountDump);
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
  MutexLock lock(m_dumpMutex);
  std::string& mine = m_dumpText[std::this_thread::get_id()];
  mine.swap(text);
  return mine.c_str();
}

KOVA_RESULT KovaConfig::ApplyKovaConfigs(const char* szJsonConfig) {
  KOVA_RESULT result = KOVA_E_FAIL;
  try {
    result = applyKovaConfigs(szJsonConfig);
  } catch (...) {
    m_counters.add(kCountApplyFailed);
    throw;
  }
  m_counters.add(result == KOVA_S_OK ? kCountApplyOk : kCountApplyFailed);
  return result;
}

KOVA_RESULT KovaConfig::applyKovaConfigs(const char* szJsonConfig) {
  if (szJsonConfig == nullptr) return KOVA_E_FAIL;
  KOVA_INFO_TRACE("kovaStore::KovaConfig::ApplyKovaConfigs [cid="
                  << m_callId << "], szJsonConfig=" << szJsonConfig
                  << KOVA_THIS_SUFFIX(this));

  // Groups come in key order, whatever their order in the text. Whatever
  // was stored before a malformed group or entry stays stored. An entry the
  // store refuses (empty name) or that changes nothing is passed over; an
  // entry whose set failed (out of memory) ends the apply as a malformed
  // one does, so that KOVA_S_OK always means every entry was applied.
  const std::string_view text(szJsonConfig);
  json::PlainDocument plain;
  if (json::ReadPlainConfigDocument(text, plain)) {
    // A plainly written document gives what the tree would, without it.
    std::string name;
    for (const json::PlainGroup& member : plain.groups) {
      const KovaConfigGroup group = stringToGroup(std::string(member.key));
      if (group == KovaConfigGroup_LastGroup) return KOVA_E_FAIL;
      for (std::size_t i = 0; i < member.entryCount; ++i) {
        const json::PlainEntry& entry = plain.entries[member.firstEntry + i];
        if (!entry.bHasName || !entry.bHasValue) return KOVA_E_FAIL;
        name.assign(entry.name);
        if (SetKovaConfig(group, name.c_str(),
                          ConfigData(std::string(entry.value)), false,
                          false) == KOVA_E_FAIL) {
          return KOVA_E_FAIL;
        }
      }
    }
    return KOVA_S_OK;
  }

  const json::Value document = json::FromText(text);
  if (document.GetKind() != json::KindObject) return KOVA_E_FAIL;
  for (const auto& member : document.GetObject()) {
    const KovaConfigGroup group = stringToGroup(member.first);
    if (group == KovaConfigGroup_LastGroup) return KOVA_E_FAIL;
    if (member.second.GetKind() != json::KindArray) return KOVA_E_FAIL;
    for (const json::Value& entry : member.second.GetArray()) {
      if (entry.GetKind() != json::KindObject) return KOVA_E_FAIL;
      const json::Object& fields = entry.GetObject();
      const auto name = fields.find(kEntryKey);
      const auto value = fields.find(kEntryValue);
      if (name == fields.end() || value == fields.end()) return KOVA_E_FAIL;
      if (name->second.GetKind() != json::KindString ||
          value->second.GetKind() != json::KindString) {
        return KOVA_E_FAIL;
      }
      if (SetKovaConfig(group, name->second.GetString().c_str(),
                        ConfigData(value->second.GetString()), false,
                        false) == KOVA_E_FAIL) {
        return KOVA_E_FAIL;
      }
    }
  }
  return KOVA_S_OK;
}

}  // namespace kovaStore
