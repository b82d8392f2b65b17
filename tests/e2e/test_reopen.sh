# Starting Quorvel again brings the running copy's preferences forward.
source "$(dirname "$0")/lib.sh"
start_quorvel
"$QUORVEL" >"$work/second.log" 2>&1 && status=0 || status=$?
[ "$status" = 0 ] || fail "the second copy exited with $status"
grep -q "Another copy is running." "$work/second.log" || fail "no log line from the second copy"
prefs_mapped() {
  local id; id=$(xwininfo -root -tree | awk '/"Preferences — Quorvel"/ && !found {print $1; found=1}')
  [ -n "$id" ] && xwininfo -id "$id" | grep -q IsViewable
}
wait_for 2000 prefs_mapped || fail "the preferences window is not shown"
kill -0 "$quorvel_pid" || fail "the first copy is gone"
screenshot preferences
echo PASS
