#include "counters.h"

namespace ostrel::inspect {

namespace {

using C = kovaStore::KovaConfigCounters;

}  // namespace

const std::vector<CounterSpec>& CounterSpecs() {
  static const std::vector<CounterSpec> kSpecs = {
      {"setsOk", "sets_total", "Sets by result.", "result", "ok", &C::setsOk},
      {"setsUnchanged", "sets_total", "", "result", "unchanged",
       &C::setsUnchanged},
      {"setsNoObserver", "sets_total", "", "result", "no_observer",
       &C::setsNoObserver},
      {"setsInvalidArg", "sets_total", "", "result", "invalid_argument",
       &C::setsInvalidArg},
      {"setsFailed", "sets_total", "", "result", "failed", &C::setsFailed},
      {"deliveriesDirect", "deliveries_total",
       "Deliveries to subscribers by the way they went.", "mode", "direct",
       &C::deliveriesDirect},
      {"deliveriesSent", "deliveries_total", "", "mode", "sent",
       &C::deliveriesSent},
      {"deliveriesPosted", "deliveries_total", "", "mode", "posted",
       &C::deliveriesPosted},
      {"postsRefused", "handovers_lost_total",
       "Deliveries whose callback never ran: the run thread's queue refused "
       "them or it had none.",
       "reason", "post_refused", &C::postsRefused},
      {"sendsRefused", "handovers_lost_total", "", "reason", "send_refused",
       &C::sendsRefused},
      {"deliveriesNoQueue", "handovers_lost_total", "", "reason", "no_queue",
       &C::deliveriesNoQueue},
      {"providerCalls", "provider_calls_total", "Providers asked.", nullptr,
       nullptr, &C::providerCalls},
      {"observersAdded", "observers_added_total",
       "Subscriptions and bindings registered.", nullptr, nullptr,
       &C::observersAdded},
      {"observersRemoved", "observers_removed_total", "Observers removed.",
       nullptr, nullptr, &C::observersRemoved},
      {"removalsTimedOut", "removals_timed_out_total",
       "Removals that gave up waiting for a delivery.", nullptr, nullptr,
       &C::removalsTimedOut},
      {"appliesOk", "applies_total", "Configuration documents applied.",
       "result", "ok", &C::appliesOk},
      {"appliesFailed", "applies_total", "", "result", "failed",
       &C::appliesFailed},
      {"dumps", "dumps_total", "Dumps made.", nullptr, nullptr, &C::dumps},
      {"journalEntries", "journal_entries_total",
       "Changes written to the journal.", nullptr, nullptr, &C::journalEntries},
  };
  return kSpecs;
}

std::optional<kovaStore::KovaConfigCounters> CallCounters(uint32_t callId) {
  C counters{};
  counters.size = sizeof counters;
  if (kovaStore::GetKovaConfigCounters(callId, &counters) != KOVA_S_OK) {
    return std::nullopt;
  }
  return counters;
}

std::optional<kovaStore::KovaConfigCounters> TotalCounters() {
  C counters{};
  counters.size = sizeof counters;
  if (kovaStore::GetKovaConfigTotalCounters(&counters) != KOVA_S_OK) {
    return std::nullopt;
  }
  return counters;
}

}  // namespace ostrel::inspect
