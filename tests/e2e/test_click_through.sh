# Clicks on the stat window reach the window beneath it.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
xev -geometry 400x200+600+0 -event button >"$work/xev.log" 2>&1 &
pids+=($!)
sleep 0.5
start_quorvel
sleep 0.5 # let the window manager finish framing both windows
read -r x y w h <<<"$(stat_geometry)"
xdotool mousemove $(( x + 20 )) $(( y + 30 ))
sleep 0.2
xdotool click 1
wait_for 2000 grep -q ButtonPress "$work/xev.log" ||
  fail "the click did not reach the window beneath: pointer $(xdotool getmouselocation), xev: $(cat "$work/xev.log"), $(xwininfo -root -tree | grep -B1 -A2 -E 'quorvel|Event Tester')"
stat_window_mapped || fail "the stat window went away"
echo PASS
