#!/usr/bin/env bash
# Builds Vexa ARP, makes a ready program folder and runs the collector in it
# as the service "Vexa ARP" through the local service manager: install, start,
# wait for it to report its start, stop, uninstall; then shows the event log.
#
#   scripts/run-job.sh [FOLDER]        (default: ./run/program)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
folder=${1:-$root/run/program}
jobs=${JOBS:-2}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$jobs" --target VexaArpSrv vexa-service
scripts/make-program-folder.sh "$folder" build/collector/VexaArpSrv
folder=$(cd "$folder" && pwd)

# A service state directory of its own, so the job leaves the system alone.
export VEXAARP_SERVICE_MANAGER=local
export VEXAARP_SERVICE_DIR=$folder/../service-state
service=build/tools/vexa-service

"$folder/VexaArpSrv" -uninstall > /dev/null 2>&1 || true
"$folder/VexaArpSrv" -install_noMsg
"$service" start
for _ in $(seq 1 100); do
  grep -q 'Service Started\.' "$folder/Debug/AppEvent.txt" 2>/dev/null && break
  grep -q $'\t1\t' "$folder/Debug/AppEvent.txt" 2>/dev/null && break
  sleep 0.1
done
echo "Service state: $("$service" status)"
"$service" stop
"$folder/VexaArpSrv" -uninstall
echo "--- $folder/Debug/AppEvent.txt"
tr -d '\r' < "$folder/Debug/AppEvent.txt"
