#include "sample_calls.h"

#include <string>

namespace ostrel::inspect {

namespace {

using kovaStore::KovaConfigGroup;

void set(kovaStore::IKovaConfig* store, KovaConfigGroup group, const char* name,
         const std::string& value) {
  store->SetKovaConfig(group, name, ConfigData(value), false, false);
}

bool isAudio(int kind) {
  return kind == kovaStore::KovaMediaStat_Audio ||
         kind == kovaStore::KovaMediaStat_ContentAudio;
}

}  // namespace

SampleCalls::SampleCalls(const std::vector<uint32_t>& callIds,
                         bool bStatistics) {
  for (uint32_t callId : callIds) {
    Call call{callId};
    kovaStore::CreateKovaConfig(callId, &call.store);
    set(call.store, kovaStore::KovaConfigGroup_Feature, "EnableRelayMode", "1");
    set(call.store, kovaStore::KovaConfigGroup_Feature,
        kovaStore::KovaConfigHelper::GetFeatureToggleName(
            static_cast<KovaFeatureToggleID>(1)),
        "0");
    set(call.store, kovaStore::KovaConfigGroup_Audio, "AecMode", "2");
    set(call.store, kovaStore::KovaConfigGroup_Audio, "Label", kHostileValue);
    set(call.store, kovaStore::KovaConfigGroup_Video, "MaxFps", "30");
    set(call.store, kovaStore::KovaConfigGroup_Video, "Resolution", "1280x720");
    set(call.store, kovaStore::KovaConfigGroup_Common, "CallName",
        "call " + std::to_string(callId));
    for (int kind = 0; bStatistics && kind < 4; ++kind) {
      kovaStore::createOstrelEntity(
          static_cast<kovaStore::KovaMediaStatType>(kind), callId,
          &call.objects[kind]);
    }
    m_calls.push_back(call);
  }
  Tick(1);
}

SampleCalls::~SampleCalls() {
  for (Call& call : m_calls) {
    for (int kind = 0; kind < 4; ++kind) {
      if (call.objects[kind] == nullptr) continue;
      kovaStore::releaseOstrelEntity(
          static_cast<kovaStore::KovaMediaStatType>(kind), call.callId,
          call.objects[kind]);
    }
    kovaStore::ReleaseKovaConfig(call.store);
    kovaStore::CleanUpKovaConfig(call.callId);
  }
}

void SampleCalls::Tick(uint32_t n) {
  for (Call& call : m_calls) {
    for (int kind = 0; kind < 4; ++kind) {
      kovaStore::IKovaMediaInfo* object = call.objects[kind];
      if (object == nullptr) continue;
      if (isAudio(kind)) {
        auto* audio = static_cast<kovaStore::IKovaAudioInfo*>(object);
        audio->SetSessionValue12(n);
        audio->SetStreamCodec(0, 9);
        audio->SetStreamValue12(0, n * 2);
        audio->SetSessionLevelsA(-30.0f - static_cast<float>(n % 10), -28.0f,
                                 -40.25f);
      } else {
        auto* video = static_cast<kovaStore::IKovaVideoInfo*>(object);
        video->SetStreamCountAndKind(1, 1);
        video->SetSessionValue1120(n);
        video->RaiseSessionMaximum(static_cast<int32_t>(n));
      }
    }
    set(call.store, kovaStore::KovaConfigGroup_Metrics, "Tick",
        std::to_string(n));
  }
}

}  // namespace ostrel::inspect
