# The stat window in a Wayland session (scripts/with-wayland-desktop.sh runs it
# under sway, KWin and Mutter), with a native window beneath it.
# - Where the compositor has the layer shell (sway, KWin): the window is a
#   layer surface in its corner at its size; clicks reach the native window
#   beneath; the pointer coming onto it hides it and it is back a while later;
#   a listed native application in front hides it, and so does a full-screen
#   one on its output, not one on another.
# - Where it has not (Mutter): Quorvel runs through Xwayland, is on every
#   workspace and never active, and a pointer that leaves it for a native
#   window never leaves it hidden for good.
# Input and screenshots go through the X display the compositor is nested in.
source "$(dirname "$0")/lib.sh"
# Nested KWin 6 is scaled by kscreen-doctor (scripts/with-wayland-desktop.sh);
# without it the session cannot be scaled: that is said, not passed.
if [ "$QUORVEL_COMPOSITOR" = kwin ] && [ "${QUORVEL_WAYLAND_SCALE:-1}" != 1 ] &&
  [ "$(kwin_wayland --version 2>/dev/null | grep -o ' [0-9]*' | head -1)" -ge 6 ] &&
  ! command -v kscreen-doctor >/dev/null; then
  echo "SKIP: nested KWin 6 without kscreen-doctor does not scale its outputs"
  exit 77
fi
CLICK_TARGET="$2"
xdisplay="$QUORVEL_X_DISPLAY"
SCREEN_DISPLAY="$xdisplay"
# Sizes in the output's pixels at its scale (QUORVEL_WAYLAND_SCALE).
px() { awk -v n="$1" -v s="${QUORVEL_WAYLAND_SCALE:-1}" 'BEGIN {printf "%d", n * s + 0.5}'; }
width=$(px $(( 66 * $(graph_count) - 2 ))) height=$(px 64)
screen_w=1280
# Where the stat window's top is: below sway's panel (waybar, 30 units), at the
# output's top elsewhere.
top=0
[ "$QUORVEL_COMPOSITOR" = sway ] && top=$(px 30)
app_id=quorvel-click-target
printf '[Desktop Entry]\nType=Application\nName=Click Target\nExec=click_target\n' \
  >"$XDG_DATA_HOME/applications/$app_id.desktop"

# A failure leaves a screenshot where screenshots are kept.
eval "$(declare -f fail | sed '1s/^fail/fail_without_screenshot/')"
fail() { screenshot "failed-$QUORVEL_COMPOSITOR"; fail_without_screenshot "$@"; }
# The stat window (dark) with the native window (white) around it: dark just
# inside its left and bottom edges, white just outside. (The desktop's own dark
# background, before the native window is up, must not pass for it.)
edges() {
  import -display "$xdisplay" -window root "$work/edges.png"
  local x y
  for x_y in "$((screen_w - width + 1)) $((top + height / 2))" \
    "$((screen_w - width - 3)) $((top + height / 2))" \
    "$((screen_w - 3)) $((top + height - 2))" "$((screen_w - 3)) $((top + height + 2))"; do
    read -r x y <<<"$x_y"
    pixel_of "$work/edges.png" "$x" "$y" | awk '{printf "%d ", ($1 + $2 + $3) / 3}'
  done
}
shown() {
  local inside_left outside_left inside_bottom outside_bottom
  read -r inside_left outside_left inside_bottom outside_bottom <<<"$(edges)"
  [ "$inside_left" -lt 160 ] && [ "$outside_left" -gt 200 ] && [ "$inside_bottom" -lt 160 ] &&
    [ "$outside_bottom" -gt 200 ]
}
gone() { [ "$(brightness $((screen_w - 3)) $((top + 3)))" -gt 200 ]; }
pointer() { move_pointer "$xdisplay" "$1" "$2"; }
click() { DISPLAY="$xdisplay" xdotool click 1; }
presses() { grep -c '^press' "$work/target.log" || true; }

set_setting AutoHide false
# The native window, maximised under the stat window's corner, all of it its
# own area: without the title bar Qt draws itself where the compositor draws
# none (Mutter), which a click meant for the window would land on.
QT_WAYLAND_DISABLE_WINDOWDECORATION=1 QT_QPA_PLATFORM=wayland "$CLICK_TARGET" "$app_id" \
  >"$work/target.log" 2>&1 &
