# A settings file full of garbage, at start and while running: Quorvel runs on
# what it has, says so, and leaves the file exactly as it is. (A FIFO in the
# file's place: tests/app/ProgramTest.cpp.)
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

echo PASS
