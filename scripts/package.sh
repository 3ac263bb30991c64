#!/usr/bin/env bash
# Builds the Debian package lozengia_<version>-1_<arch>.deb into build/ (or
# the build folder given) from that build, configuring and building it first
# if needed. Install it with: sudo apt-get install ./build/lozengia_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/CPackConfig.cmake" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build"
cd "$build"
cpack -G DEB
