// The inspector under load, beside the same run without it:
//   load: four engine threads set and read values of 16 calls (each read
//     timed; a set and ten reads, then a 100 us pause, as a media thread
//     between packets) while wrk keeps 64 connections busy for the run's
//     length against /metrics and the JSON API. Reported: the engine's read
//     p50 / p99 / p99.9 with the inspector loaded and in the baseline run
//     without the inspector (repetitions interleaved), their ratio, wrk's
//     requests and every failed request (socket errors, non-2xx answers);
//   scrape: /metrics and /api/v1/calls of 1,000 calls that each have the
//     four statistics objects (audio and video kinds): time and size.
// The machine is shared: run it when it is quiet, more than once.
//
//   inspect_bench [seconds per run, default 10] [repetitions, default 2]
// Needs wrk (Debian package wrk) on PATH for the load part.
#include <ostrel/inspect.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "inspect/src/raw_http_for_test.h"
#include "inspect/test/sample_calls.h"

namespace {

using Clock = std::chrono::steady_clock;
using ostrel::inspect::SampleCalls;

constexpr int kEngineThreads = 4;
constexpr uint32_t kFirstCall = 5000;
constexpr int kCalls = 16;

struct Latencies {
  std::vector<uint32_t> ns;  // every read, in nanoseconds
  double Percentile(double p) {
    if (ns.empty()) return 0;
    std::sort(ns.begin(), ns.end());
    return ns[std::min(ns.size() - 1, static_cast<size_t>(p * ns.size()))];
  }
};

// Four engine threads for `seconds`: each sets a value of its call and reads
// ten, timing every read.
Latencies runEngine(int seconds) {
  std::atomic<bool> bStop{false};
  std::vector<std::vector<uint32_t>> perThread(kEngineThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kEngineThreads; ++t) {
    threads.emplace_back([t, &bStop, &perThread] {
      kovaStore::IKovaConfig* store = nullptr;
      kovaStore::CreateKovaConfig(kFirstCall + t, &store);
      std::vector<uint32_t>& out = perThread[t];
      out.reserve(4000000);
      ConfigData value;
      for (uint32_t n = 0; !bStop.load(std::memory_order_relaxed); ++n) {
        store->SetKovaConfig(kovaStore::KovaConfigGroup_Metrics, "Frame",
                             ConfigData(std::to_string(n)), false, false);
        for (int r = 0; r < 10; ++r) {
          const char* name = r % 2 == 0 ? "MaxFps" : "Resolution";
          const auto start = Clock::now();
          store->GetKovaConfig(kovaStore::KovaConfigGroup_Video, name, value);
          const auto took = Clock::now() - start;
          out.push_back(static_cast<uint32_t>(
              std::chrono::duration_cast<std::chrono::nanoseconds>(took)
                  .count()));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
      kovaStore::ReleaseKovaConfig(store);
    });
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  bStop = true;
  for (std::thread& thread : threads) thread.join();
  Latencies all;
  for (const auto& part : perThread) {
    all.ns.insert(all.ns.end(), part.begin(), part.end());
  }
  return all;
}

struct WrkResult {
  long requests = -1;
  long failures = -1;  // socket errors and non-2xx answers
  std::string line;
};

// wrk with 64 connections for `seconds`, rotating over the endpoints.
WrkResult runWrk(const std::string& url, int seconds) {
  const std::string script = "/tmp/ostrel_inspect_bench.lua";
  if (FILE* f = std::fopen(script.c_str(), "w")) {
    std::fprintf(
        f,
        "local paths = {'/metrics', '/api/v1/calls', "
        "'/api/v1/calls/%u/config', '/api/v1/calls/%u/stats', "
        "'/api/v1/calls/%u/journal', '/api/v1/calls/%u/config?"
        "format=document'}\n"
        "local i = 0\n"
        "request = function()\n  i = i %% #paths + 1\n"
        "  return wrk.format('GET', paths[i])\nend\n"
        "done = function(s, latency, requests)\n"
        "  io.write(string.format('WRK %%d %%d %%d %%d %%d %%d %%d\\n',"
        " s.requests, s.errors.connect, s.errors.read, s.errors.write,"
        " s.errors.status, s.errors.timeout, latency:percentile(99)))\n"
        "end\n",
        kFirstCall, kFirstCall + 1, kFirstCall + 2, kFirstCall + 3);
    std::fclose(f);
  }
  const std::string command = "wrk -t2 -c64 -d" + std::to_string(seconds) +
                              "s --timeout 5s -s " + script + " " + url +
                              " 2>&1";
  WrkResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    long requests, connect, read, write, status, timeout, p99;
    if (std::sscanf(line, "WRK %ld %ld %ld %ld %ld %ld %ld", &requests,
                    &connect, &read, &write, &status, &timeout, &p99) == 7) {
      result.requests = requests;
      result.failures = connect + read + write + status + timeout;
      char text[256];
      std::snprintf(text, sizeof text,
                    "connect %ld, read %ld, write %ld, non-2xx %ld, timeout "
                    "%ld; request p99 %.1f ms",
                    connect, read, write, status, timeout, p99 / 1000.0);
      result.line = text;
    }
  }
  pclose(pipe);
  return result;
}

void loadPart(int seconds, int repetitions) {
  std::vector<uint32_t> ids;
  for (int i = 0; i < kCalls; ++i) ids.push_back(kFirstCall + i);
  SampleCalls calls(ids);
  ostrel::InspectorOptions options;
  options.journalDepth = 64;
  std::printf(
      "load: %d engine threads, wrk -c64 for %d s per run, %d "
      "interleaved repetitions\n",
      kEngineThreads, seconds, repetitions);
  for (int rep = 0; rep < repetitions; ++rep) {
    Latencies baseline = runEngine(seconds);
    Latencies loaded;
    WrkResult wrk;
    {
      ostrel::Inspector inspector(options);
      if (!inspector.Running()) {
        std::printf("inspector: %s\n", inspector.Error().c_str());
        return;
      }
      std::thread client([&] { wrk = runWrk(inspector.Url(), seconds); });
      loaded = runEngine(seconds);
      client.join();
    }
    const double b50 = baseline.Percentile(0.5),
                 b99 = baseline.Percentile(0.99),
                 b999 = baseline.Percentile(0.999);
    const double l50 = loaded.Percentile(0.5), l99 = loaded.Percentile(0.99),
                 l999 = loaded.Percentile(0.999);
    std::printf(
        "run %d: engine reads %zu / %zu; read p50 %.0f / %.0f ns, p99 %.0f / "
        "%.0f ns, p99.9 %.0f / %.0f ns (baseline / with inspector): p99.9 "
        "ratio %.2f\n",
        rep + 1, baseline.ns.size(), loaded.ns.size(), b50, l50, b99, l99, b999,
        l999, b999 > 0 ? l999 / b999 : 0.0);
    if (wrk.requests < 0) {
      std::printf("run %d: wrk did not run (is it installed?)\n", rep + 1);
    } else {
      std::printf("run %d: wrk %ld requests (%.0f/s), failed %ld (%s)\n",
                  rep + 1, wrk.requests,
                  static_cast<double>(wrk.requests) / seconds, wrk.failures,
                  wrk.line.c_str());
    }
  }
}

void scrapePart() {
  std::vector<uint32_t> ids;
  for (uint32_t i = 0; i < 1000; ++i) ids.push_back(100000 + i);
  SampleCalls calls(ids);
  ostrel::Inspector inspector{ostrel::InspectorOptions()};
  const uint16_t port = inspector.Port();
  for (const char* target : {"/metrics", "/api/v1/calls"}) {
    std::vector<double> ms;
    size_t bytes = 0;
    for (int i = 0; i < 5; ++i) {
      const auto start = Clock::now();
      const ostrel::inspect::RawAnswer answer = ostrel::inspect::Exchange(
          port, "GET", target, ostrel::inspect::LocalHost(port));
      ms.push_back(
          std::chrono::duration<double, std::milli>(Clock::now() - start)
              .count());
      bytes = answer.body.size();
      if (answer.status != 200)
        std::printf("%s: HTTP %d\n", target, answer.status);
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "scrape of 1,000 calls (4 statistics objects each) %s: "
        "%zu bytes, median %.1f ms (min %.1f, max %.1f) over 5\n",
        target, bytes, ms[2], ms[0], ms[4]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const int repetitions = argc > 2 ? std::atoi(argv[2]) : 2;
  scrapePart();
  loadPart(seconds, repetitions);
  return 0;
}
