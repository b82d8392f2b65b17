#!/usr/bin/env bash
# Runs a command on a fresh virtual X desktop: Xvfb, a window manager, and
# (unless QUORVEL_NO_COMPOSITOR is set) a compositor for translucency. Prints
# nothing of its own; the command's exit status is this script's.
#
# QUORVEL_WM picks the window manager: openbox (the default), xfwm4, kwin
# (KWin on X11), mutter (GNOME's, on X11), i3 or fluxbox. Those without a
# compositor of their own get xcompmgr; those that want a session bus get one.
# The command sees the window manager's name in QUORVEL_WM.
# Xvfb, the window manager, the compositor and the bus die with this script,
# however it ends.
set -euo pipefail
screen_size="${QUORVEL_SCREEN:-1024x768x24}"
export QUORVEL_WM="${QUORVEL_WM:-openbox}"

xvfb="" wm="" compositor="" bus=""
wm_home=$(mktemp -d)
cleanup() {
  local status=$?
  # The desktop must never outlive the test's time.
  end_within 5 $compositor $wm $bus $xvfb || true
  wait 2>/dev/null || true
  rm -rf "$wm_home"
  exit "$status"
}
source "$(dirname "$0")/desktop-common.sh"
trap cleanup EXIT
# Killed (a test's time-out): still take the desktop down.
trap 'exit 143' TERM INT HUP

# The window manager's command, run with its own HOME so that no user's
# configuration counts; and whether it composites by itself.
own_compositor=""
case "$QUORVEL_WM" in
  openbox) wm_command=(openbox) ;;
  xfwm4) wm_command=(xfwm4 --compositor=on); own_compositor=1 ;;
  kwin) wm_command=(kwin_x11); own_compositor=1 ;;
  mutter) wm_command=(mutter --x11 --sm-disable); own_compositor=1 ;;
  i3)
    mkdir -p "$wm_home/.config/i3"
    # No bar (it would need i3status); nothing else differs from i3's defaults.
    printf 'font pango:monospace 8\n' >"$wm_home/.config/i3/config"
    wm_command=(i3 -c "$wm_home/.config/i3/config") ;;
  fluxbox) wm_command=(fluxbox) ;;
  *) echo "unknown window manager QUORVEL_WM=$QUORVEL_WM" >&2; exit 2 ;;
esac

# Ready once it announces itself as the EWMH window manager with what it
# supports (KWin sets the first long before the second), and, for those that
# publish one, the work area that placement reads.
wm_ready() {
  [[ "$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)" == *window* ]] || return 1
  [[ "$(xprop -root _NET_SUPPORTED 2>/dev/null)" == *_NET_ACTIVE_WINDOW* ]] || return 1
  case "$QUORVEL_WM" in
    openbox | xfwm4 | fluxbox) [[ "$(xprop -root _NET_WORKAREA 2>/dev/null)" == *=* ]] ;;
    *) true ;;
  esac
}

# Under load (a sanitizer build testing in parallel) start-up can be slow, and
# once openbox could not reach a fresh server; each attempt starts afresh on
# another display.
log=$(mktemp)
first=90
for attempt in 1 2 3; do
  n=$(free_display "$first") || { echo "no free X display number" >&2; exit 1; }
  first=$((n + 1))
  export DISPLAY=":$n"
  # -noreset: an X server resets when its last client leaves, and a client
  # that connects during the reset (the window manager, right after xdpyinfo
  # has looked) is turned away.
  setpriv --pdeathsig KILL Xvfb "$DISPLAY" -screen 0 "$screen_size" -nolisten tcp -noreset >>"$log" 2>&1 &
  xvfb=$!
  for _ in $(seq 200); do
    kill -0 "$xvfb" 2>/dev/null && xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
  if kill -0 "$xvfb" 2>/dev/null && xdpyinfo >/dev/null 2>&1; then
    if [[ "$QUORVEL_WM" =~ ^(xfwm4|kwin|mutter)$ ]] && [ -z "$bus" ]; then
      eval "$(HOME="$wm_home" dbus-launch --sh-syntax)"
      bus=$DBUS_SESSION_BUS_PID
    fi
    HOME="$wm_home" setpriv --pdeathsig KILL "${wm_command[@]}" >>"$log" 2>&1 &
    wm=$!
    for _ in $(seq 300); do
      wm_ready && break
      kill -0 "$wm" 2>/dev/null || break # it gave up: try afresh at once
      sleep 0.1
    done
    wm_ready && break
  fi
  echo "attempt $attempt on $DISPLAY failed" >>"$log"
  for p in $wm $xvfb; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  xvfb="" wm=""
done
if [ -z "$wm" ]; then
  echo "could not start Xvfb with $QUORVEL_WM:" >&2
  cat "$log" >&2
  exit 1
fi
# A failed attempt is worth knowing about even when a later one worked.
if grep -q "^attempt" "$log"; then
  echo "with-x-desktop: $QUORVEL_WM needed another attempt:" >&2
  cat "$log" >&2
fi
rm -f "$log"

if [ -z "${QUORVEL_NO_COMPOSITOR:-}" ] && [ -z "$own_compositor" ]; then
  setpriv --pdeathsig KILL xcompmgr >/dev/null 2>&1 &
  compositor=$!
  sleep 0.3
fi
unset WAYLAND_DISPLAY
"$@"
