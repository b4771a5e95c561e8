#!/usr/bin/env bash
# Runs a command with a desktop keyring of its own: a private D-Bus session
# bus (tests/support/keyring-bus.conf, nothing started on demand) and, on
# it, a GNOME Keyring whose default collection "login" is unlocked with a
# known password, its files in a throwaway folder. The machine's own
# keyring and session bus are never reached.
#
#   with_keyring.sh [unlocked|none|silent] COMMAND [ARGS...]
#
#   unlocked  gnome-keyring-daemon with the collection unlocked (default)
#   none      no Secret Service on the bus
#   silent    a Secret Service that takes every call and never answers
#
# The command gets DBUS_SESSION_BUS_ADDRESS, XDG_DATA_HOME and
# XDG_RUNTIME_DIR of the keyring, VELMORA_TEST_KEYRING (the mode) and
# VELMORA_TEST_KEYRING_PASSWORD (the collection's password).
set -u
here=$(cd "$(dirname "$0")" && pwd)
tool="$here/keyring_tool.py"

if [ "${1:-}" = "--on-bus" ]; then
  shift
  mode=$1
  shift
  case "$mode" in
    unlocked)
      printf '%s' "$VELMORA_TEST_KEYRING_PASSWORD" |
        gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
      ;;
    silent)
      /usr/bin/python3 "$tool" silent &
      silent=$!
      ;;
  esac
  if [ "$mode" != none ] && ! /usr/bin/python3 "$tool" wait; then
    echo "with_keyring: the Secret Service did not come up" >&2
    exit 1
  fi
  "$@"
  rc=$?
  [ -n "${silent:-}" ] && kill "$silent" 2>/dev/null
  # gnome-keyring-daemon leaves when the bus ends with dbus-run-session.
  exit $rc
fi

mode=unlocked
case "${1:-}" in
  unlocked | none | silent)
    mode=$1
    shift
    ;;
esac
for tool_name in dbus-run-session gnome-keyring-daemon; do
  if ! command -v "$tool_name" >/dev/null; then
    echo "with_keyring: $tool_name is missing; run scripts/setup" >&2
    exit 1
  fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-keyring.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/run"
chmod 700 "$work/data" "$work/run"
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run"
export VELMORA_TEST_KEYRING="$mode" VELMORA_TEST_KEYRING_PASSWORD="velmora-test-keyring"
unset DISPLAY WAYLAND_DISPLAY
dbus-run-session --config-file="$here/keyring-bus.conf" -- \
  bash "$here/with_keyring.sh" --on-bus "$mode" "$@"
