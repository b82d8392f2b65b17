#!/usr/bin/env bash
# Configures and builds Quorvel in ./build (or $QUORVEL_BUILD_DIR); in CI (CI
# set) a compiler warning fails the build.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${QUORVEL_BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" \
  -DQUORVEL_SANITIZE="${QUORVEL_SANITIZE:-OFF}" \
  -DQUORVEL_WERROR="${QUORVEL_WERROR:-$([ -n "${CI:-}" ] && echo ON || echo OFF)}" -Wno-dev >/dev/null
cmake --build "$build" -j"$(nproc)"
