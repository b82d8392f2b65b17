#!/usr/bin/env bash
# Runs Quorvel's suite (or a command) on Debian 13 ("trixie") from a Debian 12
# machine, the way it runs on Debian 12: in a Debian 13 root made once with
# mmdebstrap and kept under a cache folder, holding what
# `scripts/install-deps.sh test` installs there.
#
#   scripts/with-debian13.sh            build with warnings as errors, run ctest
#   scripts/with-debian13.sh CMD...     run CMD in the tree instead
#
# The working tree (tracked and untracked files git does not ignore) is copied
# to /quorvel/src in the root at each run; the build folder /quorvel/build is
# kept between runs. The command runs in namespaces of its own: a mount
# namespace (/proc, /sys, /dev, /dev/pts, and fresh /dev/shm, /tmp and /run),
# a network namespace with only loopback (so test displays and ports never
# meet the host's), and a process namespace that ends everything it started.
#
# QUORVEL_DEBIAN13_CACHE: the cache folder (/var/cache/quorvel/debian13).
# QUORVEL_DEBIAN_MIRROR: the archive (http://deb.debian.org/debian).
# The first run needs about 7 minutes and 3.3 GB to make the root; while
# install-deps.sh is unchanged, later runs only copy the tree.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache="${QUORVEL_DEBIAN13_CACHE:-/var/cache/quorvel/debian13}"
mirror="${QUORVEL_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
root="$cache/root"
[ "$(id -u)" -eq 0 ] || { echo "with-debian13: needs root (it makes a chroot and mounts)" >&2; exit 2; }

# In a chroot apt must not start the services it installs.
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

if [ ! -x "$root/usr/bin/apt-get" ]; then
  command -v mmdebstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq mmdebstrap >/dev/null
  echo "with-debian13: making a Debian 13 root in $root"
  rm -rf "$root"
  mkdir -p "$cache"
  mmdebstrap --quiet --variant=apt --include=ca-certificates,iproute2 \
    --customize-hook='printf "#!/bin/sh\nexit 101\n" >"$1/usr/sbin/policy-rc.d"; chmod 755 "$1/usr/sbin/policy-rc.d"' \
    trixie "$root" "$mirror"
fi

# The packages, installed again whenever the list may have changed.
stamp=$(sha256sum "$repo/scripts/install-deps.sh" | cut -d' ' -f1)
if [ "$(cat "$cache/deps.stamp" 2>/dev/null)" != "$stamp" ]; then
  mkdir -p "$root/quorvel"
  cp "$repo/scripts/install-deps.sh" "$root/quorvel/install-deps.sh"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mount -t proc proc "$root/proc"
  trap 'umount "$root/proc"' EXIT
  in_root /quorvel/install-deps.sh test
  umount "$root/proc"
  trap - EXIT
  echo "$stamp" >"$cache/deps.stamp"
fi

# The tree as it is now.
rm -rf "$root/quorvel/src"
mkdir -p "$root/quorvel/src" "$root/quorvel/build"
# (A tracked file deleted in the tree is left out.)
(cd "$repo" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do if [ -e "$f" ]; then printf '%s\0' "$f"; fi; done |
  tar --null -T - -cf -) | tar -xf - -C "$root/quorvel/src"

if [ $# -eq 0 ]; then
  set -- bash -c 'QUORVEL_WERROR=ON QUORVEL_BUILD_DIR=/quorvel/build scripts/build.sh &&
    cd /quorvel/build && ctest --output-on-failure -j"$(nproc)"'
fi

# shellcheck disable=SC2016 # expanded by the inner shell
unshare --mount --net --pid --fork --propagation private bash -c '
  set -e
  root=$1
  shift
  mount --bind "$root" "$root"
  mount -t proc proc "$root/proc"
  mount --bind /sys "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
  mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
  mount -t tmpfs -o mode=755 tmpfs "$root/run"
  ip link set lo up
  exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    CI="${CI:-}" TERM=dumb sh -c "cd /quorvel/src && exec \"\$@\"" sh "$@"
' _ "$root" "$@"
