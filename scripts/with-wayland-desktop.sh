#!/usr/bin/env bash
# Runs a command in a fresh Wayland session: a compositor nested in its own
# Xvfb (so that xdotool on that X display is the session's mouse, and an X
# screenshot shows what the compositor draws). Prints nothing of its own; the
# command's exit status is this script's.
#
# QUORVEL_COMPOSITOR picks it: sway (run as an unprivileged user: it refuses
# root), labwc (wlroots' stacking compositor, packaged from Debian 13 on),
# kwin (KDE Plasma's kwin_wayland), mutter (GNOME's window manager, which
# starts its own Xwayland) or gnome-shell (the whole GNOME Shell, with
# its top bar; QUORVEL_GNOME_EXTENSIONS lists the extensions it has enabled,
# found where users' are: on XDG_DATA_DIRS). The command sees:
#   WAYLAND_DISPLAY   the compositor's socket, as an absolute path
#   QUORVEL_X_DISPLAY the Xvfb the compositor is nested in (input, screenshots)
#   DISPLAY           the session's Xwayland where the compositor has one
#                     ready (mutter, gnome-shell), else unset
#   DBUS_SESSION_BUS_ADDRESS  the session bus (kwin, sway, gnome-shell)
#   QUORVEL_SHELL_DATA_HOME   where GNOME Shell looks for the user's desktop
#                     entries (gnome-shell; QUORVEL_SHELL_APPLICATIONS, id=program
#                     pairs, are installed there before it starts)
#   QUORVEL_COMPOSITOR_PID    the compositor's process (sway)
# QUORVEL_KWIN_LOGGING: Qt logging rules for KWin, to see why it refuses an
# interface (e.g. "KWIN_UTILS.debug=true").
# KWin checks permissions as in a real session: its restricted interfaces go
# only to programs whose desktop entry (found on XDG_DATA_DIRS) asks for them.
# sway runs as users run it, with a panel along the top (waybar, 30 units
# high, with its tray, which holds StatusNotifierItems) and a notification
# daemon (mako, in the top-right corner).
# QUORVEL_WAYLAND_SCALE sets the output's scale (sway and KWin; 1.5 is
# fractional). The X display stays 1280 × 800 pixels whatever the scale.
# KWin has a second output to the right of the first; its window on the X
# display is moved down to the last 100 rows, out of the way of the first's.
# Everything started here dies with the script, however it ends.
set -euo pipefail
export QUORVEL_COMPOSITOR="${QUORVEL_COMPOSITOR:-sway}"
width=1280 height=800
scale="${QUORVEL_WAYLAND_SCALE:-1}"
# The output's size in its own logical units.
logical_width=$(awk -v w=$width -v s="$scale" 'BEGIN {printf "%d", w / s}')
logical_height=$(awk -v h=$height -v s="$scale" 'BEGIN {printf "%d", h / s}')

session=$(mktemp -d)
chmod 755 "$session"
pids=()
cleanup() {
  local status=$?
  # Each runs in a process group of its own, which takes its children
  # (a session bus, Xwayland) down with it.
  end_within 5 "${pids[@]}" || true
  wait 2>/dev/null || true
  # A failure in GNOME Shell shows what its extensions said.
  if [ "$status" -ne 0 ] && [ "$QUORVEL_COMPOSITOR" = gnome-shell ]; then
    grep -E 'Quorvel companion|JS ERROR|JS WARNING' "$session/compositor.log" >&2 || true
  fi
  rm -rf "$session"
  exit "$status"
}
source "$(dirname "$0")/desktop-common.sh"
trap cleanup EXIT
trap 'exit 143' TERM INT HUP


wait_for_file() { # FILE SECONDS
  local i
  for i in $(seq $(($2 * 20))); do [ -e "$1" ] && return 0; sleep 0.05; done
  return 1
}

