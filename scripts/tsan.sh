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
cmake --build "$build" -j2 --target keyboard_reader_tests gui_modes_tests gui_program_tests gui_windows_tests core_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/scripts/tsan.supp"
export QT_QPA_PLATFORM=offscreen
cd "$build"
# ThreadSanitizer's shadow memory expects the usual address layout; kernels
# with wide address randomisation can place a mapping where its shadow cannot
# be reserved ("failed to allocate", "unexpected memory mapping"). Running
# without randomisation avoids that where the sandbox allows it, and a test
# that failed for that reason alone is run again: a race report is not retried.
run=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  run=(setarch "$(uname -m)" -R)
fi
tests='^(keyboard_reader_tests|gui_modes_tests|gui_program_tests|gui_windows_tests|FastPath\..*|SweepStreams\..*|StreamRuns\..*|StepStreams\..*|StepCommand\..*)$'
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for attempt in 1 2 3; do
  if "${run[@]}" ctest --output-on-failure --timeout 900 -R "$tests" 2>&1 | tee "$log"; then
    exit 0
  fi
  if grep -q 'WARNING: ThreadSanitizer: \|SUMMARY: ThreadSanitizer' "$log" ||
     ! grep -q 'ThreadSanitizer failed to allocate\|unexpected memory mapping' "$log"; then
    exit 1
  fi
  echo "tsan.sh: ThreadSanitizer could not map its shadow memory (attempt $attempt); running again" >&2
  tests=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (.*$/\1/p' "$log" | paste -sd'|')
  tests="^($tests)\$"
done
exit 1
