#!/usr/bin/env bash
# Takes the README's and the manual's screenshots from the demo: starts
# `velmora --demo` on a private Xvfb display (with the openbox window manager
# and a trayer system tray when they are installed, as on a desktop), walks
# the program with the keyboard and the mouse and saves docs/screenshot-*.png:
# the error window over a failing account, the welcome page, the previews,
# the details and attachments windows, the settings, the find window, the
# address book, the main window, the account window, the account wizard,
# the compose window and the main window maximised (after a trip to the
# tray). Rows and buttons are found by where the demo puts them on a
# 1280x800 screen. Needs a build (scripts/build) and xvfb, xdotool,
# imagemagick (scripts/setup installs them, with openbox and wmctrl).
#
# Usage: tools/screenshots.sh [OUT_DIR] [LANGUAGE]
# LANGUAGE names a built-in language file: english (the default), polish or
# german. The program then runs in that language, every page of the settings
# window is taken (screenshot-settings-2.png ... -5.png besides the first),
# and OUT_DIR defaults to build/screenshots-LANGUAGE instead of docs.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VELMORA_BUILD_DIR:-build}
LANGUAGE=${2:-english}
# Window captions (extended regular expressions) and the key of the
# message boxes' Yes button, as each language shows them.
case "$LANGUAGE" in
english)
  OUT=${1:-docs}
  t_errors='^Errors|Mail check' t_details='^Message [0-9]' t_settings='^Settings'
  t_find='^Find messages' t_book='^Address book' t_account='^E-mail account settings'
  t_wizard='^New mail account wizard' t_compose='^New message' yes_key=y ;;
polish)
  OUT=${1:-$BUILD_DIR/screenshots-polish}
  t_errors='^Błędy|sprawdzania' t_details='^Wiadomość [0-9]' t_settings='^Ustawienia$'
  t_find='^Znajdź wiadomości' t_book='^Książka adresowa' t_account='^Ustawienia konta e-mail'
  t_wizard='^Kreator nowego konta' t_compose='^Nowa wiadomość' yes_key=t ;;
german)
  OUT=${1:-$BUILD_DIR/screenshots-german}
  t_errors='^Fehler|E-Mails ist' t_details='^Nachricht [0-9]' t_settings='^Einstellungen'
  t_find='^Nachrichten suchen' t_book='^Adressbuch' t_account='^E-Mail-Kontoeinstellungen'
  t_wizard='^Assistent für ein neues' t_compose='^Neue Nachricht' yes_key=j ;;
*)
  echo "screenshots: unknown language $LANGUAGE (english, polish or german)" >&2
  exit 1 ;;
