# Panels that keep their room (struts): below one along the top, the top
# corners sit under it; with one along the bottom, the bottom corners sit above
# it, not over its tray and clock, and move back down when it goes.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
read -r screen_w screen_h <<<"$(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')"
# A dock reserving 22 units at the top, as a desktop panel does.
xmessage -geometry "${screen_w}x22+0+0" -name quorvel-test-panel panel &
pids+=($!)
wait_for 3000 bash -c "xwininfo -root -tree | grep -q quorvel-test-panel"
panel=$(xwininfo -root -tree | awk '/quorvel-test-panel/ && !found {print $1; found=1}')
xprop -id "$panel" -f _NET_WM_STRUT_PARTIAL 32c -set _NET_WM_STRUT_PARTIAL "0, 0, 22, 0, 0, 0, 0, 0, 0, $((screen_w - 1)), 0, 0"
xprop -id "$panel" -f _NET_WM_STRUT 32c -set _NET_WM_STRUT "0, 0, 22, 0"
wait_for 2000 eval 'xprop -root _NET_WORKAREA | grep -q "= 0, 22, $screen_w, $((screen_h - 22))"' ||
  fail "the window manager did not reserve the panel: $(xprop -root _NET_WORKAREA)"
start_quorvel
# at LEFT TOP RIGHT BOTTOM: the stat window's edges, "-" for any.
at() {
  local x y w h
  read -r x y w h <<<"$(stat_geometry)"
  [[ $1 == - || $x == "$1" ]] && [[ $2 == - || $y == "$2" ]] &&
    [[ $3 == - || $((x + w)) == "$3" ]] && [[ $4 == - || $((y + h)) == "$4" ]]
}
wait_for 2000 at - 22 "$screen_w" - || fail "not below the top panel: $(stat_geometry)"
set_setting WindowPosition 3
wait_for 2000 at - - "$screen_w" "$screen_h" || fail "not in the bottom corner: $(stat_geometry)"

trayer --edge bottom --align center --widthtype percent --width 100 --height 30 \
  --SetDockType true --SetPartialStrut true --transparent false --tint 0x3355aa \
  >/dev/null 2>&1 &
panel_pid=$!
pids+=("$panel_pid")
above_panel=$((screen_h - 30))
wait_for 5000 at - - "$screen_w" "$above_panel" || fail "bottom right covers the panel: $(stat_geometry)"
set_setting WindowPosition 2
wait_for 2000 at 0 - - "$above_panel" || fail "bottom left covers the panel: $(stat_geometry)"
screenshot bottom-panel
set_setting WindowPosition 1
wait_for 2000 at - 22 "$screen_w" - || fail "top right moved: $(stat_geometry)"

set_setting WindowPosition 3
kill "$panel_pid"
wait_for 3000 at - - "$screen_w" "$screen_h" || fail "not back in the corner once the panel went: $(stat_geometry)"
echo PASS
