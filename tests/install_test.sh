#!/usr/bin/env bash
# `cmake --install` of this build into an empty prefix: every file where a
# Debian desktop looks for it and nothing else, the desktop entry and the
# AppStream metainfo valid, an icon that renders, man pages of this version
# that document every option, a bash completion offering exactly the tool's
# options, and the installed programs answering --version without a display
# and drawing a sample.
# Usage: install_test.sh BUILD_DIR VERSION GUI(ON|OFF) MAN_PAGES(ON|OFF)
set -euo pipefail
build=$1 version=$2 gui=$3 man=$4
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
id=org.lozengia.lozengia
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY)

cmake --install "$build" --prefix "$prefix" >/dev/null
cd "$prefix"

expected=(bin/lozengia-cli share/bash-completion/completions/lozengia-cli
  share/doc/lozengia/README.md share/doc/lozengia/docs/command-line.md
  share/doc/lozengia/examples/arctic_circle.py share/doc/lozengia/examples/height_fluctuations.py)
programs=(lozengia-cli)
if [ "$gui" = ON ]; then
  programs+=(lozengia)
  expected+=(bin/lozengia share/applications/$id.desktop share/metainfo/$id.metainfo.xml
    share/icons/hicolor/scalable/apps/$id.svg)
fi
if [ "$man" = ON ]; then
  for p in "${programs[@]}"; do expected+=("share/man/man1/$p.1.gz"); done
fi
for f in "${expected[@]}"; do
  [ -s "$f" ] || fail "$f not installed"
done
stray=$(find . -type f | sed 's|^\./||' | grep -Ev '^(bin/lozengia(-cli)?|share/(applications|metainfo|icons/hicolor/scalable/apps|man/man1|bash-completion/completions|doc/lozengia)/.+)$' || true)
[ -z "$stray" ] || fail "installed outside the expected places: $stray"
[ -x bin/lozengia-cli ] || fail "bin/lozengia-cli is not executable"

# The version, everywhere the same, and no display needed for it.
for p in "${programs[@]}"; do
  out=$("${no_display[@]}" "bin/$p" --version)
  [ "$out" = "$p $version" ] || fail "$p --version says '$out', not '$p $version'"
  "${no_display[@]}" "bin/$p" --help | grep -q '^Usage: ' || fail "$p --help has no usage line"
done

# The desktop program starts only on what it reads: an unknown option or an
# argument is refused (exit 1) rather than ignored, and Qt's own options are
# Qt's (-reverse is no -v), so it starts (and is ended by the timeout).
if [ "$gui" = ON ]; then
  for case in "--bogus 1 60" "extra 1 60" "-reverse 124 5"; do
    read -r args want limit <<<"$case"
    rc=0
    QT_QPA_PLATFORM=offscreen timeout "$limit" bin/lozengia $args >/dev/null 2>&1 || rc=$?
    [ "$rc" = "$want" ] || fail "lozengia $args ended with $rc, not $want"
  done
fi

# A sample from the installed tool: S rows of T-S heights in 0..N.
rows=$(cd "$prefix" && bin/lozengia-cli -N 4 -T 10 -S 3 --seed 1 --export - | awk '
  NF != 7 { bad = 1 } { for (i = 1; i <= NF; i++) if ($i < 0 || $i > 4) bad = 1 }
  END { print (bad ? "bad" : NR) }')
[ "$rows" = 3 ] || fail "the installed lozengia-cli exported '$rows' instead of 3 rows of 7 heights"

# Man pages: this version, and every option of --help.
if [ "$man" = ON ]; then
  for p in "${programs[@]}"; do
    page=$(zcat "share/man/man1/$p.1.gz" | sed 's/\\-/-/g')
    grep -q "^\.TH ${p^^} \"1\" .* \"$p $version\"" <<<"$page" ||
      fail "$p.1's title is not of version $version"
    for opt in $("${no_display[@]}" "bin/$p" --help | grep -oE '^ +(-[a-zA-Z], )?--?[a-zA-Z][-a-zA-Z]*' |
                 grep -oE -- '--?[a-zA-Z][-a-zA-Z]*$'); do
      grep -qF -- "$opt" <<<"$page" || fail "$p.1 does not document $opt"
    done
  done
fi

# The completion offers exactly the options of --help, and the six models.
complete_words() {
  bash -c 'source /usr/share/bash-completion/bash_completion
    source share/bash-completion/completions/lozengia-cli
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _lozengia_cli; printf "%s\n" "${COMPREPLY[@]}"' completion "$@" | sort
}
help_options=$(bin/lozengia-cli --help | grep -oE '^ +(-h,)?--?[a-zA-Z][-a-zA-Z]*' | tr -d ' ' |
               tr ',' '\n' | sort)
[ "$(complete_words lozengia-cli -)" = "$help_options" ] ||
  fail "the completion's options differ from --help's: $(diff <(complete_words lozengia-cli -) <(echo "$help_options") | tr '\n' ' ')"
for model in hahn q-hahn racah trigonometric real-q-racah imaginary-q-racah; do
  bin/lozengia-cli --help | grep -q -- "--model .*$model" || fail "--help does not list the model $model"
  complete_words lozengia-cli --model "" | grep -qx -- "$model" || fail "the completion lacks the model $model"
done

if [ "$gui" = ON ]; then
  desktop-file-validate "share/applications/$id.desktop" || fail "desktop-file-validate"
  grep -qx "Exec=lozengia" "share/applications/$id.desktop" || fail "the desktop entry runs something else"
  grep -qx "Icon=$id" "share/applications/$id.desktop" || fail "the desktop entry names another icon"
  appstreamcli validate --no-net "share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
  grep -q "<release version=\"$version\"" "share/metainfo/$id.metainfo.xml" ||
    fail "the metainfo has no release $version"
  # The icon renders square, transparent around the hexagon and opaque in it.
  rsvg-convert -w 64 -h 64 "share/icons/hicolor/scalable/apps/$id.svg" -o icon.png
  alpha=$(convert icon.png -format '%w %h %[fx:p{0,0}.a] %[fx:p{32,32}.a]' info:)
  [ "$alpha" = "64 64 0 1" ] || fail "the icon is not a square hexagon on nothing: $alpha"
fi
echo "install test passed: ${#expected[@]} files"
