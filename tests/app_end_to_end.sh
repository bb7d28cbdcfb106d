#!/usr/bin/env bash
# End to end, as a user would: runs `moddeck` in a tmux terminal with OpenAL
# writing to a wave file, reads the screen, presses keys, hands it a second
# file from a second `moddeck`, and checks that every way out gives the
# terminal back.
#   app_end_to_end.sh MODDECK EXAMPLES_DIR
set -euo pipefail
bin=$1
examples=$2
command -v tmux >/dev/null || { echo "tmux is missing (scripts/deps installs it)"; exit 1; }

tmp=$(mktemp -d)
run=0
server="moddeck-e2e-$$-$run"
cleanup() {
  tmux -L "$server" kill-server 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -m 700 "$tmp/run"
cat > "$tmp/alsoft.conf" <<CONF
drivers = wave
sample-type = int16
frequency = 44100
channels = stereo
[wave]
file = $tmp/out.wav
CONF
export XDG_RUNTIME_DIR=$tmp/run ALSOFT_CONF=$tmp/alsoft.conf TERM=xterm-256color

fail() {
  echo "FAIL: $*"
  echo "---- screen"
  tmux -L "$server" capture-pane -p -t e2e 2>/dev/null || true
  exit 1
}
screen() { tmux -L "$server" capture-pane -p -t e2e; }
keys() { tmux -L "$server" send-keys -t e2e "$@"; }
# Waits until the screen has a line matching the extended regex $1.
expect_line() {
  for _ in $(seq 100); do
    screen | grep -Eq -- "$1" && return 0
    sleep 0.1
  done
  fail "no line matching: $1"
}
expect_no_line() {
  sleep 0.5
  screen | grep -Eq -- "$1" && fail "unexpected line: $1"
  return 0
}
wait_file() {
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
  fail "$1 never appeared"
}
# Starts a pane that records the terminal settings, runs moddeck with the
# arguments given, then records how it ended and the settings again.
start() {
  rm -f "$tmp/before" "$tmp/after" "$tmp/status"
  tmux -L "$server" kill-server 2>/dev/null || true
  # A fresh server each time: a server that is still shutting down would
  # refuse the new session.
  run=$((run + 1))
  server="moddeck-e2e-$$-$run"
  tmux -L "$server" -f /dev/null new-session -d -s e2e -x 100 -y 40 \
    "stty -a > '$tmp/before'; '$bin' $*; echo \$? > '$tmp/status'; stty -a > '$tmp/after'; sleep 60"
}
# After moddeck ended: the terminal is as it was and the alternate screen is closed.
expect_restored() {
  wait_file "$tmp/status"
  wait_file "$tmp/after"
  diff "$tmp/before" "$tmp/after" >/dev/null || fail "terminal settings not restored: $(diff "$tmp/before" "$tmp/after")"
  [ "$(tmux -L "$server" display -p -t e2e '#{alternate_on}')" = 0 ] || fail "still in the alternate screen"
  [ ! -e "$tmp/run/moddeck.sock" ] || fail "socket left behind"
}

xm=$examples/moddeck-demo.xm
mod=$examples/moddeck-demo.mod
ogg=$examples/moddeck-demo.ogg

# ---- Play the XM, move through its orders, read the About view.
start "'$xm'"
expect_line "^File: +$xm\$"
expect_line '^Format: +XM$'
expect_line '^Title: +Moddeck demo$'
expect_line '^Channels: +4$'
expect_line '^Order: +1/2 '
expect_line '^ 4 [#.]+$'
keys +
expect_line '^Order: +2/2 '
keys +
expect_line '^Order: +2/2 '   # the last order is the end: no wrap
keys -
expect_line '^Order: +1/2 '
keys a
expect_line '^About$'
[ "$(screen | sed -n 2p)" = "Moddeck demo" ] || fail "About title"
[ "$(screen | sed -n 4p)" = "Samples:" ] || fail "About heading"
[ -z "$(screen | sed -n 5p)" ] || fail "an XM lists no samples of its own"
keys Enter
expect_line '^Channels: +4$'

# ---- A second moddeck hands its file over and exits 0; the first switches.
"$bin" "$mod" || fail "the second moddeck exited $?"
expect_line "^File: +$mod\$"
expect_line '^Format: +MOD$'
keys a
expect_line '^About$'
[ "$(screen | sed -n 5,8p)" = "moddeck square lead
moddeck saw bass
moddeck kick
moddeck hi-hat" ] || fail "About sample names"
keys Escape
expect_line '^Format: +MOD$'
# A file that cannot be played says so in one line, and the player keeps going.
"$bin" "$tmp/run" && fail "a folder was handed over"
echo "not a stream" > "$tmp/bad.ogg"
"$bin" "$tmp/bad.ogg" || fail "handing over a bad file"
expect_line "^Cannot play $tmp/bad.ogg: it cannot be opened or is not Ogg Vorbis.\$"
# The Ogg example: the About view shows its path and "OGG File".
"$bin" "$ogg" || fail "handing over the Ogg file"
expect_line '^Format: +Ogg Vorbis, 44100 Hz, 2 channels$'
keys a
expect_line '^About$'
[ "$(screen | sed -n 2p)" = "$ogg" ] || fail "About title of an Ogg file"
[ "$(screen | sed -n 5p)" = "OGG File" ] || fail "About text of an Ogg file"
keys Enter
"$bin" "$xm" || fail "handing over the XM again"
expect_line '^Format: +XM$'

# The sound went to OpenAL: the wave file grows.
size1=$(stat -c %s "$tmp/out.wav" 2>/dev/null || echo 0)
sleep 1
size2=$(stat -c %s "$tmp/out.wav" 2>/dev/null || echo 0)
[ "$size2" -gt "$size1" ] || fail "OpenAL received no audio ($size1 -> $size2 bytes)"

keys q
expect_restored
[ "$(cat "$tmp/status")" = 0 ] || fail "q exited $(cat "$tmp/status")"

# ---- Ctrl-C and SIGTERM also give the terminal back.
start "'$xm'"
expect_line '^Format: +XM$'
keys C-c
expect_restored

start "'$xm'"
expect_line '^Format: +XM$'
kill -TERM "$(pgrep -n -f "^$bin $xm")"
expect_restored

# A crash restores the terminal too, and removes the socket.
start "'$xm'"
expect_line '^Format: +XM$'
kill -SEGV "$(pgrep -n -f "^$bin $xm")"
expect_restored
[ "$(cat "$tmp/status")" = 139 ] || fail "a crash should end by its signal, not $(cat "$tmp/status")"

# ---- Without a terminal it plays until SIGTERM and still takes files.
"$bin" "$xm" < /dev/null > "$tmp/headless.log" 2>&1 &
pid=$!
for _ in $(seq 50); do [ -S "$tmp/run/moddeck.sock" ] && break; sleep 0.1; done
[ -S "$tmp/run/moddeck.sock" ] || { cat "$tmp/headless.log"; fail "headless player has no socket"; }
"$bin" "$mod" || fail "handing a file to the headless player"
kill -0 "$pid" || fail "headless player died"
kill -TERM "$pid"
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "headless player ignored SIGTERM"
wait "$pid" || fail "headless player exited $?"
[ ! -e "$tmp/run/moddeck.sock" ] || fail "headless socket left behind"

echo "end-to-end: all checks passed"
