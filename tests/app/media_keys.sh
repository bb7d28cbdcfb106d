#!/usr/bin/env bash
# The player on a session bus of its own, driven as the desktop's media keys
# and panel drive it: gdbus reads the title and status, pauses, seeks,
# moves to the next file and quits it.
#   media_keys.sh MODDECK EXAMPLES_DIR   (run under dbus-run-session)
set -euo pipefail
bin=$1 examples=$2
command -v gdbus >/dev/null || { echo "gdbus is missing: skipped"; exit 0; }
tmp=$(mktemp -d)
trap 'kill $player 2>/dev/null || true; rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/run"
printf 'drivers = wave\n[wave]\nfile = %s/out.wav\n' "$tmp" > "$tmp/alsoft.conf"
XDG_RUNTIME_DIR=$tmp/run XDG_CONFIG_HOME=$tmp/config ALSOFT_CONF=$tmp/alsoft.conf \
  "$bin" --no-loop "$examples/moddeck-demo.xm" "$examples/moddeck-demo.mod" </dev/null >/dev/null 2>&1 &
player=$!
call() { gdbus call --session -d org.mpris.MediaPlayer2.moddeck -o /org/mpris/MediaPlayer2 -m "$@"; }
get() { call org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player "$1"; }
microseconds() { get Position | sed 's/.*int64 \([0-9]*\).*/\1/'; }
fail() { echo "FAIL: $*"; exit 1; }
for _ in $(seq 50); do get PlaybackStatus >/dev/null 2>&1 && break; sleep 0.1; done
[ "$(get PlaybackStatus)" = "(<'Playing'>,)" ] || fail "status: $(get PlaybackStatus)"
get Metadata | grep -q "'xesam:title': <'Moddeck demo'>" || fail "metadata: $(get Metadata)"
before=$(microseconds)
call org.mpris.MediaPlayer2.Player.Seek 5000000 >/dev/null
sleep 0.3
[ $(($(microseconds) - before)) -ge 5000000 ] || fail "a seek of 5 s moved from $before to $(microseconds)"
call org.mpris.MediaPlayer2.Player.Pause >/dev/null
[ "$(get PlaybackStatus)" = "(<'Paused'>,)" ] || fail "pause: $(get PlaybackStatus)"
call org.mpris.MediaPlayer2.Player.Next >/dev/null
get Metadata | grep -q "moddeck-demo.mod'" || fail "next: $(get Metadata)"
call org.mpris.MediaPlayer2.Quit >/dev/null
for _ in $(seq 50); do kill -0 $player 2>/dev/null || exit 0; sleep 0.1; done
fail "the player did not quit"
