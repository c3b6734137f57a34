#!/usr/bin/env bash
# Builds everything and runs every test. Works on a fresh Debian 12 machine:
# installs its own Debian and npm packages first (quick when already there).
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

JOBS=${JOBS:-$(nproc)}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"

# Tests that need a display get a virtual one from xvfb-run themselves.
(cd build && ctest --output-on-failure -j "$JOBS" --timeout 900 "$@")
