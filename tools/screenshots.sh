#!/usr/bin/env bash
# Takes the README's screenshots from the demo: starts `velmora --demo` on a
# private Xvfb display, walks the program with the keyboard and the mouse and
# saves docs/screenshot-*.png (welcome page, previews, find window, address
# book, details window, attachments window, settings, main window, compose
# window). Rows and buttons are found by where the demo puts them on a
# 1280x800 screen. Needs a build (scripts/build) and xvfb, xdotool, imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VELMORA_BUILD_DIR:-build}
OUT=${1:-docs}
data=$(mktemp -d)
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true; rm -rf "$data"' EXIT
export DISPLAY=$display QTWEBENGINE_DISABLE_SANDBOX=1 VELMORA_DEMO_INTERVAL=3600
sleep 1
"$BUILD_DIR/src/app/velmora" --demo --data-dir "$data" >/dev/null 2>&1 &
app=$!

win=""
for _ in $(seq 60); do
  win=$(xdotool search --onlyvisible --name '^Velmora' 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.5
done
[ -n "$win" ] || { echo "screenshots: the main window did not appear" >&2; exit 1; }
xdotool windowmove "$win" 0 0 windowsize "$win" 1280 800
sleep 8 # the start-up check of the demo accounts

shot() { sleep "${2:-3}"; import -window root "$OUT/$1"; echo "saved $OUT/$1"; }
key() { xdotool key --window "$win" "$@"; sleep 0.4; }

# The demo announces its first mail in a message box: close it.
box=$(xdotool search --onlyvisible --name '^Velmora$' 2>/dev/null | grep -v "^$win$" | head -1 || true)
if [ -n "$box" ]; then xdotool windowfocus --sync "$box" key Return; sleep 1; fi

# Clicks at window coordinates: the tree's root and first account, then list
# rows (18 pixels each below the header line).
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; sleep 0.5; }
row() { click 500 $((51 + 18 * ($1 - 1))); }
click 60 9
xdotool mousemove --window "$win" 700 790 # no tool tip over the page
shot screenshot-welcome.png
xdotool key Down # the tree has the focus: the first account
sleep 1
row "${HTML_ROW:-17}"
shot screenshot-preview-html.png
row "${PLAIN_ROW:-15}"
shot screenshot-preview-plain.png

# The message with attachments in the details window (Enter) on both pages,
# then the preview's attachments window for it.
row "${ATTACH_ROW:-10}"
xdotool key Return
sleep 3
details=$(xdotool search --onlyvisible --name '^Message [0-9]' 2>/dev/null | head -1 || true)
if [ -n "$details" ]; then
  xdotool windowmove "$details" 290 60
  shot screenshot-details-body.png 2
  xdotool mousemove --window "$details" 40 17 click 1 # the "Headers" tab
  shot screenshot-details-headers.png 2
  xdotool key Escape
  sleep 1
else
  echo "screenshots: the details window did not appear" >&2
fi
click 1216 447 # the preview's attachments button
shot screenshot-attachments.png 2
xdotool key Escape
sleep 1

# The settings window ("Settings" in the bottom bar).
click 880 740
sleep 2
settings=$(xdotool search --onlyvisible --name '^Settings' 2>/dev/null | head -1 || true)
if [ -n "$settings" ]; then
  xdotool windowmove "$settings" 210 100
  shot screenshot-settings.png 2
  xdotool key Escape
  sleep 1
else
  echo "screenshots: the settings window did not appear" >&2
fi

# The find window filtering the list (Ctrl+F, a phrase, Alt+I for Filter).
row 1
xdotool key ctrl+f
sleep 2
find=$(xdotool search --onlyvisible --name '^Find messages' 2>/dev/null | head -1 || true)
if [ -n "$find" ]; then
  xdotool windowmove "$find" 700 420
  xdotool windowfocus --sync "$find" 2>/dev/null || true
  xdotool type --delay 20 "summer release"
  # "Never filter out new messages" off: the demo's mail is all new.
  xdotool mousemove --window "$find" 152 120 click 1
  sleep 0.5
  xdotool key alt+i
  sleep 1
  # Filtering hides the window; show it again over the filtered list.
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key ctrl+f
  shot screenshot-find.png 2
  # Unfilter, then close: the later pictures show whole lists.
  xdotool windowfocus --sync "$find" key alt+u 2>/dev/null || true
  sleep 1
  xdotool mousemove --window "$find" 399 133 click 1 # "Close"
  sleep 1
else
  echo "screenshots: the find window did not appear" >&2
fi

# The address book (Ctrl+B).
xdotool windowfocus --sync "$win" 2>/dev/null || true
xdotool key ctrl+b
sleep 2
book=$(xdotool search --onlyvisible --name '^Address book' 2>/dev/null | head -1 || true)
if [ -n "$book" ]; then
  xdotool windowmove "$book" 200 120
  shot screenshot-addressbook.png 2
  xdotool windowfocus --sync "$book" key Escape 2>/dev/null || true
  sleep 1
else
  echo "screenshots: the address book did not appear" >&2
fi

# The first account with a message of the thread: the main window picture.
click 60 9
xdotool key Down
sleep 1
row 2
shot screenshot-main.png

# A new message from the shown account, written in formatted mode.
xdotool key ctrl+n
sleep 2
compose=$(xdotool search --onlyvisible --name '^New message' 2>/dev/null | head -1 || true)
if [ -n "$compose" ]; then
  xdotool windowmove "$compose" 140 60 windowsize "$compose" 900 640
  sleep 1
  xdotool windowfocus --sync "$compose" 2>/dev/null || true
  at() { xdotool mousemove --window "$compose" "$1" "$2" click 1; sleep 0.5; }
  xdotool type --delay 20 "Maria Rossi <maria.rossi@demo.invalid>"
  at 470 150 # subject
  xdotool type --delay 20 "Slides for Tuesday"
  at 70 209 # editor mode: formatted
  xdotool key Up Return
  sleep 0.5
  at 450 330 # the text
  xdotool type --delay 10 "Hello Maria,"
  xdotool key Return Return
  xdotool type --delay 10 "here are the slides for Tuesday. See you there!"
  shot screenshot-compose.png 2
else
  echo "screenshots: the compose window did not appear" >&2
fi
