#!/usr/bin/env bash
# Lays out a demo home: the template database, and an INI whose data folders lie inside it.
#   make-demo-home.sh <build folder> <home>
# A new home (no RolvanDAP/Quorin.db yet) gets a working database with a class held today, its
# lessons laid around the current time, and forty students, and the station settings of the
# demonstration (snapshots with the synthetic camera, keyboard input of the last five digits). An existing home keeps its database and its
# events; when it has no demonstration class for today, one is added. Five of the students are
# written to <home>/demo-identities.txt ("<identity number> <name>" one a line).
set -euo pipefail
build="$1"
mkdir -p "$2"
home="$(cd "$2" && pwd)"
cp -f "$build/SampleQuorin.db" "$home/SampleQuorin.db"
for f in "$build"/*.wav "$build"/*.jpg; do [ -e "$f" ] && cp -f "$f" "$home/"; done
data="$home/RolvanDAP"
if [ ! -f "$home/Rolvan.ini" ]; then
  cat > "$home/Rolvan.ini" <<INI
[Base]
Company Name=示範訓練中心
Company ID=12345678
ComputerNo=01
DataBaseLocationPath=$data
BackupLocationPath=$data/Backup
存放終身學習資料路徑=$data/CSV
ImageFileLocationPath=$data/查核資料檔案
IOKeyboard=True
INI
fi

now="$(date '+%Y/%m/%d %H:%M')"
today="${now% *}"; at="${now#* }"
db="$data/Quorin.db"
identities="$home/demo-identities.txt"
if [ ! -f "$db" ]; then
  # Seeded under a temporary name, so that a failed seeding leaves the home new.
  mkdir -p "$data"
  rm -f "$db.seeding" "$db.seeding-wal" "$db.seeding-shm"
  cp "$build/SampleQuorin.db" "$db.seeding"
  "$build/tools/make_demo_data" --at "$at" --ini "$home/Rolvan.ini" "$db.seeding" "$today" \
    > "$identities.tmp"
  mv "$db.seeding" "$db"
else
  "$build/tools/make_demo_data" --at "$at" "$db" "$today" > "$identities.tmp"
fi
mv "$identities.tmp" "$identities"