# A session bus of the session's own, which the command shares.
start_session_bus() {
  setsid dbus-daemon --session --nofork --print-address=3 3>"$session/bus" 2>/dev/null &
  pids+=($!)
  wait_for_file "$session/bus" 5
  for i in $(seq 100); do [ -s "$session/bus" ] && break; sleep 0.05; done
  DBUS_SESSION_BUS_ADDRESS=$(head -1 "$session/bus")
  export DBUS_SESSION_BUS_ADDRESS
}

# The panel and the notification daemon of a wlroots desktop.
start_panel_and_notifications() {
  mkdir -p "$session/config/waybar" "$session/config/mako"
  cat >"$session/config/waybar/config" <<JSON
{"layer": "top", "position": "top", "height": 30, "modules-right": ["tray"],
 "tray": {"icon-size": 20, "spacing": 6}}
JSON
  cat >"$session/config/waybar/style.css" <<CSS
* { font-family: sans-serif; font-size: 13px; }
window#waybar { background: #303030; color: #ffffff; }
CSS
  for program in waybar mako; do
    setsid env -i PATH=/usr/bin:/bin HOME="$session" XDG_RUNTIME_DIR="$runtime" \
      XDG_CONFIG_HOME="$session/config" WAYLAND_DISPLAY="$socket" \
      DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" \
      setpriv --pdeathsig TERM "$program" >"$session/$program.log" 2>&1 &
    pids+=($!)
  done
}

n=$(free_display 120)
setsid setpriv --pdeathsig TERM Xvfb ":$n" -screen 0 "${width}x${height}x24" -noreset -nolisten tcp \
  >"$session/xvfb.log" 2>&1 &
pids+=($!)
wait_for_file "/tmp/.X11-unix/X$n" 10 || { echo "Xvfb did not start" >&2; exit 1; }
export QUORVEL_X_DISPLAY=":$n"
runtime="$session/runtime"
mkdir -p "$runtime"
chmod 700 "$runtime"
unset DISPLAY WAYLAND_DISPLAY

case "$QUORVEL_COMPOSITOR" in
  sway)
    chown nobody "$runtime"
    cat >"$session/sway.conf" <<CONF
output * resolution ${width}x$height scale $scale bg #204060 solid_color
default_border none
xwayland disable
CONF
    chmod 644 "$session/sway.conf"
    setsid setpriv --pdeathsig TERM --reuid=nobody --regid=nogroup --clear-groups \
      env -i PATH=/usr/bin:/bin HOME="$session" XDG_RUNTIME_DIR="$runtime" \
      DISPLAY="$QUORVEL_X_DISPLAY" WLR_BACKENDS=x11 WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
      sway -c "$session/sway.conf" >"$session/compositor.log" 2>&1 &
    pids+=($!)
    export QUORVEL_COMPOSITOR_PID=$! # setsid, setpriv and env each exec the next
    socket="$runtime/wayland-1"
    start_session_bus
    ;;
  labwc)
    # wlroots' stacking compositor (Debian 13 on); its X11 output is made
    # the X display's size once it is up.
    mkdir -p "$session/config/labwc"
    printf '<labwc_config><core><decoration>server</decoration></core></labwc_config>\n' \
      >"$session/config/labwc/rc.xml"
    start_session_bus
    setsid env -i PATH=/usr/bin:/bin HOME="$session" XDG_RUNTIME_DIR="$runtime" \
      XDG_CONFIG_HOME="$session/config" DISPLAY="$QUORVEL_X_DISPLAY" \
      DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" \
      WLR_BACKENDS=x11 WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
      setpriv --pdeathsig TERM labwc >"$session/compositor.log" 2>&1 &
    pids+=($!)
    socket="$runtime/wayland-0"
    ;;
  kwin)
    # The packaged binary carries a file capability that a container may
    # refuse to run; a plain copy runs.
    cp /usr/bin/kwin_wayland "$session/kwin_wayland"
    # KWin's virtual desktops are reached over the session bus.
    start_session_bus
    # KWin finds a program's desktop entry among the applications that
    # KDE's service cache lists, and from KDE Frameworks 6 on that cache lists
    # only what an applications menu takes in. A Plasma session has one
    # (plasma-applications.menu, with XDG_MENU_PREFIX=plasma-); this session
    # has the same: every entry in the applications folders.
    mkdir -p "$session/config/menus"
    cat >"$session/config/menus/applications.menu" <<'MENU'
