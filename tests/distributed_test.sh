#!/usr/bin/env bash
# The README's recipe for spreading samples over machines, run locally with GNU
# parallel on two tasks: each task's output is reproducible from its index, and
# the merge holds every sample once, separated by single empty lines.
set -euo pipefail
cli=${LOZENGIA_CLI:?path of lozengia-cli}
if ! command -v parallel >/dev/null 2>&1; then
  echo "GNU parallel is not installed: skipped"
  exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
export cli
# --- the recipe (as in the README) ---
SEED=2026 COUNT=4
parallel -j2 "\"\$cli\" -N 4 -T 8 -S 4 --count $COUNT --seed \$(($SEED * 100000 + {})) --threads 1 --export part-{}.txt" ::: 0 1
awk 'FNR == 1 && NR != 1 { print "" } { print }' part-0.txt part-1.txt >all.txt
# --- checks ---
for i in 0 1; do
  "$cli" -N 4 -T 8 -S 4 --count $COUNT --seed $((SEED * 100000 + i)) --threads 1 >direct-$i.txt
  cmp part-$i.txt direct-$i.txt
done
cmp -s part-0.txt part-1.txt && { echo "FAIL: two tasks gave the same samples"; exit 1; }
blocks=$(awk 'BEGIN { n = 0; inb = 0 } NF { if (!inb) n++; inb = 1; next } { inb = 0 } END { print n }' all.txt)
[ "$blocks" = 8 ] || { echo "FAIL: merged file holds $blocks samples, expected 8"; exit 1; }
[ "$(grep -c '^$' all.txt)" = 7 ] || { echo "FAIL: separators"; exit 1; }
echo "1 passed, 0 failed"
