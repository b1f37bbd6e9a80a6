// Module teardown with the exported interface alone, done right.
//
// The module below follows a toggle through its KovaConfigHelper, with
// delivery posted to an event thread that the engine owns and shares. A
// posted delivery carries its own copy of the callback: it still runs after
// UnsubscribeConfig returned and after the helper was destroyed. So the order
// of teardown is what keeps the module's state alive for it:
//
//   1. destroy the helper (or unsubscribe): no new delivery gets posted;
//   2. fence the thread: SendEvent of an empty event returns once every event
//      posted before it has run there (queues are FIFO), while the state the
//      callback uses still exists. An owned thread may be stopped instead;
//   3. only then let that state go.
//
// Skipping step 2 (destroy the helper, then the module) is a use-after-free
// whenever a delivery is still queued. Step 2 must not run on the module's
// thread itself: there SendEvent fires inline, before the queued events.
// With the C++ layer, the end of an ostrel::Subscription covers step 2.
#include <ostrel/ostrel.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace {

constexpr uint32_t kCallId = 5151;

class FenceEvent : public ICmEvent {
 public:
  int OnEventFire() override { return 0; }
};

class RelayModule {
 public:
  RelayModule(uint32_t callId, ACmThread& thread)
      : m_thread(thread), m_config(new kovaStore::KovaConfigHelper(callId)) {
    m_config->SubscribeFeatureToggle(
        KOVA_FT_EnableRelayMode,
        [this](const kovaStore::KovaConfigEvent& event) { OnRelay(event); },
        &m_thread, true);
  }
  ~RelayModule() {
    m_config.reset();                                     // 1
    m_thread.GetEventQueue()->SendEvent(new FenceEvent);  // 2
  }  // 3: the members go after the body

  int Changes() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_changes;
  }

 private:
  void OnRelay(const kovaStore::KovaConfigEvent& event) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_changes;
    m_on = event.newValue == ConfigData("1");
  }

  ACmThread& m_thread;
  std::unique_ptr<kovaStore::KovaConfigHelper> m_config;
  // Guards the members below; written on m_thread, read anywhere.
  std::mutex m_mutex;
  int m_changes = 0;
  bool m_on = false;
};

}  // namespace

int main() {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("engine");
  {
    kovaStore::KovaConfigHelper engine(kCallId);
    auto module = std::make_unique<RelayModule>(kCallId, *thread);
    for (int i = 0; i < 100; ++i)
      engine.SetFeatureToggle(KOVA_FT_EnableRelayMode,
                              ConfigData(i % 2 ? "1" : "0"));
    // Deliveries may still be queued here; the module's teardown waits them
    // out before its state goes.
    module.reset();
    std::printf("module torn down with deliveries posted to it\n");
  }
  thread->Stop();
  kovaStore::CleanUpKovaConfig(kCallId);
  const bool clean = kovaStore::GetKovaConfigSizeForUT() == 0;
  std::printf("teardown %s\n", clean ? "clean" : "left a store behind");
  return clean ? 0 : 1;
}
