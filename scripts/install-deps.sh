#!/usr/bin/env bash
# Installs what building and running Quorvel needs on Debian 12 or 13
# (`install-deps.sh`, or `install-deps.sh run`), or that and what its tests
# need (`install-deps.sh test`). `install-deps.sh --list [run|test]` prints the
# packages without installing them. Does nothing when everything is there.
#
# Nothing installed here is left serving the network: Debian starts
# prometheus-node-exporter and prometheus as services on every interface when
# it installs them, so those services are stopped and disabled again (the
# tests start their own on loopback).
set -euo pipefail

list_only=0
if [ "${1:-}" = --list ]; then
  list_only=1
  shift
fi
what="${1:-run}"
case "$what" in run | test) ;; *) echo "usage: $0 [--list] [run|test]" >&2; exit 2 ;; esac

# The release decides the few names that differ between Debian 12 and 13.
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
# labwc is packaged from Debian 13 on; nested KWin 6 is scaled by
# kscreen-doctor (KWin 5 takes --scale).
# The SVG plug-ins (the tray icon) come with libqt6svg6 in Debian 12 and
# apart from Debian 13 on.
case "$codename" in
  bookworm) clang_format=clang-format-14 labwc=() kscreen=() svg_plugins=() ;;
  *)
    clang_format=clang-format-19 labwc=(labwc wlr-randr) kscreen=(libkscreen-bin)
    svg_plugins=(qt6-svg-plugins)
    ;;
esac

packages=(
  # build
  cmake g++ pkg-config make
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  qt6-svg-dev "${svg_plugins[@]}" qt6-qpa-plugins libgl-dev libxcb1-dev libxcb-shape0-dev libxcb-xinput-dev libxcb-randr0-dev
  libwayland-dev wayland-protocols plasma-wayland-protocols
  # running without a display: a screenshot on a virtual X desktop
  xvfb xauth openbox xcompmgr x11-utils imagemagick procps
)
if [ "$what" = test ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    # the style check of the sources (.clang-format)
    "$clang_format"
    # the Debian package and the checks of its desktop files
    dpkg-dev file desktop-file-utils appstream
    # the whole-program tests on X
    xdotool wmctrl x11-xserver-utils trayer psmisc iproute2
    # the other desktops the whole-program tests run on
    xfwm4 kwin-x11 mutter i3-wm fluxbox dbus-x11
    # the Wayland sessions they run in (a native test window needs Qt's
    # Wayland plugin; GNOME's mutter starts Xwayland)
    sway "${labwc[@]}" kwin-wayland "${kscreen[@]}" xwayland qt6-wayland dbus
    # what a sway session has beside it: a panel with a tray, a notification
    # daemon, and a program that sends it a notification
    waybar mako-notifier libnotify-bin
    # GNOME Shell, where Quorvel's companion extension runs, gjs for the
    # tests of its logic, and ESLint for its style
    gnome-shell gjs eslint
    # other machines' metrics, as the graphs of "RemoteHosts" read them: an
    # exporter's, and a Prometheus server's scraping several
    prometheus-node-exporter prometheus
    # a busy machine, for scripts/test-under-load.sh
    stress-ng
  )
fi

if [ "$list_only" -eq 1 ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

# The exporter's and the server's own services, started by their packages,
# listen on ports 9100 and 9090 of every interface.
for service in prometheus-node-exporter prometheus; do
  [[ " ${missing[*]} " == *" $service "* ]] || continue
  if [ -d /run/systemd/system ]; then
    $sudo systemctl disable --now "$service.service" >/dev/null 2>&1 || true
  fi
  $sudo invoke-rc.d "$service" stop >/dev/null 2>&1 || true
  $sudo update-rc.d "$service" disable >/dev/null 2>&1 || true
  pkill -f "^/usr/bin/$service( |\$)" 2>/dev/null || true
done
