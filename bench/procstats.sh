# Reads what a process and its children cost, from /proc. Sourced by the
# soak and cost scripts.

# The process and its direct children, one pid a line.
family() { echo "$1"; pgrep -P "$1" || true; }

# CPU ticks (user + system) of the process, its threads and its live children.
cpu_ticks() {
  local total=0 p
  for p in $(family "$1"); do
    [ -r "/proc/$p/stat" ] || continue
    # Fields after the command name: utime is 14th, stime 15th overall.
    total=$(( total + $(sed 's/^.*) //' "/proc/$p/stat" | awk '{print $12 + $13}') ))
  done
  echo "$total"
}

# Context switches, voluntary and not, over every thread of the family.
context_switches() {
  local total=0 p t
  for p in $(family "$1"); do
    for t in /proc/"$p"/task/*; do
      [ -r "$t/status" ] || continue
      total=$(( total + $(awk '/_ctxt_switches/ {s += $2} END {print s + 0}' "$t/status") ))
    done
  done
  echo "$total"
}

# kB of resident and proportional set size over the family.
memory_kb() { # pid Rss|Pss
  local total=0 p
  for p in $(family "$1"); do
    [ -r "/proc/$p/smaps_rollup" ] || continue
    total=$(( total + $(awk -v k="$2:" '$1 == k {print $2}' "/proc/$p/smaps_rollup") ))
  done
  echo "$total"
}

# CPU time per minute and context switches per second of a process and its
# children over SECONDS, printed as "MS_PER_MIN SWITCHES_PER_S": perf's
# task-clock where perf can count (/proc counts whole scheduler ticks, too
# coarse for programs this quiet), /proc's ticks elsewhere.
cost_over() { # pid seconds
  local t0 c0 s0 ms="" t1 c1 s1
  t0=$(cpu_ticks "$1"); c0=$(context_switches "$1"); s0=$(date +%s%N)
  if command -v perf >/dev/null && perf stat -e task-clock true >/dev/null 2>&1; then
    ms=$(perf stat -x, -e task-clock -p "$(family "$1" | paste -sd,)" -- sleep "$2" 2>&1 |
         awk -F, '/task-clock/ {print $1}')
  else
    sleep "$2"
  fi
  t1=$(cpu_ticks "$1"); c1=$(context_switches "$1"); s1=$(date +%s%N)
  [ -n "$ms" ] || ms=$(( (t1 - t0) * 1000 / $(getconf CLK_TCK) ))
  awk -v ms="$ms" -v c=$((c1 - c0)) -v s0="$s0" -v s1="$s1" \
    'BEGIN {s = (s1 - s0) / 1e9; printf "%.1f %.2f\n", ms * 60 / s, c / s}'
}

open_fds() { ls "/proc/$1/fd" 2>/dev/null | wc -l; }
threads() { ls "/proc/$1/task" 2>/dev/null | wc -l; }
children() { pgrep -P "$1" | wc -l; }

# A home of its own for one run: settings and runtime directories under a
# temporary $work, removed on exit.
private_quorvel_home() {
  work=$(mktemp -d)
  trap "rm -rf $work" EXIT
  export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
  mkdir -p "$XDG_CONFIG_HOME/Quorvel" && mkdir -m 700 "$XDG_RUNTIME_DIR"
}
