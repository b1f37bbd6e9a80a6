// GET /metrics: the Prometheus text format (version 0.0.4). Families are
// written whole, each with its HELP and TYPE lines: the counters per call
// (label call_id), the process-wide totals, and every decoded statistics
// field (labels call_id, kind, stream, field and, when the host named it,
// name).
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "call_access.h"
#include "counters.h"
#include "endpoints.h"
#include "stats_access.h"

namespace ostrel::inspect {

namespace {

constexpr const char kPrefix[] = "ostrel_";

// Label values escape backslash, double quote and line feed.
std::string labelValue(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

void family(std::string& out, const std::string& name, const char* type,
            const std::string& help) {
  out += "# HELP " + name + " " + help + "\n";
  out += "# TYPE " + name + " " + type + "\n";
}

void sample(std::string& out, const std::string& name,
            const std::string& labels, uint64_t value) {
  out += name;
  if (!labels.empty()) out += "{" + labels + "}";
  out += " " + std::to_string(value) + "\n";
}

// One family per counter layout family: the calls' values, then (under the
// process_ prefix) the totals.
void addCounterFamilies(
    std::string& out,
    const std::vector<std::pair<uint32_t, kovaStore::KovaConfigCounters>>&
        calls,
    const std::optional<kovaStore::KovaConfigCounters>& totals, bool bTotals) {
  const std::vector<CounterSpec>& layouts = CounterSpecs();
  for (size_t first = 0; first < layouts.size();) {
    size_t last = first;
    while (last < layouts.size() &&
           std::string(layouts[last].family) == layouts[first].family) {
      ++last;
    }
    const std::string name = std::string(kPrefix) +
                             (bTotals ? "process_config_" : "config_") +
                             layouts[first].family;
    family(out, name, "counter", layouts[first].help);
    for (size_t i = first; i < last; ++i) {
      std::string label;
      if (layouts[i].label != nullptr) {
        label = std::string(layouts[i].label) + "=\"" + layouts[i].labelValue +
                "\"";
      }
      if (bTotals) {
        if (totals) sample(out, name, label, (*totals).*layouts[i].field);
        continue;
      }
      for (const auto& [callId, counters] : calls) {
        std::string labels = "call_id=\"" + std::to_string(callId) + "\"";
        if (!label.empty()) labels += "," + label;
        sample(out, name, labels, counters.*layouts[i].field);
      }
    }
    first = last;
  }
}

bool addStatistics(std::string& out, const FieldNames& names,
                   const std::atomic<bool>& bStopping) {
  const std::string name = std::string(kPrefix) + "statistic";
  family(out, name, "gauge",
         "Decoded statistics fields (codec and kind fields give the code).");
  char value[40];
  for (const auto& [callId, kinds] : ListStatKinds()) {
    if (bStopping.load(std::memory_order_relaxed)) return false;
    for (int kind : kinds) {
      std::vector<Field> fields;
      if (!DecodeStatistics(callId, kind, names, fields)) continue;
      for (const Field& field : fields) {
        std::string labels =
            "call_id=\"" + std::to_string(callId) + "\",kind=\"" +
            StatKindName(kind) + "\",stream=\"" + std::to_string(field.stream) +
            "\",field=\"" + RecordKindName(field.layout->record) + "+" +
            std::to_string(field.layout->offset) + "\"";
        if (!field.name.empty()) {
          labels += ",name=\"" + labelValue(field.name) + "\"";
        }
        std::snprintf(value, sizeof value, "%.17g", field.Value());
        out += name + "{" + labels + "} " + value + "\n";
      }
    }
  }
  return true;
}

}  // namespace

Answer MetricsAnswer(const FieldNames& names,
                     const std::atomic<bool>& bStopping) {
  std::vector<std::pair<uint32_t, kovaStore::KovaConfigCounters>> calls;
  const std::vector<uint32_t> ids = ListCallIds();
  for (uint32_t callId : ids) {
    if (auto counters = CallCounters(callId)) {
      calls.emplace_back(callId, *counters);
    }
  }
  const auto totals = TotalCounters();
  std::string out;
  out.reserve(256 + calls.size() * 2048);
  family(out, std::string(kPrefix) + "calls", "gauge",
         "Calls that have a configuration store.");
  sample(out, std::string(kPrefix) + "calls", "", ids.size());
  family(out, std::string(kPrefix) + "config_observers", "gauge",
         "Observers registered per call.");
  for (const auto& [callId, counters] : calls) {
    sample(out, std::string(kPrefix) + "config_observers",
           "call_id=\"" + std::to_string(callId) + "\"",
           counters.observersAdded - counters.observersRemoved);
  }
  addCounterFamilies(out, calls, totals, false);
  addCounterFamilies(out, calls, totals, true);
  if (totals) {
    family(out, std::string(kPrefix) + "process_stores_created_total",
           "counter", "Stores created since the library was loaded.");
    sample(out, std::string(kPrefix) + "process_stores_created_total", "",
           totals->stores);
    family(out, std::string(kPrefix) + "process_stores_destroyed_total",
           "counter", "Stores destroyed since the library was loaded.");
    sample(out, std::string(kPrefix) + "process_stores_destroyed_total", "",
           totals->storesDestroyed);
  }
  if (!addStatistics(out, names, bStopping)) return StoppingAnswer();
  Answer answer;
  answer.contentType = "text/plain; version=0.0.4; charset=utf-8";
  answer.body = std::move(out);
  return answer;
}

}  // namespace ostrel::inspect
