#!/usr/bin/env bash
# The collector's poll cycle, as its poll timer runs it, for DAYS simulated
# days (300-second cycles) against a scripted agent of ROWS rows on
# 127.0.9.2, port 161: resident memory, open descriptors and event-log size
# at the start and after every day. The goal: flat memory and descriptors,
# every request answered, and a log that holds only real events. Needs root
# (port 161).
#
#   bench/soak.sh BUILD_DIR [DAYS] [ROWS] [debug]   (default 30 days, 50 rows)
#
# With "debug" the collector writes its trace files as well.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: soak.sh BUILD_DIR [DAYS] [ROWS] [debug]}" && pwd)
work=$(mktemp -d /tmp/vexa-soak-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$here/../scripts/make-program-folder.sh" "$work/program" "$build/collector/VexaArpSrv" > /dev/null
"$build/bench/collector_soak" "$work/program" "${2:-30}" "${3:-50}" ${4:+"$4"}