pids+=($!)
# Up before Quorvel starts: the compositor announces the windows that exist
# already in answer to its binding the window list, and they must be seen.
wait_for 10000 eval '[ "$(brightness 300 400)" -gt 200 ]' ||
  fail "$QUORVEL_COMPOSITOR: the native window did not come up"
layer_shell=1
[ "$QUORVEL_COMPOSITOR" = mutter ] && layer_shell=""
# Xwayland 24 (Debian 13) gives the compositor an X window's input shape, so a
# click on the stat window reaches a native window beneath it even without a
# layer shell, and the pointer over it is over that native window, which X
# never sees. Xwayland 22 (Debian 12) does neither.
shape_passes=""
if [ -z "$layer_shell" ] &&
  [ "$(Xwayland -version 2>&1 | sed -n 's/.*[Vv]ersion \([0-9]*\)\..*/\1/p' | head -1)" -ge 24 ]; then
  shape_passes=1
fi
if [ -n "$layer_shell" ]; then
  # Qt entirely on Wayland: nothing of Quorvel goes through X.
  # Under the sanitizers, full stacks, so that what Qt's Wayland plugin keeps
  # to the end is told from Quorvel's own.
  (unset DISPLAY; ASAN_OPTIONS="${ASAN_OPTIONS:-}:fast_unwind_on_malloc=0" \
    QT_QPA_PLATFORM=wayland exec "$QUORVEL") >>"$log" 2>&1 &
else
  "$QUORVEL" >>"$log" 2>&1 &
fi
quorvel_pid=$!
pids+=("$quorvel_pid")
sleep 1
pointer 300 400; click # gives the native window the focus
wait_for 10000 shown || fail "$QUORVEL_COMPOSITOR: no stat window in the top-right corner"
if [ -n "$layer_shell" ]; then
  grep -q "Window system: Wayland" "$log" || fail "not on the Wayland path: $(cat "$log")"
else
  grep -q "Window system: Xwayland" "$log" || fail "not on the Xwayland path: $(cat "$log")"
fi
screenshot "wayland-$QUORVEL_COMPOSITOR-${QUORVEL_WAYLAND_SCALE:-1}"
# In its corner at its size (the check shown() makes).
shown || fail "$QUORVEL_COMPOSITOR: not ${width}x$height pixels in the corner (edges: $(edges))"

if [ -n "$layer_shell$shape_passes" ]; then
  # A click on it reaches the native window beneath.
  before=$(presses)
  pointer $((screen_w - width / 2)) $((top + 40)); sleep 0.3; click
  wait_for 2000 eval '[ "$(presses)" -gt "$before" ]' ||
    fail "$QUORVEL_COMPOSITOR: the click did not reach the native window"
  shown || fail "$QUORVEL_COMPOSITOR: AutoHide off, yet the pointer hid it"
fi
if [ -z "$layer_shell" ]; then
  # Through Xwayland, as on X11: on every workspace and never the active
  # window (the native window keeps the focus; X sees none).
  id=$(stat_window)
  [ -n "$id" ] || fail "mutter: no stat window on Xwayland"
  xprop -id "$id" _NET_WM_STATE _NET_WM_DESKTOP |
    grep -q -E "_NET_WM_STATE_STICKY|_NET_WM_DESKTOP\(CARDINAL\) = 4294967295" ||
    fail "mutter: not on every workspace: $(xprop -id "$id" _NET_WM_STATE _NET_WM_DESKTOP)"
  pointer $((screen_w - width / 2)) $((top + 40)); sleep 0.3; click; sleep 0.3
  ! xprop -root _NET_ACTIVE_WINDOW | grep -q "$(printf '0x%x' "$id")" ||
    fail "mutter: the stat window became the active window"
fi

# Hover: the pointer coming onto it across its inner edge hides it, and it is
# back a while later, whether the pointer went away or stayed.
if [ -n "$shape_passes" ]; then
  echo "PASS: $QUORVEL_COMPOSITOR (Xwayland passes the input shape: the pointer over it is not seen)"
  exit 0
