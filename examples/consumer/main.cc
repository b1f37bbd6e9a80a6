// A pretend engine module written against the C++ layer (ostrel::cpp): it
// follows a feature toggle of one call on its own event thread, switches the
// toggle on, waits to be told, writes and reads a typed value, and fills and
// reads the call's audio statistics through the exported interface. Exits 0
// when every step behaved as the library promises.
#include <ostrel/cpp.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>

namespace {

constexpr uint32_t kCallId = 4242;

// What the toggle's observer saw, handed from its thread to main's.
struct ToggleWatch {
  // Guards every member below.
  std::mutex mutex;
  std::condition_variable changed;
  bool notified = false;
  bool on = false;
  unsigned long threadId = 0;
};

bool fail(const char* szWhat) {
  std::fprintf(stderr, "consumer: %s\n", szWhat);
  return false;
}

bool followToggle(ACmThread& thread) {
  ostrel::Store call(kCallId);
  const ostrel::Entry relay = ostrel::Toggle(call, KOVA_FT_EnableRelayMode);

  ToggleWatch watch;
  // Declared after `watch`, so it ends first: once it is gone no posted
  // delivery can reach `watch` any more, queued ones included.
  ostrel::Subscription sub = relay.Watch<bool>(
      [&watch](std::optional<bool> on) {
        std::lock_guard<std::mutex> lock(watch.mutex);
        watch.notified = true;
        watch.on = on.value_or(false);
        watch.threadId = GetThreadSelfId();
        watch.changed.notify_all();
      },
      ostrel::Delivery::Posted(thread));
  if (!sub) return fail("subscription refused");

  const KOVA_RESULT result = relay.Set(true);
  if (result != KOVA_S_OK) {
    std::fprintf(stderr, "consumer: setting the toggle gave %s\n",
                 ostrel::ResultName(result).c_str());
    return false;
  }
  if (!ostrel::Succeeded(
          call.Set(kovaStore::KovaConfigGroup_Audio, "AecMode", 3)) ||
      call.GetOr(kovaStore::KovaConfigGroup_Audio, "AecMode", 0) != 3) {
    return fail("typed value not read back");
  }

  std::unique_lock<std::mutex> lock(watch.mutex);
  if (!watch.changed.wait_for(lock, std::chrono::seconds(10),
                              [&watch] { return watch.notified; })) {
    return fail("no notification within 10 s");
  }
  if (watch.threadId != thread.GetThreadId()) {
    return fail("notified on the wrong thread");
  }
  std::printf("consumer: %s is %s, told on thread %lu\n", relay.Name(),
              watch.on ? "on" : "off", watch.threadId);
  return watch.on;
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
  std::printf("consumer: ostrel %s\n", ostrel::Version());
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
