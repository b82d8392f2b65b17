#!/usr/bin/env bash
# Runs Quorvel on a virtual X display for a given time (default 600 s) with
# "CPUInterval" 0.05 and prints its RSS, open files, threads and children at the
# start and at the end.
#   bench/soak.sh [seconds]      (build first: scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
export QUORVEL_SOAK_SECONDS="$seconds"
exec scripts/with-x-desktop.sh bash -c '
  set -euo pipefail
  source bench/procstats.sh
  private_quorvel_home
  printf "[General]\nCPUInterval=0.05\nAutoHide=false\n" >$XDG_CONFIG_HOME/Quorvel/Quorvel.conf
  "${QUORVEL_BUILD_DIR:-build}/quorvel" 2>$work/log &
  pid=$!
  sleep 10 # start-up and the first full graphs
  report() {
    printf "%-6s rss %6d kB  pss %6d kB  fds %3d  threads %2d  children %d\n" "$1" \
      "$(memory_kb $pid Rss)" "$(memory_kb $pid Pss)" "$(open_fds $pid)" "$(threads $pid)" "$(children $pid)"
  }
  report start
  sleep "$QUORVEL_SOAK_SECONDS"
  report end
  kill $pid; wait $pid || true
'
