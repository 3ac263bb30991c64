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
# The version, on stdout, for a problem report.
if "$cli" --version | grep -qE '^lozengia-cli [0-9]+\.[0-9]+'; then ok; else bad "--version"; fi
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
# More samples than one batch holds: the file is written batch by batch, and
# still equals standard output.
"$cli" -N 2 -T 4 -S 2 --seed 9 --count 5000 >"$tmp/many_out"
expect 0 "" -- -N 2 -T 4 -S 2 --seed 9 --count 5000 --export "$tmp/many.txt"
if cmp -s "$tmp/many_out" "$tmp/many.txt"; then ok; else bad "export of several batches"; fi
# A run ended by a signal (any that would end it) leaves an existing export
# as it was, and no temporary file; the shell sees 128 + the signal.
echo "old" >"$tmp/kept.txt"
for sig in TERM USR1 ALRM XCPU; do
  timeout -s $sig 1 "$cli" -N 200 -T 400 -S 200 --seed 1 --count 1000 --threads 1 \
    --export "$tmp/kept.txt" 2>/dev/null
  got=$?
  if [ $got = 124 ] && [ "$(cat "$tmp/kept.txt")" = "old" ]; then ok; else bad "SIG$sig: $got, the export changed"; fi
  if [ -z "$(ls "$tmp" | grep '^kept\.txt\.')" ]; then ok; else bad "SIG$sig left $(ls "$tmp" | grep '^kept')"; fi
done
# A file size limit (ulimit -f): reported with its reason, the file intact.
(ulimit -f 100 && "$cli" -N 50 -T 100 -S 50 --count 100 --export "$tmp/kept.txt" 2>"$tmp/err")
got=$?
if [ $got = 1 ] && grep -qF "Error while writing to file $tmp/kept.txt: File too large" "$tmp/err" &&
  [ "$(cat "$tmp/kept.txt")" = "old" ] && [ -z "$(ls "$tmp" | grep '^kept\.txt\.')" ]; then ok; else bad "ulimit -f gave $got ($(cat "$tmp/err"))"; fi
# The same while a picture is being written: its temporary file goes too.
mkdir "$tmp/pics"
# (An SVG of this size is streamed for a good part of a second.)
"$cli" -N 600 -T 1200 -S 600 --seed 1 --svg "$tmp/pics/p.svg" 2>/dev/null &
run=$!
for _ in $(seq 3000); do
  ls "$tmp/pics" | grep -q '\.svg\.' && break
  sleep 0.01
done
kill -TERM "$run"
wait "$run"
if [ -z "$(ls "$tmp/pics" | grep '\.svg\.')" ]; then ok; else bad "interrupted picture left $(ls "$tmp/pics" | grep '\.svg\.')"; fi

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
expect 1 "Error while opening file" -- -N 2 -T 4 -S 2 --png "$tmp/no/dir/x.png"

