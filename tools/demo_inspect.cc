#include "demo_inspect.h"

#include <ostrel/inspect.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <string>
#include <thread>

namespace ostrel_cli {

namespace {

// The call's audio and video statistics, moved once a second so that the
// page's plots have something to show.
class MovingStatistics {
 public:
  explicit MovingStatistics(uint32_t callId) : m_callId(callId) {
    kovaStore::createOstrelEntity(kovaStore::KovaMediaStat_Audio, callId,
                                  &m_audio);
    kovaStore::createOstrelEntity(kovaStore::KovaMediaStat_Video, callId,
                                  &m_video);
    m_thread = std::thread([this] { run(); });
  }
  ~MovingStatistics() {
    m_bDone = true;
    m_thread.join();
    kovaStore::releaseOstrelEntity(kovaStore::KovaMediaStat_Audio, m_callId,
                                   m_audio);
    kovaStore::releaseOstrelEntity(kovaStore::KovaMediaStat_Video, m_callId,
                                   m_video);
  }

 private:
  void run() {
    auto* audio = static_cast<kovaStore::IKovaAudioInfo*>(m_audio);
    auto* video = static_cast<kovaStore::IKovaVideoInfo*>(m_video);
    for (uint32_t n = 1; !m_bDone; ++n) {
      audio->SetSessionValue12(n * 50);
      audio->SetStreamCodec(0, 9);
      audio->SetSessionLevelsA(-30.0f - static_cast<float>(n % 7), -28.0f,
                               -40.0f);
      video->SetStreamCountAndKind(1, 1);
      video->SetSessionValue1120(n * 30);
      for (int i = 0; i < 10 && !m_bDone; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
  }

  const uint32_t m_callId;
  kovaStore::IKovaMediaInfo* m_audio = nullptr;
  kovaStore::IKovaMediaInfo* m_video = nullptr;
  std::atomic<bool> m_bDone{false};
  std::thread m_thread;
};

}  // namespace

bool ServeDemoCall(uint32_t callId, uint16_t port, std::ostream& out) {
  ostrel::InspectorOptions options;
  options.port = port;
  MovingStatistics statistics(callId);
  ostrel::Inspector inspector(options);
  if (!inspector.Running()) {
    out << "    inspector: " << inspector.Error() << "\n";
    return false;
  }
  out << "\n[inspect] the call stays alive: open " << inspector.Url()
      << "\n    (press Enter to end the call)\n";
  out.flush();
  std::string line;
  std::getline(std::cin, line);
  return true;
}

}  // namespace ostrel_cli
