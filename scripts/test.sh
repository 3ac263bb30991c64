#!/usr/bin/env bash
# Sets up this machine, builds everything and runs every test (no display
# needed: the desktop program's tests use Qt's offscreen platform).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j2
cd ..
# The Python module with Debian's interpreter, as `pip install .` makes it
# (offline, into a temporary folder), its tests run against that copy (ctest
# above ran them against build/python), examples included.
py_target=$(mktemp -d)
/usr/bin/python3 -m pip install -q --root-user-action=ignore --no-build-isolation --no-deps \
  --no-index --target "$py_target" .
PYTHONPATH="$py_target" LOZENGIA_CLI="$PWD/build/lozengia-cli" QT_QPA_PLATFORM=offscreen \
  timeout 900 /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/python
rm -rf "$py_target"
# The web page (the core as WebAssembly) built and tested in headless chromium.
timeout 900 bash scripts/web-tests.sh
# The desktop program in a real (virtual) X server, driven as a user would.
timeout 600 bash scripts/gui-tour.sh build/gui-tour
# The core without vector instructions, as other processors build it.
bash scripts/portable.sh
# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then
# each fuzz target for a bounded time.
bash scripts/sanitize.sh
bash scripts/fuzz.sh
# The threaded parts under ThreadSanitizer.
bash scripts/tsan.sh
