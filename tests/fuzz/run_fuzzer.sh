#!/usr/bin/env bash
# Runs one fuzzer on its corpus for FUZZ_SECONDS (60 by default). Exits non-zero
# when the fuzzer found a crash, a leak, a sanitizer report or a timeout; the
# input that did it is left in ARTIFACTS.
#   run_fuzzer.sh FUZZER CORPUS ARTIFACTS MAX_LEN
set -euo pipefail
fuzzer=$1 corpus=$2 artifacts=$3 max_len=$4
seconds=${FUZZ_SECONDS:-60}
mkdir -p "$corpus" "$artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
exec "$fuzzer" "$corpus" -max_total_time="$seconds" -max_len="$max_len" -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts"
