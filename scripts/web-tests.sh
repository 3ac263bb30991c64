#!/usr/bin/env bash
# Builds the web page into build-web/ and runs its tests in headless Debian
# chromium (tests/web, through chromedriver), comparing with build/lozengia-cli.
# Usage: scripts/web-tests.sh [pytest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/lozengia-cli ] || { echo "web-tests.sh: build/lozengia-cli is missing (build it first)" >&2; exit 1; }
timeout 600 bash scripts/build-web.sh build-web
LOZENGIA_WEB="$PWD/build-web" LOZENGIA_CLI="$PWD/build/lozengia-cli" \
  timeout 600 /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/web "$@"
