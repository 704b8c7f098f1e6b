#!/usr/bin/env bash
# Installs the Debian packages the station needs, skipping what is already present.
#   install-deps.sh          build and run
#   install-deps.sh --test   build, run and the test suite
#   install-deps.sh --bench  build and the benchmarks
set -euo pipefail

build=(cmake ninja-build g++ pkg-config qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql
       qt6-multimedia-dev qt6-charts-dev libqt6opengl6-dev libsqlite3-dev libzip-dev
       libturbojpeg0-dev libssl-dev
       fonts-arphic-ukai fonts-noto-cjk mdbtools-dev libxlsxwriter-dev)
tests=(xvfb xauth poppler-utils chrony postgresql openssl python3 mdbtools dpkg-dev desktop-file-utils unzip)
bench=(libbenchmark-dev)

wanted=("${build[@]}")
for arg in "$@"; do
  case "$arg" in
    --test) wanted+=("${tests[@]}") ;;
    --bench) wanted+=("${bench[@]}") ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
