#!/usr/bin/env bash
# Builds the web page into OUTDIR: the sampling core and the rasteriser as
# WebAssembly (Debian's emscripten), the page, its JavaScript modules and the
# benchmark page. The folder is static: serve it from any web server.
# Usage: scripts/build-web.sh OUTDIR
set -euo pipefail
out=${1:?usage: build-web.sh OUTDIR}
root=$(cd "$(dirname "$0")/.." && pwd)
# Debian's emscripten finds its JavaScript modules only here.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
version=$(sed -n 's/^project(Lozengia VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "build-web.sh: no project VERSION in CMakeLists.txt" >&2; exit 1; }
mkdir -p "$out"
obj=$(mktemp -d)
trap 'rm -rf "$obj"' EXIT

# The core's own sources without Qt, signals or the machine's files (the
# file writer comes along only because the SVG writer's file form links it).
sources=(
  core/hexagon core/memory_limit core/random core/weights core/operators core/params
  core/plane_partition core/step_command core/fast_sweep core/sweep/wavefront core/worker_threads
  core/sweep/footprint render/pp_writer render/tiling render/raster_tiling
  render/lozenge_regions render/svg_tiling render/output_file render/output_target
  render/pending_files render/side_files
)
# No fused multiply-add (every path draws the same bits), the portable sweep
# with WebAssembly's 128-bit vectors for what the compiler vectorises itself.
flags=(-std=c++20 -O3 -msimd128 -ffp-contract=off -DLOZENGIA_PORTABLE -Wall -Wextra
       -include "$root/web/compat/std_compat.h" -I"$root/src")
pids=()
objects=()
for s in "${sources[@]}" ../web/bindings; do
  o="$obj/$(echo "$s" | tr / _).o"
  objects+=("$o")
  em++ "${flags[@]}" -c "$root/src/$s.cpp" -o "$o" &
  pids+=($!)
  # Two compilers at a time.
  if [ ${#pids[@]} -ge 2 ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
done
for p in "${pids[@]}"; do wait "$p"; done

em++ "${objects[@]}" -O3 -msimd128 --bind -o "$out/lozengia_core.js" \
  -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=create_core -sENVIRONMENT=web,worker \
  -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=2GB -sINITIAL_MEMORY=32MB \
  -sFILESYSTEM=0

for f in index.html app.js form.js view.js worker.js lozengia.js style.css bench.html bench.js; do
  sed "s/@VERSION@/$version/g" "$root/web/$f" > "$out/$f"
done
echo "web page in $out (Lozengia $version)"
