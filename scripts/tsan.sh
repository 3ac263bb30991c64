#!/usr/bin/env bash
# Builds the threaded parts with ThreadSanitizer into build-tsan/ and runs the
# tests that exercise threads: the keyboard reader and its ring buffer, the
# interactive and live modes and the step commands of the desktop program
# (program thread and GUI thread), and the core's fast-path
# tests (parallel sweeps). A data race or a lock-order inversion fails the test
# that hit it, so the script fails.
#
# Qt itself is not built with ThreadSanitizer, so the hand-over of queued calls
# inside Qt's event queue is invisible to it; scripts/tsan.supp silences
# reports whose every frame of the racing access lies inside Qt's libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=build-tsan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOZENGIA_TSAN=ON \
  -DLOZENGIA_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target keyboard_reader_tests gui_modes_tests gui_program_tests core_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/scripts/tsan.supp"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure --timeout 900 -R '^(keyboard_reader_tests|gui_modes_tests|gui_program_tests|FastPath\..*)$'