# Every output goes through one writer that looks at what the target is.
# is_png FILE / is_svg FILE / is_pp FILE: the bytes of each kind of output.
is_png() { [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ]; }
is_svg() { grep -q "<svg" "$1"; }
is_pp() { cmp -s "$1" "$tmp/small"; }
small=(-N 4 -T 8 -S 4 --seed 11 --size 32)
"$cli" "${small[@]}" >"$tmp/small"
for kind in png svg export; do
  check=is_pp
  [ $kind = png ] && check=is_png
  [ $kind = svg ] && check=is_svg
  # Standard output.
  "$cli" "${small[@]}" --$kind - >"$tmp/std.$kind" 2>"$tmp/err"
  if [ $? = 0 ] && $check "$tmp/std.$kind"; then ok; else bad "--$kind - ($(cat "$tmp/err"))"; fi
  # A new file gets the mode the umask gives; an existing one keeps its own.
  (umask 027 && "$cli" "${small[@]}" --$kind "$tmp/new.$kind")
  if $check "$tmp/new.$kind" && [ "$(stat -c %a "$tmp/new.$kind")" = 640 ]; then ok; else bad "--$kind new file"; fi
  echo old >"$tmp/old.$kind"
  chmod 600 "$tmp/old.$kind"
  expect 0 "" -- "${small[@]}" --$kind "$tmp/old.$kind"
  if $check "$tmp/old.$kind" && [ "$(stat -c %a "$tmp/old.$kind")" = 600 ]; then ok; else bad "--$kind existing file"; fi
  # A link is followed and stays a link.
  ln -s "old.$kind" "$tmp/link.$kind"
  expect 0 "" -- "${small[@]}" --$kind "$tmp/link.$kind"
  if [ -L "$tmp/link.$kind" ] && $check "$tmp/old.$kind"; then ok; else bad "--$kind link"; fi
  # A named pipe: the reader gets the bytes and the pipe stays a pipe.
  mkfifo "$tmp/pipe.$kind"
  timeout 60 cat "$tmp/pipe.$kind" >"$tmp/piped.$kind" &
  reader=$!
  timeout 60 "$cli" "${small[@]}" --$kind "$tmp/pipe.$kind" 2>"$tmp/err"
  got=$?
  wait $reader
  if [ $got = 0 ] && [ -p "$tmp/pipe.$kind" ] && $check "$tmp/piped.$kind"; then ok; else bad "--$kind pipe ($got, $(cat "$tmp/err"))"; fi
  # A folder, a missing folder, a folder that vanished: refused before
  # anything is sampled (this hexagon would take minutes).
  for target in "$tmp" "$tmp/" "$tmp/gone/x.$kind" "$tmp/old.$kind/x"; do
    timeout 20 "$cli" -N 2000 -T 4000 -S 2000 --$kind "$target" >/dev/null 2>"$tmp/err"
    got=$?
    if [ $got = 1 ] && grep -qF "Error while opening file" "$tmp/err"; then ok; else bad "--$kind $target gave $got ($(cat "$tmp/err"))"; fi
  done
  # A private full device (root only; never the machine's own /dev/full):
  # the write fails and the device stays a device.
  if [ "$(id -u)" = 0 ] && mknod "$tmp/full" c 1 7 2>/dev/null && (: >"$tmp/full") 2>/dev/null; then
    expect 1 "Error while writing to file" -- -N 20 -T 40 -S 20 --size 200 --$kind "$tmp/full"
    if [ -c "$tmp/full" ]; then ok; else bad "--$kind replaced the device"; fi
    rm -f "$tmp/full"
  else
    echo "skipped: --$kind to a full device (needs root and mknod)"
  fi
  # A writable file in a folder that may not be written: written in place,
  # its old content copied to $TMPDIR first (and removed at the end).
  mkdir "$tmp/ro"
  mkdir -p -m 777 "$tmp/copies"
  echo old >"$tmp/ro/f.$kind"
  seq 100000 >"$tmp/ro/big.$kind"  # 588895 bytes
  if [ "$(id -u)" = 0 ]; then
    chmod 755 "$tmp"  # reachable by the unprivileged user
    chown -R 65534:65534 "$tmp/ro"
    chmod 555 "$tmp/ro"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  else
    chmod 555 "$tmp/ro"
    as_user=()
  fi
  TMPDIR="$tmp/copies" "${as_user[@]}" "$cli" "${small[@]}" --$kind "$tmp/ro/f.$kind" 2>"$tmp/err"
  got=$?
  if [ $got = 0 ] && $check "$tmp/ro/f.$kind" && [ -z "$(ls "$tmp/copies")" ]; then ok; else bad "--$kind read-only folder ($got, $(cat "$tmp/err"))"; fi
  # No copy can be kept (the file size limit is below the old file's size):
  # refused before sampling, unless --in-place.
  (ulimit -f 100 && TMPDIR="$tmp/copies" "${as_user[@]}" "$cli" "${small[@]}" --$kind "$tmp/ro/big.$kind" 2>"$tmp/err")
  got=$?
  if [ $got = 1 ] && grep -qF -- "--in-place" "$tmp/err" && [ "$(seq 100000)" = "$(cat "$tmp/ro/big.$kind")" ]; then ok; else bad "--$kind without a copy ($got, $(cat "$tmp/err"))"; fi
  (ulimit -f 100 && TMPDIR="$tmp/copies" "${as_user[@]}" "$cli" "${small[@]}" --$kind "$tmp/ro/big.$kind" --in-place 2>"$tmp/err")
  got=$?
  if [ $got = 0 ] && $check "$tmp/ro/big.$kind"; then ok; else bad "--$kind --in-place ($got, $(cat "$tmp/err"))"; fi
  if [ "$(ls "$tmp/ro" | tr '\n' ' ')" = "big.$kind f.$kind " ] && [ -z "$(ls "$tmp/copies")" ]; then ok; else bad "--$kind in place left $(ls "$tmp/ro" "$tmp/copies")"; fi
  if [ $kind = export ]; then
    # Ended by a signal once the first samples are written in place: the
    # old content comes back whole.
    seq 100000 >"$tmp/ro/big.$kind"
    TMPDIR="$tmp/copies" "${as_user[@]}" "$cli" -N 30 -T 60 -S 30 --count 100000 --export "$tmp/ro/big.$kind" 2>/dev/null &
    run=$!
    written=no
    for _ in $(seq 600); do
      [ "$(head -c 3 "$tmp/ro/big.$kind")" != "$(printf '1\n2')" ] && written=yes && break
      sleep 0.05
    done
    kill -TERM $run
    wait $run
    got=$?
    if [ $written = yes ] && [ $got = 143 ] && [ "$(seq 100000)" = "$(cat "$tmp/ro/big.$kind")" ] && [ -z "$(ls "$tmp/copies")" ]; then ok; else bad "in place and interrupted: $got"; fi
  fi
  chmod 755 "$tmp/ro"
  rm -rf "$tmp/ro" "$tmp/pipe.$kind" "$tmp/link.$kind"