fi
set_setting AutoHide true
# The layer surface feels the pointer come on at once; through
# Xwayland it is looked for at each sampling tick, which a loaded machine
# delays.
hover_deadline=2000
[ -z "$layer_shell" ] && hover_deadline=6000
pointer 300 400; sleep 1
# From the left, over the edge, onto the window (on Xwayland the whole window
# senses the pointer; the same path serves), ending $1 units further down.
# Each visit ends elsewhere: through Xwayland, X keeps the last position it
# saw on the stat window while the pointer is over a native window, and a
# visit that ends there again, sampled only at its end, looks like a pointer
# that never moved, which is taken as gone.
come_on() {
  pointer $((screen_w - width - 20)) $((top + 30)); sleep 0.1
  pointer $((screen_w - width + 1)) $((top + 30)); sleep 0.1
  pointer $((screen_w - width / 2)) $((top + 32 + $1))
}
come_on 0
wait_for "$hover_deadline" gone || fail "$QUORVEL_COMPOSITOR: the pointer came onto it and it stayed"
before=$(presses)
click
wait_for 2000 eval '[ "$(presses)" -gt "$before" ]' ||
  fail "$QUORVEL_COMPOSITOR: a click while it was hidden did not reach the native window"
pointer 300 400
wait_for 4000 shown || fail "$QUORVEL_COMPOSITOR: hidden for good after the pointer left"
sleep 0.5
come_on 6
if ! wait_for "$hover_deadline" gone; then
  # Mutter 43 takes the X window's empty input shape for the surface at some
  # maps and not at others (seen when the window maps again on a loaded
  # machine): then a click on it reaches the native window, and the pointer
  # over it is over that window, which X never sees, as with Xwayland 24.
  # That is no hover missed, but a click let through; anything else is.
  before=$(presses)
  [ -z "$layer_shell" ] && click && wait_for 2000 eval '[ "$(presses)" -gt "$before" ]' ||
    fail "$QUORVEL_COMPOSITOR: the pointer came back and it stayed"
  echo "PASS: $QUORVEL_COMPOSITOR (the window came back passing the input shape: the pointer over it is not seen)"
  exit 0
fi
wait_for 4000 shown || fail "$QUORVEL_COMPOSITOR: hidden for good under a resting pointer"
if [ -n "$layer_shell" ]; then
  # Clicks made without moving the pointer, which rests on the window that
  # came back, reach the native window beneath: at once, and after the window
  # has taken the pointer again (2 s later).
  for wait_before in 0.5 3; do
    sleep "$wait_before"
    before=$(presses)
    click
    wait_for 2000 eval '[ "$(presses)" -gt "$before" ]' ||
      fail "$QUORVEL_COMPOSITOR: a click under the resting pointer ${wait_before} s after it came back was swallowed"
  done
fi
if [ -n "$layer_shell" ]; then
  # Glides onto it as a mouse moves them, across its left or its bottom edge
  # to its middle: at 500 and 3,000 units a second it is gone within a second
  # of the glide's end. At 10,000 a second (a fling) what happens is said.
  now_ms() { echo $(($(date +%s%N) / 1000000)); }
  for speed in 500 3000 10000; do
    for from in "the left" below; do
      pointer 300 400
      wait_for 4000 shown || fail "$QUORVEL_COMPOSITOR: hidden for good after a glide"
      sleep 0.5
      if [ "$from" = "the left" ]; then
        pointer $((screen_w - width - $(px 150))) $((top + $(px 30)))
      else
        pointer $((screen_w - width / 2 - $(px 20))) $((top + height + $(px 150)))
      fi
      sleep 0.3
      glide "$xdisplay" $((screen_w - width / 2)) $((top + height / 2)) "$(px "$speed")"
      # Timed to the start of the screenshot that found it gone.
      glided=$(now_ms) took=3000
      while [ $(($(now_ms) - glided)) -lt 3000 ]; do
        looked=$(now_ms)
        if gone; then took=$((looked - glided)); break; fi
      done
      echo "glide from $from at $speed units/s: gone after $took ms"
      if [ "$speed" -le 3000 ] && [ "$took" -gt 1000 ]; then
        fail "$QUORVEL_COMPOSITOR: a glide from $from at $speed units/s hid it only after $took ms"
      fi
    done
  done
