# The stat window's manners on one desktop (scripts/with-x-desktop.sh runs it
# under each window manager, and at scale factors 2 and 1.5): in its corner at
# its size, no frame, above a normal window raised over it, clicks through to
# that window, on every workspace, never focused, never flagged as demanding
# attention; hover hides it (for as long as the pointer rests there) and shows
# it again, and so does a pointer that a program warps onto it; with
# "AutoHide" off the pointer changes nothing.
source "$(dirname "$0")/lib.sh"
read -r screen_w screen_h <<<"$(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')"
set_setting AutoHide false
xev -geometry 600x300+$((screen_w - 620))+0 -event button >"$work/xev.log" 2>&1 &
xev_pid=$!
pids+=("$xev_pid")
wait_for 5000 eval 'xdotool search --name "^Event Tester$" >/dev/null 2>&1' || fail "xev never appeared"
xev_id=$(xdotool search --name "^Event Tester$" | tail -1)
start_quorvel
id=$(stat_window)

# Corner and size, in device pixels.
width=$(scaled $(( 66 * $(graph_count) - 2 )))
height=$(scaled 64)
corner() { read -r x y w h <<<"$(stat_geometry)"; [ "$x $y $w $h" = "$1 $2 $width $height" ]; }
wait_for 3000 corner $((screen_w - width)) 0 ||
  fail "$QUORVEL_WM: not top right at ${width}x$height: $(stat_geometry)"
for position in 0 1; do # out of the corner and back: the bug of logical units sent as pixels
  set_setting WindowPosition "$position"
  wait_for 3000 corner $(( position == 0 ? 0 : screen_w - width )) 0 ||
    fail "$QUORVEL_WM: position $position: $(stat_geometry)"
done
# No frame: the window sits at the origin of the frame the window manager
# gave it, or has none (its parent is the root window).
unframed() {
  xwininfo -id "$id" | awk '/Absolute upper-left X/ {ax=$NF} /Absolute upper-left Y/ {ay=$NF}
    /Relative upper-left X/ {rx=$NF} /Relative upper-left Y/ {ry=$NF}
    END {exit !((rx == 0 && ry == 0) || (rx == ax && ry == ay))}'
}
unframed || fail "$QUORVEL_WM: framed: $(xwininfo -id "$id")"
screenshot "manners-$QUORVEL_WM-${QT_SCALE_FACTOR:-1}"

# Above a normal window raised over it: the right end of the last title strip
# shows the stat window's dark background, not xev's white.
xdotool windowactivate "$xev_id" 2>/dev/null || true
xdotool windowraise "$xev_id"
sleep 0.5
read -r x y w h <<<"$(stat_geometry)"
light=$(brightness $((x + w - 3)) $((y + 3)))
[ "$light" -lt 200 ] || fail "$QUORVEL_WM: under the raised window (brightness $light)"

# A click on it reaches the window beneath (below the title bar of its frame).
xdotool mousemove $((x + w / 2)) $((y + h - 8))
sleep 0.2
xdotool click 1
wait_for 2000 grep -q ButtonPress "$work/xev.log" || fail "$QUORVEL_WM: the click did not get through"

# On every workspace. i3 makes a workspace when it is first asked for.
workspace() {
  if [ "$QUORVEL_WM" = i3 ]; then i3-msg -q workspace "$(($1 + 1))"; else xdotool set_desktop "$1"; fi
}
root_number() { xprop -root "$1" | awk '{print $NF}'; }
if [ "$QUORVEL_WM" != i3 ] && [ "$(root_number _NET_NUMBER_OF_DESKTOPS)" = 1 ]; then
  xdotool set_num_desktops 2 # KWin starts with one
  wait_for 2000 eval '[ "$(root_number _NET_NUMBER_OF_DESKTOPS)" = 2 ]' || fail "$QUORVEL_WM: one workspace"
fi
workspace 1
wait_for 2000 eval '[ "$(root_number _NET_CURRENT_DESKTOP)" = 1 ]' || fail "$QUORVEL_WM: no second workspace"
stat_window_mapped || fail "$QUORVEL_WM: gone from the second workspace"
workspace 0
wait_for 2000 eval '[ "$(root_number _NET_CURRENT_DESKTOP)" = 0 ]' || fail "$QUORVEL_WM: not back on the first workspace"

# Never focused, never demanding attention (checked again after the fades,
# each of which maps the window anew).
well_mannered() {
  [ "$(active_window)" != "$(printf '0x%x' "$id")" ] || fail "$QUORVEL_WM: the stat window has the focus ($1 check)"
  xprop -id "$id" WM_HINTS | grep -q "accepts input or input focus: False" ||
    fail "$QUORVEL_WM: WM_HINTS: $(xprop -id "$id" WM_HINTS)"
  if xprop -id "$id" _NET_WM_STATE | grep -q DEMANDS_ATTENTION; then
    fail "$QUORVEL_WM: flagged ($1 check): $(xprop -id "$id" _NET_WM_STATE)"
  fi
}
well_mannered first

# Hover, with the pointer moved as a mouse moves it.
away_x=$((screen_w / 2)) away_y=$((screen_h - 100))
xdotool mousemove "$away_x" "$away_y"
set_setting AutoHide true
sleep 1 # the setting is read and the resting pointer no longer sampled
xdotool mousemove_relative -- $((x + 10 - away_x)) $((y + 10 - away_y))
wait_for 1000 stat_window_unmapped || fail "$QUORVEL_WM: still shown under the pointer at $(xdotool getmouselocation), window $(stat_geometry)"
sleep 1 # resting
stat_window_unmapped || fail "$QUORVEL_WM: came back while the pointer rests there"
xdotool mousemove_relative -- $((away_x - x - 10)) $((away_y - y - 10))
wait_for 1000 stat_window_mapped || fail "$QUORVEL_WM: not back after the pointer left"

# A pointer warped onto it, and away, after resting: noticed within two
# sampling intervals (the position asked at one tick is read at the next) and
# the fade.
sleep 1.5
xdotool mousemove $((x + w / 2)) $((y + h / 2))
wait_for 2800 stat_window_unmapped || fail "$QUORVEL_WM: a warped pointer went unnoticed"
sleep 1.5
xdotool mousemove "$away_x" "$away_y"
wait_for 2800 stat_window_mapped || fail "$QUORVEL_WM: not back after the pointer was warped away"

# "AutoHide" off: the pointer on the window changes nothing.
set_setting AutoHide false
sleep 0.5
xdotool mousemove_relative -- $((x + 10 - away_x)) $((y + 10 - away_y))
sleep 0.5
stat_window_mapped || fail "$QUORVEL_WM: hidden with AutoHide off"
sleep 0.3
well_mannered last
echo PASS
