# Shared by the whole-program tests. Each test runs on its own virtual X
# desktop (scripts/with-x-desktop.sh) and gets the quorvel binary as $1.
# No pipefail: checks like `xwininfo | grep -q` must not fail when grep stops early.
set -eu
QUORVEL="$1"
work="$(mktemp -d)"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/data"
mkdir -p "$XDG_CONFIG_HOME/Quorvel" "$XDG_RUNTIME_DIR" "$XDG_DATA_HOME/applications"
chmod 700 "$XDG_RUNTIME_DIR"
settings="$XDG_CONFIG_HOME/Quorvel/Quorvel.conf"
log="$work/quorvel.log"
pids=()

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/desktop-common.sh"

cleanup() {
  local status=$?
  # Quorvel hanging in its orderly shutdown fails the test.
  for p in "${pids[@]}"; do
    if ! end_within 10 "$p" && [ "$p" = "${quorvel_pid:-}" ]; then status=1; fi
  done
  wait 2>/dev/null || true
  # A sanitizer build reports here (at the latest when Quorvel exits), and Qt
  # warns of a connection made to nothing (once seen at quitting).
  if grep -q -E "ERROR: (Address|Leak)Sanitizer|runtime error:|invalid nullptr parameter" \
    "$log" 2>/dev/null; then
    echo "FAIL: sanitizer report or Qt's warning:" >&2
    cat "$log" >&2
    status=1
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'echo "FAIL: $(basename "$0") line $LINENO: $BASH_COMMAND exited with $?" >&2' ERR

fail() { echo "FAIL: $*" >&2; echo "--- quorvel log:" >&2; cat "$log" >&2 2>/dev/null || true; exit 1; }

start_quorvel() {
  # A desktop whose fonts are set to another resolution (Xft.dpi), which Qt
  # takes as a scale factor.
  if [ -n "${QUORVEL_XFT_DPI:-}" ]; then echo "Xft.dpi: $QUORVEL_XFT_DPI" | xrdb -merge; fi
  "$QUORVEL" >>"$log" 2>&1 &
  quorvel_pid=$!
  pids+=("$quorvel_pid")
  wait_for 5000 stat_window_mapped || fail "the stat window never appeared"
}

# wait_for MILLISECONDS COMMAND...: true as soon as COMMAND is, polling every 20 ms.
wait_for() {
  local deadline=$(( $(date +%s%N) / 1000000 + $1 ))
  shift
  while [ $(( $(date +%s%N) / 1000000 )) -lt "$deadline" ]; do
    "$@" && return 0
    sleep 0.02
  done
  "$@"
}

# The stat window's X id: the widest window of class quorvel, and at least a
# graph wide (the tray icon, docked in a panel such as i3bar or fluxbox's
# toolbar, has the same class and may appear first).
stat_window() {
  xwininfo -root -tree 2>/dev/null | awk '/\("quorvel" "Quorvel"\)/ {
      split($0, parts, ")  "); split(parts[2], size, "x");
      if (size[1] + 0 >= 60 && size[1] + 0 > widest) {widest = size[1] + 0; id = $1} }
    END {if (id != "") print id}'
}

# The window's id is looked up once it exists; it stays the same.
stat_id=""
stat_window_mapped() {
  [ -n "$stat_id" ] || stat_id=$(stat_window)
  [ -n "$stat_id" ] && xwininfo -id "$stat_id" 2>/dev/null | grep -q "Map State: IsViewable"
}

stat_window_unmapped() {
  [ -n "$stat_id" ] || stat_id=$(stat_window)
  [ -n "$stat_id" ] && ! xwininfo -id "$stat_id" 2>/dev/null | grep -q "Map State: IsViewable"
}

# x y width height of the stat window, absolute.
stat_geometry() {
  local id; id=$(stat_window)
  xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
                            /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}

# A /proc/stat of $1 processors, to bind over the real one.
fake_proc_stat() {
  echo "cpu  1 2 3 4 5 6 7 8 0 0"
  for ((n = 0; n < $1; n++)); do echo "cpu$n $((1000 + n)) 0 500 90000 12 3 4 0 0 0"; done
  printf 'intr 1 2 3\nctxt 123456\nbtime 1700000000\nprocesses 4242\n'
}
cpu_count() { grep -c '^cpu[0-9]' /proc/stat; }
highest_cpu() { grep -o '^cpu[0-9]*' /proc/stat | sed 's/cpu//' | sort -n | tail -1; }
graph_count() { echo $(( $(highest_cpu) + 2 )); }

set_setting() { # key value: edits the file as a text editor would
  touch "$settings"
  grep -q '^\[General\]' "$settings" || echo "[General]" >"$settings"
  if grep -q "^$1=" "$settings"; then
    sed -i "s|^$1=.*|$1=$2|" "$settings"
  else
    echo "$1=$2" >>"$settings"
  fi
}

