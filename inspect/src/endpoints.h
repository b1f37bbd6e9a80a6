// The inspector's endpoints: each builds one answer from the library's
// state, as JSON (escaped throughout by the command's JSON writer) or as
// Prometheus text. Each lives in a file of its own (api_calls.cc,
// api_config.cc, api_journal.cc, api_stats.cc, metrics.cc); the request
// handler picks one after the security checks passed.
//
// Any thread may call them; each takes one reference on a store or
// statistics object at a time and gives it back before returning. Those
// that walk every call stop early, answering 503, once `bStopping` is set
// (the inspector is being destroyed).
#ifndef OSTREL_INSPECT_SRC_ENDPOINTS_H_
#define OSTREL_INSPECT_SRC_ENDPOINTS_H_

#include <ostrel/cpp/statistics.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ostrel::inspect {

struct Answer {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// {"error": message} with the status.
Answer ErrorAnswer(int status, const std::string& message);
// 503: the inspector is stopping.
Answer StoppingAnswer();

// GET /api/v1/calls
Answer CallsAnswer(const std::atomic<bool>& bStopping);
// GET /api/v1/calls/{id}/config: entries per group, or with bDocument the
// configuration document (as an attachment).
Answer ConfigAnswer(uint32_t callId, bool bDocument);
// POST /api/v1/calls/{id}/config: applies `document`; 200 when the apply
// succeeded, 422 when it failed, with the report `ostrel check --json`
// gives for the document.
Answer ApplyConfigAnswer(uint32_t callId, const std::string& document);
// GET /api/v1/calls/{id}/journal
Answer JournalAnswer(uint32_t callId);
// GET /api/v1/calls/{id}/stats
Answer StatsAnswer(uint32_t callId, const FieldNames& names);
// GET /metrics
Answer MetricsAnswer(const FieldNames& names,
                     const std::atomic<bool>& bStopping);

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_ENDPOINTS_H_
