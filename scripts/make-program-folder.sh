#!/usr/bin/env bash
# Makes a ready program folder: the programs, the database VexaArp.mdb made
# from db/schema.sql with one default settings record, and an empty Debug/.
#
#   scripts/make-program-folder.sh FOLDER COLLECTOR [CONSOLE]
#
# An existing database in FOLDER is kept (the programs are replaced).
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 FOLDER COLLECTOR [CONSOLE]" >&2
  exit 2
fi
folder=$1
collector=$2
console=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)

mkdir -p "$folder/Debug"
install -m 0755 "$collector" "$folder/VexaArpSrv"
if [ -n "$console" ]; then
  install -m 0755 "$console" "$folder/VexaArp"
fi
if [ ! -f "$folder/VexaArp.mdb" ]; then
  sqlite3 "$folder/VexaArp.mdb.new" < "$here/db/schema.sql" > /dev/null
  mv "$folder/VexaArp.mdb.new" "$folder/VexaArp.mdb"
fi
echo "Program folder ready: $folder"
