// A pretend engine module written against the C++ layer (ostrel::cpp): it
// follows a feature toggle of one call on its own event thread, switches the
// toggle on, waits to be told, writes and reads a typed value, applies a
// configuration and reports what changed, dumps it as JSON, answers queries
// with a typed provider of a type of its own, and fills and reads the call's
// audio statistics through the exported interface. Exits 0 when every step
// behaved as the library promises.
#include <ostrel/cpp.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace media {

// A type of the module's own, stored as "1280x720": the parse / format pair
// beside it makes it a value type of the layer.
struct Resolution {
  int width = 0;
  int height = 0;
};

bool OstrelParse(std::string_view text, Resolution* out) {
  const size_t x = text.find('x');
  if (x == std::string_view::npos) return false;
  const std::optional<int> width = ostrel::ParseText<int>(text.substr(0, x));
  const std::optional<int> height = ostrel::ParseText<int>(text.substr(x + 1));
  if (!width || !height) return false;
  *out = Resolution{*width, *height};
  return true;
}

std::string OstrelFormat(const Resolution& value) {
  return std::to_string(value.width) + "x" + std::to_string(value.height);
}

}  // namespace media

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

bool exchangeConfiguration() {
  ostrel::Store call(kCallId);
  ostrel::ApplyReport report;
  if (call.Apply(R"({"Video":[{"key":"Capture","value":"1280x720"},
                              {"key":"Codec","value":"av1"}]})",
                 &report) != KOVA_S_OK ||
      report.changes.size() != 2) {
    return fail("the configuration did not apply");
  }
  std::printf("consumer: applied\n%s", report.ToText().c_str());

  // Read through a handle, as a frame loop would.
  const ostrel::Value<media::Resolution> capture(
      call, kovaStore::KovaConfigGroup_Video, "Capture");
  const std::optional<media::Resolution>& size = capture.Get();
  if (!size || size->width != 1280) return fail("capture size not read");

  // Answer "which resolution for this many people" with a typed provider.
  ostrel::Subscription provider = call.Bind<media::Resolution>(
      kovaStore::KovaConfigGroup_Video, "SendSize",
      [&capture](const ostrel::Query& query) {
        media::Resolution size = capture.Get().value_or(media::Resolution{});
        if (query.ParameterOr(1) > 4) size = {size.width / 2, size.height / 2};
        return size;
      });
  const ostrel::Reading<media::Resolution> sent = call.Query<media::Resolution>(
      kovaStore::KovaConfigGroup_Video, "SendSize", 9);
  if (!sent || sent->width != 640) return fail("the provider's answer");

  const std::string json = call.Dump(1u << kovaStore::KovaConfigGroup_Video,
                                     ostrel::DumpForm::kJson);
  std::printf("consumer: %s, send size %s\n", json.c_str(),
              media::OstrelFormat(*sent).c_str());
  return json.find("\"Capture\",\"value\":\"1280x720\"") != std::string::npos ||
         fail("dump without the applied value");
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
  ok = exchangeConfiguration() && ok;
  ok = readStatistics() && ok;
  if (thread) thread->Stop();
  kovaStore::CleanUpKovaConfig(kCallId);
  if (kovaStore::GetKovaConfigSizeForUT() != 0) {
    ok = fail("the call's store outlived its clean-up");
  }
  std::puts(ok ? "consumer: ok" : "consumer: FAILED");
  return ok ? 0 : 1;
}
