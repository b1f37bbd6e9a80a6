#include "stats_access.h"

namespace ostrel::inspect {

const char* StatKindName(int kind) {
  switch (kind) {
    case kovaStore::KovaMediaStat_Audio:
      return "audio";
    case kovaStore::KovaMediaStat_Video:
      return "video";
    case kovaStore::KovaMediaStat_ContentVideo:
      return "contentVideo";
    case kovaStore::KovaMediaStat_ContentAudio:
      return "contentAudio";
  }
  return "";
}

std::map<uint32_t, std::vector<int>> ListStatKinds() {
  std::map<uint32_t, std::vector<int>> kinds;
  std::vector<kovaStore::KovaOstrelEntityKey> keys(64);
  for (int attempt = 0; attempt < 8; ++attempt) {
    uint32_t count = 0;
    const KOVA_RESULT result = kovaStore::listOstrelEntities(
        keys.data(), static_cast<uint32_t>(keys.size()), &count);
    if (result == KOVA_S_OK) {
      keys.resize(count);
      for (const auto& key : keys) kinds[key.callId].push_back(key.type);
      return kinds;
    }
    if (result != KOVA_S_FALSE) break;
    keys.resize(count + count / 4 + 16);
  }
  return kinds;
}

bool DecodeStatistics(uint32_t callId, int kind, const FieldNames& names,
                      std::vector<Field>& fields) {
  const auto type = static_cast<kovaStore::KovaMediaStatType>(kind);
  kovaStore::IKovaMediaInfo* info = nullptr;
  if (kovaStore::findOstrelEntity(type, callId, &info) != KOVA_S_OK ||
      info == nullptr) {
    return false;
  }
  const bool bAudio = kind == kovaStore::KovaMediaStat_Audio ||
                      kind == kovaStore::KovaMediaStat_ContentAudio;
  if (bAudio) {
    fields = DecodeAudio(*static_cast<kovaStore::IKovaAudioInfo*>(info), &names,
                         true);
  } else {
    fields = DecodeVideo(*static_cast<kovaStore::IKovaVideoInfo*>(info), &names,
                         true);
  }
  kovaStore::releaseOstrelEntity(type, callId, info);
  return true;
}

}  // namespace ostrel::inspect
