#!/usr/bin/env bash
# Runs a command on a fresh virtual X desktop: Xvfb, openbox, and (unless
# QUORVEL_NO_COMPOSITOR is set) xcompmgr for translucency. Prints nothing of
# its own; the command's exit status is this script's.
# Xvfb, openbox and xcompmgr die with this script, however it ends.
set -euo pipefail
screen_size="${QUORVEL_SCREEN:-1024x768x24}"

xvfb="" wm="" compositor=""
cleanup() {
  local status=$?
  for p in $compositor $wm $xvfb; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  exit "$status"
}
trap cleanup EXIT
# Killed (a test's time-out): still take the desktop down.
trap 'exit 143' TERM INT HUP

# A display number nobody uses: no lock, no socket, and no server answering
# (a server may still hold the abstract socket after its files are gone).
free_display() {
  local n
  for n in $(seq "$1" 160); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] &&
      ! xdpyinfo -display ":$n" >/dev/null 2>&1; then
      echo "$n"
      return 0
    fi
  done
  return 1
}

wm_ready() {
  [[ "$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null)" == *window* ]] &&
    [[ "$(xprop -root _NET_WORKAREA 2>/dev/null)" == *=* ]]
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
  setpriv --pdeathsig KILL Xvfb "$DISPLAY" -screen 0 "$screen_size" -nolisten tcp >>"$log" 2>&1 &
  xvfb=$!
  for _ in $(seq 200); do
    kill -0 "$xvfb" 2>/dev/null && xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
  if kill -0 "$xvfb" 2>/dev/null && xdpyinfo >/dev/null 2>&1; then
    setpriv --pdeathsig KILL openbox >>"$log" 2>&1 &
    wm=$!
    for _ in $(seq 200); do wm_ready && break; sleep 0.1; done
    wm_ready && break
  fi
  echo "attempt $attempt on $DISPLAY failed" >>"$log"
  for p in $wm $xvfb; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  xvfb="" wm=""
done
if [ -z "$wm" ]; then
  echo "could not start Xvfb with openbox:" >&2
  cat "$log" >&2
  exit 1
fi
rm -f "$log"

if [ -z "${QUORVEL_NO_COMPOSITOR:-}" ]; then
  setpriv --pdeathsig KILL xcompmgr >/dev/null 2>&1 &
  compositor=$!
  sleep 0.3
fi
unset WAYLAND_DISPLAY
"$@"