<Menu>
  <Name>Applications</Name>
  <DefaultAppDirs/>
  <DefaultDirectoryDirs/>
  <Include><All/></Include>
</Menu>
MENU
    setsid env -i PATH=/usr/bin:/bin HOME="$session" XDG_RUNTIME_DIR="$runtime" \
      XDG_CONFIG_HOME="$session/config" \
      DISPLAY="$QUORVEL_X_DISPLAY" XDG_DATA_DIRS="${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" \
      QT_LOGGING_RULES="${QUORVEL_KWIN_LOGGING:-}" \
      DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" \
      setpriv --pdeathsig TERM "$session/kwin_wayland" \
      --x11-display "$QUORVEL_X_DISPLAY" --socket wayland-quorvel \
      --width "$logical_width" --height "$logical_height" --scale "$scale" --output-count 2 \
      >"$session/compositor.log" 2>&1 &
    pids+=($!)
    socket="$runtime/wayland-quorvel"
    ;;
  mutter)
    setsid env -i PATH=/usr/bin:/bin HOME="$session" XDG_RUNTIME_DIR="$runtime" \
      DISPLAY="$QUORVEL_X_DISPLAY" MUTTER_DEBUG_DUMMY_MODE_SPECS="${width}x$height" \
      setpriv --pdeathsig TERM dbus-run-session -- mutter --wayland --nested \
      --wayland-display wayland-quorvel >"$session/compositor.log" 2>&1 &
    pids+=($!)
    socket="$runtime/wayland-quorvel"
    ;;
  gnome-shell)
    # Where logind does not answer (a container) the shell dies in its login
    # manager unless /run/systemd looks empty: it runs in a mount namespace of
    # its own with empty folders there, and a system bus of its own.
    # Services the bus starts (dconf, which keeps the shell's settings) see the
    # session's home.
    HOME="$session" XDG_RUNTIME_DIR="$runtime" start_session_bus
    export QUORVEL_SHELL_DATA_HOME="$session/data"
    # What a GNOME session tells its programs.
    export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
    mkdir -p "$QUORVEL_SHELL_DATA_HOME/applications"
    # The applications installed before the session starts (the shell is slow
    # to notice entries that appear later): QUORVEL_SHELL_APPLICATIONS lists
    # id=program pairs.
    for pair in ${QUORVEL_SHELL_APPLICATIONS:-}; do
      printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s\n' "${pair%%=*}" "${pair#*=}" \
        >"$QUORVEL_SHELL_DATA_HOME/applications/${pair%%=*}.desktop"
    done
    enabled=$(printf "'%s'," ${QUORVEL_GNOME_EXTENSIONS:-})
    env HOME="$session" XDG_RUNTIME_DIR="$runtime" gsettings set org.gnome.shell enabled-extensions "[${enabled%,}]"
    mkdir -p /run/dbus
    setsid env -i PATH=/usr/bin:/bin HOME="$session" XDG_RUNTIME_DIR="$runtime" \
      DISPLAY="$QUORVEL_X_DISPLAY" MUTTER_DEBUG_DUMMY_MODE_SPECS="${width}x$height" \
      XDG_DATA_HOME="$QUORVEL_SHELL_DATA_HOME" XDG_CURRENT_DESKTOP=GNOME \
      XDG_DATA_DIRS="${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" \
      DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" \
      unshare -m --propagation private sh -c '
        [ -d /run/systemd ] && mount -t tmpfs none /run/systemd
        mount -t tmpfs none /run/dbus
        dbus-daemon --system --nofork & bus=$!
        for i in $(seq 100); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.05; done
        gnome-shell --nested --wayland --wayland-display wayland-quorvel
        kill $bus' >"$session/compositor.log" 2>&1 &
    pids+=($!)
    socket="$runtime/wayland-quorvel"
    ;;
  *) echo "unknown compositor QUORVEL_COMPOSITOR=$QUORVEL_COMPOSITOR" >&2; exit 2 ;;
