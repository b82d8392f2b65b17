# "AutoHide": the window goes while the pointer rests on it and comes back
# when it leaves.
source "$(dirname "$0")/lib.sh"
xdotool mousemove 10 700
set_setting AutoHide true
start_quorvel
read -r x y w h <<<"$(stat_geometry)"
sleep 0.5
xdotool mousemove $(( x + 5 )) $(( y + 5 ))
wait_for 300 stat_window_unmapped || fail "still shown 0.3 s after the pointer came"
sleep 0.5
stat_window_unmapped || fail "came back while the pointer rests there"
xdotool mousemove 10 700
wait_for 300 stat_window_mapped || fail "not back 0.3 s after the pointer left"

# Off: the pointer changes nothing.
set_setting AutoHide false
sleep 0.5
xdotool mousemove $(( x + 5 )) $(( y + 5 ))
sleep 0.5
stat_window_mapped || fail "hidden with AutoHide off"
echo PASS
