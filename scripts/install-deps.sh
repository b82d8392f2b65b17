#!/usr/bin/env bash
# Installs what building, running and testing Quorvel needs on Debian 12.
# Does nothing when everything is there already.
set -euo pipefail

packages=(
  # build
  cmake g++ pkg-config make
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
  qt6-svg-dev qt6-qpa-plugins libgl-dev libxcb1-dev libxcb-shape0-dev libxcb-xinput-dev libxcb-randr0-dev
  libwayland-dev wayland-protocols plasma-wayland-protocols
  libgtest-dev libgmock-dev libbenchmark-dev
  # the style check of the sources (.clang-format)
  clang-format-14
  # the Debian package and the checks of its desktop files
  dpkg-dev file desktop-file-utils appstream
  # running without a display, and the whole-program tests
  xvfb xauth openbox xcompmgr xdotool wmctrl x11-utils x11-xserver-utils imagemagick trayer
  procps psmisc
  # the other desktops the whole-program tests run on
  xfwm4 kwin-x11 mutter i3-wm fluxbox dbus-x11
  # the Wayland sessions they run in (a native test window needs Qt's Wayland
  # plugin; GNOME's mutter starts Xwayland)
  sway kwin-wayland xwayland qt6-wayland dbus
  # what a sway session has beside it: a panel with a tray, a notification
  # daemon, and a program that sends it a notification
  waybar mako-notifier libnotify-bin
  # GNOME Shell, where Quorvel's companion extension runs, gjs for the tests of
  # its logic, and ESLint for its style
  gnome-shell gjs eslint
  # another machine's metrics, as the graphs of "RemoteHosts" read them
  prometheus-node-exporter
)

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