fi
pointer 300 400
set_setting AutoHide false
# Never given the keyboard: the native window kept it through the clicks on
# the stat window's corner and the pointer's visits, which the stat window
# took (Mutter: the stat window on Xwayland is checked above).
if [ -n "$layer_shell" ]; then
  ! grep -q '^unfocus' "$work/target.log" ||
    fail "$QUORVEL_COMPOSITOR: the native window lost the keyboard: $(cat "$work/target.log")"
fi

if [ -n "$layer_shell" ]; then
  # A listed native application in front hides it.
  click
  set_setting AutoHideApplications "$app_id.desktop"
  wait_for 3000 gone || fail "$QUORVEL_COMPOSITOR: the listed native application did not hide it"
  set_setting AutoHideApplications ""
  wait_for 3000 shown || fail "$QUORVEL_COMPOSITOR: back in sight after the list emptied? no"
fi

if [ "$QUORVEL_COMPOSITOR" = kwin ]; then
  kwin_call() { dbus-send --session --print-reply --dest=org.kde.KWin "$@" >/dev/null; }

  # A full-screen window in front on the second output leaves it be; on its
  # own output it hides it. (A KWin script moves the native window. At a
  # fractional scale the nested KWin's outputs overlap by a fraction of a unit
  # and it moves no window between them, so this is checked at scale 1.)
  full_screen_on() { # output index
    # KWin 6 names windows and outputs where KWin 5 named clients and
    # screen numbers, and puts a script's object under /Scripting.
    cat >"$work/full-screen.js" <<JS
const six = typeof workspace.windowList === "function";
const windows = six ? workspace.windowList() : workspace.clientList();
for (let i = 0; i < windows.length; ++i) {
  const w = windows[i];
  if (w.desktopFileName != "$app_id") continue;
  w.fullScreen = false;
  workspace.sendClientToScreen(w, six ? workspace.screens[$1] : $1);
  w.fullScreen = true;
  if (six) workspace.activeWindow = w; else workspace.activeClient = w;
}
JS
    local id
    id=$(dbus-send --session --print-reply --dest=org.kde.KWin /Scripting \
      org.kde.kwin.Scripting.loadScript string:"$work/full-screen.js" string:"full-screen-$1" |
      awk '/int32/ {print $2}')
    kwin_call "/Scripting/Script$id" org.kde.kwin.Script.run 2>/dev/null ||
      kwin_call "/$id" org.kde.kwin.Script.run
  }
  if [ "${QUORVEL_WAYLAND_SCALE:-1}" = 1 ]; then
    full_screen_on 1
    wait_for 3000 eval '[ "$(brightness 300 300)" -lt 100 ]' ||
      fail "kwin: the native window did not go to the second output"
    sleep 0.5
    mean=$(mean_brightness $((screen_w - width)) 0 "$width" "$(px 12)")
    [ "$mean" -gt 20 ] || fail "kwin: hidden by a full-screen window on the other output"
    full_screen_on 0
    wait_for 3000 gone || fail "kwin: shown over a full-screen window on its own output"
  fi
fi

