# Turning the network graph off and on re-assembles the window and keeps the
# CPU graphs (and so their histories): none of them is destroyed.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
start_quorvel
width=$(( 66 * $(graph_count) - 2 ))
check_width() { read -r x y w h <<<"$(stat_geometry)"; [ "$w" = "$1" ]; }
set_setting ShowNetGraph false
wait_for 2000 check_width $(( width - 66 )) || fail "not narrower: $(stat_geometry)"
set_setting ShowNetGraph true
wait_for 2000 check_width "$width" || fail "not wide again: $(stat_geometry)"
grep -q "NetGraphView dealloc" "$log" || fail "the network graph was not destroyed"
! grep -q "CPUGraphView dealloc" "$log" || fail "a CPU graph was destroyed"
# Both off: out of sight; one back: shown again.
set_setting ShowNetGraph false
set_setting ShowCPUGraph false
wait_for 2000 stat_window_unmapped || fail "an empty window stayed on screen"
set_setting ShowNetGraph true
wait_for 2000 stat_window_mapped || fail "did not come back with a graph"
check_width 64 || fail "$(stat_geometry)"
echo PASS
