#!/usr/bin/env bash
# A tour of the desktop program in a real X server, driven as a user drives it:
# New hexagon, S->S+1 steps, Show tiling, the picture window maximised and
# zoomed, the text window closed and brought back, a long step command
# stopped, the picture saved as PNG and as SVG, copied with Ctrl+C, the
# right-click menu (zoom, Save view as..), the Models page (F1), a large
# tiling in the default style, a plane partition file opened, Exit. A
# screenshot after each step goes to OUTDIR. Fails when the program dies, its
# window is missing, or a screenshot shows no tiling where one should be.
#
#   scripts/gui-tour.sh OUTDIR [path/to/lozengia]
#
# Needs Xvfb, xdotool, xclip and ImageMagick (scripts/install-deps.sh). Starts its
# own X server on a free display and stops it, and the program, on the way
# out; every wait is bounded.
set -euo pipefail

out=${1:?usage: gui-tour.sh OUTDIR [lozengia]}
root=$(cd "$(dirname "$0")/.." && pwd)
app=${2:-$root/build/lozengia}
[ -x "$app" ] || { echo "gui-tour: no program at $app (build it first)" >&2; exit 1; }
for tool in Xvfb xdotool xclip import convert; do
  command -v "$tool" >/dev/null || { echo "gui-tour: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "gui-tour: FAILED: $*" >&2
  [ -f "$work/xvfb.log" ] && sed "s/^/  xvfb: /" "$work/xvfb.log" >&2
  [ -f "$work/app.log" ] && sed 's/^/  program: /' "$work/app.log" >&2
  exit 1
}

# Xvfb picks a free display number itself and writes it once it accepts
# connections, so two tours (or other X servers) starting at once never meet.
Xvfb -displayfd 3 -screen 0 1400x900x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
xdpyinfo >/dev/null 2>&1 || fail "Xvfb does not answer on $DISPLAY"

# Settings of its own, with the fields a user would have typed last time: a
# 100 x 100 x 100 hexagon, 100 steps of one sample.
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME/Lozengia" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cat >"$XDG_CONFIG_HOME/Lozengia/lozengia.ini" <<'EOF'
[new]
kind=6
1002=100
1003=200
1004=0
[steps]
steps=100
samples=1
EOF
cd "$work"
"$app" >"$work/app.log" 2>&1 &
app_pid=$!

alive() { kill -0 "$app_pid" 2>/dev/null || fail "the program died ($1)"; }

# Waits (bounded) for a top-level window titled exactly $1; prints its id.
window() {
  local id="" pattern
  # The title as a regular expression that matches it exactly.
  pattern=$(printf '%s' "$1" | sed 's/[][\\.*^$+?(){}|]/\\&/g')
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$pattern\$" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

main=$(window "Lozengia") || fail "the main window did not appear"
sleep 1.5
alive start

focus() { xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"; sleep 0.2; }
keys() { focus "$main"; xdotool key --delay 80 "$@"; }
# A dialog titled $1: focus it, then the keys that follow.
in_dialog() {
  local title=$1 id
  shift
  id=$(window "$title") || fail "the dialog \"$title\" did not open"
  focus "$id"
  xdotool key --delay 60 "$@"
}
type_in() { xdotool type --delay 20 "$1"; }

# The number of pixels of the three lozenge colours in a screenshot.
lozenge_pixels() {
  convert "$1" -format %c histogram:info:- |
    awk 'toupper($0) ~ /#D0FFD0|#FFD0D0|#B0B0DD/ { gsub(":", "", $1); n += $1 } END { print n + 0 }'
}
# Pixels of plain white (the text window's page).
white_pixels() {
  convert "$1" -format %c histogram:info:- |
    awk 'toupper($0) ~ /#FFFFFF / { gsub(":", "", $1); n += $1 } END { print n + 0 }'
}

step=0
shot() {
  local name=$1 need=${2:-none}
  step=$((step + 1))
  local file
  file=$(printf '%s/%02d-%s.png' "$out" "$step" "$name")
  sleep 0.8
  alive "$name"
  xdotool search --name "^Lozengia" >/dev/null 2>&1 || fail "the main window is missing ($name)"
  import -window root "$file" || fail "no screenshot ($name)"
  local colours
  colours=$(convert "$file" -format %k info:)
  [ "$colours" -gt 4 ] || fail "$file is blank ($colours colours)"
  case "$need" in
    tiling)
      local n
      n=$(lozenge_pixels "$file")
      [ "$n" -gt 20000 ] || fail "$file shows no tiling ($n lozenge pixels)"
      ;;
    text)
      local w
      w=$(white_pixels "$file")
      [ "$w" -gt 200000 ] || fail "$file shows no text window ($w white pixels)"
      ;;
  esac
  echo "gui-tour: $file"
}

shot start tiling

# New hexagon: the dialog offers the fields remembered from last time.
keys ctrl+n
in_dialog "New" Return
shot new-hexagon tiling

# S->S+1 steps: 100 steps, remembered; the picture says it is out of date.
keys ctrl+u
in_dialog "S->S+1 Markov operator" Return
sleep 2
shot steps tiling

# Show tiling: the style dialog, OK.
keys ctrl+t
in_dialog "Choose style of a tiling picture" Return
sleep 2
shot show-tiling tiling

# Maximise the picture window: a double click on its title bar (the picture
# window is the right one of the two, at the top of the window area).
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + WIDTH - 200)) $((Y + 38)) click --repeat 2 --delay 80 1
sleep 2
shot maximised tiling

# Zoom in: Ctrl++ three times around the cursor, over the hexagon's upper
# left edge, where the frozen corner meets the disordered middle.
xdotool mousemove $((X + WIDTH * 37 / 100)) $((Y + HEIGHT * 28 / 100))
keys ctrl+plus ctrl+plus ctrl+plus
sleep 3
shot zoomed tiling

