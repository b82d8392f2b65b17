#!/usr/bin/env bash
# Installs what is missing, builds, and runs Quorvel. On a desktop it shows the
# stat window (Quit from the tray menu, or Ctrl+C here). Without a display it
# runs Quorvel on a virtual X display for a few seconds and saves a screenshot
# as quorvel-screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build="${QUORVEL_BUILD_DIR:-build}"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$build/quorvel"
fi

shot="$PWD/quorvel-screenshot.png"
scripts/with-x-desktop.sh bash -c '
  "$1" & pid=$!
  sleep "${QUORVEL_SHOT_DELAY:-6}"
  import -window root "$2"
  kill "$pid"; wait "$pid" || true
' _ "$PWD/$build/quorvel" "$shot"
echo "No display: ran Quorvel on Xvfb; screenshot saved as $shot"
