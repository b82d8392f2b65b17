# "Screen" puts the stat window on a screen of its own choosing: one screen
# split into two RandR monitors, LEFT (the primary) and RIGHT. In each corner
# of RIGHT; RIGHT removed, it goes to the primary screen, and back when RIGHT
# returns.
source "$(dirname "$0")/lib.sh"
read -r screen_w screen_h <<<"$(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')"
half=$((screen_w / 2))
xrandr --setmonitor LEFT "$half/169x$screen_h/212+0+0" screen
xrandr --setmonitor RIGHT "$half/169x$screen_h/212+$half+0" none
set_setting AutoHide false
set_setting Screen RIGHT
set_setting WindowPosition 0
start_quorvel
width=$(( 66 * $(graph_count) - 2 ))
at() { read -r x y w h <<<"$(stat_geometry)"; [ "$x $y" = "$1 $2" ]; }
for corner in "0 $half 0" "1 $((screen_w - width)) 0" "2 $half $((screen_h - 64))" \
  "3 $((screen_w - width)) $((screen_h - 64))"; do
  read -r position x y <<<"$corner"
  set_setting WindowPosition "$position"
  wait_for 3000 at "$x" "$y" || fail "RIGHT, position $position: $(stat_geometry), not $x $y"
done
screenshot second-screen
set_setting WindowPosition 0
wait_for 3000 at "$half" 0 || fail "not back at RIGHT's top left: $(stat_geometry)"
xrandr --delmonitor RIGHT
wait_for 3000 at 0 0 || fail "RIGHT gone, but not on the primary screen: $(stat_geometry)"
xrandr --setmonitor RIGHT "$half/169x$screen_h/212+$half+0" none
wait_for 3000 at "$half" 0 || fail "RIGHT back, but the window is not: $(stat_geometry)"
set_setting Screen ""
wait_for 3000 at 0 0 || fail "empty Screen: not on the primary screen: $(stat_geometry)"
echo PASS
