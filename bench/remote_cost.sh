#!/usr/bin/env bash
# What one other machine costs Quorvel: Debian's prometheus-node-exporter on
# loopback, and Quorvel on a virtual X display at its defaults ("alone"),
# with the exporter in "RemoteHosts" ("filtered": the collectors it reads),
# and with an address that has a query of its own ("whole": the exporter's
# whole answer, as before the filter), taken in turn, each for S seconds after
# a 5 s warm-up, N rounds. Prints each run's CPU time per minute and context
# switches a second (procstats.sh's cost_over: Quorvel, its threads and its
# helper) and the exporter's over the same seconds, then each variant's
# median and its median cost above "alone".
#   bench/remote_cost.sh [rounds] [seconds]      (build first: scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
command -v prometheus-node-exporter >/dev/null || {
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq prometheus-node-exporter >/dev/null
}
export QUORVEL_COST_ROUNDS="${1:-5}" QUORVEL_COST_SECONDS="${2:-60}"
exec scripts/with-x-desktop.sh bash -c '
  set -euo pipefail
  source bench/procstats.sh
  private_quorvel_home
  port=$(python3 -c "import socket; s = socket.socket(); s.bind((\"127.0.0.1\", 0)); print(s.getsockname()[1])")
  prometheus-node-exporter --web.listen-address="127.0.0.1:$port" >"$work/exporter.log" 2>&1 &
  exporter=$!
  trap "kill $exporter 2>/dev/null; rm -rf $work" EXIT
  for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$port/metrics" && break
    sleep 0.1
  done
  run() { # variant
    case $1 in
      alone) hosts="" ;;
      filtered) hosts="http://127.0.0.1:$port/metrics" ;;
      whole) hosts="http://127.0.0.1:$port/metrics?whole=1" ;;
    esac
    printf "[General]\nRemoteHosts=%s\n" "$hosts" >"$XDG_CONFIG_HOME/Quorvel/Quorvel.conf"
    "${QUORVEL_BUILD_DIR:-build}/quorvel" >"$work/$1.log" 2>&1 &
    local pid=$!
    sleep 5
    local cpu switches exporter_cpu
    cost_over $exporter "$QUORVEL_COST_SECONDS" >"$work/exporter-cost" &
    read -r cpu switches <<<"$(cost_over $pid "$QUORVEL_COST_SECONDS")"
    wait $!
    read -r exporter_cpu _ <"$work/exporter-cost"
    printf "%-8s cpu %7.1f ms/min  switches %6.2f /s  exporter %7.1f ms/min\n" $1 "$cpu" "$switches" "$exporter_cpu" |
      tee -a "$work/results"
    kill $pid; wait $pid 2>/dev/null || true
  }
  for _ in $(seq "$QUORVEL_COST_ROUNDS"); do
    for variant in alone filtered whole; do run $variant; done
  done
  median() { sort -n | awk "{v[NR] = \$1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}"; }
  alone=$(awk "\$1 == \"alone\" {print \$3}" "$work/results" | median)
  for variant in alone filtered whole; do
    m=$(awk -v v=$variant "\$1 == v {print \$3}" "$work/results" | median)
    w=$(awk -v v=$variant "\$1 == v {print \$6}" "$work/results" | median)
    awk -v v=$variant -v m=$m -v a=$alone -v w=$w \
      "BEGIN {printf \"%-8s median %7.1f ms/min (%+.1f over alone), %.2f switches/s\n\", v, m, m - a, w}"
  done
'
