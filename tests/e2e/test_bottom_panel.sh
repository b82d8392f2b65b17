# A panel along the bottom edge that keeps its room (a strut): the bottom
# corners sit above it, not over its tray and clock, and move back down when
# it goes; the top corners are where they were.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
set_setting WindowPosition 3
start_quorvel
read -r screen_w screen_h <<<"$(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')"
# at LEFT TOP RIGHT BOTTOM: the stat window's edges, "-" for any.
at() {
  local x y w h
  read -r x y w h <<<"$(stat_geometry)"
  [[ $1 == - || $x == "$1" ]] && [[ $2 == - || $y == "$2" ]] &&
    [[ $3 == - || $((x + w)) == "$3" ]] && [[ $4 == - || $((y + h)) == "$4" ]]
}
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
wait_for 2000 at - 0 "$screen_w" - || fail "top right moved: $(stat_geometry)"

set_setting WindowPosition 3
kill "$panel_pid"
wait_for 3000 at - - "$screen_w" "$screen_h" || fail "not back in the corner once the panel went: $(stat_geometry)"
echo PASS
