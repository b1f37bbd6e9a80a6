// `ostrel demo`: a simulated call told as a story. The media engine and
// three modules share the call's store through their own helpers; two module
// threads receive changes by blocking hand-over and by posted events; a
// provider answers a dynamic query; the statistics objects are filled and
// read; the store's counters and the last lines of its change journal are
// shown; and the teardown is checked to leave nothing behind.
//
// Output is deterministic apart from thread ids and journal times: each
// scene waits for the posted deliveries of its changes, then prints the
// deliveries made while the setter waited before the posted ones, each group
// in arrival order.
#include <CmThread.h>
#include <CmTrace.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <memory>
#include <sstream>
#include <vector>

#include "check_report.h"
#include "commands.h"
#include "demo_inspect.h"
#include "demo_introspection.h"
#include "demo_statistics.h"
#include "exit_codes.h"
#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaConfigHelper.h"
#include "report_text.h"
#include "support/mutex.h"
#include "text_input.h"

namespace ostrel_cli {

namespace {

using kovaStore::KovaConfigEvent;
using kovaStore::KovaConfigHelper;

const uint32_t kDemoCallId = 4242;
const size_t kJournalLinesShown = 6;
const uint32_t kShownGroups = (1u << kovaStore::KovaConfigGroup_Feature) |
                              (1u << kovaStore::KovaConfigGroup_Audio) |
                              (1u << kovaStore::KovaConfigGroup_Video);

// Counts the live copies of the demo's callbacks and providers, wherever the
// library keeps them (observer records, events in flight). Zero after the
// teardown means no observer survived.
class LiveToken {
 public:
  LiveToken() { s_count.fetch_add(1); }
  LiveToken(const LiveToken&) { s_count.fetch_add(1); }
  LiveToken& operator=(const LiveToken&) = default;
  ~LiveToken() { s_count.fetch_sub(1); }
  static int Count() { return s_count.load(); }

 private:
  static std::atomic<int> s_count;
};
std::atomic<int> LiveToken::s_count{0};

std::string shown(const ConfigData& value) {
  return value.IsValid() ? Quoted(value.ToCstr()) : std::string("(none)");
}

const char* codeName(KOVA_RESULT code) {
  switch (code) {
    case KOVA_S_OK:
      return "KOVA_S_OK";
    case KOVA_E_FAIL:
      return "KOVA_E_FAIL";
    case KOVA_E_INVALIDARG:
      return "KOVA_E_INVALIDARG";
    case KOVA_E_UNCHANGED:
      return "KOVA_E_UNCHANGED (nobody told)";
    case KOVA_E_NOOBSERVER:
      return "KOVA_E_NOOBSERVER (stored, nobody observes it)";
    default:
      return "another code";
  }
}

// Deliveries seen by the demo's callbacks, from any thread.
class DeliveryLog {
 public:
  DeliveryLog() = default;
  DeliveryLog(const DeliveryLog&) = delete;
  DeliveryLog& operator=(const DeliveryLog&) = delete;

  void SetThreadNames(
      std::vector<std::pair<unsigned long, std::string>> names) {
    m_threadNames = std::move(names);
  }

  void Add(bool bPosted, const std::string& observer,
           const KovaConfigEvent& event) {
    const unsigned long tid = GetThreadSelfId();
    std::string line = observer + " got " + event.configName + ": " +
                       shown(event.oldValue) + " -> " + shown(event.newValue) +
                       "  on " + threadName(tid) + " [tid " +
                       std::to_string(tid) + "]";
    kovaStore::MutexLock lock(m_mutex);
    (bPosted ? m_posted : m_waited).push_back(std::move(line));
  }

  // The lines so far, those delivered while the setter waited first.
  std::vector<std::string> Take() {
    kovaStore::MutexLock lock(m_mutex);
    std::vector<std::string> lines = std::move(m_waited);
    lines.insert(lines.end(), m_posted.begin(), m_posted.end());
    m_waited.clear();
    m_posted.clear();
    return lines;
  }

 private:
  std::string threadName(unsigned long tid) const {
    for (const auto& entry : m_threadNames)
      if (entry.first == tid) return entry.second;
    return "another thread";
  }