done
# /dev/stdout is the shell's own redirection: `>>` appends.
echo "earlier" >"$tmp/log"
"$cli" "${small[@]}" --export /dev/stdout >>"$tmp/log"
if [ "$(head -1 "$tmp/log")" = earlier ] && [ "$(tail -n +2 "$tmp/log")" = "$(cat "$tmp/small")" ]; then ok; else bad "--export /dev/stdout >> log"; fi
# Several pictures into one stream: one after another, no numbered files.
"$cli" -N 2 -T 4 -S 2 --seed 1 --count 3 --png - --size 16 >"$tmp/three.png"
if [ "$(grep -c -a IEND "$tmp/three.png")" = 3 ] && [ -z "$(ls "$tmp" | grep '^-')" ]; then ok; else bad "three pictures on standard output"; fi
# Standard output takes one output only; no two outputs write into one file or
# stream; an empty name is not "not given".
expect 2 "standard output" -- "${small[@]}" --png - --svg -
expect 2 "standard output" -- "${small[@]}" --png - --export -
(cd "$tmp" && ln -sf same.txt same-link)
for pair in "--export $tmp/same.txt --png $tmp/same.txt" "--export $tmp/same-link --svg $tmp/./same.txt" \
  "--png $tmp/same.png --svg $tmp/same.png --count 2" "--png $tmp/n.png --export $tmp/n-2.png --count 2" \
  "--export ./fort.111"; do
  # shellcheck disable=SC2086
  expect 2 "would write into the same file or stream" -- "${small[@]}" $pair
