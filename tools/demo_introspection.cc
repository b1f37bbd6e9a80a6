#include "demo_introspection.h"

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "KovaConfig/config_groups.h"
#include "ostrel/KovaIntrospection.h"

namespace ostrel_cli {

namespace {

using kovaStore::KovaConfigCounters;
using kovaStore::KovaJournalEntry;

const char* resultName(KOVA_RESULT code) {
  switch (code) {
    case KOVA_S_OK:
      return "KOVA_S_OK";
    case KOVA_E_UNCHANGED:
      return "KOVA_E_UNCHANGED";
    case KOVA_E_NOOBSERVER:
      return "KOVA_E_NOOBSERVER";
    case KOVA_E_INVALIDARG:
      return "KOVA_E_INVALIDARG";
    default:
      return "KOVA_E_FAIL";
  }
}

// "HH:MM:SS.mmm" UTC.
std::string clockText(uint64_t timeUs) {
  const std::time_t seconds = static_cast<std::time_t>(timeUs / 1000000);
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char text[32];
  std::snprintf(text, sizeof(text), "%02d:%02d:%02d.%03u", utc.tm_hour,
                utc.tm_min, utc.tm_sec,
                static_cast<unsigned>(timeUs / 1000 % 1000));
  return text;
}

// A journal text in quotes, with "..." when the journal cut it.
std::string textOf(const char* text, uint32_t length) {
  std::string shown = "\"" + std::string(text) + "\"";
  if (length > std::string(text).size()) shown += "...";
  return shown;
}

std::string lineOf(const KovaJournalEntry& e) {
  const auto group = static_cast<kovaStore::KovaConfigGroup>(e.group);
  std::string line = "#" + std::to_string(e.sequence) + " " +
                     clockText(e.timeUs) + " " + kovaStore::groupName(group);
  switch (e.operation) {
    case kovaStore::KovaJournal_RemoveGroup:
      return line + " cleared  [tid " + std::to_string(e.threadId) + "]";
    case kovaStore::KovaJournal_Remove:
      line += "/" + std::string(e.name) + " removed";
      break;
    default:
      line +=
          "/" + std::string(e.name) + " " +
          (e.hasOld ? textOf(e.oldValue, e.oldLength) : "(none)") + " -> " +
          textOf(e.newValue, e.newLength) +
          (e.operation == kovaStore::KovaJournal_NotifyOnly ? " (notify only)"
                                                            : "");
  }
  return line + "  " + resultName(e.result) + "  [tid " +
         std::to_string(e.threadId) + "]";
}

}  // namespace

bool StartDemoJournal(uint32_t callId) {
  return kovaStore::SetKovaJournalEnabled(callId, true) == KOVA_S_OK;
}

bool PrintStoreActivity(uint32_t callId, size_t journalLines,
                        std::ostream& out) {
  KovaConfigCounters c{};
  c.size = sizeof(c);
  if (kovaStore::GetKovaConfigCounters(callId, &c) != KOVA_S_OK) {
    out << "    (no counters for call " << callId << ")\n";
    return false;
  }
  const std::pair<const char*, uint64_t> counters[] = {
      {"sets KOVA_S_OK", c.setsOk},
      {"sets KOVA_E_UNCHANGED", c.setsUnchanged},
      {"sets KOVA_E_NOOBSERVER", c.setsNoObserver},
      {"sets refused (bad arguments)", c.setsInvalidArg},
      {"sets failed", c.setsFailed},
      {"deliveries direct", c.deliveriesDirect},
      {"deliveries sent (setter waited)", c.deliveriesSent},
      {"deliveries posted", c.deliveriesPosted},
      {"posts refused (stopped thread)", c.postsRefused},
      {"sends refused (stopped thread)", c.sendsRefused},
      {"deliveries to a thread without queue", c.deliveriesNoQueue},
      {"provider calls", c.providerCalls},
      {"observers added", c.observersAdded},
      {"observers removed", c.observersRemoved},
      {"removals that gave up waiting", c.removalsTimedOut},
      {"applies KOVA_S_OK", c.appliesOk},
      {"applies failed", c.appliesFailed},
      {"dumps", c.dumps},
      {"journal entries", c.journalEntries},
  };
  out << "    counters of call " << callId << " (those above 0):\n";
  for (const auto& counter : counters) {
    if (counter.second != 0)
      out << "      " << counter.first << ": " << counter.second << "\n";
  }

  std::vector<KovaJournalEntry> entries(journalLines);
  uint32_t held = 0;
  kovaStore::ReadKovaJournal(callId, entries.data(),
                             static_cast<uint32_t>(entries.size()), &held);
  const size_t shown = held < entries.size() ? held : entries.size();
  out << "    journal: the last " << shown << " of " << held
      << " changes kept (of " << c.journalEntries << " recorded)\n";
  for (size_t i = 0; i < shown; ++i)
    out << "      " << lineOf(entries[i]) << "\n";
  return true;
}

}  // namespace ostrel_cli
