#!/usr/bin/env bash
# Makes a ready program folder: the programs, the database VexaArp.mdb made
# from db/schema.sql with one default settings record, and an empty Debug/.
#
#   scripts/make-program-folder.sh FOLDER COLLECTOR [PROGRAM...]
#
# Each program keeps its file name (VexaArpSrv, VexaArp, vexa-arp). An
# existing database in FOLDER is kept (the programs are replaced).
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 FOLDER COLLECTOR [PROGRAM...]" >&2
  exit 2
fi
folder=$1
shift
here=$(cd "$(dirname "$0")/.." && pwd)

mkdir -p "$folder/Debug"
for program in "$@"; do
  install -m 0755 "$program" "$folder/$(basename "$program")"
done
if [ ! -f "$folder/VexaArp.mdb" ]; then
  # Readable by its owner only from its first byte: it holds the community.
  # SQLite gives its -wal and -shm files the database's mode.
  rm -f "$folder/VexaArp.mdb.new"
  (umask 077 && sqlite3 "$folder/VexaArp.mdb.new" < "$here/db/schema.sql" > /dev/null)
  chmod 600 "$folder/VexaArp.mdb.new"
  mv "$folder/VexaArp.mdb.new" "$folder/VexaArp.mdb"
fi
echo "Program folder ready: $folder"
