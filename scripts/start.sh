#!/usr/bin/env bash
# Sets up this machine, builds everything and starts the desktop program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # No window can be shown here: the program's main job is shown all the
  # same, as files. Both pictures are drawn from one sample (one seed).
  out=${LOZENGIA_SAMPLE_DIR:-$PWD/sample-100}
  seed=$(date +%s)
  mkdir -p "$out"
  echo "No display here: the desktop program needs one."
  echo "Meanwhile, an exact uniform (Hahn) sample of the 100 x 100 x 100 hexagon (seed $seed) in $out:"
  ./build/lozengia-cli -N 100 -T 200 -S 100 --seed "$seed" \
    --export "$out/hexagon-100.txt" --png "$out/hexagon-100.png"
  ./build/lozengia-cli -N 100 -T 200 -S 100 --seed "$seed" --style 1 \
    --png "$out/hexagon-100-style1.png"
  echo "  $out/hexagon-100.png          the tiling in the default style"
  echo "  $out/hexagon-100-style1.png   the tiling in style 1"
  echo "  $out/hexagon-100.txt          its plane partition (100 rows of 100 numbers)"
  echo "To see it in the desktop program, start it where there is a display:"
  echo "  ./build/lozengia   then File > Open plane partition.. and choose $out/hexagon-100.txt"
  echo "or without a screen, under a virtual X server (apt-get install xvfb):"
  echo "  xvfb-run -a ./build/lozengia"
  echo "More samples and pictures without a display: ./build/lozengia-cli --help"
  exit 0
fi
exec ./build/lozengia