  // Set before any delivery, read-only afterwards.
  std::vector<std::pair<unsigned long, std::string>> m_threadNames;
  kovaStore::Mutex m_mutex;
  std::vector<std::string> m_waited GUARDED_BY(m_mutex);
  std::vector<std::string> m_posted GUARDED_BY(m_mutex);
};

// Runs nothing; sent through a queue it returns once every event posted
// before it has run.
class BarrierEvent : public ICmEvent {
 public:
  int OnEventFire() override { return 0; }
};

class DemoCall {
 public:
  // `samplePath` as the story names the document; `bShippedSample` when it
  // is the shipped sample, which must apply.
  DemoCall(std::ostream& out, const std::string& samplePath,
           const std::string& text, bool bShippedSample,
           const DemoOptions& options)
      : m_out(out),
        m_samplePath(samplePath),
        m_text(text),
        m_bShippedSample(bShippedSample),
        m_options(options) {}

  // After Run(): whether the user's document failed to apply.
  bool DocumentFails() const { return m_bDocumentFails; }

  bool Run() {
    m_out << "ostrel demo: a simulated call, call id " << kDemoCallId << "\n";
    {
      KovaConfigHelper engine(kDemoCallId);
      engine.SetKovaSessionType(kova::KovaSessionType_Audio);
      scene("1", "the call starts");
      say("media engine: KovaConfigHelper(" + std::to_string(kDemoCallId) +
          "), session type Audio; stores in the registry: " +
          std::to_string(kovaStore::GetKovaConfigSizeForUT()));
      check(StartDemoJournal(kDemoCallId), "the store's journal starts");
      say("the store's change journal is on (SetKovaJournalEnabled)");
      std::unique_ptr<ACmThread> audioThread =
          CreateCmEventThread("audio-module");
      std::unique_ptr<ACmThread> videoThread =
          CreateCmEventThread("video-module");
      m_videoThread = videoThread.get();
      m_log.SetThreadNames({{GetThreadSelfId(), "main"},
                            {audioThread->GetThreadId(), "audio-module"},
                            {videoThread->GetThreadId(), "video-module"}});
      say("two module threads with event queues: audio-module, video-module");
      modulesScenes(engine, audioThread.get(), videoThread.get());
      scene("8", "statistics");
      m_statistics = RunStatisticsScene(kDemoCallId, m_out);
      if (!m_statistics.bOk) m_bOk = false;
      if (m_options.bInspect &&
          !ServeDemoCall(kDemoCallId, m_options.inspectPort, m_out)) {
        m_bOk = false;
      }
      scene("9", "teardown");
      audioThread->Stop();
      videoThread->Stop();
      say("module threads stopped (their queues ran dry)");
      scene("10", "what the library counted and journaled for the call");
      check(PrintStoreActivity(kDemoCallId, kJournalLinesShown, m_out),
            "the store's counters and journal read back");
    }
    const KOVA_RESULT cleanUp = kovaStore::CleanUpKovaConfig(kDemoCallId);
    say("media engine: helper destroyed; CleanUpKovaConfig(" +
        std::to_string(kDemoCallId) + ") -> " + codeName(cleanUp));
    return teardownVerdict();
  }

 private:
  void scene(const char* number, const char* title) {
    m_out << "\n[" << number << "] " << title << "\n";
  }
  void say(const std::string& line) { m_out << "    " << line << "\n"; }

  void check(bool bHolds, const std::string& what) {
    if (bHolds) return;
    say("unexpected: " + what);
    m_bOk = false;
  }

  kovaStore::KovaConfigCallback recorder(const std::string& observer,
                                         bool bPosted) {
    LiveToken token;
    DeliveryLog* log = &m_log;
    return [log, observer, bPosted, token](const KovaConfigEvent& event) {
      log->Add(bPosted, observer, event);
    };
  }

  // Waits until the posted deliveries so far have run, then prints them.
  void showDeliveries() {
    m_videoThread->GetEventQueue()->SendEvent(new BarrierEvent);
    for (const std::string& line : m_log.Take()) say("  " + line);
  }

