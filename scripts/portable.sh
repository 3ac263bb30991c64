#!/usr/bin/env bash
# Builds the sampling core without any vector instructions (as on processors
# other than x86-64) and checks that it still draws exactly the samples of
# the plain sweeps.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-portable -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS=-DLOZENGIA_PORTABLE -DLOZENGIA_GUI=OFF -DLOZENGIA_BENCH=OFF >/dev/null
cmake --build build-portable --target core_tests
cd build-portable
ctest --output-on-failure --timeout 600 -R 'FastPath|Exact'