if [ "$QUORVEL_COMPOSITOR" = sway ]; then
  # The panel's menus stay above the stat window and take their clicks, with
  # AutoHide on: Quorvel's own menu, opened from its icon in waybar's tray,
  # right above the stat window's corner.
  export SWAYSOCK
  SWAYSOCK=$(ls "$(dirname "$WAYLAND_DISPLAY")"/sway-ipc.*.sock | head -1)
  set_setting AutoHide true
  icon_shown() { [ "$(mean_brightness $((screen_w - $(px 22))) $(px 5) $(px 20) $(px 20))" -gt 60 ]; }
  wait_for 10000 icon_shown || fail "sway: no icon in waybar's tray"
  pointer $((screen_w - $(px 11))) $(px 15); DISPLAY="$xdisplay" xdotool click 3
  # The menu's blank margins where the stat window is beneath.
  menu_over_window() {
    [ "$(brightness $((screen_w - $(px 155))) $(px 90))" -gt 200 ] &&
      [ "$(brightness $((screen_w - $(px 15))) $(px 45))" -gt 200 ]
  }
  wait_for 3000 menu_over_window || fail "sway: the tray menu is covered by the stat window"
  screenshot "wayland-sway-tray-menu"
  pointer $((screen_w - $(px 90))) $(px 32); sleep 0.2; click
  prefs_open() { swaymsg -t get_tree | grep -q '"name": "Preferences — Quorvel"'; }
  wait_for 3000 prefs_open || fail "sway: \"Preferences\" in the tray menu could not be clicked"
  swaymsg -q '[title="Preferences — Quorvel"] kill'
  wait_for 3000 eval '! prefs_open' || fail "sway: the preferences did not close"
  # The pointer now rests on it, which may hide it a while.
  wait_for 4000 shown || fail "sway: the stat window is gone after the menu"

  # A notification (mako, in the same corner) takes the clicks made on it
  # where the stat window is: the stat window's inside takes none.
  pointer 300 400; sleep 0.5
  notify-send "Quorvel test" "A notification in the corner"
  notification_shown() { # beside the stat window, where only the notification is
    local r g b
    read -r r g b <<<"$(rgb $((screen_w - $(px 250))) $((top + $(px 25))))"
    [ -n "$b" ] && [ "$b" -gt $((r + 40)) ]
  }
  wait_for 3000 notification_shown || fail "sway: no notification"
  screenshot "wayland-sway-notification"
  before=$(presses)
  pointer $((screen_w - $(px 100))) $((top + $(px 25))); sleep 0.2; click
  wait_for 3000 eval '! notification_shown' ||
    fail "sway: the click on the notification over the stat window did not reach it"
  [ "$(presses)" = "$before" ] || fail "sway: the click on the notification went to the window beneath"
  pointer 300 400
  set_setting AutoHide false
  wait_for 3000 shown || fail "sway: not shown after the notification"

  # A full-screen native window in front hides it, as on X11.
  swaymsg -q "[app_id=$app_id] fullscreen enable"
  wait_for 3000 gone || fail "sway: shown over a full-screen window"
  swaymsg -q "[app_id=$app_id] fullscreen disable"
  wait_for 3000 shown || fail "sway: not back after the window left full screen"
  # A layer surface only, never a toplevel that could take the focus.
  ! swaymsg -t get_tree | grep -q '"app_id": "org.quorvel' || fail "sway: Quorvel has a toplevel"

  # A second output to the right; its window on the X display is moved below
  # the first one's corner. A full-screen window in front there leaves the stat
  # window be; on the stat window's own output it hides it.
  swaymsg -q create_output
  sleep 0.5
  second=$(DISPLAY="$xdisplay" xwininfo -root -children | awk '/^ +0x/ {print $1}' | sort | tail -1)
  DISPLAY="$xdisplay" xdotool windowmove "$second" 0 400
  full_screen_on() { # output
    swaymsg -q "[app_id=$app_id] fullscreen disable"
    swaymsg -q "[app_id=$app_id] move container to output $1"
    swaymsg -q "[app_id=$app_id] focus"
    swaymsg -q "[app_id=$app_id] fullscreen enable"
  }
  full_screen_on X11-2
  sleep 1
  swaymsg -t get_tree | grep -q '"fullscreen_mode": 1' || fail "sway: nothing full screen"
  [ "$(brightness $((screen_w - 3)) $((top + 3)))" -lt "$(brightness $((screen_w - width - 30)) $((top + 30)))" ] ||
    fail "sway: hidden by a full-screen window on the other output"
  full_screen_on X11-1
  wait_for 3000 gone || fail "sway: shown over a full-screen window on its own output"

  # "Screen" names the second output: the window goes there (its corner is at
  # the top of the strip that shows), and back when the name is taken away.
  swaymsg -q "[app_id=$app_id] fullscreen disable"
  on_second() { [ "$(brightness $((screen_w - 3)) $((400 + top + 3)))" -lt "$(brightness $((screen_w - width - 30)) $((400 + top + 30)))" ]; }
  set_setting Screen X11-2
  wait_for 3000 on_second || fail "sway: not on the output \"Screen\" names"
  screenshot "wayland-sway-second-output"
  shown && fail "sway: still on the first output as well"

  # In every corner of the second output: its X window moved over the first
  # one's for a while, so that all of it shows. The stat window is where
  # sway's background (#204060) is not.
  DISPLAY="$xdisplay" xdotool windowmove "$second" 0 0 windowraise "$second"
  grey() { # x y: not the background
    local r g b
    read -r r g b <<<"$(rgb "$1" "$2")"
    [ -n "$r" ] && (((r - 32) ** 2 + (g - 64) ** 2 + (b - 96) ** 2 > 100))
  }
  in_corner() { # position: the window just inside the corner, the background beside it
    local x_in x_out y_in y_out
    case "$1" in 0 | 2) x_in=3 x_out=$((width + 3)) ;; *) x_in=$((screen_w - 3)) x_out=$((screen_w - width - 3)) ;; esac
    case "$1" in 0 | 1) y_in=$((top + 3)) y_out=$((top + height + 3)) ;; *) y_in=$((800 - 3)) y_out=$((800 - height - 3)) ;; esac
    grey "$x_in" "$y_in" && ! grey "$x_out" "$y_in" && ! grey "$x_in" "$y_out"
  }
  for position in 0 1 2 3; do
    set_setting WindowPosition "$position"
    wait_for 3000 in_corner "$position" || fail "sway: not in corner $position of the second output"
  done
  screenshot "wayland-sway-second-output-bottom-right"
  set_setting WindowPosition 1
  DISPLAY="$xdisplay" xdotool windowmove "$second" 0 400
  wait_for 3000 on_second || fail "sway: not back in the top-right corner of the second output"
  set_setting Screen ""
  wait_for 3000 shown || fail "sway: not back on the first output"
  on_second && fail "sway: still on the second output"

  # An output named before it is plugged in: the window waits on the first
  # and goes there once it appears (its X window is moved over the second's).
  set_setting Screen X11-3
  sleep 1
  shown || fail "sway: left the first output for one that is not there"
  swaymsg -q create_output
  sleep 0.5
  third=$(DISPLAY="$xdisplay" xwininfo -root -children | awk '/^ +0x/ {print $1}' | sort | tail -1)
  DISPLAY="$xdisplay" xdotool windowmove "$third" 0 400
  wait_for 3000 on_second || fail "sway: not on the output \"Screen\" names once it appeared"
  shown && fail "sway: still on the first output after its output appeared"
