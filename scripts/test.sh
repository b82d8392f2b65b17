#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, widget and
# whole-program tests on a virtual X desktop).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/build.sh
build="${QUORVEL_BUILD_DIR:-build}"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
