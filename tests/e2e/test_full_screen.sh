# A full-screen window in front hides the stat window when it is on the stat
# window's screen, and leaving full screen or another window coming to the
# front brings it back; with "HideUnderFullScreen" off, nothing happens.
source "$(dirname "$0")/lib.sh"
set_setting AutoHide false
start_quorvel

# A full-screen window in front that is closed, with no other window to fall
# back to: openbox leaves _NET_ACTIVE_WINDOW naming the window that is gone.
xmessage -name quorvel-test-closed -geometry 200x100+100+300 closed &
closed_pid=$!
pids+=("$closed_pid")
wait_for 3000 bash -c "xwininfo -root -tree | grep -q quorvel-test-closed"
closed=$(window_of quorvel-test-closed)
xdotool windowactivate --sync "$closed"
wmctrl -i -r "$closed" -b add,fullscreen
wait_for 1000 stat_window_unmapped || fail "still shown over the full-screen window to be closed"
kill "$closed_pid"
wait_for 1000 stat_window_mapped || fail "not back after the full-screen window in front was closed"

# A new window under the id of the last one watched, going full screen.
coproc reused { "$REUSED_WINDOW" quorvel-test-reused; }
pids+=("$reused_PID")
read -r reused_id <&"${reused[0]}"
xdotool windowactivate --sync "$reused_id"
wait_for 1000 bash -c "[ \"\$(xprop -root _NET_ACTIVE_WINDOW | awk '{print \$NF}')\" = $reused_id ]"
echo again >&"${reused[1]}"
read -r _ <&"${reused[0]}"
wait_for 2000 bash -c "xwininfo -id $reused_id | grep -q IsViewable"
xdotool windowactivate --sync "$reused_id"
wmctrl -i -r "$reused_id" -b add,fullscreen
wait_for 1000 stat_window_unmapped || fail "not hidden by the new full-screen window under a reused id"
kill "$reused_PID"
wait_for 1000 stat_window_mapped || fail "not back after the window under a reused id was closed"

xmessage -name quorvel-test-film -geometry 200x100+100+300 film &
pids+=($!)
xmessage -name quorvel-test-other -geometry 200x100+400+300 other &
pids+=($!)
wait_for 3000 bash -c "xwininfo -root -tree | grep -q quorvel-test-other"
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


# Two monitors: full screen on the left one leaves the stat window on the
# right one alone.
read -r screen_w screen_h <<<"$(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')"
half=$((screen_w / 2))
xrandr --setmonitor LEFT "$half/169x$screen_h/212+0+0" screen >/dev/null
xrandr --setmonitor RIGHT "$half/169x$screen_h/212+$half+0" none >/dev/null
set_setting Screen RIGHT
xdotool windowactivate --sync "$film" # full screen on LEFT, where it is
sleep 0.5
stat_window_mapped || fail "hidden by a full-screen window on the other screen"
set_setting Screen LEFT
wait_for 1000 stat_window_unmapped || fail "not hidden by the full-screen window on its own screen"

set_setting HideUnderFullScreen false
wait_for 1000 stat_window_mapped || fail "hidden under a full-screen window with HideUnderFullScreen off"
echo PASS