done
if [ ! -e "$tmp/same.txt" ] && [ ! -e "$tmp/n-1.png" ]; then ok; else bad "a refused run wrote"; fi
"$cli" "${small[@]}" --export /dev/stdout --png - >"$tmp/out" 2>"$tmp/err"
if [ $? = 2 ] && [ ! -s "$tmp/out" ]; then ok; else bad "--export /dev/stdout --png - was not refused"; fi
expect 0 "" -- "${small[@]}" --export /dev/null --png /dev/null
for opt in --export --png --svg; do expect 2 "$opt: the file name is empty" -- "${small[@]}" $opt ""; done
# Several pictures into one named pipe: opened once, the reader gets them all.
mkfifo "$tmp/pictures"
timeout 60 cat "$tmp/pictures" >"$tmp/piped" &
reader=$!
timeout 60 "$cli" -N 2 -T 4 -S 2 --count 3 --png "$tmp/pictures" --size 16
got=$?
wait $reader
if [ $got = 0 ] && [ "$(grep -c -a IEND "$tmp/piped")" = 3 ]; then ok; else bad "three pictures into a pipe gave $got"; fi
# Standard descriptors closed at start: no file takes their numbers (the
# operators' warnings stay out of the export); closed standard output is
# still refused.
"$cli" --model q-hahn --q 1e308 -N 20 -T 40 -S 20 --seed 1 --export "$tmp/quiet.txt" 2>&-
got=$?
if [ $got = 0 ] && ! grep -q "warning" "$tmp/quiet.txt" && [ "$(wc -l <"$tmp/quiet.txt")" = 20 ]; then ok; else bad "2>&- gave $got and $(grep -c warning "$tmp/quiet.txt") warnings in the export"; fi
"$cli" "${small[@]}" >&- 2>"$tmp/err"
if [ $? = 1 ] && grep -qF "Error while opening file (standard output)" "$tmp/err"; then ok; else bad ">&- not refused"; fi
# A reader of standard error that goes away ends nothing.
"$cli" --model q-hahn --q 1e308 -N 20 -T 40 -S 20 --seed 1 --count 20 --export "$tmp/quiet.txt" 2>&1 >/dev/null | head -c 1 >/dev/null
got=${PIPESTATUS[0]}
if [ "$got" = 0 ] && [ "$(grep -c '^$' "$tmp/quiet.txt")" = 19 ]; then ok; else bad "stderr reader gone: $got"; fi
# A model that overflows on every block: what one run writes of its messages
# and reports is capped, the rest counted.
(cd "$tmp" && "$cli" --model q-hahn --q 1e308 -N 50 -T 100 -S 50 --seed 1 --count 50 --export quiet.txt 2>err)
if [ "$(wc -l <"$tmp/err")" = 1001 ] && tail -1 "$tmp/err" | grep -qE '^\([0-9]+ more lines left out\)$'; then ok; else bad "stderr not capped: $(wc -l <"$tmp/err") lines"; fi
if [ "$(wc -l <"$tmp/fort.111")" = 1001 ] && tail -1 "$tmp/fort.111" | grep -qE '^\([0-9]+ more lines left out\)$'; then ok; else bad "report not capped: $(wc -l <"$tmp/fort.111") lines"; fi
# A reader that goes away: reported, not a silent death.
"$cli" -N 50 -T 100 -S 50 --count 100 --seed 1 2>"$tmp/err" | head -c 10 >/dev/null
got=${PIPESTATUS[0]}
if [ "$got" = 1 ] && grep -qF "Error while writing to file" "$tmp/err"; then ok; else bad "closed pipe gave $got"; fi
# An SVG that could pass its size limit is refused at once, before sampling.
expect 2 "SVG picture refused" -- -N 2000 -T 4000 -S 2000 --seed 1 --svg "$tmp/big.svg"
if [ ! -e "$tmp/big.svg" ]; then ok; else bad "refused SVG was written"; fi

# A run that would pass the memory it may take is refused before any work:
# status 2, what it would need, an existing export as it was and no
# temporary file beside it. The limit: --max-memory, or the address space
# or data size limited in a subshell (a bare run would allocate 1.1 GB).
# A sanitizer's shadow memory cannot be mapped under ulimit -v or -d: with
# such a build only the --max-memory rows run.
sanitized=$(ldd "$cli" 2>/dev/null | grep -c 'lib[at]san' || true)
echo old >"$tmp/mem.txt"
while read -r limit args; do
  [ "$limit" != - ] && [ "$sanitized" != 0 ] && continue
  (if [ "$limit" != - ]; then ulimit "$limit"; fi
   exec timeout 60 "$cli" $args --seed 1 --export "$tmp/mem.txt") >/dev/null 2>"$tmp/err"
  got=$?
  if [ $got = 2 ] && grep -q "^Not enough memory for this run: needs .*, .* \(available\|allowed\)$" "$tmp/err" &&
    [ "$(cat "$tmp/mem.txt")" = old ] && [ "$(ls "$tmp" | grep -c '^mem\.txt')" = 1 ]; then
    ok
  else
    bad "memory limit $limit $args gave $got ($(cat "$tmp/err"))"
  fi
