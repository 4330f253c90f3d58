#!/usr/bin/env bash
# Installs every Debian package that building and testing Vexa ARP needs.
# Idempotent: installs only what is missing. Needs root (apt-get).
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev clang-format
  libsqlite3-dev sqlite3 libc-ares-dev libssl-dev qt6-base-dev libqt6sql6-sqlite fonts-dejavu-core
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  snmpd snmp snmpsim dnsmasq-base libfaketime iproute2 procps python3 bc
  # history events to the journal, vendor names, metrics checked by promtool
  libsystemd-dev ieee-data prometheus
  xvfb xdotool imagemagick
  # the service on a real systemd, and the Debian package
  systemd dbus util-linux dpkg-dev lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
# The packaged snmpd service is not wanted: tests start their own agents.
if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
  systemctl disable --now snmpd.service >/dev/null 2>&1 || true
  # Likewise the Prometheus server and node exporter: only promtool is used.
  systemctl disable --now prometheus.service prometheus-node-exporter.service >/dev/null 2>&1 || true
fi
