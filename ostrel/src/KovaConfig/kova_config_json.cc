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

#include "config_document_walk.h"
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

  // Whatever was stored before a malformed group or entry stays stored. An
  // entry the store refuses (empty name) or that changes nothing is passed
  // over; an entry whose set failed (out of memory) ends the apply as a
  // malformed one does, so that KOVA_S_OK always means every entry was
  // applied.
  class Applier : public ConfigDocumentHandler {
   public:
    explicit Applier(KovaConfig& store) : m_store(store) {}
    bool OnEntry(const ConfigDocumentPlace&, KovaConfigGroup group,
                 json::StringRef name, std::string_view value) override {
      return m_store.SetKovaConfig(group, name.c_str(),
                                   ConfigData(std::string(value)), false,
                                   false) != KOVA_E_FAIL;
    }
    bool OnProblem(const ConfigDocumentPlace&, ConfigDocumentProblem,
                   const json::Value*) override {
      return false;
    }

   private:
    KovaConfig& m_store;
  };
  Applier applier(*this);
  return WalkConfigDocumentText(szJsonConfig, applier) ? KOVA_S_OK
                                                       : KOVA_E_FAIL;
}

}  // namespace kovaStore
