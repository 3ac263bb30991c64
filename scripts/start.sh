#!/usr/bin/env bash
# Sets up this machine, builds everything and starts the desktop program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here: the desktop program needs one; use ./build/lozengia-cli --help for samples and pictures without it."
  exit 0
fi
exec ./build/lozengia
