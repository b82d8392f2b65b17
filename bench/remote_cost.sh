#!/usr/bin/env bash
# What other machines cost Quorvel: eight of Debian's prometheus-node-exporter
# on loopback and Debian's prometheus scraping them every second, and Quorvel
# on a virtual X display at its defaults ("alone"), with one exporter in
# "RemoteHosts" ("filtered": the collectors it reads), with an address that
# has a query of its own ("whole": the exporter's whole answer, as before the
# filter), and with the server's two or eight machines ("prom2", "prom8": one
# query a second for all of them), taken in turn, each for S seconds after a
# 5 s warm-up, N rounds. Prints each run's CPU time per minute and context
# switches a second (procstats.sh's cost_over: Quorvel, its threads and its
# helper) and the first exporter's over the same seconds, then each
# variant's median, its median cost above "alone" and that cost per machine,
# and last what the same request costs a client that does nothing else
# (bench/request_floor), the floor under "filtered".
#   bench/remote_cost.sh [rounds] [seconds]      (build first: scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
command -v prometheus-node-exporter >/dev/null && command -v prometheus >/dev/null ||
  scripts/install-deps.sh test
export QUORVEL_COST_ROUNDS="${1:-5}" QUORVEL_COST_SECONDS="${2:-60}"
exec scripts/with-x-desktop.sh bash -c '
  set -euo pipefail
  source bench/procstats.sh
  private_quorvel_home
  free_port() { python3 -c "import socket; s = socket.socket(); s.bind((\"127.0.0.1\", 0)); print(s.getsockname()[1])"; }
  pids=() targets=()
  for i in 1 2 3 4 5 6 7 8; do
    p=$(free_port)
    prometheus-node-exporter --web.listen-address="127.0.0.1:$p" >"$work/exporter$i.log" 2>&1 &
    pids+=($!) targets+=("\"127.0.0.1:$p\"")
  done
  exporter=${pids[0]} port=${targets[0]//[^0-9.:]/} port=${port##*:}
  server_port=$(free_port)
  list() { local IFS=,; echo "$*"; }
  printf "%s\n" "global: {scrape_interval: 1s}" "scrape_configs:" \
    "- {job_name: two, static_configs: [{targets: [$(list "${targets[@]:0:2}")]}]}" \
    "- {job_name: eight, static_configs: [{targets: [$(list "${targets[@]}")]}]}" \
    >"$work/prometheus.yml"
  prometheus --config.file="$work/prometheus.yml" --web.listen-address="127.0.0.1:$server_port" \
    --storage.tsdb.path="$work/tsdb" --log.level=warn >"$work/prometheus.log" 2>&1 &
  pids+=($!)
  trap "kill ${pids[*]} 2>/dev/null; rm -rf $work" EXIT
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/metrics" &&
      curl -sf -o /dev/null "http://127.0.0.1:$server_port/-/ready" && break
    sleep 0.1
  done
  sleep 5 # some scrapes in the server first
  run() { # variant
    local server="prometheus+http://127.0.0.1:$server_port/?match="
    case $1 in
      alone) hosts="" ;;
      filtered) hosts="http://127.0.0.1:$port/metrics" ;;
      whole) hosts="http://127.0.0.1:$port/metrics?whole=1" ;;
      prom2) hosts="${server}%7Bjob%3D%22two%22%7D" ;;
      prom8) hosts="${server}%7Bjob%3D%22eight%22%7D" ;;
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
  variants="alone filtered whole prom2 prom8"
  floor="${QUORVEL_BUILD_DIR:-build}/bench/request_floor"
  for _ in $(seq "$QUORVEL_COST_ROUNDS"); do
    for variant in $variants; do run $variant; done
    if [ -x "$floor" ]; then "$floor" "$port" "$QUORVEL_COST_SECONDS" | tee -a "$work/floor"; fi
  done
  median() { sort -n | awk "{v[NR] = \$1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}"; }
  alone=$(awk "\$1 == \"alone\" {print \$3}" "$work/results" | median)
  for variant in $variants; do
    case $variant in alone) n=0 ;; prom2) n=2 ;; prom8) n=8 ;; *) n=1 ;; esac
    m=$(awk -v v=$variant "\$1 == v {print \$3}" "$work/results" | median)
    w=$(awk -v v=$variant "\$1 == v {print \$6}" "$work/results" | median)
    awk -v v=$variant -v m=$m -v a=$alone -v w=$w -v n=$n "BEGIN {
      printf \"%-8s median %7.1f ms/min (%+.1f over alone\", v, m, m - a
      if (n > 1) printf \", %+.1f per machine\", (m - a) / n
      printf \"), %.2f switches/s\n\", w }"
  done
  if [ -s "$work/floor" ]; then
    echo "floor    median $(awk "{print \$(NF - 1)}" "$work/floor" | median) ms/min for the request alone (bench/request_floor)"
  fi
'