  void modulesScenes(KovaConfigHelper& engine, ACmThread* audioThread,
                     ACmThread* videoThread) {
    KovaConfigHelper audio(kDemoCallId), video(kDemoCallId),
        network(kDemoCallId);
    audio.SetKovaSessionType(kova::KovaSessionType_Audio);
    video.SetKovaSessionType(kova::KovaSessionType_Video);
    network.SetDefaultGroup(kovaStore::KovaConfigGroup_Transmission);

    scene("2", "modules subscribe");
    uint64_t id = engine.SubscribeFeatureToggle(
        KOVA_FT_EnableRelayMode, recorder("media engine", false));
    say("media engine: toggle EnableRelayMode, direct (on the setting "
        "thread) -> observer " +
        std::to_string(id));
    id = audio.SubscribeConfig("AecMode", recorder("audio module", false),
                               kovaStore::KovaConfigGroup_Undefined,
                               audioThread, false);
    say("audio module: Audio/AecMode, handed over to audio-module while the "
        "setter waits -> observer " +
        std::to_string(id));
    id = video.SubscribeConfig("MaxFps", recorder("video module", true),
                               kovaStore::KovaConfigGroup_Undefined,
                               videoThread, true);
    say("video module: Video/MaxFps, posted to video-module -> observer " +
        std::to_string(id));
    id = video.SubscribeFeatureToggle(KOVA_FT_Enable1080p60Fps,
                                      recorder("video module", true),
                                      videoThread, true);
    say("video module: toggle Enable1080p60Fps, posted to video-module -> "
        "observer " +
        std::to_string(id));
    LiveToken token;
    id = network.BindConfig(
        "CurrentRttMs", [this, token](const KovaConfigEvent& event) {
          m_providerThread = GetThreadSelfId();
          return ConfigData(event.paramValue.IsValid() &&
                                    std::string(event.paramValue.ToCstr()) ==
                                        "smoothed"
                                ? "38"
                                : "41");
        });
    say("network module: provider of Transmission/CurrentRttMs -> observer " +
        std::to_string(id));

    scene("3", "the configuration arrives");
    const KOVA_RESULT applied = engine.ApplyKovaConfigs(m_text.c_str());
    say("media engine: ApplyKovaConfigs(" + m_samplePath + ") -> " +
        codeName(applied));
    if (m_bShippedSample)
      check(applied == KOVA_S_OK, "the sample configuration applies");
    else if (applied != KOVA_S_OK)
      tellFailedApply();
    showDeliveries();

    changesScene(engine, audio, video);

    scene("5", "a dynamic value");
    ConfigData rtt;
    const KOVA_RESULT asked = engine.GetDynamicConfig(
        "CurrentRttMs", rtt, kovaStore::KovaConfigGroup_Transmission,
        ConfigData("smoothed"));
    say("media engine: GetDynamicConfig(Transmission/CurrentRttMs, "
        "\"smoothed\") -> " +
        std::string(codeName(asked)) + ", " + shown(rtt) +
        (m_providerThread == GetThreadSelfId()
             ? "; the provider ran on main, the querying thread"
             : "; the provider ran on another thread"));
    check(asked == KOVA_S_OK && rtt == ConfigData("38"),
          "the provider answers");

    scene("6", "a late subscriber is told the current value at once");
    id = audio.SubscribeConfig("NoiseSuppression",
                               recorder("audio module", false));
    say("audio module: Audio/NoiseSuppression, direct -> observer " +
        std::to_string(id));
    showDeliveries();

    scene("7", "the store's dump of Audio, Feature and Video");
    const char* dump = engine.DumpKovaConfigs(kShownGroups);
    say(dump != nullptr ? dump : "(no dump)");
    say("modules destroy their helpers: their observers are removed");
  }

  // The user's document did not apply in full: what the store kept, where
  // the apply stopped and why; the call goes on with what was stored. The
  // run ends with exit status 1, as `ostrel apply` of the document does.
  void tellFailedApply() {
    m_bDocumentFails = true;
    const DocumentReport report = CheckDocumentText(m_samplePath, m_text);
    const ApplyPrediction& p = report.prediction;
    if (!p.bDocumentIsObject) {
      say("nothing is stored: the text reads as " + p.documentKind +
          ", not as a JSON object");
    } else {
      const size_t values = StoredValueCount(p);
      say("the document does not apply in full: " + std::to_string(values) +
          (values == 1 ? " value" : " values") + " stored before the failure");
      say(ApplyStopLine(report));
      const std::string reason = StopReason(report);
      if (!reason.empty()) say("why: " + reason);
    }
    say(std::string(StoredValueCount(p) == 0
                        ? "the call goes on without it"
                        : "the call goes on with what was stored") +
        " (see: ostrel check " + m_samplePath + ")");
  }

