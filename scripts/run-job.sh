#!/usr/bin/env bash
# Runs one whole collection job with the real programs on built-in defaults:
# builds Vexa ARP, makes a fresh program folder, starts a simulated router
# (snmpsim on 127.0.0.2, port 161) and a DNS server for its addresses
# (dnsmasq on 127.0.0.2, port 5353), installs and starts the collector as the
# service "Vexa ARP" through the local service manager, lets it poll at the
# next full hour and export at the stop time, then stops and uninstalls it and
# shows ArpList.txt.
#
# The collector's clock starts at 20 seconds before the next full hour
# (libfaketime) and then runs at normal speed, so the job takes about a
# minute and a half instead of an hour. Needs root (port 161).
#
#   scripts/run-job.sh [FOLDER]        (default: ./run/program)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
folder=${1:-$root/run/program}
jobs=${JOBS:-2}
rows=${ROUTER_ROWS:-60}  # at most 254: the router's addresses are 192.0.2.1 on
router=127.0.0.2
faketime_lib=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$jobs" --target VexaArpSrv vexa-arp
rm -rf "$folder"
scripts/make-program-folder.sh "$folder" build/collector/VexaArpSrv build/cli/vexa-arp > /dev/null
folder=$(cd "$folder" && pwd)
work=$(mktemp -d /tmp/vexa-job-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# The simulated router: an ARP table of $rows entries, every fifth static.
source scripts/simulated-router.sh
start_simulated_router "$work/router" $router "$rows" 192.0.2.1

# Names for every third address of the router.
python3 - "$rows" > "$work/dnsmasq.conf" <<'PY'
import ipaddress, sys
for i in range(0, int(sys.argv[1]), 3):
    ip = ipaddress.IPv4Address("192.0.2.1") + i
    print("ptr-record=%s,host-%s.demo.lan" % (ip.reverse_pointer, str(ip).replace(".", "-")))
print("local=/in-addr.arpa/")
PY
/usr/sbin/dnsmasq --keep-in-foreground --conf-file="$work/dnsmasq.conf" --no-resolv --no-hosts \
  --no-poll --pid-file= --bind-interfaces --listen-address=$router --port=5353 &
pids+=($!)

wait_for_agent $router

# Start 20 seconds before the next full hour; stop polling after that hour's
# first minute.
now=$(date +%s)
start=$(( (now / 3600 + 1) * 3600 - 20 ))
fake_start=$(date -d "@$start" '+%Y-%m-%d %H:%M:%S')
stop_time=$(date -d "@$(( start + 20 ))" '+%Y-%m-%d %H:%M')
sqlite3 "$folder/VexaArp.mdb" \
  "UPDATE Settings_General SET RouterList = '$router', StopTime = '$stop_time'"

export VEXAARP_SERVICE_MANAGER=local
export VEXAARP_SERVICE_DIR=$work/service-state
service() { "$root/build/cli/vexa-arp" --folder "$folder" service "$@"; }
"$folder/VexaArpSrv" -install_noMsg
echo "Collector installed in $folder; its clock starts at $fake_start, stop time $stop_time"
# The collector makes its files as under its systemd unit: its owner's only.
(umask 077 && LD_PRELOAD=$faketime_lib FAKETIME="@$fake_start" FAKETIME_DONT_FAKE_MONOTONIC=1 \
  VEXAARP_DNS_SERVERS=$router:5353 service start)
echo "Service: $(service status | tr '\t\n' ' ,'); waiting for the poll at the full hour and the export"
for _ in $(seq 1 1800); do
  [ -s "$folder/ArpList.txt" ] && grep -q IpAddress "$folder/ArpList.txt" && break
  sleep 0.1
done
service stop
"$folder/VexaArpSrv" -uninstall > /dev/null
echo "--- $folder/Debug/AppEvent.txt"
tr -d '\r' < "$folder/Debug/AppEvent.txt"
echo "--- $folder/ArpList.txt"
tr -d '\r' < "$folder/ArpList.txt"