# Close the text window (Window menu, its entry, Ctrl+W), then bring it back
# through the Window menu: its messages are all there.
keys alt+w 1
sleep 0.5
keys ctrl+w
shot text-window-closed tiling
keys alt+w 1
shot text-window-back text

# A long step command, stopped with Esc: S->S-1, 100 steps, 100000 samples.
keys ctrl+d
in_dialog "S->S-1 operator" ctrl+a
type_in "100"
xdotool key Tab
type_in "100000"
xdotool key Return
sleep 2
shot long-command-running
keys Escape
sleep 2
shot long-command-stopped text

# Save image as.. : a name without a suffix gets the chosen type's (PNG),
# a name with ".svg" is written as SVG.
keys ctrl+t
in_dialog "Choose style of a tiling picture" Return
sleep 2
for name in tour-picture tour-picture.svg; do
  keys ctrl+s
  in_dialog "Save image as.." ctrl+a
  type_in "$out/$name"
  xdotool key Return
  sleep 2
done
shot saved tiling
[ -f "$out/tour-picture.png" ] || fail "no PNG was saved"
head -c 4 "$out/tour-picture.png" | grep -q PNG || fail "tour-picture.png is not a PNG"
[ -f "$out/tour-picture.svg" ] || fail "no SVG was saved"
grep -q "<svg" "$out/tour-picture.svg" || fail "tour-picture.svg is not an SVG"

# Ctrl+C with the whole hexagon shown (Ctrl+0): the picture is on the
# clipboard as an image and as an SVG drawing.
keys ctrl+0 ctrl+c
sleep 1
targets=$(xclip -selection clipboard -t TARGETS -o 2>/dev/null || true)
grep -q "image/png" <<<"$targets" || fail "Ctrl+C put no image on the clipboard ($targets)"
grep -q "image/svg+xml" <<<"$targets" || fail "Ctrl+C put no SVG on the clipboard ($targets)"
xclip -selection clipboard -t image/png -o >"$out/copied.png"
head -c 4 "$out/copied.png" | grep -q PNG || fail "the copied picture is not a PNG image"

# The right-click menu of the picture: Zoom in twice (the fourth entry),
# then "Save view as.." (the first) saves what the window shows.
eval "$(xdotool getwindowgeometry --shell "$main")"
menu_at() {
  xdotool mousemove $((X + WIDTH * 45 / 100)) $((Y + HEIGHT * 40 / 100)) click 3
  sleep 0.8
}
menu_at
shot context-menu tiling
xdotool key --delay 80 Down Down Down Down Return
sleep 1
menu_at
xdotool key --delay 80 Down Down Down Down Return
sleep 2
menu_at
xdotool key --delay 80 Down Return
in_dialog "Save view as.." ctrl+a
type_in "$out/tour-view"
xdotool key Return
sleep 2
shot view-saved tiling
[ -f "$out/tour-view.png" ] || fail "Save view as.. wrote no PNG"
head -c 4 "$out/tour-view.png" | grep -q PNG || fail "tour-view.png is not a PNG"

# Help, Models (F1): the page with a sample of each model.
keys F1
models=$(window "Models") || fail "F1 opened no Models page"
sleep 1
shot models-page
focus "$models"
xdotool key Escape
sleep 0.5

# A large tiling in the default style (lozenges with borders): a 300 x 300
# x 300 hexagon, typed into New hexagon, grown by 300 S->S+1 steps.
keys ctrl+n
in_dialog "New" Tab ctrl+a
type_in "300"
xdotool key Tab ctrl+a
type_in "600"
xdotool key Tab ctrl+a
type_in "0"
xdotool key Return
sleep 1
keys ctrl+u
in_dialog "S->S+1 Markov operator" ctrl+a
type_in "300"
xdotool key Tab ctrl+a
type_in "1"
xdotool key Return
sleep 8
keys ctrl+t
in_dialog "Choose style of a tiling picture" Return
sleep 3
shot large-default-style
# The same picture without borders (the right-click menu's sixth entry):
# with borders it must not be much darker, as it would be if the outlines
# drowned the lozenges.
menu_at
xdotool key --delay 80 Down Down Down Down Down Down Return
sleep 3
shot large-without-borders tiling
grey() {
  convert "$1" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" -colorspace Gray -format "%[fx:mean]" info:
}
with=$(grey "$out/$(printf %02d $((step - 1)))-large-default-style.png")
without=$(grey "$out/$(printf %02d "$step")-large-without-borders.png")
awk -v a="$with" -v b="$without" 'BEGIN { exit !(a > b - 0.1) }' ||
  fail "the large tiling with borders is much darker than without (mean grey $with, $without)"

# File > Open plane partition.. (Ctrl+O): a 100 x 100 x 100 sample written by
# the command-line tool read back through the file dialog, Hahn kept in the
# model dialog; the picture then shows that hexagon.
cli=$(dirname "$app")/lozengia-cli
if [ -x "$cli" ]; then
  "$cli" -N 100 -T 200 -S 100 --seed 2026 --export "$work/hexagon-100.txt" ||
    fail "lozengia-cli could not write the sample to open"
  keys ctrl+o
  chooser=$(window "Choose a plane partition file") || fail "the file dialog did not open"
  focus "$chooser"
  type_in "$work/hexagon-100.txt"
  xdotool key Return
  in_dialog "Open plane partition" Return
  sleep 3
  shot opened-file tiling
fi

# Exit: the program ends by itself, with status 0.
keys ctrl+q
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then fail "Exit did not end the program"; fi
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" = 0 ] || fail "the program ended with status $status"
echo "gui-tour: passed; screenshots in $out"