  void changesScene(KovaConfigHelper& engine, KovaConfigHelper& audio,
                    KovaConfigHelper& video) {
    scene("4", "values change during the call");
    KOVA_RESULT code = audio.SetKovaConfig("AecMode", ConfigData("3"));
    say("audio module: AecMode = \"3\" -> " + std::string(codeName(code)));
    showDeliveries();
    code = audio.SetKovaConfig("AecMode", ConfigData("3"));
    say("audio module: AecMode = \"3\" again -> " +
        std::string(codeName(code)));
    check(code == KOVA_E_UNCHANGED, "an equal value notifies nobody");
    code = video.SetKovaConfig("MaxFps", ConfigData("15"));
    say("video module: MaxFps = \"15\" -> " + std::string(codeName(code)));
    code = engine.SetFeatureToggle(KOVA_FT_EnableRelayMode, ConfigData("0"));
    say("media engine: toggle EnableRelayMode = \"0\" -> " +
        std::string(codeName(code)));
    showDeliveries();
    code = engine.SetKovaConfig("EchoTailMs", ConfigData("120"));
    say("media engine: Audio/EchoTailMs = \"120\" -> " +
        std::string(codeName(code)));
    const ConfigData fps =
        engine.GetKovaConfig(kova::KovaSessionType_Video, "MaxFps");
    say("media engine: reads Video/MaxFps -> " + shown(fps));
    check(fps == ConfigData("15"), "the stored value reads back");
  }

  bool teardownVerdict() {
    const uint32_t stores = kovaStore::GetKovaConfigSizeForUT();
    const int observers = LiveToken::Count();
    const size_t statistics = m_statistics.objectsRemaining;
    const bool bClean = stores == 0 && observers == 0 && statistics == 0;
    m_out << "\nteardown: " << (bClean ? "clean" : "NOT CLEAN") << " — "
          << stores << " stores, " << observers << " observers, " << statistics
          << " statistics objects\n";
    return bClean && m_bOk;
  }

  std::ostream& m_out;
  const std::string m_samplePath;
  const std::string m_text;
  const bool m_bShippedSample;
  bool m_bDocumentFails = false;
  const DemoOptions& m_options;
  DeliveryLog m_log;
  ACmThread* m_videoThread = nullptr;
  // Written by the provider on the querying thread, read there afterwards.
  unsigned long m_providerThread = 0;
  StatisticsOutcome m_statistics;
  bool m_bOk = true;
};

}  // namespace

int RunDemo(const DemoOptions& options, std::ostream& out, std::ostream& err) {
  const std::string path =
      options.file.empty() ? FindSampleDocument(options.argv0) : options.file;
  if (path.empty()) {
    err << "ostrel demo: cannot find examples/call-sample.json; pass a FILE\n";
    return kExitUsage;
  }
  std::string text, error;
  if (!ReadInputText(path, options.maxBytes, text, error)) {
    err << "ostrel demo: " << error << "\n";
    return kExitUsage;
  }
  if (kovaStore::GetKovaConfigSizeForUT() != 0) {
    err << "ostrel demo: the registry already holds stores\n";
    return kExitDocumentFails;
  }
  const int previousMask = get_external_trace_mask();
  set_external_trace_mask(options.traceLevel);
  const std::string shownPath =
      options.file.empty() ? std::string("the shipped call-sample.json") : path;
  DemoCall call(out, shownPath, text, options.file.empty(), options);
  const bool bOk = call.Run();
  set_external_trace_mask(previousMask);
  if (call.DocumentFails())
    err << "ostrel demo: " << path
        << ": the document fails to apply (see: ostrel check " << path << ")\n";
  return bOk && !call.DocumentFails() ? kExitOk : kExitDocumentFails;
}

CommandAction DefineDemoCommand(CLI::App& command, const std::string& argv0) {
  auto options = std::make_shared<DemoOptions>();
  options->argv0 = argv0;
  command.add_option("FILE", options->file,
                     "Configuration to apply (default: the shipped "
                     "examples/call-sample.json)");
  command
      .add_option("--trace-level", options->traceLevel,
                  "Util trace mask while the demo runs, -1 to 2 (-1 quiet, 0 "
                  "errors, 1 warnings, 2 information)")
      ->capture_default_str()
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            for (const char* level : {"-1", "0", "1", "2"})
              if (text == level) return std::string();
            return "\"" + text +
                   "\" is not a trace level; levels are -1 (quiet), 0 "
                   "(errors), 1 (warnings) and 2 (information)";
          },
          "", "trace level"));
  AddMaxBytesOption(command, options->maxBytes);
  auto ports = std::make_shared<std::vector<uint16_t>>();
  CLI::Option* inspect =
      command
          .add_option("--inspect", *ports,
                      "Before the teardown, serve the call with the inspector "
                      "on 127.0.0.1 at PORT (default: any free port) until "
                      "standard input ends")
          ->expected(0, 1)
          ->type_name("PORT");
  return [options, ports, inspect](std::ostream& out, std::ostream& err) {
    options->bInspect = inspect->count() > 0;
    if (!ports->empty()) options->inspectPort = ports->front();
    return RunDemo(*options, out, err);
  };
}

}  // namespace ostrel_cli
