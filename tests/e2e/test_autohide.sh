# "AutoHide": the window goes while the pointer rests on it and comes back
# when it leaves. The pointer is moved as a mouse moves it (XTest relative
# motion), after resting long enough for Quorvel to stop sampling it.
source "$(dirname "$0")/lib.sh"
xdotool mousemove 300 400
set_setting AutoHide true
start_quorvel
read -r x y w h <<<"$(stat_geometry)"
sleep 1
xdotool mousemove_relative -- $(( x + 5 - 300 )) $(( y + 5 - 400 ))
wait_for 300 stat_window_unmapped || fail "still shown 0.3 s after the pointer came ($(xdotool getmouselocation))"
sleep 1
stat_window_unmapped || fail "came back while the pointer rests there"
xdotool mousemove_relative -- $(( 300 - x - 5 )) $(( 400 - y - 5 ))
wait_for 300 stat_window_mapped || fail "not back 0.3 s after the pointer left ($(xdotool getmouselocation))"

# Off: the pointer changes nothing.
set_setting AutoHide false
sleep 0.5
xdotool mousemove_relative -- $(( x + 5 - 300 )) $(( y + 5 - 400 ))
sleep 0.5
stat_window_mapped || fail "hidden with AutoHide off"
echo PASS
