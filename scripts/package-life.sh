#!/usr/bin/env bash
# The whole life of the Debian package on this machine, as root:
#   1. package the build in BUILD_DIR as vexa-arp_<version>_amd64.deb, and the
#      same build again with a higher version; lintian must find no error;
#   2. on the real systemd of tests/systemd/systemd-harness.sh: install, set a
#      simulated router, register and start the service, let it collect;
#   3. upgrade: settings and ArpTable kept, the running job left alone;
#   4. remove: the service stopped and unregistered, the data kept;
#   5. purge: the folder gone; again with the service registered and its
#      state unreadable: the unit goes too. In the end nothing of the package
#      is left.
#
# apt-get and dpkg run inside the harness's mount, PID and network
# namespaces, so the maintainer scripts reach the harness's systemd and the
# unit lands in its tmpfs /etc/systemd/system; the package's files go to this
# machine's /opt and /usr/share and the purge takes them away again. Refuses
# to run when a vexa-arp package is on the machine already.
#
#   scripts/package-life.sh BUILD_DIR
set -euo pipefail

fail() {
  echo "package-life: $*" >&2
  exit 1
}

here=$(cd "$(dirname "$0")" && pwd)
harness=$here/../tests/systemd/systemd-harness.sh
folder=/opt/vexa-arp
router=127.0.8.10
package_paths=(
  $folder /var/lib/vexa-arp /usr/share/doc/vexa-arp /usr/share/lintian/overrides/vexa-arp
  /usr/share/applications/vexa-arp.desktop /usr/share/icons/hicolor/scalable/apps/vexa-arp.svg
  /usr/share/man/man8/VexaArpSrv.8.gz /usr/share/man/man8/VexaArp.8.gz
  /usr/share/man/man1/vexa-arp.1.gz /usr/bin/vexa-arp /usr/share/bash-completion/completions/vexa-arp
)

package_state() {
  dpkg-query -W -f='${db:Status-Abbrev}' vexa-arp 2>/dev/null || true
}

apt() {
  DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=600 "$@"
}

# ArpTable and the settings, as text.
dump() {
  sqlite3 -readonly "$folder/VexaArp.mdb" \
    "SELECT * FROM Settings_General; SELECT * FROM ArpTable ORDER BY rowid;"
}

# "not installed", "running", "stopped" or "other", as vexa-arp on the PATH
# reports it.
service_state() {
  vexa-arp service status | awk -F '\t' '
    $1 == "Installed" && $2 == "no" { print "not installed"; exit }
    $1 == "State" { print $2; exit }'
}

service_pid() {
  systemctl show -p MainPID --value vexa-arp.service
}

# Steps 2 to 5, inside the harness.
inside() {
  local deb1=$1 deb2=$2 work=$VEXA_HARNESS_SCRATCH/package-life
  mkdir -p "$work"
  pids=()
  trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done' EXIT
  source "$here/simulated-router.sh"

  echo "--- install $(basename "$deb1")"
  apt install "$deb1"
  [ "$(package_state)" = "ii " ] || fail "not installed: $(package_state)"
  for f in VexaArpSrv VexaArp vexa-arp schema.sql VexaArp.mdb Debug; do
    [ -e "$folder/$f" ] || fail "$folder/$f is missing"
  done
  [ "$(service_state)" = "not installed" ] || fail "a service is registered already"

  echo "--- register and start the service; collect from a simulated router"
  start_simulated_router "$work/router" $router 40 192.0.2.1
  wait_for_agent $router
  sqlite3 "$folder/VexaArp.mdb" "UPDATE Settings_General SET RouterList = '$router', \
    CheckInterval = 3600, DnsCheck = 0, StopTime = '2024-03-05 12:00'"
  "$folder/VexaArpSrv" -install
  # The collector's clock starts just before a full hour, so it polls at once.
  mkdir -p /run/systemd/system/vexa-arp.service.d
  cat > /run/systemd/system/vexa-arp.service.d/test.conf <<EOF
[Service]
Environment=LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
Environment="FAKETIME=@2024-03-05 10:59:40" FAKETIME_DONT_FAKE_MONOTONIC=1
EOF
  systemctl daemon-reload
  vexa-arp service start
  [ "$(service_state)" = running ] || fail "the service does not run"
  local rows=0 i
  for ((i = 0; i < 900; i++)); do
    rows=$(sqlite3 -readonly "$folder/VexaArp.mdb" "SELECT count(*) FROM ArpTable")
    [ "$rows" -gt 0 ] && break
    sleep 0.2
  done
  [ "$rows" = 40 ] || fail "collected $rows rows instead of 40: $(tr -d '\r' < "$folder/Debug/AppEvent.txt")"
  dump > "$work/before"
  local pid
  pid=$(service_pid)
  echo "collected $rows rows; the collector runs as pid $pid"

  echo "--- upgrade to $(basename "$deb2")"
  apt install "$deb2"
  [ "$(dpkg-query -W -f='${Version}' vexa-arp)" = "$(dpkg-deb -f "$deb2" Version)" ] ||
    fail "the upgrade did not take"
  [ "$(service_pid)" = "$pid" ] || fail "the upgrade restarted the service"
  dump > "$work/after"
  diff "$work/before" "$work/after" || fail "the upgrade changed the settings or ArpTable"
  echo "settings and ArpTable kept; the job runs on"

  echo "--- remove"
  apt remove vexa-arp
  [ "$(package_state)" = "rc " ] || fail "not removed: $(package_state)"
  [ ! -e /etc/systemd/system/vexa-arp.service ] || fail "the unit is still there"
  [ "$(systemctl show -p LoadState --value vexa-arp.service)" = not-found ] ||
    fail "systemd still knows vexa-arp.service"
  kill -0 "$pid" 2>/dev/null && fail "the collector still runs"
  grep -q "Service Stopped" "$folder/Debug/AppEvent.txt" || fail "no \"Service Stopped\" in the log"
  grep -q "Service Uninstalled" "$folder/Debug/AppEvent.txt" || fail "no \"Service Uninstalled\""
  [ ! -e "$folder/VexaArpSrv" ] || fail "the programs are still there"
  dump > "$work/removed"
  diff "$work/before" "$work/removed" || fail "the removal changed the data"
  echo "service stopped and unregistered; settings and ArpTable kept in $folder"

  echo "--- purge"
  apt purge vexa-arp
  [ -z "$(package_state)" ] || [ "$(package_state)" = "un " ] || fail "not purged: $(package_state)"
  [ ! -e "$folder" ] || fail "$folder is still there"

  echo "--- purge while the state of the registered service cannot be read"
  apt install "$deb1"
  "$folder/VexaArpSrv" -install_noMsg
  [ -f /etc/systemd/system/vexa-arp.service ] || fail "-install_noMsg wrote no unit"
  # As when vexa-arp cannot run (a library gone in a partial upgrade).
  printf '#!/bin/sh\nexit 127\n' > "$folder/vexa-arp"
  apt purge vexa-arp
  [ ! -e /etc/systemd/system/vexa-arp.service ] || fail "the purge left the unit behind"
  [ "$(systemctl show -p LoadState --value vexa-arp.service)" = not-found ] ||
    fail "systemd still knows vexa-arp.service"
  [ ! -e "$folder" ] || fail "$folder is still there"
}