# Screenshots, and pixels read from them, are of $SCREEN_DISPLAY: the desktop's
# own display, or the X display a Wayland compositor is nested in.
screen_display() { echo "${SCREEN_DISPLAY:-$DISPLAY}"; }
screenshot() { # name
  if [ -n "${QUORVEL_SCREENSHOTS:-}" ]; then
    mkdir -p "$QUORVEL_SCREENSHOTS"
    import -display "$(screen_display)" -window root "$QUORVEL_SCREENSHOTS/$1.png"
  fi
}
# The X window of the client named $1. The tree is walked again when a window
# that went during the walk (the desktop's own short-lived ones) made it fail.
window_of() {
  local id _
  for _ in $(seq 50); do
    id=$(xwininfo -root -tree 2>/dev/null | awk -v n="\"$1\"" '$0 ~ n && !found {print $1; found=1}')
    [ -n "$id" ] && echo "$id" && return 0
    sleep 0.1
  done
  return 1
}

# Moves the pointer of X display $1 to ($2, $3) by XTest's relative motion:
# nested mutter 48 and GNOME Shell 48 do not follow a warp, and take relative
# motion as a mouse's. In $4 steps (1 by default): a nested shell takes a long
# jump late.
move_pointer() { # display x y [steps]
  local X Y i steps=${4:-1} at_x at_y x y
  eval "$(DISPLAY="$1" xdotool getmouselocation --shell | grep -E '^[XY]=')"
  at_x=$X at_y=$Y
  for i in $(seq "$steps"); do
    x=$((at_x + ($2 - at_x) * i / steps))
    y=$((at_y + ($3 - at_y) * i / steps))
    DISPLAY="$1" xdotool mousemove_relative -- $((x - X)) $((y - Y))
    X=$x Y=$y
    [ "$i" -lt "$steps" ] && sleep 0.05
  done
  return 0
}

# Glides the pointer of X display $1 from where it is to ($2, $3) at $4 units
# a second, as a mouse on a 60 Hz desktop moves it: one relative motion every
# 16 ms, all in one xdotool run so that the pace holds on a loaded machine.
glide() { # display x y units-per-second
  local X Y dx dy steps i nx ny at_x=0 at_y=0 args=()
  eval "$(DISPLAY="$1" xdotool getmouselocation --shell | grep -E '^[XY]=')"
  dx=$(($2 - X)) dy=$(($3 - Y))
  steps=$(awk -v x="$dx" -v y="$dy" -v v="$4" 'BEGIN {n = int(sqrt(x*x + y*y) / (v * 0.016) + 0.5); print n < 1 ? 1 : n}')
  for i in $(seq "$steps"); do
    nx=$((dx * i / steps)) ny=$((dy * i / steps))
    args+=(mousemove_relative -- $((nx - at_x)) $((ny - at_y)))
    [ "$i" -lt "$steps" ] && args+=(sleep 0.016)
    at_x=$nx at_y=$ny
  done
  DISPLAY="$1" xdotool "${args[@]}"
}

# Red, green and blue (0–255) of one pixel of an image. Asked of each channel
# by name: ImageMagick 7 keeps an all-grey image as one grey channel, whose
# "txt:" line has one number where ImageMagick 6 wrote three.
pixel_of() { # image x y
  convert "$1" -crop "1x1+$2+$3" -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:
}
rgb() { # x y: red, green and blue (0–255) of one pixel on the screen
  import -display "$(screen_display)" -window root "$work/pixel.png"
  pixel_of "$work/pixel.png" "$1" "$2"
}
brightness() { # x y: the mean of red, green and blue
  local r g b
  read -r r g b <<<"$(rgb "$1" "$2")"
  echo $(((r + g + b) / 3))
}
mean_brightness() { # x y width height: of a rectangle, in grey
  import -display "$(screen_display)" -window root "$work/mean.png"
  convert "$work/mean.png" -crop "$3x$4+$1+$2" -colorspace Gray -format '%[fx:int(mean * 255)]' info:
}

# Device pixels of a length in Qt's units at the scale in force: QT_SCALE_FACTOR
# times the screen's own factor (QT_SCREEN_SCALE_FACTORS, "name=factor" for the
# one screen here) times Xft.dpi / 96.
scaled() {
  local screen_factor="${QT_SCREEN_SCALE_FACTORS:-=1}"
  awk -v n="$1" -v f="${QT_SCALE_FACTOR:-1}" -v sf="${screen_factor#*=}" \
    -v dpi="${QUORVEL_XFT_DPI:-96}" 'BEGIN {printf "%d", n * f * sf * dpi / 96 + 0.5}'
}

active_window() { xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | awk '{print $NF}'; }
