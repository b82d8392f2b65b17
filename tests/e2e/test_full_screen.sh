# A full-screen window in front hides the stat window, and leaving full screen
# or another window coming to the front brings it back; with
# "HideUnderFullScreen" off, nothing happens.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
xmessage -name quorvel-test-film -geometry 200x100+100+300 film &
pids+=($!)
xmessage -name quorvel-test-other -geometry 200x100+400+300 other &
pids+=($!)
wait_for 3000 bash -c "xwininfo -root -tree | grep -q quorvel-test-other"
start_quorvel
window_of() { xwininfo -root -tree | awk -v n="\"$1\"" '$0 ~ n && !found {print $1; found=1}'; }
film=$(window_of quorvel-test-film)
other=$(window_of quorvel-test-other)
xdotool windowactivate --sync "$film"
wmctrl -i -r "$film" -b add,fullscreen
wait_for 1000 stat_window_unmapped || fail "still shown over a full-screen window in front"
wmctrl -i -r "$film" -b remove,fullscreen
wait_for 1000 stat_window_mapped || fail "not back after the window left full screen"
wmctrl -i -r "$film" -b add,fullscreen
wait_for 1000 stat_window_unmapped || fail "not hidden the second time"
xdotool windowactivate --sync "$other"
wait_for 1000 stat_window_mapped || fail "not back after another window came to the front"
set_setting HideUnderFullScreen false
xdotool windowactivate --sync "$film"
sleep 0.5
stat_window_mapped || fail "hidden under a full-screen window with HideUnderFullScreen off"
echo PASS
