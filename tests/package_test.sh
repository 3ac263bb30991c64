#!/usr/bin/env bash
# The Debian package of this build, made by CPack into a temporary folder,
# installed by dpkg into an empty root (its own dpkg database, nothing else
# installed there), then run from there: --version of both programs without
# a display, a sample and a picture from the installed lozengia-cli. The
# dependency line must name the package of every library the programs load,
# and must resolve, with apt-get --simulate, against Debian's archive as if
# nothing were installed (a fresh system); without package lists, against
# this system.
#
# Why not a debootstrap chroot: it needs the whole base system and Qt's
# dependencies (some 270 packages) fetched and unpacked, minutes each run;
# the empty root proves the package's own contents and maintainer steps, the
# simulation proves that a fresh Debian 12 can satisfy its dependencies.
# Usage: package_test.sh BUILD_DIR VERSION GUI(ON|OFF)
set -euo pipefail
build=$(cd "$1" && pwd) version=$2 gui=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
arch=$(dpkg --print-architecture)
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY)

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$work/out/lozengia_${version}-1_${arch}.deb
[ -f "$deb" ] || fail "no $deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = lozengia ] && [ "$(field Version)" = "$version-1" ] &&
  [ "$(field Architecture)" = "$arch" ] || fail "control fields: $(dpkg-deb -f "$deb")"
depends=$(field Depends)
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes, Depends: $depends"
depends_on() { tr ',' '\n' <<<"$depends" | awk '{ print $1 }' | grep -qxF "$1"; }

# Installed into an empty root by dpkg itself (as root: it gives the files
# their owner), else only unpacked.
root=$work/root
if [ "$(id -u)" = 0 ]; then
  mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
  touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
  dpkg --root="$root" --force-depends -i "$deb" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; fail "dpkg -i into an empty root"; }
  dpkg --root="$root" -s lozengia | grep -qx 'Status: install ok installed' ||
    fail "dpkg does not count lozengia as installed"
else
  echo "not root: the package is unpacked, not installed by dpkg"
  dpkg-deb -x "$deb" "$root"
fi

programs=(lozengia-cli)
[ "$gui" = ON ] && programs+=(lozengia)
for p in "${programs[@]}"; do
  bin=$root/usr/bin/$p
  out=$("${no_display[@]}" "$bin" --version)
  [ "$out" = "$p $version" ] || fail "installed $p --version says '$out'"
  if readelf -S "$bin" | grep -q '\.debug_info'; then fail "$p is not stripped"; fi
  # Every library it loads comes from a package the line depends on.
  for lib in $(readelf -d "$bin" | awk '/NEEDED/ { gsub(/[][]/, "", $5); print $5 }'); do
    pkg=$(dpkg -S "*/$lib" 2>/dev/null | grep -m1 "^[^:]*:$arch: " | cut -d: -f1) ||
      fail "no package of this system holds $lib"
    depends_on "$pkg" || fail "$p loads $lib of $pkg, not in Depends"
  done
done
[ "$gui" != ON ] || depends_on qt6-qpa-plugins ||
  fail "Depends lacks the Qt platform plugins the desktop program needs"

# A sample and a picture, from the installed tool, in a folder of its own.
mkdir "$work/run"
(cd "$work/run" && "$root/usr/bin/lozengia-cli" -N 6 -T 12 -S 6 --seed 3 --export pp.txt --png t.png) ||
  fail "the installed lozengia-cli could not sample"
[ "$(wc -l <"$work/run/pp.txt")" = 6 ] || fail "the sample has not 6 rows"
[ "$(head -c 8 "$work/run/t.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
  fail "the picture is not a PNG file"

# The dependencies resolve: on a fresh system from the archive's lists, else here.
if compgen -G "/var/lib/apt/lists/*_Packages*" >/dev/null; then
  : >"$work/empty-status"
  where="a system with nothing installed"
  apt_state=(-o "Dir::State::status=$work/empty-status")
else
  where="this system (no package lists for a fresh one)"
  apt_state=()
fi
apt-get install --simulate "${apt_state[@]}" "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get cannot install the package on $where"; }
grep -q '^Conf lozengia ' "$work/apt.log" || { cat "$work/apt.log"; fail "apt-get would not set it up"; }
echo "apt-get --simulate installs it on $where ($(grep -c '^Inst ' "$work/apt.log") packages)"
echo "package test passed"
