#!/usr/bin/env bash
# Configures and builds Quorvel in ./build (or $QUORVEL_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${QUORVEL_BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" \
  -DQUORVEL_SANITIZE="${QUORVEL_SANITIZE:-OFF}" -Wno-dev >/dev/null
cmake --build "$build" -j"$(nproc)"
