#!/usr/bin/env bash
# Screenshots of the console's tabs for the documentation, taken from the
# real window on a virtual X server. Builds nothing: give it the programs.
#
#   scripts/screenshots.sh CONSOLE COLLECTOR [OUT_DIR]
#
# Writes OUT_DIR/communication.png, OUT_DIR/service-control.png,
# OUT_DIR/snmp.png, OUT_DIR/search.png and OUT_DIR/history.png (default
# OUT_DIR: docs/screenshots). The window runs in a scratch program folder with
# example settings; the service is registered with the local service manager
# in a scratch state directory, so the "Service Control" tab shows an
# installed, stopped service. Needs: xvfb, xdotool, imagemagick, sqlite3.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 CONSOLE COLLECTOR [OUT_DIR]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")/.." && pwd)
console=$(realpath "$1")
collector=$(realpath "$2")
out=${3:-$here/docs/screenshots}
mkdir -p "$out"
out=$(realpath "$out")

work=$(mktemp -d)
xvfb_pid=
console_pid=
cleanup() {
  if [ -n "$console_pid" ]; then kill "$console_pid" 2>/dev/null || true; wait "$console_pid" 2>/dev/null || true; fi
  if [ -x "$work/program/VexaArpSrv" ]; then "$work/program/VexaArpSrv" -uninstall >/dev/null 2>&1 || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# A program folder with example settings (documentation addresses only).
"$here/scripts/make-program-folder.sh" "$work/program" "$collector" "$console" >/dev/null
sqlite3 "$work/program/VexaArp.mdb" "UPDATE Settings_General SET
  RouterList = '192.0.2.1' || char(13,10) || '192.0.2.129' || char(13,10) || '198.51.100.1',
  GetComm = 'public', TimeOut = 5, Retries = 2, CheckInterval = 900,
  SaveOnlyDynamic = 1, DnsCheck = 1, DebugMode = 0, StopTime = '2024-06-01 23:00',
  SnmpVersion = 3, UseBulk = 1, MaxRepetitions = 25, NeighbourTable = 1, ParallelWalks = 4,
  V3User = 'vexa-ro',
  V3AuthProtocol = 'SHA-256', V3AuthPassword = 'example-auth', V3PrivProtocol = 'AES',
  V3PrivPassword = 'example-priv', V3Context = '',
  HistoryDays = 400, QuietDays = 90, EventCommand = '/usr/local/bin/vexa-arp-mail'"
# Example pairings for the "Search" tab: the current job's table and history.
sqlite3 "$work/program/VexaArp.mdb" "
  INSERT INTO ArpTable (IpAddr, MacAddr, Type, IfIndex, SeenTimes, DnsName) VALUES
    ('192.0.2.10', '00 50 56 a1 0b 2c', 3, 2, 14, 'files.example.net'),
    ('192.0.2.1', '00 00 0c 07 ac 01', 4, 2, 14, 'gw.example.net'),
    ('192.0.2.23', '3c 22 fb 41 9e 07', 3, 2, 3, 'n/a');
  INSERT INTO ArpHistory (IpAddr, MacAddr, IpKey, Router, IfIndex, FirstSeen, LastSeen,
    Cycles, IsCurrent) VALUES
    ('192.0.2.10', '00 50 56 a1 0b 2c', X'c000020a', '192.0.2.1', 2, 1709251200, 1717260000, 812, 1),
    ('192.0.2.10', '00 1b 21 3a 4f 10', X'c000020a', '192.0.2.1', 2, 1696118400, 1709164800, 1290, 0),
    ('192.0.2.1', '00 00 0c 07 ac 01', X'c0000201', '192.0.2.1', 2, 1696118400, 1717260000, 2650, 1),
    ('192.0.2.23', '3c 22 fb 41 9e 07', X'c0000217', '192.0.2.129', 5, 1717200000, 1717260000, 3, 1)"

export VEXAARP_SERVICE_MANAGER=local
export VEXAARP_SERVICE_DIR="$work/service"
"$work/program/VexaArpSrv" -install_noMsg

# A virtual screen at 96 dpi on a free display number.
Xvfb -displayfd 3 -screen 0 800x600x24 -dpi 96 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb

"$work/program/VexaArp" &
console_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name "Vexa ARP Reader" | head -n1)
[ -n "$window" ] || { echo "the console window did not appear" >&2; exit 1; }
xdotool windowfocus --sync "$window"
sleep 1
import -window "$window" "$out/communication.png"

# Next tab (the status check runs when it is selected and takes about 1.2 s).
xdotool key --clearmodifiers ctrl+Tab
sleep 3
import -window "$window" "$out/service-control.png"

xdotool key --clearmodifiers ctrl+Tab
sleep 1
import -window "$window" "$out/snmp.png"

xdotool key --clearmodifiers ctrl+Tab
sleep 1
xdotool type --delay 20 "192.0.2.0/24"
xdotool key --clearmodifiers Return
sleep 1
import -window "$window" "$out/search.png"

xdotool key --clearmodifiers ctrl+Tab
sleep 1
import -window "$window" "$out/history.png"
echo "Wrote $out/communication.png, $out/service-control.png, $out/snmp.png, $out/search.png and $out/history.png"
