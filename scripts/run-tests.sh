#!/usr/bin/env bash
# Builds Vexa ARP twice (optimised, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite on both, with the
# decoder fuzzer run for a bounded time in between (its log goes to
# build/fuzz.log). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-60}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

if [ "$fuzz_seconds" -gt 0 ]; then
  scripts/run-fuzz.sh "$fuzz_seconds" > build/fuzz.log 2>&1 || { tail -50 build/fuzz.log; exit 1; }
  tail -1 build/fuzz.log
fi

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXA_SANITIZE=ON \
  -DVEXA_BUILD_BENCH=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

