#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# (default 45 s; QUORVEL_FUZZ_SECONDS or the first argument). Seeds come from
# the test fixtures; new inputs collect in build-fuzz/corpus/<target>. A crash
# stops the run with the failing input saved as build-fuzz/crash-<target>-*;
# add it to tests/fixtures/fuzz/<target>/ and to a unit test.
#
# For a long local run: scripts/fuzz.sh 3600
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-${QUORVEL_FUZZ_SECONDS:-45}}"
build=build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DQUORVEL_FUZZ=ON -DBUILD_TESTING=OFF \
  -DQUORVEL_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug -Wno-dev >/dev/null
cmake --build "$build" --target fuzzers -j"$(nproc)"

seeds() {
  case "$1" in
    fuzz_netstat_chunk) echo tests/fixtures/fuzz/netstat ;;
    fuzz_proc_stat) echo tests/fixtures/proc ;;
    fuzz_net_dev) echo tests/fixtures/netdev ;;
    fuzz_property_list) echo resources ;;
    fuzz_reopen_request) echo tests/fixtures/fuzz/reopen ;;
    fuzz_settings_text) echo tests/fixtures/fuzz/settings ;;
    fuzz_node_metrics) echo tests/fixtures/node_exporter ;;
    fuzz_gpu_sysfs) echo tests/fixtures/drm ;;
    fuzz_http_response) echo tests/fixtures/fuzz/http ;;
    fuzz_prometheus_answer) echo tests/fixtures/prometheus ;;
  esac
}

for target in fuzz_netstat_chunk fuzz_proc_stat fuzz_net_dev fuzz_property_list \
              fuzz_reopen_request fuzz_settings_text fuzz_node_metrics fuzz_gpu_sysfs \
              fuzz_http_response fuzz_prometheus_answer; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target: ${seconds}s"
  # Known Qt/fontconfig allocations that live for the process are not leaks of ours.
  if ! ASAN_OPTIONS=detect_leaks=0 "$build/tests/fuzz/$target" -max_total_time="$seconds" \
      -artifact_prefix="$build/crash-$target-" "$corpus" "$(seeds "$target")" \
      >"$build/$target.log" 2>&1; then
    tail -n 40 "$build/$target.log" >&2
    echo "$target found a crash" >&2
    exit 1
  fi
  grep -E "^#[0-9]+.*DONE" "$build/$target.log" | tail -n 1 || tail -n 2 "$build/$target.log"
done
echo "fuzzing: no crash"
