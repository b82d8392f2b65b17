# A settings file full of garbage, at start and while running: Quorvel runs on
# what it has, says so, and leaves the file exactly as it is.
source "$(dirname "$0")/lib.sh"
head -c 4096 /dev/urandom >"$settings"
cp "$settings" "$work/original"
start_quorvel
grep -q "cannot be read" "$log" || fail "no message about the unreadable file"
sleep 1
cmp -s "$settings" "$work/original" || fail "the unreadable file was changed"

# Now a good file, then garbage again while running.
printf '[General]\nWindowPosition=2\nAutoHide=false\n' >"$settings"
check_bottom() { read -r x y w h <<<"$(stat_geometry)"; [ "$y" = $(( 768 - 64 )) ]; }
wait_for 2000 check_bottom || fail "the good file was not picked up"
printf '\x00\x01garbage while running' >"$settings"
cp "$settings" "$work/garbage"
sleep 1
kill -0 "$quorvel_pid" || fail "Quorvel is gone"
check_bottom || fail "garbage moved the window"
stat_window_mapped || fail "no window"
cmp -s "$settings" "$work/garbage" || fail "the garbage file was changed"
kill "$quorvel_pid"; wait "$quorvel_pid" || true
cmp -s "$settings" "$work/garbage" || fail "the garbage file was changed at exit"

# A FIFO in the file's place, at start: never opened, so Quorvel does not wait
# for a writer; it shows its window on the defaults (top right) and a second
# start hands over to it.
rm -f "$settings"; mkfifo "$settings"
stat_id=""
start_quorvel
read -r x y w h <<<"$(stat_geometry)"
[ "$y" = 0 ] && [ $(( x + w )) = 1024 ] || fail "not on the defaults: $x $y $w $h"
grep -q "it is a FIFO" "$log" || fail "no message about the FIFO"
timeout 5 "$QUORVEL" >>"$log" 2>&1 || fail "a second start did not hand over"
kill "$quorvel_pid"; wait "$quorvel_pid" || true
[ -p "$settings" ] || fail "the FIFO was replaced"
rm -f "$settings"

# A file that cannot be read (not for root, who reads everything).
if [ "$(id -u)" != 0 ]; then
  printf '[General]\nAutoHide=false\n' >"$settings"
  chmod 000 "$settings"
  stat_id=""
  start_quorvel
  grep -q "cannot be read" "$log" || fail "no message about the unreadable file"
  chmod 600 "$settings"
fi
echo PASS
