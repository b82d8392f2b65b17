#!/usr/bin/env bash
# Runs Quorvel at its defaults, then conky (Debian's conky-std, two per-core
# CPU graphs and down/up graphs every second), on the same virtual X display,
# each for 60 s after a 10 s warm-up, and prints for each: CPU time per minute
# (all threads and children), context switches per second, RSS and PSS. Then
# the two ratios that matter (Quorvel's CPU to conky's, Quorvel's PSS) and
# Quorvel's start-up time: from starting the program to its stat window being
# mapped, the median of five starts.
#   bench/cost.sh [seconds]      (build first: scripts/build.sh)
# QUORVEL_COST_SETTINGS, settings lines ("ShowDiskGraph=true", one a line),
# measures Quorvel with them instead of its defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v conky >/dev/null || {
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq conky-std >/dev/null
}
export QUORVEL_COST_SECONDS="${1:-60}"
exec scripts/with-x-desktop.sh bash -c '
  set -euo pipefail
  source bench/procstats.sh
  private_quorvel_home
  [ -z "${QUORVEL_COST_SETTINGS:-}" ] ||
    printf "[General]\n%s\n" "$QUORVEL_COST_SETTINGS" >"$XDG_CONFIG_HOME/Quorvel/Quorvel.conf"
  iface=$(awk -F: "NR > 2 && \$1 !~ /lo/ {gsub(/ /, \"\", \$1); print \$1; exit}" /proc/net/dev)
  cat >$work/conky.conf <<CONKY
conky.config = {
  update_interval = 1, own_window = true, own_window_type = "override",
  double_buffer = true, alignment = "top_right", background = false,
  out_to_console = false, use_xft = true,
}
conky.text = [[
CPU1 \${cpugraph cpu1 32,120}
CPU2 \${cpugraph cpu2 32,120}
down \${downspeedgraph $iface 32,120}
up   \${upspeedgraph $iface 32,120}
]]
CONKY
  measure() { # name command...
    local name=$1; shift
    "$@" >$work/$name.log 2>&1 &
    local pid=$!
    sleep 10
    local cpu switches
    read -r cpu switches <<<"$(cost_over $pid "$QUORVEL_COST_SECONDS")"
    awk -v n=$name -v cpu=$cpu -v sw=$switches \
        -v rss=$(memory_kb $pid Rss) -v pss=$(memory_kb $pid Pss) \
        "BEGIN {printf \"%-8s cpu %7.1f ms/min  switches %6.1f /s  rss %6d kB  pss %6d kB\n\", n, cpu, sw, rss, pss}" |
      tee -a $work/results
    kill $pid; wait $pid 2>/dev/null || true
  }
  # Milliseconds from starting Quorvel to its stat window being mapped.
  startup_ms() {
    local t0 id="" pid
    rm -rf "$XDG_CONFIG_HOME/Quorvel"/*
    t0=$(date +%s%N)
    "${QUORVEL_BUILD_DIR:-build}/quorvel" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 2000); do
      [ -n "$id" ] || id=$(xwininfo -root -tree | awk "/\\(\"quorvel\" \"Quorvel\"\\)  [0-9][0-9][0-9]/ {print \$1; exit}")
      [ -n "$id" ] && xwininfo -id "$id" | grep -q IsViewable && break
      sleep 0.002
    done
    echo $(( ($(date +%s%N) - t0) / 1000000 ))
    kill $pid; wait $pid 2>/dev/null || true
  }
  measure quorvel "${QUORVEL_BUILD_DIR:-build}/quorvel"
  measure conky conky -c $work/conky.conf
  starts=$(for _ in 1 2 3 4 5; do startup_ms; done | sort -n | paste -sd" ")
  awk -v starts="$starts" "
    \$1 == \"quorvel\" {qcpu = \$3; qpss = \$12}
    \$1 == \"conky\" {ccpu = \$3}
    END {
      split(starts, s, \" \")
      printf \"CPU, Quorvel to conky: %.2f (goal: at most 0.5)\\n\", qcpu / ccpu
      printf \"PSS, Quorvel and helper: %.1f MB (goal: at most 20)\\n\", qpss / 1024
      printf \"Start-up to the stat window mapped: %d ms median (%s) (goal: at most 150)\\n\", s[3], starts
    }" $work/results
'
