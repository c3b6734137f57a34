#!/usr/bin/env bash
# Builds everything and runs every test. Works on a fresh Debian 12 machine:
# installs its own Debian and npm packages first (quick when already there).
#
# Two passes: the normal build (build/), then the same tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/; the GUI test, whose
# desktop libraries are not sanitizer-clean, runs in the first pass only).
# TALVORO_SKIP_ASAN=1 skips the second pass. Extra arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

JOBS=${JOBS:-$(nproc)}

echo "== Build and test (build/)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"
(cd build && ctest --output-on-failure -j "$JOBS" --timeout 900 "$@")

if [ "${TALVORO_SKIP_ASAN:-0}" != 1 ]; then
  echo "== Build and test with AddressSanitizer (build-asan/)"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVORO_SANITIZE=ON >/dev/null
  cmake --build build-asan -j "$JOBS"
  (cd build-asan && ctest --output-on-failure -j "$JOBS" --timeout 900 -LE gui "$@")
fi
