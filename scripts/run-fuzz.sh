#!/usr/bin/env bash
# Builds the SNMP decoder's fuzz target with clang in its own build directory
# and runs it for a bounded time on a copy of the seed corpus
# (fuzz/corpus/snmp stays as it is). Exits non-zero when the fuzzer finds a
# crash; the input that caused it is left in <build-dir>/fuzz-artifacts/.
#
#   scripts/run-fuzz.sh [seconds] [build-dir]      defaults: 60, build-fuzz
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${2:-$root/build-fuzz}
case $seconds in
  '' | *[!0-9]*)
    echo "usage: $0 [seconds] [build-dir]" >&2
    exit 2
    ;;
esac

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEXA_FUZZ=ON -DVEXA_BUILD_TESTS=OFF -DVEXA_BUILD_CONSOLE=OFF -DVEXA_BUILD_BENCH=OFF
cmake --build "$build" -j2 --target snmp_decode_fuzzer

work="$build/fuzz-work/snmp"
artifacts="$build/fuzz-artifacts"
rm -rf "$work"
mkdir -p "$work" "$artifacts"
cp "$root"/fuzz/corpus/snmp/* "$work"/

"$build/fuzz/snmp_decode_fuzzer" -max_total_time="$seconds" -max_len=4096 \
  -artifact_prefix="$artifacts/" -print_final_stats=1 "$work"
echo "fuzzing ran ${seconds} s without a crash"
