# $XDG_RUNTIME_DIR unset, or naming a directory that does not exist: Quorvel
# still runs, and still only once.
source "$(dirname "$0")/lib.sh"
second_copy_finds_the_first() {
  timeout 10 "$QUORVEL" >"$work/second.log" 2>&1 || fail "$1: the second copy failed: $(cat "$work/second.log")"
  grep -q "Another copy is running." "$work/second.log" || fail "$1: the second copy did not find the first"
  kill -0 "$quorvel_pid" || fail "$1: Quorvel is gone"
  stat_window_mapped || fail "$1: no window"
  kill "$quorvel_pid"; wait "$quorvel_pid" || true
}
export XDG_RUNTIME_DIR="$work/missing-runtime"
start_quorvel
second_copy_finds_the_first "missing directory"

unset XDG_RUNTIME_DIR
stat_id=""
start_quorvel
second_copy_finds_the_first "no variable"
echo PASS
