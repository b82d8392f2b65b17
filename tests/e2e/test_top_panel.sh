# A panel along the top of the screen: the stat window sits below it.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
# A dock reserving 22 units at the top, as a desktop panel does.
xmessage -geometry 1024x22+0+0 -name quorvel-test-panel panel &
pids+=($!)
wait_for 3000 bash -c "xwininfo -root -tree | grep -q quorvel-test-panel"
panel=$(xwininfo -root -tree | awk '/quorvel-test-panel/ && !found {print $1; found=1}')
xprop -id "$panel" -f _NET_WM_STRUT_PARTIAL 32c -set _NET_WM_STRUT_PARTIAL "0, 0, 22, 0, 0, 0, 0, 0, 0, 1023, 0, 0"
xprop -id "$panel" -f _NET_WM_STRUT 32c -set _NET_WM_STRUT "0, 0, 22, 0"
workarea_lowered() { xprop -root _NET_WORKAREA | grep -q "= 0, 22, 1024, 746"; }
wait_for 2000 workarea_lowered || fail "the window manager did not reserve the panel: $(xprop -root _NET_WORKAREA)"
start_quorvel
check_y() { read -r x y w h <<<"$(stat_geometry)"; [ "$y" = "$1" ]; }
wait_for 2000 check_y 22 || fail "expected below the panel at y 22: $(stat_geometry)"
set_setting WindowPosition 3
wait_for 2000 check_y $(( 768 - 64 )) || fail "bottom corners use the screen's edge: $(stat_geometry)"
echo PASS
