#!/usr/bin/env bash
# Lays out a demo home: the template database, and an INI whose data folders lie inside it.
#   make-demo-home.sh <build folder> <home>
set -euo pipefail
build="$1"; home="$2"
mkdir -p "$home"
cp -f "$build/SampleQuorin.db" "$home/SampleQuorin.db"
for f in "$build"/*.wav "$build"/*.jpg; do [ -e "$f" ] && cp -f "$f" "$home/"; done
if [ ! -f "$home/Rolvan.ini" ]; then
  data="$home/RolvanDAP"
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
