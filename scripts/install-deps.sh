#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only what is
# missing, so a prepared machine needs no network).
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev zlib1g-dev
  libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev parallel
  clang libclang-rt-14-dev llvm
  pybind11-dev python3-dev python3-numpy python3-pytest python3-matplotlib python3-setuptools
  xvfb xdotool xclip imagemagick x11-utils poppler-utils
  emscripten chromium chromium-driver python3-selenium python3-pil
  help2man dpkg-dev desktop-file-utils appstream librsvg2-bin bash-completion)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
