#!/usr/bin/env bash
# Times two builds of lozengia-cli on the same runs, alternated in one go (the
# machine's speed drifts, so only ratios of one run mean anything), and prints
# each build's CPU seconds, the medians' ratio and the sums' ratio (new/old).
#   bench/compare_builds.sh OLD_CLI NEW_CLI [ROUNDS] -- LOZENGIA-CLI OPTIONS
# Round k runs --seed k, the two builds in turn, the first one alternating.
# Example: bench/compare_builds.sh old/lozengia-cli build/lozengia-cli 10 -- \
#   --model q-hahn --q 0.995 -N 600 -T 1200 -S 600 --threads 1
set -euo pipefail
[ $# -ge 4 ] || { sed -n 2,8p "$0"; exit 2; }
old=$1 new=$2 rounds=10
shift 2
if [ "$1" != "--" ]; then rounds=$1; shift; fi
[ "$1" = "--" ] && shift
cpu() { /usr/bin/time -f %U "$@" --export /dev/null 2>&1 >/dev/null | tail -1; }
olds=() news=()
for ((k = 1; k <= rounds; ++k)); do
  if ((k % 2)); then
    b=$(cpu "$new" "$@" --seed "$k"); a=$(cpu "$old" "$@" --seed "$k")
  else
    a=$(cpu "$old" "$@" --seed "$k"); b=$(cpu "$new" "$@" --seed "$k")
  fi
  olds+=("$a") news+=("$b")
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
sum() { printf '%s\n' "$@" | awk '{s += $1} END {print s}'; }
echo "old: ${olds[*]}"
echo "new: ${news[*]}"
awk -v mo="$(median "${olds[@]}")" -v mn="$(median "${news[@]}")" \
    -v so="$(sum "${olds[@]}")" -v sn="$(sum "${news[@]}")" \
    'BEGIN {printf "new/old: median %.3f, sum %.3f\n", mn / mo, sn / so}'
