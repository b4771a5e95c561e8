#!/usr/bin/env bash
# Runs a command on a private X server with a system tray (Xvfb + trayer),
# for the tests that need a real tray and keyboard lights. Prints a note and
# exits 0 when no X server can be started here.
set -u
for n in $(seq 90 120); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
if [ -z "${display:-}" ]; then
  echo "with_xtray: no free X display number; tray tests not run"
  exit 0
fi
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
if ! kill -0 "$xvfb" 2>/dev/null; then
  echo "with_xtray: Xvfb did not start; tray tests not run"
  exit 0
fi
DISPLAY="$display" trayer --edge top --align right --widthtype pixel --width 120 --height 32 \
  >/dev/null 2>&1 &
tray=$!
sleep 1
DISPLAY="$display" QT_QPA_PLATFORM=xcb VELMORA_XTRAY=1 "$@"
rc=$?
kill "$tray" "$xvfb" 2>/dev/null
wait 2>/dev/null
exit $rc
