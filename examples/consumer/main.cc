// A pretend engine module: it binds the configuration of one call, follows a
// feature toggle on its own event thread, switches the toggle on, waits to be
// told, and fills and reads the call's audio statistics. Exits 0 when every
// step behaved as the library promises.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "CmThread.h"
#include "KovaOstrelApi.h"
#include "ostrel.h"

namespace {

constexpr uint32_t kCallId = 4242;

// What the toggle's observer saw, handed from its thread to main's.
struct ToggleWatch {
  // Guards every member below.
  std::mutex mutex;
  std::condition_variable changed;
  bool notified = false;
  std::string value;
  unsigned long threadId = 0;
};

bool fail(const char* szWhat) {
  std::fprintf(stderr, "consumer: %s\n", szWhat);
  return false;
}

bool followToggle(ACmThread& thread) {
  kovaStore::KovaConfigHelper config(kCallId);
  if (config.SetKovaSessionType(kova::KovaSessionType_Audio) != KOVA_S_OK) {
    return fail("cannot bind the session type");
  }

  auto watch = std::make_shared<ToggleWatch>();
  const uint64_t id = config.SubscribeFeatureToggle(
      KOVA_FT_EnableRelayMode,
      [watch](const kovaStore::KovaConfigEvent& event) {
        std::lock_guard<std::mutex> lock(watch->mutex);
        watch->notified = true;
        watch->value = event.newValue.ToString();
        watch->threadId = GetThreadSelfId();
        watch->changed.notify_all();
      },
      &thread, true);
  if (id == 0) return fail("subscription refused");

  if (config.SetFeatureToggle(KOVA_FT_EnableRelayMode, ConfigData("1")) !=
      KOVA_S_OK) {
    return fail("setting the toggle reached nobody");
  }

  std::unique_lock<std::mutex> lock(watch->mutex);
  if (!watch->changed.wait_for(lock, std::chrono::seconds(10),
                               [&watch] { return watch->notified; })) {
    return fail("no notification within 10 s");
  }
  if (watch->threadId != thread.GetThreadId()) {
    return fail("notified on the wrong thread");
  }
  std::printf("consumer: %s is %s, told on thread %lu\n",
              kovaStore::KovaConfigHelper::GetFeatureToggleName(
                  KOVA_FT_EnableRelayMode),
              watch->value.c_str(), watch->threadId);
  // The helper's destructor ends the subscription before `watch` goes.
  return true;
}

bool readStatistics() {
  kovaStore::IKovaMediaInfo* media = nullptr;
  if (kovaStore::createOstrelEntity(kovaStore::KovaMediaStat_Audio, kCallId,
                                    &media) != KOVA_S_OK) {
    return fail("no audio statistics object");
  }
  auto* audio = static_cast<kovaStore::IKovaAudioInfo*>(media);
  audio->SetStreamCodec(0, 9);
  uint8_t record[kovaStore::kKovaAudioRecordSize] = {};
  const bool ok = audio->GetStreamStatistics(record, 0, true) == KOVA_S_OK &&
                  kovaStore::ReadRecordU32(record, 16) == 5;
  const uint32_t left = kovaStore::releaseOstrelEntity(
      kovaStore::KovaMediaStat_Audio, kCallId, media);
  if (!ok) return fail("stream record does not hold the codec set");
  if (left != 0) return fail("statistics object still referenced");
  std::printf("consumer: audio stream 0 codec code %u\n",
              static_cast<unsigned>(kovaStore::ReadRecordU32(record, 16)));
  return true;
}

}  // namespace

int main() {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("consumer");
  bool ok = thread != nullptr && followToggle(*thread);
  ok = readStatistics() && ok;
  if (thread) thread->Stop();
  kovaStore::CleanUpKovaConfig(kCallId);
  if (kovaStore::GetKovaConfigSizeForUT() != 0) {
    ok = fail("the call's store outlived its clean-up");
  }
  std::puts(ok ? "consumer: ok" : "consumer: FAILED");
  return ok ? 0 : 1;
}
