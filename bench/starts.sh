#!/usr/bin/env bash
# The spread of Quorvel's steady cost over fresh starts: each of N starts at
# the defaults on a fresh virtual X desktop (Xvfb, openbox and xcompmgr) with a
# fresh home, and after a warm-up, the main thread's wake-ups (voluntary
# context switches) per second and CPU time, and the helper's CPU time, from
# /proc/<pid>/task/*/schedstat.
#   bench/starts.sh [starts] [seconds] [warm-up seconds]   (build first)
# QUORVEL_BUILD_DIR picks the build (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
export QUORVEL_SECONDS="${2:-30}" QUORVEL_WARMUP="${3:-8}"
printf "%-5s %14s %14s %16s %14s\n" start "main wakes/s" "main ms/min" "other threads" "helper ms/min"
for n in $(seq "${1:-10}"); do
  QUORVEL_START=$n scripts/with-x-desktop.sh bash -c '
    set -euo pipefail
    source bench/procstats.sh
    private_quorvel_home
    # CPU nanoseconds and voluntary switches of one thread.
    thread_ns() { awk "{print \$1}" "$1/schedstat"; }
    thread_switches() { awk "/^voluntary_ctxt_switches/ {print \$2}" "$1/status"; }
    others_ns() { # every thread but the main one
      local sum=0 t
      for t in /proc/$1/task/*; do [ "$t" = /proc/$1/task/$1 ] || sum=$((sum + $(thread_ns $t))); done
      echo $sum
    }
    "${QUORVEL_BUILD_DIR:-build}/quorvel" >"$work/log" 2>&1 &
    pid=$!
    sleep "$QUORVEL_WARMUP"
    helper=$(pgrep -P $pid quorvel-netstat || true)
    m0=$(thread_ns /proc/$pid/task/$pid) w0=$(thread_switches /proc/$pid/task/$pid)
    o0=$(others_ns $pid) h0=$(thread_ns /proc/$helper/task/$helper)
    sleep "$QUORVEL_SECONDS"
    m1=$(thread_ns /proc/$pid/task/$pid) w1=$(thread_switches /proc/$pid/task/$pid)
    o1=$(others_ns $pid) h1=$(thread_ns /proc/$helper/task/$helper)
    awk -v n=$QUORVEL_START -v s=$QUORVEL_SECONDS -v w=$((w1 - w0)) -v m=$((m1 - m0)) \
      -v o=$((o1 - o0)) -v h=$((h1 - h0)) "BEGIN {printf \"%-5d %14.2f %14.1f %16.1f %14.1f\n\",
        n, w / s, m / 1e6 * 60 / s, o / 1e6 * 60 / s, h / 1e6 * 60 / s}"
    kill $pid; wait $pid 2>/dev/null || true
  '
done