esac
mkdir -p "$OUT"
velmora="$BUILD_DIR/src/app/velmora"
data=$(mktemp -d)
display=""
for n in $(seq 90 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
[ -n "$display" ] || { echo "screenshots: no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app="" wm="" tray=""
trap 'kill $app $tray $wm $xvfb 2>/dev/null || true; rm -rf "$data"' EXIT
export DISPLAY=$display QTWEBENGINE_DISABLE_SANDBOX=1 VELMORA_DEMO_INTERVAL=3600
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
if command -v openbox >/dev/null 2>&1; then
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
fi
if command -v trayer >/dev/null 2>&1; then
  trayer --edge bottom --align right --widthtype pixel --width 60 --height 24 >/dev/null 2>&1 &
  tray=$!
fi
sleep 1

# The language, chosen as the settings window would.
[ "$LANGUAGE" = english ] || printf '[LANGUAGES]\nLanguageFile=%s.lng\n' "$LANGUAGE" >"$data/velmora.ini"

# A third account whose server never answers: the start-up check fails for
# it, so the error window opens and the tree marks the account.
printf 'secret\n' | "$velmora" --data-dir "$data" --add-account --login old --name "Old provider" \
  --server 127.0.0.1 --port 9 --password-stdin >/dev/null
"$velmora" --demo --data-dir "$data" >/dev/null 2>&1 &
app=$!

win=""
for _ in $(seq 240); do
  win=$(xdotool search --onlyvisible --name '^Velmora [0-9]' 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.5
done
[ -n "$win" ] || { echo "screenshots: the main window did not appear" >&2; exit 1; }
xdotool windowsize "$win" 1280 770 windowmove "$win" 0 0
sleep 8 # the start-up check of the demo accounts

shot() { sleep "${2:-3}"; import -window root "$OUT/$1"; echo "saved $OUT/$1"; }
# Brings a window to the front (through the window manager when there is one).
focus() { xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1" 2>/dev/null || true; }
find_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -v "^$win$" | head -1 || true; }
# Clicks at window coordinates: the tree's root and first account, then list
# rows (21 pixels each below the header line).
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; sleep 0.5; }
row() { click 560 $((56 + 21 * ($1 - 1))); }

# The start-up check: the new-mail box (which waits for nobody) and the
# error window for the account that failed, whose node carries the mark.
errors=$(find_window "$t_errors")
if [ -n "$errors" ]; then
  xdotool windowmove "$errors" 380 250
  box=$(find_window '^Velmora$')
  [ -n "$box" ] && xdotool windowmove "$box" 700 120
  xdotool mousemove --window "$win" 60 70 # the failing account's tooltip
  shot screenshot-errors.png 3
  focus "$errors"; xdotool key Escape
else
  echo "screenshots: the error window did not appear" >&2
fi
box=$(find_window '^Velmora$')
if [ -n "$box" ]; then focus "$box"; xdotool key Return; sleep 1; fi
focus "$win"

click 60 9
xdotool mousemove --window "$win" 700 760 # no tool tip over the page
shot screenshot-welcome.png
click 60 30 # the first account: "Demo mailbox"
sleep 1
row "${HTML_ROW:-14}"
shot screenshot-preview-html.png
row "${PLAIN_ROW:-12}"
shot screenshot-preview-plain.png
row "${HEADERS_ROW:-5}"
shot screenshot-preview-headers.png

# The message with attachments in the details window (Enter) on both pages,
# then the preview's attachments window for it.
row "${ATTACH_ROW:-7}"
xdotool key Return
sleep 3
details=$(find_window "$t_details")
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
click 886 705
sleep 3
settings=$(find_window "$t_settings")
if [ -n "$settings" ]; then
  xdotool windowmove "$settings" 210 100
  shot screenshot-settings.png 2
  if [ "$LANGUAGE" != english ]; then
    # The other pages: the first page's tab takes the focus, the arrow
    # key moves to the next tab.
    focus "$settings"
    xdotool mousemove --window "$settings" 40 26 click 1
    sleep 1
    # The first key can arrive before the tab has the focus and is lost;
    # Right then Left ends on the first page either way.
    xdotool key Right; sleep 1; xdotool key Left; sleep 1
    for page in 2 3 4 5; do
      xdotool key Right
      shot "screenshot-settings-$page.png" 2
    done
  fi
  xdotool key Escape
  sleep 1
else
  echo "screenshots: the settings window did not appear" >&2
fi

# The find window filtering the list (Ctrl+F, a phrase, Alt+I for Filter).
row 1
xdotool key ctrl+f
sleep 2
find=$(find_window "$t_find")
if [ -n "$find" ]; then
  xdotool windowmove "$find" 700 420
  focus "$find"
  xdotool type --delay 20 "summer release"
  # "Never filter out new messages" off: the demo's mail is all new.
  xdotool mousemove --window "$find" 152 120 click 1
  sleep 0.5
  xdotool key alt+i
  sleep 1
  # Filtering hides the window; show it again over the filtered list.
  focus "$win"
  xdotool key ctrl+f
  shot screenshot-find.png 2
  # Unfilter, then close: the later pictures show whole lists.
  focus "$find"; xdotool key alt+u
  sleep 1
  focus "$find"
  xdotool key Escape # closes the find window
  sleep 1
else
  echo "screenshots: the find window did not appear" >&2
fi

# The address book (Ctrl+B).
focus "$win"
xdotool key ctrl+b
sleep 2
book=$(find_window "$t_book")
if [ -n "$book" ]; then
  xdotool windowmove "$book" 200 120
  shot screenshot-addressbook.png 2
  focus "$book"; xdotool key Escape
  sleep 1
else
  echo "screenshots: the address book did not appear" >&2
fi

# The first account with a message of the thread: the main window picture.
focus "$win"
click 60 30
row 2
shot screenshot-main.png

# The account window of the TLS account (a double click on its node), with
# the line that says what the connection really uses.
xdotool mousemove --window "$win" 60 50 click --repeat 2 --delay 80 1
sleep 2
account=$(find_window "$t_account")
if [ -n "$account" ]; then
  xdotool windowmove "$account" 330 120
  shot screenshot-account.png 2
  focus "$account"; xdotool key Escape
  sleep 1
else
  echo "screenshots: the account window did not appear" >&2
fi

# The account wizard (a double click on the tree's empty part), its first
# step filled in with the port of POP3 over TLS.
focus "$win"
xdotool mousemove --window "$win" 80 400 click --repeat 2 --delay 80 1
sleep 2
wizard=$(find_window "$t_wizard")
if [ -n "$wizard" ]; then
  xdotool windowmove "$wizard" 300 110
  focus "$wizard"
  xdotool type --delay 20 "maria.rossi"
  xdotool key Tab
  xdotool type --delay 20 "password"
  xdotool key Tab
  xdotool type --delay 20 "pop.example.com"
  xdotool key Tab ctrl+a
  xdotool type --delay 20 "995"
  xdotool key Tab # leaving the port field turns TLS on
  shot screenshot-wizard.png 2
  focus "$wizard"; xdotool key Escape
  sleep 1
  ask=$(find_window '^Velmora$')
  if [ -n "$ask" ]; then focus "$ask"; xdotool key "$yes_key"; fi
  sleep 1
else
  echo "screenshots: the wizard did not appear" >&2
fi

# A new message from the shown account, written in formatted mode.
focus "$win"
click 60 30
xdotool key ctrl+n
sleep 2
compose=$(find_window "$t_compose")
if [ -n "$compose" ]; then
  xdotool windowmove "$compose" 140 60 windowsize "$compose" 900 640
  sleep 1
  focus "$compose"
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
  xdotool key Escape
  sleep 1
  ask=$(find_window '^Velmora$')
  if [ -n "$ask" ]; then focus "$ask"; xdotool key "$yes_key"; fi
  sleep 1
else
  echo "screenshots: the compose window did not appear" >&2
fi

# The main window maximised by the window manager, sent to the tray (Ctrl+M)
# and brought back by a second start: still maximised.
if [ -n "$wm" ] && wmctrl -m >/dev/null 2>&1; then
  focus "$win"
  wmctrl -i -r "$win" -b add,maximized_vert,maximized_horz || true
  sleep 2
  xdotool key --window "$win" ctrl+m
  sleep 2
  timeout 60 "$velmora" --data-dir "$data" >/dev/null 2>&1 || true
  sleep 2
  win=$(xdotool search --onlyvisible --name '^Velmora [0-9]' 2>/dev/null | head -1 || true)
  # The failing account's error window of a later automatic check, if up.
  errors=$(find_window "$t_errors")
  if [ -n "$errors" ]; then focus "$errors"; xdotool key Escape; sleep 1; fi
  [ -n "$win" ] && click 60 30 && row 2
  shot screenshot-maximised.png 2
else
  echo "screenshots: no window manager (openbox, wmctrl): no maximised picture" >&2
fi
