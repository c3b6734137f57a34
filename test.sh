#!/usr/bin/env bash
# Builds everything and runs every test. Works on a fresh Debian 12 machine:
# installs its own Debian and npm packages first (quick when already there).
#
# Two passes: the normal build (build/), then the same tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/; the GUI test, whose
# desktop libraries are not sanitizer-clean, runs in the first pass only).
# TALVORO_SKIP_ASAN=1 skips the second pass. Extra arguments go to ctest.
# A third step builds the fuzz targets with clang (build-fuzz/) and runs each for
# FUZZ_SECONDS (60) on its corpus; a crash fails the script. TALVORO_SKIP_FUZZ=1
# skips it.
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
  # LeakSanitizer's exit-time tracer now and then crashes by itself ("Tracer caught
  # signal 11") after a test has passed. When that happened, the failed tests run
  # once more; a test that really fails fails again.
  log=build-asan/ctest.log
  set +e
  # Undefined behaviour fails the test that meets it, as a memory error does.
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
  (cd build-asan && ctest --output-on-failure -j "$JOBS" --timeout 900 -LE gui "$@") 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  set -e
  if [ "$status" != 0 ]; then
    grep -q "LeakSanitizer has encountered a fatal error" "$log" || exit "$status"
    echo "== Running the failed tests once more (LeakSanitizer's tracer crashed)"
    (cd build-asan && ctest --output-on-failure --timeout 900 --rerun-failed)
  fi
fi


if [ "${TALVORO_SKIP_FUZZ:-0}" != 1 ]; then
  echo "== Fuzz targets, ${FUZZ_SECONDS:-60} s each (build-fuzz/)"
  cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVORO_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  fuzzers=(jet_open jet_write sql_parser)
  cmake --build build-fuzz -j "$JOBS" --target "${fuzzers[@]/%/_fuzzer}"
  for fuzzer in "${fuzzers[@]}"; do
    log=build-fuzz/fuzz_$fuzzer.log
    if ! cmake --build build-fuzz --target "fuzz_$fuzzer" >"$log" 2>&1; then
      grep -E -A40 "ERROR|runtime error|SUMMARY" "$log" | head -80
      echo "The fuzz target $fuzzer failed; the input is in build-fuzz/tests/fuzz/artifacts/$fuzzer/ (log: $log)"
      exit 1
    fi
    grep -E "DONE|stat::number_of_executed_units" "$log" | tail -2
  done
fi
