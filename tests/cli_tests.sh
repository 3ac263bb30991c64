#!/usr/bin/env bash
# lozengia-cli as a user runs it: exit statuses, messages, reproducible output.
set -u
cli=${LOZENGIA_CLI:?path of lozengia-cli}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
pass=0
fail=0
ok() { pass=$((pass + 1)); }
bad() { fail=$((fail + 1)); echo "FAIL: $*"; }

# expect STATUS MESSAGE-SUBSTRING -- ARGS...
expect() {
  local want=$1 msg=$2
  shift 3
  "$cli" "$@" >"$tmp/out" 2>"$tmp/err"
  local got=$?
  if [ "$got" != "$want" ]; then
    bad "status $got, wanted $want: $* ($(head -c 300 "$tmp/err"))"
  elif [ -n "$msg" ] && ! grep -qF -- "$msg" "$tmp/err"; then
    bad "stderr lacks '$msg': $* ($(head -c 300 "$tmp/err"))"
  else
    ok
  fi
}

# Bad input of every kind: status 2, the dialog's own message and a hint.
expect 2 "Bad Input" -- -N 0
expect 2 "Bad Input" -- -N abc
expect 2 "Bad Input" -- -T 0 -S 0
expect 2 "Bad Input" -- -T 10 -S 11
expect 2 "Bad Input" -- -S -1
expect 2 "Bad Input" -- -N 99999999999
expect 2 "Bad Input" -- --model q-hahn --q 1
expect 2 "Bad Input" -- --model q-hahn --q nan
expect 2 "Bad Input" -- --model q-hahn --q 1e400
expect 2 "Bad Input" -- --model imaginary-q-racah --q 0.5 --kappa 0
expect 2 "should not lie inside [ -50 , 50 ]" -- --model racah --K 10
expect 2 "should not lie inside [ -50 , 50 ]" -- --model real-q-racah --q 0.9 --log-q-kappa 50
expect 2 "should lie in the same kPi..(k+1)Pi interval" -- --model trigonometric --alpha 0.5 --beta 0
expect 2 "Bad Input" -- --model trigonometric --alpha 0 --beta 1
expect 2 "Unknown model" -- --model uniform
expect 2 "does not apply" -- --model hahn --K 3
expect 2 "--help" -- --no-such-option
expect 2 "" -- --count 0
expect 2 "" -- --samples -3
expect 2 "" -- --style 9
expect 2 "Run 'lozengia-cli --help'" -- -N 0
expect 0 "" -- --help
expect 0 "" -- --model 5 --q 0.9 -N 5 -T 10 -S 5 --seed 1

# The same seed gives the same bytes, whatever the number of threads; another
# seed gives another sample.
"$cli" -N 20 -T 40 -S 20 --seed 77 --count 5 --threads 1 >"$tmp/a1"
"$cli" -N 20 -T 40 -S 20 --seed 77 --count 5 --threads 2 >"$tmp/a2"
"$cli" -N 20 -T 40 -S 20 --seed 77 --count 5 --threads 4 >"$tmp/a4"
"$cli" -N 20 -T 40 -S 20 --seed 78 --count 5 >"$tmp/b"
if cmp -s "$tmp/a1" "$tmp/a2" && cmp -s "$tmp/a1" "$tmp/a4"; then ok; else bad "threads change the output"; fi
# One large sample: the threads share its sweeps.
"$cli" -N 60 -T 120 -S 60 --seed 3 --threads 1 >"$tmp/c1"
"$cli" -N 60 -T 120 -S 60 --seed 3 --threads 2 >"$tmp/c2"
"$cli" -N 60 -T 120 -S 60 --seed 3 --threads 4 >"$tmp/c4"
if cmp -s "$tmp/c1" "$tmp/c2" && cmp -s "$tmp/c1" "$tmp/c4"; then ok; else bad "threads change one sample"; fi
if cmp -s "$tmp/a1" "$tmp/b"; then bad "seeds 77 and 78 gave the same samples"; else ok; fi
# Five samples of 20 rows, separated by single empty lines.
if [ "$(wc -l <"$tmp/a1")" = $((5 * 20 + 4)) ] && [ "$(grep -c '^$' "$tmp/a1")" = 4 ]; then ok; else bad "count layout"; fi
# Rows of 20 fields of 8 characters.
if awk 'NF && length($0) != 160 { exit 1 }' "$tmp/a1"; then ok; else bad "field widths"; fi

