#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build directory of their own
# and runs each for a given time, failing on any crash, sanitizer report,
# leak or timeout.
#
#   fuzz/run.sh [seconds per target, default 60] [target ...]
#
# Targets default to json_reader_fuzz, apply_fuzz and inspect_routing_fuzz.
# Each starts from its seed corpus (fuzz/corpus/<name without _fuzz>) and
# keeps what it finds in <build>/fuzz-work/<target>/corpus; crashing inputs
# go to .../artifacts.
# Environment: OSTREL_FUZZ_BUILD_DIR (default build-fuzz in the source
# tree), JOBS (build parallelism, default 2), FUZZ_TIMEOUT (seconds one
# input may take, default 10).
set -euo pipefail

seconds=${1:-60}
if [ $# -gt 0 ]; then shift; fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=(json_reader_fuzz apply_fuzz inspect_routing_fuzz); fi
case "$seconds" in
  ''|*[!0-9]*) echo "run.sh: seconds must be a whole number" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${OSTREL_FUZZ_BUILD_DIR:-$root/build-fuzz}
timeout_per_input=${FUZZ_TIMEOUT:-10}

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE= \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g -O1" \
  -DOSTREL_BUILD_FUZZERS=ON -DOSTREL_BUILD_TESTS=OFF \
  -DOSTREL_BUILD_TOOLS=OFF -DOSTREL_BUILD_BENCHMARKS=OFF >/dev/null
ninja -C "$build" -j"${JOBS:-2}" "${targets[@]}"

status=0
for target in "${targets[@]}"; do
  work=$build/fuzz-work/$target
  seeds=$root/fuzz/corpus/${target%_fuzz}
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "== $target: ${seconds}s"
  set +e
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$build/fuzz/$target" -max_total_time="$seconds" \
      -timeout="$timeout_per_input" -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds" \
      >"$work/log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -n 1)
  echo "$target: ${runs:-?} runs, ${rate:-?} executions per second"
  if [ $rc -ne 0 ]; then
    echo "$target FAILED (exit $rc); log: $work/log" >&2
    grep -E "ERROR|SUMMARY|runtime error|Test unit written" "$work/log" >&2 || true
    status=1
  fi
done
exit $status
