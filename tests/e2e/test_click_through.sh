# Clicks on the stat window reach the window beneath it, from the first frame
# the window manager puts around it: five starts, each clicked at once.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
xev -geometry 400x200+600+0 -event button >"$work/xev.log" 2>&1 &
pids+=($!)
sleep 0.5
for run in 1 2 3 4 5; do
  : >"$work/xev.log"
  start_quorvel
  sleep 0.2 # the window manager frames the window
  read -r x y w h <<<"$(stat_geometry)"
  xdotool mousemove $(( x + 20 )) $(( y + 30 ))
  xdotool click 1
  wait_for 2000 grep -q ButtonPress "$work/xev.log" ||
    fail "run $run: the click did not reach the window beneath: pointer $(xdotool getmouselocation), xev: $(cat "$work/xev.log"), $(xwininfo -root -tree | grep -B1 -A2 -E 'quorvel|Event Tester')"
  stat_window_mapped || fail "run $run: the stat window went away"
  kill "$quorvel_pid"
  wait "$quorvel_pid" 2>/dev/null || true
  stat_id=""
  wait_for 2000 eval '[ -z "$(stat_window)" ]' || fail "run $run: Quorvel did not quit"
done
echo PASS