main() {
  local build=$1
  [ "$(id -u)" = 0 ] || fail "needs root"
  for tool in cpack lintian apt-get dpkg-deb sqlite3 snmpsimd; do
    command -v $tool >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
  done
  [ -f "$build/CPackConfig.cmake" ] || fail "$build is no configured build"
  [ -z "$(package_state)" ] || [ "$(package_state)" = "un " ] ||
    fail "a vexa-arp package is on this machine already ($(package_state)); remove it first"
  [ ! -e $folder ] || fail "$folder exists already"

  build=$(cd "$build" && pwd)
  local out=$build/package-life
  rm -rf "$out"
  mkdir -p "$out"
  local version next
  version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
  next=$version+rebuild1
  dpkg --compare-versions "$next" gt "$version" || fail "$next is not above $version"
  (cd "$out" && cpack --config "$build/CPackConfig.cmake" -B "$out/first" > "$out/cpack.log" &&
    cpack --config "$build/CPackConfig.cmake" -B "$out/next" -D CPACK_PACKAGE_VERSION="$next" \
      >> "$out/cpack.log") || { cat "$out/cpack.log"; fail "cpack failed"; }
  local deb1=$out/first/vexa-arp_${version}_amd64.deb deb2=$out/next/vexa-arp_${next}_amd64.deb
  [ -f "$deb1" ] && [ -f "$deb2" ] || fail "cpack made no $deb1 and $deb2"
  echo "--- lintian $(basename "$deb1")"
  local lint=0
  # lintian leaves cache files in its TMPDIR: one of our own.
  rm -rf "$out/lintian-tmp" && mkdir "$out/lintian-tmp"
  TMPDIR=$out/lintian-tmp lintian --fail-on error "$deb1" > "$out/lintian.log" 2>&1 || lint=$?
  rm -rf "$out/lintian-tmp"
  grep -v "running with root privileges" "$out/lintian.log" || true
  [ "$lint" = 0 ] || fail "lintian finds errors"

  state=$out/harness  # global: the exit trap needs it
  cleanup() {
    local status=$?
    if [ -n "$(package_state)" ] && [ "$(package_state)" != "un " ]; then
      echo "package-life: taking the package away again" >&2
      "$harness" enter "$state" bash -c \
        "DEBIAN_FRONTEND=noninteractive apt-get -y -q purge vexa-arp" >&2 ||
        dpkg --purge --force-all vexa-arp >&2 || true
      status=1
    fi
    "$harness" stop "$state" || status=1
    exit $status
  }
  # dpkg removes a directory the package shipped, /opt included, when a purge
  # leaves it empty and no other package owns it: such an /opt is put back.
  local had_opt=no
  [ -d /opt ] && had_opt=yes
  "$harness" boot "$state"
  trap cleanup EXIT
  "$harness" enter "$state" bash "$0" _inside "$deb1" "$deb2"

  if [ $had_opt = yes ] && [ ! -d /opt ]; then
    mkdir -m 755 /opt
    echo "package-life: /opt was empty and went with the purge; made again"
  fi
  echo "--- nothing of the package is left"
  [ -z "$(package_state)" ] || [ "$(package_state)" = "un " ] || fail "dpkg still knows vexa-arp"
  local path
  for path in "${package_paths[@]}"; do
    [ ! -e "$path" ] || fail "$path is left"
  done
  [ ! -e /etc/systemd/system/vexa-arp.service ] || fail "a unit of the package reached this machine"
  echo "package-life: install, upgrade, remove and purge passed"
}

case "${1:-}" in
  _inside) shift; inside "$@" ;;
  "") fail "usage: $0 BUILD_DIR" ;;
  *) main "$1" ;;
esac