# The export file equals standard output; an existing file is replaced.
echo "old" >"$tmp/pp.txt"
expect 0 "" -- -N 20 -T 40 -S 20 --seed 77 --count 5 --export "$tmp/pp.txt"
if cmp -s "$tmp/a1" "$tmp/pp.txt"; then ok; else bad "--export differs from standard output"; fi
expect 1 "Error while opening file" -- -N 3 -T 6 -S 3 --export "$tmp/no/such/dir/pp.txt"
if [ -w /dev/full ]; then
  expect 1 "Error while writing to file" -- -N 3 -T 6 -S 3 --export /dev/full
fi
# More samples than one batch holds: the file is written batch by batch, and
# still equals standard output.
"$cli" -N 2 -T 4 -S 2 --seed 9 --count 5000 >"$tmp/many_out"
expect 0 "" -- -N 2 -T 4 -S 2 --seed 9 --count 5000 --export "$tmp/many.txt"
if cmp -s "$tmp/many_out" "$tmp/many.txt"; then ok; else bad "export of several batches"; fi
# A run ended by a signal leaves an existing export as it was, and no
# temporary file.
echo "old" >"$tmp/kept.txt"
"$cli" -N 200 -T 400 -S 200 --seed 1 --count 1000 --threads 1 --export "$tmp/kept.txt" 2>/dev/null &
run=$!
sleep 1
kill -TERM "$run"
wait "$run"
if [ "$(cat "$tmp/kept.txt")" = "old" ]; then ok; else bad "interrupted run changed the export"; fi
if [ -z "$(ls "$tmp" | grep '^kept\.txt\.')" ]; then ok; else bad "interrupted run left $(ls "$tmp" | grep '^kept')"; fi

# Averaging: N = 1, T = 2, S = 1 has two tilings, the path rising at slice 1
# (partition 0) or at slice 2 (partition 1). The paths are averaged and
# truncated toward zero, so the height at slice 1 is 0 unless every run rose
# first: the average is the partition 1.
out=$("$cli" -N 1 -T 2 -S 1 --seed 5 --samples 40)
if [ "$out" = "       1" ]; then ok; else bad "average of 40 runs is '$out'"; fi
# The minimal configuration (S = 0 rows) exports nothing; S = T likewise.
if [ -z "$("$cli" -N 3 -T 6 -S 0 --seed 1)" ]; then ok; else bad "S = 0 export not empty"; fi
if [ -z "$("$cli" -N 3 -T 6 -S 6 --seed 1)" ]; then ok; else bad "S = T export not empty"; fi

# Pictures.
expect 0 "" -- -N 4 -T 8 -S 4 --seed 1 --png "$tmp/t.png" --svg "$tmp/t.svg" --size 64
if [ "$(head -c 8 "$tmp/t.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ]; then ok; else bad "PNG signature"; fi
if grep -q "<svg" "$tmp/t.svg"; then ok; else bad "SVG content"; fi
expect 0 "" -- -N 2 -T 4 -S 2 --seed 1 --count 2 --png "$tmp/m.png" --size 32
if [ -f "$tmp/m-1.png" ] && [ -f "$tmp/m-2.png" ]; then ok; else bad "numbered pictures"; fi
expect 1 "Error while writing to file" -- -N 2 -T 4 -S 2 --png "$tmp/no/dir/x.png"
# An SVG that could pass its size limit is refused at once, before sampling.
expect 2 "SVG picture refused" -- -N 2000 -T 4000 -S 2000 --seed 1 --svg "$tmp/big.svg"
if [ ! -e "$tmp/big.svg" ]; then ok; else bad "refused SVG was written"; fi

echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
