#!/usr/bin/env bash
# Builds the fuzz targets with clang in their own build directory and runs
# them for a bounded time on copies of their seed corpora (fuzz/corpus/ stays
# as it is): the SNMP decoder for the time given, the neighbour-table index
# reader and the row readers, far smaller surfaces, for a sixth of it each.
# Exits non-zero when the fuzzer finds a crash; the input that caused it is
# left in <build-dir>/fuzz-artifacts/.
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
cmake --build "$build" -j2 --target snmp_decode_fuzzer neighbour_index_fuzzer row_readers_fuzzer

artifacts="$build/fuzz-artifacts"
# fuzz TARGET CORPUS SECONDS MAX_LEN
fuzz() {
  local work="$build/fuzz-work/$2"
  rm -rf "$work"
  mkdir -p "$work" "$artifacts"
  cp "$root"/fuzz/corpus/"$2"/* "$work"/
  "$build/fuzz/$1" -max_total_time="$3" -max_len="$4" \
    -artifact_prefix="$artifacts/" -print_final_stats=1 "$work"
}
fuzz snmp_decode_fuzzer snmp "$seconds" 4096
fuzz neighbour_index_fuzzer neighbour_index $((seconds / 6 + 1)) 1200
fuzz row_readers_fuzzer row_readers $((seconds / 6 + 1)) 4096
echo "fuzzing ran $seconds s, and $((seconds / 6 + 1)) s twice, without a crash"