esac

if ! wait_for_file "$socket" 20; then
  echo "with-wayland-desktop: $QUORVEL_COMPOSITOR did not start:" >&2
  cat "$session/compositor.log" >&2
  exit 1
fi
export WAYLAND_DISPLAY="$socket"
[ "$QUORVEL_COMPOSITOR" = sway ] && start_panel_and_notifications
if [ "$QUORVEL_COMPOSITOR" = labwc ]; then
  for i in $(seq 100); do
    XDG_RUNTIME_DIR="$runtime" wlr-randr --output X11-1 --custom-mode "${width}x$height" \
      --scale "$scale" >/dev/null 2>&1 && break
    sleep 0.1
  done
fi
if [ "$QUORVEL_COMPOSITOR" = kwin ]; then
  # Each output is an X window at the origin, made in order.
  for i in $(seq 100); do
    outputs=$(DISPLAY="$QUORVEL_X_DISPLAY" xwininfo -root -children | awk '/^ +0x/ {print $1}' | sort)
    [ "$(wc -w <<<"$outputs")" -ge 2 ] && break
    sleep 0.05
  done
  DISPLAY="$QUORVEL_X_DISPLAY" xdotool windowmove "$(tail -1 <<<"$outputs")" 0 $((height - 100))
  # KWin 6 gives a nested output the scale its output settings choose from
  # the output's physical size, which a nested one has none of, whatever
  # --scale says; its own configuration tool sets it.
  if [ "$scale" != 1 ] && command -v kscreen-doctor >/dev/null &&
    [ "$(kwin_wayland --version 2>/dev/null | grep -o ' [0-9]*' | head -1)" -ge 6 ]; then
    for i in $(seq 50); do
      kscreen-doctor output.1.scale."$scale" output.2.scale."$scale" >/dev/null 2>&1 &&
        kscreen-doctor -o 2>/dev/null | grep -q "Scale: .*$scale" && break
      sleep 0.1
    done
  fi
fi
if [ "$QUORVEL_COMPOSITOR" = mutter ] || [ "$QUORVEL_COMPOSITOR" = gnome-shell ]; then
  # Mutter names its Xwayland display in its log.
  for i in $(seq 200); do
    xdisplay=$(grep -o 'Using public X11 display :[0-9]*' "$session/compositor.log" | grep -o ':[0-9]*' || true)
    [ -n "$xdisplay" ] && break
    sleep 0.05
  done
  [ -n "$xdisplay" ] || { echo "mutter named no Xwayland display:" >&2; cat "$session/compositor.log" >&2; exit 1; }
  export DISPLAY="$xdisplay"
  # Its Xwayland lets in only holders of the cookie it wrote.
  XAUTHORITY=$(ls "$runtime"/.mutter-Xwaylandauth.* 2>/dev/null | head -1)
  export XAUTHORITY
fi
sleep 1 # the first output and seat are announced after the socket appears
if [ "$QUORVEL_COMPOSITOR" = gnome-shell ]; then
  # The shell starts in the overview; a user's first Escape leaves it.
  for i in $(seq 100); do
    grep -q 'GNOME Shell started' "$session/compositor.log" && break
    sleep 0.1
  done
  sleep 1
  DISPLAY="$QUORVEL_X_DISPLAY" xdotool key Escape
  sleep 0.5
fi
"$@"
