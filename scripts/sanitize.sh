#!/usr/bin/env bash
# Builds everything (core, command-line tool, desktop program, tests) with
# AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs the
# whole test suite there. Any memory error, leak or undefined behaviour aborts
# the test that hit it, so the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOZENGIA_ASAN=ON \
  -DLOZENGIA_BENCH=OFF >/dev/null
cmake --build "$build" -j2
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure --timeout 900 -j2