done <<LIMITS
- -N 1000 -T 2000 -S 1000 --max-memory 20M
- -N 1 -T 40000 -S 20000 --count 3 --max-memory 1M
-v1000000 --model racah --K -4000000 -N 3000000 -T 2 -S 1
-d500000 --model racah --K -4000000 -N 3000000 -T 2 -S 1
-v400000 -N 100 -T 200 -S 100 --png $tmp/mem.png --size 20000
LIMITS
# With the room, the same kind of run goes through.
expect 0 "" -- -N 100 -T 200 -S 100 --seed 1 --max-memory 1G --export "$tmp/mem.txt"
expect 2 "--max-memory: '12 apples' is not a size" -- --max-memory "12 apples"

# --from: a file read back. For every model, export -> --from -> export gives
# the same bytes; a given -S moves the tiling there, reproducibly by seed.
while read -r model args; do
  "$cli" --model "$model" $args -N 6 -T 14 -S 6 --seed 5 --count 2 --export "$tmp/from.txt"
  "$cli" --model "$model" $args --from "$tmp/from.txt" --index 2 --export "$tmp/again.txt"
  "$cli" --model "$model" $args -N 6 -T 14 -S 6 --seed 5 --count 2 |
    awk 'BEGIN { RS = ""; ORS = "\n" } NR == 2' >"$tmp/second.txt"
  if cmp -s "$tmp/again.txt" "$tmp/second.txt"; then ok; else bad "--from round trip of $model"; fi
done <<MODELS
hahn
q-hahn --q 0.9
racah --K 20
trigonometric --alpha 0.1 --beta 0.8
real-q-racah --q 1.1 --log-q-kappa 12
imaginary-q-racah --q 0.9 --kappa 2
MODELS
"$cli" --from "$tmp/from.txt" -S 9 --seed 3 >"$tmp/moved1"
"$cli" --from "$tmp/from.txt" -S 9 --seed 3 >"$tmp/moved2"
if cmp -s "$tmp/moved1" "$tmp/moved2" && [ "$(wc -l <"$tmp/moved1")" = 9 ]; then ok; else bad "--from -S 9 is not reproducible"; fi
printf '       3       2\n       1       2\n' >"$tmp/rising.txt"
expect 2 "rising.txt: line 2, column 9: entry 2 is larger than the entry 1 left of it" -- --from "$tmp/rising.txt"
printf '3 2\n1\n' >"$tmp/ragged.txt"
expect 2 "line 2, column 2: this line has 1 entry" -- --from "$tmp/ragged.txt"
: >"$tmp/empty.txt"
expect 2 "no plane partition in the file" -- --from "$tmp/empty.txt"
mkfifo "$tmp/fifo"
expect 2 "not a regular file" -- --from "$tmp/fifo"
expect 2 "--index 3: $tmp/from.txt holds 2 plane partitions" -- --from "$tmp/from.txt" --index 3
expect 2 "--count does not apply with --from" -- --from "$tmp/from.txt" --count 2
expect 2 "--samples does not apply with --from" -- --from "$tmp/from.txt" --samples 2
expect 2 "--index applies only with --from" -- --index 2
printf '       2       1\n' >"$tmp/small.txt"
expect 2 "small.txt: line 1, column 1: entry 2 is too large: entries lie in 0..1" -- --from "$tmp/small.txt" -N 1
expect 2 "-T 20: the plane partition read has 6 rows of 8 entries, so T = 14" -- --from "$tmp/from.txt" -T 20
expect 2 "Bad Input" -- --from "$tmp/from.txt" -S 15
expect 0 "" -- --from "$tmp/from.txt" -N 9 --png "$tmp/from.png"

echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
