# Shared by the test desktop scripts (sourced).

# A display number nobody uses, from $1 on: no lock, no socket, and no server
# answering (a server may still hold the abstract socket after its files are
# gone). Any number up to X's limit will do: a busy machine may hold hundreds.
free_display() {
  local n
  for n in $(seq "$1" 32767); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] &&
      ! xdpyinfo -display ":$n" >/dev/null 2>&1; then
      echo "$n"
      return 0
    fi
  done
  return 1
}

# True once process $1 has ended: gone, or a zombie waiting to be reaped.
ended() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null || true)
  [[ -z $state || $state == Z* ]]
}

# end_within SECONDS PID...: sends each SIGTERM and gives each the time to
# end; one still there is named and killed with SIGKILL (with its process
# group, where it leads one), so that a teardown never hangs. Fails if one had
# to be killed.
end_within() {
  local seconds=$1 p _ killed=0
  shift
  for p in "$@"; do kill -- "-$p" 2>/dev/null || kill "$p" 2>/dev/null || true; done
  for p in "$@"; do
    for _ in $(seq $((seconds * 10))); do ended "$p" && break; sleep 0.1; done
    ended "$p" && continue
    echo "$(ps -o comm=,stat=,wchan= -p "$p") ($p) did not end within $seconds s of SIGTERM; killed" >&2
    kill -KILL -- "-$p" 2>/dev/null || kill -KILL "$p" 2>/dev/null || true
    killed=1
  done
  return "$killed"
}
