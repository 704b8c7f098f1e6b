#!/usr/bin/env bash
# Configures (once) and builds the project into ./build with Ninja. A second run reuses the build.
#   build.sh [extra cmake -D options]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ROLVAN_BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ] || [ $# -gt 0 ]; then
  cmake -S "$root" -B "$build" -G Ninja "$@"
fi
cmake --build "$build" -j "$(nproc)"
