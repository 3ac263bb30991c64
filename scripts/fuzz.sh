#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for a
# bounded time on a copy of its seed corpus. Any crash, leak, timeout, memory
# blow-up or sanitizer report fails the script; the input that caused it is
# kept in build-fuzz/artifacts/<target>/.
#   FUZZ_SECONDS  seconds per target (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
build=build-fuzz
targets=(fuzz_config fuzz_params fuzz_cli fuzz_pp_text)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DLOZENGIA_FUZZ=ON -DLOZENGIA_GUI=OFF -DLOZENGIA_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  work="$build/corpus/$name"        # grows while fuzzing; the seeds stay as committed
  artifacts="$build/artifacts/$name/"
  mkdir -p "$work" "$artifacts"
  log="$build/$t.log"
  rc=0
  "$build/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts" \
    "$work" "fuzz/corpus/$name" >"$log" 2>&1 || rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1 || true)
  if [ "$rc" != 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
    echo "$t: FAILED (status $rc) after ${runs:-?} inputs; log $log, inputs in $artifacts"
    grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -20 || true
    status=1
  else
    echo "$t: ok, ${runs:-?} inputs tried in ${seconds} s"
  fi
done
exit $status
