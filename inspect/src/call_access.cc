#include "call_access.h"

#include <algorithm>
#include <cstring>

namespace ostrel::inspect {

namespace {

constexpr const char* kGroupNames[kGroupCount] = {
    "Common",     "Feature", "Metrics",      "Audio",
    "AudioSlide", "Video",   "VideoSlide",   "Application",
    "Gamestate",  "AudioSi", "Transmission", "TAOnly"};

constexpr std::string_view kEntryOpen = "{\"key\":\"";
constexpr std::string_view kNameEnd = "\",\"value\":\"";
constexpr std::string_view kEntryClose = "\"}";

bool readFromStore(void* context, int group, const std::string& name,
                   std::string& value) {
  auto* store = static_cast<kovaStore::IKovaConfig*>(context);
  ConfigData data;
  if (store->GetKovaConfig(static_cast<kovaStore::KovaConfigGroup>(group),
                           name.c_str(), data) != KOVA_S_OK) {
    return false;
  }
  value.assign(data.GetData(), data.GetLength());
  return true;
}

int groupByName(std::string_view name) {
  for (int n = 0; n < kGroupCount; ++n) {
    if (name == kGroupNames[n]) return n;
  }
  return -1;
}

// A value as the dump writes it: its bytes up to the first NUL.
std::string_view dumpedText(const std::string& value) {
  return std::string_view(value.c_str());
}

// Whether an entry can end at `at` (the closing quote and brace, then the
// next entry or the end of the group's array).
bool entryEndsAt(std::string_view text, size_t at) {
  if (text.substr(at, kEntryClose.size()) != kEntryClose) return false;
  const std::string_view rest = text.substr(at + kEntryClose.size());
  return rest.substr(0, 1) == "]" ||
         rest.substr(0, 1 + kEntryOpen.size()) ==
             std::string(",") + std::string(kEntryOpen);
}

// Parses one entry starting at `pos` (at its opening brace). Tries each
// place the name could end, nearest first, and keeps the first whose name
// the store confirms with a value that the dump shows at that place; with
// none confirmed (a value changed since the dump) it falls back to the
// first place where the entry can end.
bool parseEntry(std::string_view text, size_t& pos, int group, NameReader read,
                void* context, ConfigEntry& entry) {
  if (text.substr(pos, kEntryOpen.size()) != kEntryOpen) return false;
  const size_t nameStart = pos + kEntryOpen.size();
  for (size_t nameEnd = text.find(kNameEnd, nameStart);
       nameEnd != std::string_view::npos;
       nameEnd = text.find(kNameEnd, nameEnd + 1)) {
    std::string name(text.substr(nameStart, nameEnd - nameStart));
    std::string value;
    if (!read(context, group, name, value)) continue;
    const size_t valueStart = nameEnd + kNameEnd.size();
    const std::string_view shown = dumpedText(value);
    if (text.substr(valueStart, shown.size()) == shown &&
        entryEndsAt(text, valueStart + shown.size())) {
      pos = valueStart + shown.size() + kEntryClose.size();
      entry.name = std::move(name);
      entry.value = std::move(value);
      return true;
    }
  }
  const size_t nameEnd = text.find(kNameEnd, nameStart);
  if (nameEnd == std::string_view::npos) return false;
  const size_t valueStart = nameEnd + kNameEnd.size();
  for (size_t end = text.find(kEntryClose, valueStart);
       end != std::string_view::npos; end = text.find(kEntryClose, end + 1)) {
    if (!entryEndsAt(text, end)) continue;
    entry.name.assign(text.substr(nameStart, nameEnd - nameStart));
    entry.value.assign(text.substr(valueStart, end - valueStart));
    pos = end + kEntryClose.size();
    return true;
  }
  return false;
}

}  // namespace

const char* GroupName(int group) {
  return group >= 0 && group < kGroupCount ? kGroupNames[group] : "";
}

std::vector<uint32_t> ListCallIds() {
  std::vector<uint32_t> ids(64);
  for (int attempt = 0; attempt < 8; ++attempt) {
    uint32_t count = 0;
    const KOVA_RESULT result = kovaStore::ListKovaConfigCallIds(
        ids.data(), static_cast<uint32_t>(ids.size()), &count);
    if (result == KOVA_S_OK) {
      ids.resize(count);
      return ids;
    }
    if (result != KOVA_S_FALSE) break;
    ids.resize(count + count / 4 + 16);  // calls may come meanwhile
  }
  return {};
}

StoreRef::StoreRef(uint32_t callId) {
  const std::vector<uint32_t> ids = ListCallIds();
  if (!std::binary_search(ids.begin(), ids.end(), callId)) return;
  if (kovaStore::CreateKovaConfig(callId, &m_store) != KOVA_S_OK) {
    m_store = nullptr;
  }
}

StoreRef::~StoreRef() {
  if (m_store != nullptr) kovaStore::ReleaseKovaConfig(m_store);
}

StoreConfig ParseDump(const std::string& dump, NameReader read, void* context) {
  StoreConfig config;
  const std::string_view text(dump);
  size_t pos = 0;
  if (text.substr(0, 1) != "{") return config;
  pos = 1;
  while (pos < text.size() && text[pos] == '"') {
    const size_t nameEnd = text.find('"', pos + 1);
    if (nameEnd == std::string_view::npos) return config;
    const int group = groupByName(text.substr(pos + 1, nameEnd - pos - 1));
    if (group < 0 || text.substr(nameEnd, 3) != "\":[") return config;
    pos = nameEnd + 3;
    while (pos < text.size() && text[pos] != ']') {
      ConfigEntry entry;
      if (!parseEntry(text, pos, group, read, context, entry)) return config;
      config[group].push_back(std::move(entry));
      if (pos < text.size() && text[pos] == ',') ++pos;
    }
    pos += 1;  // ']'
    if (pos < text.size() && text[pos] == ',') ++pos;
  }
  return config;
}

StoreConfig ReadStoreConfig(kovaStore::IKovaConfig& store) {
  const std::string dump = store.DumpKovaConfigs(0xFFFu);
  return ParseDump(dump, readFromStore, &store);
}

}  // namespace ostrel::inspect
