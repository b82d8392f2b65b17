#!/usr/bin/env bash
# Runs a command on a fresh virtual X desktop: Xvfb, openbox, and (unless
# QUORVEL_NO_COMPOSITOR is set) xcompmgr for translucency. Prints nothing of
# its own; the command's exit status is this script's.
# Xvfb, openbox and xcompmgr die with this script, however it ends.
set -euo pipefail
screen_size="${QUORVEL_SCREEN:-1024x768x24}"

display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }

setpriv --pdeathsig KILL Xvfb "$display" -screen 0 "$screen_size" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  local status=$?
  for p in ${compositor:-} ${wm:-} "$xvfb"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  exit "$status"
}
trap cleanup EXIT
# Killed (a test's time-out): still take the desktop down.
trap 'exit 143' TERM INT HUP
export DISPLAY="$display"
# Under load (a sanitizer build testing in parallel) start-up can take a while.
for _ in $(seq 300); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start on $display" >&2; exit 1; }

wm_log=$(mktemp)
wm_ready() {
  [[ "$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)" == *window* ]] &&
    [[ "$(xprop -root _NET_WORKAREA 2>/dev/null)" == *=* ]]
}
# A second try if the first openbox does not come up (seen once, under load).
for attempt in 1 2; do
  setpriv --pdeathsig KILL openbox >>"$wm_log" 2>&1 &
  wm=$!
  for _ in $(seq 200); do wm_ready && break; sleep 0.1; done
  wm_ready && break
  kill "$wm" 2>/dev/null || true
  wait "$wm" 2>/dev/null || true
done
if ! wm_ready; then
  echo "openbox did not start on $display:" >&2
  cat "$wm_log" >&2
  exit 1
fi
rm -f "$wm_log"
if [ -z "${QUORVEL_NO_COMPOSITOR:-}" ]; then
  setpriv --pdeathsig KILL xcompmgr >/dev/null 2>&1 &
  compositor=$!
  sleep 0.3
fi
unset WAYLAND_DISPLAY
"$@"
