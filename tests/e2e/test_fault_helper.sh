# The network helper killed, missing or not executable: Quorvel keeps running
# with its window, says what happened, and brings a killed helper back.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
start_quorvel
helper_pid() { pgrep -P "$quorvel_pid" -f quorvel-netstat || true; }
wait_for 3000 bash -c "pgrep -P $quorvel_pid -f quorvel-netstat >/dev/null" || fail "no helper"
first=$(helper_pid)
kill -9 "$first"
restarted() { local now; now=$(helper_pid); [ -n "$now" ] && [ "$now" != "$first" ]; }
wait_for 8000 restarted || fail "the killed helper did not come back"
grep -q "The network helper was killed; starting it again" "$log" || fail "no log line"
kill -0 "$quorvel_pid" || fail "Quorvel is gone"
stat_window_mapped || fail "the window is gone"
kill "$quorvel_pid"; wait "$quorvel_pid" || true

# Missing, then not executable: a copy of the program without a usable helper.
mkdir -p "$work/bin"
original_dir=$(dirname "$QUORVEL")
cp "$QUORVEL" "$work/bin/quorvel"
for variant in missing not-executable; do
  if [ "$variant" = not-executable ]; then
    cp "$original_dir/quorvel-netstat" "$work/bin/quorvel-netstat"
    chmod -x "$work/bin/quorvel-netstat"
  fi
  : >"$log"
  QUORVEL="$work/bin/quorvel"
  stat_id=""
  start_quorvel
  sleep 1.5
  grep -q "Cannot start the network helper" "$log" || fail "$variant: no clear message"
  [ "$(grep -c "Cannot start the network helper" "$log")" = 1 ] || fail "$variant: said more than once"
  kill -0 "$quorvel_pid" || fail "$variant: Quorvel is gone"
  stat_window_mapped || fail "$variant: no window"
  kill "$quorvel_pid"; wait "$quorvel_pid" || true
done
echo PASS
