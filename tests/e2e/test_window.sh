# The stat window: its window-manager state, and re-placement when the screen
# changes. (Size and corners: desktop_manners.sh, test_second_screen.sh.)
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
start_quorvel
width=$(( 66 * $(graph_count) - 2 ))

id=$(stat_window)
state=$(xprop -id "$id" _NET_WM_STATE)
for s in ABOVE SKIP_TASKBAR SKIP_PAGER; do
  echo "$state" | grep -q "_NET_WM_STATE_$s" || fail "no $s in $state"
done

check_corner() { read -r x y w h <<<"$(stat_geometry)"; [ "$x $y" = "$1 $2" ]; }
# A smaller screen: the window follows its corner.
xrandr --newmode 800x600 40 800 840 968 1056 600 601 605 628 >/dev/null 2>&1
xrandr --addmode screen 800x600
xrandr --output screen --mode 800x600
wait_for 2000 check_corner $(( 800 - width )) 0 || fail "after the screen change: $(stat_geometry)"
xrandr --output screen --mode 1024x768
wait_for 2000 check_corner $(( 1024 - width )) 0 || fail "after the screen came back: $(stat_geometry)"
echo PASS