fi
if [ -n "$layer_shell" ]; then
  # At exit every object of Quorvel's that has a request to say goodbye says
  # it (the compositor frees it at once), and nothing is a protocol error.
  kill "$quorvel_pid"; wait "$quorvel_pid" || true
  (unset DISPLAY; WAYLAND_DEBUG=client QT_QPA_PLATFORM=wayland exec "$QUORVEL") >"$work/debug.log" 2>&1 &
  debug_pid=$!
  pids+=("$debug_pid")
  wait_for 10000 grep -q "zwlr_layer_surface_v1[@#][0-9]*.ack_configure" "$work/debug.log" ||
    fail "$QUORVEL_COMPOSITOR: no layer surface with WAYLAND_DEBUG"
  if [ "$QUORVEL_COMPOSITOR" = sway ]; then
    # Its output's scale changing and another output plugged in keep the
    # surface it has ("Screen" names the third output here): drawn anew at
    # the new scale, never made anew (which would blink).
    surfaces() { grep -c "get_layer_surface" "$work/debug.log"; }
    made=$(surfaces)
    new_scale=$((3 - ${QUORVEL_WAYLAND_SCALE:-1})) # 1 <-> 2
    swaymsg -q output X11-3 scale "$new_scale"
    logical_w=$((66 * $(graph_count) - 2))
    wait_for 3000 grep -q "create_buffer(new id wl_buffer[@#][0-9]*, 0, $((new_scale * logical_w)), $((new_scale * 64))," "$work/debug.log" ||
      fail "sway: not drawn at the new scale"
    swaymsg -q output X11-3 scale "${QUORVEL_WAYLAND_SCALE:-1}"
    swaymsg -q create_output
    sleep 1
    [ "$(surfaces)" = "$made" ] || fail "sway: the surface was made anew on a change of outputs"
  fi
  kill "$debug_pid"; wait "$debug_pid" || true
  goodbyes=("wl_output[@#][0-9]*.release()" "wl_seat[@#][0-9]*.release()" "wl_pointer[@#][0-9]*.release()"
    "zwlr_layer_shell_v1[@#][0-9]*.destroy()")
  [ "$QUORVEL_COMPOSITOR" = sway ] && goodbyes+=("zwlr_foreign_toplevel_manager_v1[@#][0-9]*.stop()")
  for request in "${goodbyes[@]}"; do
    grep -q -- "-> $request" "$work/debug.log" || fail "$QUORVEL_COMPOSITOR: no $request at exit"
  done
  ! grep -q "wl_display[@#]1.error(" "$work/debug.log" ||
    fail "$QUORVEL_COMPOSITOR: a protocol error: $(grep "wl_display[@#]1.error(" "$work/debug.log")"
fi
if [ "$QUORVEL_COMPOSITOR" = sway ] && [ "${QUORVEL_WAYLAND_SCALE:-1}" = 1 ] &&
  unshare -m true 2>/dev/null; then
  # 1,024 processors (a /proc/stat bound over the real one): the graphs wrap
  # into rows of 19 within the 1280-unit output, and the compositor gives the
  # surface that size: 6 rows (the network graph and 103 runs of 10
  # processors) where Qt takes the whole output for the work area, 5 where it
  # leaves out the panel.
  set_setting AutoHide false
  set_setting Screen ""
  fake_proc_stat 1024 >"$work/stat-1024"
  (unset DISPLAY; WAYLAND_DEBUG=client QT_QPA_PLATFORM=wayland exec unshare -m bash -c \
    'mount --bind "$1" /proc/stat && exec "$2"' _ "$work/stat-1024" "$QUORVEL") >"$work/many.log" 2>&1 &
  many_pid=$!
  pids+=("$many_pid")
  configured() {
    grep -o "zwlr_layer_surface_v1[@#][0-9]*[.]configure([0-9]*, [0-9]*, [0-9]*)" "$work/many.log" |
      tail -1 | sed 's/.*(\([0-9]*\), \([0-9]*\), \([0-9]*\))/\2 \3/'
  }
  wait_for 10000 eval '[ -n "$(configured)" ]' || fail "sway: 1,024 processors: no layer surface"
  read -r w h <<<"$(configured)"
  [ "$w" = $((19 * 66 - 2)) ] && { [ "$h" = $((6 * 66 - 2)) ] || [ "$h" = $((5 * 66 - 2)) ]; } ||
    fail "sway: 1,024 processors: configured ${w}x$h, not 19 graphs wide in 5 or 6 rows"
  end_within 10 "$many_pid" || fail "sway: 1,024 processors: it did not end"
fi
if [ "$QUORVEL_COMPOSITOR" = sway ]; then
  # The compositor dies: Quorvel ends, and its helper with it at once. (Dead
  # is "gone" or a zombie: the session's init reaps it in its own time.)
  (unset DISPLAY; QT_QPA_PLATFORM=wayland exec "$QUORVEL") >>"$log" 2>&1 &
  quorvel_pid=$!
  pids+=("$quorvel_pid")
  helper_of_quorvel() { helper=$(pgrep -P "$quorvel_pid" quorvel-netstat); [ -n "$helper" ]; }
  wait_for 10000 helper_of_quorvel || fail "sway: no helper"
  kill -KILL "$QUORVEL_COMPOSITOR_PID"
  wait_for 300 ended "$quorvel_pid" || fail "sway: Quorvel outlived its compositor"
  wait_for 300 ended "$helper" || fail "sway: the helper outlived Quorvel ($(ps -o stat= -p "$helper"))"
fi
echo "PASS: $QUORVEL_COMPOSITOR"
