#!/usr/bin/env bash
# End to end, as a user would: runs `moddeck` in a tmux terminal with OpenAL
# writing to a wave file, reads the screen, presses keys, hands it files
# from a second `moddeck`, measures what it wrote with sox, and checks that
# every way out gives the terminal back.
#   app_end_to_end.sh MODDECK EXAMPLES_DIR
set -euo pipefail
bin=$1
examples=$2
for tool in tmux sox; do
  command -v $tool >/dev/null || { echo "$tool is missing (scripts/deps installs it)"; exit 1; }
done

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
export XDG_RUNTIME_DIR=$tmp/run XDG_CONFIG_HOME=$tmp/config ALSOFT_CONF=$tmp/alsoft.conf TERM=xterm-256color

fail() {
  echo "FAIL: $*"
  echo "---- screen"
  tmux -L "$server" capture-pane -p -t e2e 2>/dev/null || true
  exit 1
}
screen() { tmux -L "$server" capture-pane -p -t e2e; }
keys() { tmux -L "$server" send-keys -t e2e "$@"; }
# Waits until the screen has a line matching the extended regex $1 (for up
# to 10 seconds, or as many as expect_line_within is given).
expect_line_within() {
  for _ in $(seq $(($1 * 10))); do
    screen | grep -Eq -- "$2" && return 0
    sleep 0.1
  done
  fail "no line matching: $2"
}
expect_line() { expect_line_within 10 "$1"; }
expect_no_line() {
  sleep 0.5
  screen | grep -Eq -- "$1" && fail "unexpected line: $1"
  return 0
}
# Bytes OpenAL has written so far, and the RMS level of its last half second
# (read as raw frames: the header's sizes are written only when it closes).
wave_size() { stat -c %s "$tmp/out.wav" 2>/dev/null || echo 0; }
wave_level() {
  tail -c 88200 "$tmp/out.wav" | sox -t raw -r 44100 -e signed -b 16 -c 2 - -n stat 2>&1 |
    awk '/RMS +amplitude/ {print $3}'
}
# A MOD of `orders` entries: pattern 0 silent, pattern 1 a looped
# square-wave note at one level for ever; at speed 6 an entry lasts 7.68 s,
# at speed 1 (the last argument) 1.28 s.
tone_mod() {
  local orders=$2 speed=${3:-6}
  {
    printf 'tone after silence\0\0'
    printf 'square\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
    printf '\0\040\0\100\0\0\0\040'          # 32 words, volume 64, loop 0+32
    head -c $((30 * 30)) /dev/zero
    printf "\\$(printf %03o ${#orders})\\177"
    for o in $(echo "$orders" | fold -w1); do printf "\\00$o"; done
    head -c $((128 - ${#orders})) /dev/zero
    printf 'M.K.'
    printf "\\0\\0\\017\\$(printf %03o "$speed")"   # pattern 0, row 0: speed
    head -c $((1024 - 4)) /dev/zero
    printf '\001\254\020\0'                  # pattern 1, row 0: the tone
    head -c $((1024 - 4)) /dev/zero
    head -c 32 /dev/zero | tr '\0' '\140'
    head -c 32 /dev/zero | tr '\0' '\240'
  } > "$1"
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

# The demo's instrument names, which name its samples too.
names="moddeck square lead
moddeck saw bass
moddeck kick
moddeck hi-hat"
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
expect_line '^Time: +0:0[0-9] / 0:15$'
expect_line '^Volume: +0 dB   Loop: file$'   # one file loops
expect_line '^h keys .* l loop:file  q quit$'
expect_line '^Playing\.$'
expect_line '^ 4 [#.]+$'
keys +
expect_line '^Order: +2/2 +Row: [0-9]$'   # a new entry starts from its first row
expect_line '^Time: +0:0[7-9] / 0:15$'     # and the song time follows it
keys Right
expect_line '^Order: +2/2 '   # the last order is the end: no wrap
keys Left
expect_line '^Order: +1/2 '
keys h
expect_line '^Keys$'
expect_line '^Space +pause / resume$'
keys Escape
keys x
expect_line 'Unknown key: h shows the keys'
keys a
expect_line '^About$'
[ "$(screen | sed -n 2p)" = "Moddeck demo" ] || fail "About title"
[ "$(screen | sed -n 4p)" = "Message:" ] || fail "About heading"
# An XM's message: its instrument names.
[ "$(screen | sed -n 5,8p)" = "$names" ] && [ -z "$(screen | sed -n 9p)" ] || fail "an XM's message is its instrument names"
keys Enter
expect_line '^Channels: +4$'

# ---- A second moddeck hands its file over and exits 0; the first switches.
"$bin" "$mod" || fail "the second moddeck exited $?"
expect_line "^File: +$mod\$"
expect_line '^Format: +MOD$'
keys a
expect_line '^About$'
[ "$(screen | sed -n 5,8p)" = "$names" ] || fail "About sample names"
keys Escape
expect_line '^Format: +MOD$'
# What cannot be played is refused by the handing side with its reason and
# status 1, and the running player keeps playing.
refused() {
  local out
  out=$("$bin" "$1" 2>&1) && fail "$1 was handed over"
  [ "$out" = "moddeck: $1: $2" ] || fail "refusing $1 said: $out"
}
echo "not a stream" > "$tmp/bad.ogg"
echo "a text file" > "$tmp/notes.xm"
: > "$tmp/empty.mod"
refused "$tmp/run" "is a directory"
refused "$tmp/missing.xm" "no such file"
refused "$tmp/bad.ogg" "not a playable Ogg Vorbis stream"
refused "$tmp/notes.xm" "not a module"
refused "$tmp/empty.mod" "empty file"
expect_line '^Format: +MOD$'
# A desktop sound named .oga is Ogg Vorbis.
cp "$ogg" "$tmp/bell.oga"
[ "$("$bin" "$tmp/bell.oga" 2>&1)" = "moddeck: handed $tmp/bell.oga to the running player" ] || fail "hand-off message"
expect_line '^Format: +Ogg Vorbis, 44100 Hz, 2 channels$'
# The Ogg example: the About view shows its TITLE comment and its comments.
"$bin" "$ogg" || fail "handing over the Ogg file"
expect_line '^Format: +Ogg Vorbis, 44100 Hz, 2 channels$'
keys a
expect_line '^About$'
[ "$(screen | sed -n 2p)" = "Moddeck demo" ] || fail "About title of an Ogg file"
[ "$(screen | sed -n 4,5p)" = "Comments:
title: Moddeck demo" ] || fail "About text of an Ogg file"
keys Enter
"$bin" "$xm" || fail "handing over the XM again"
expect_line '^Format: +XM$'

# The sound went to OpenAL: the wave file grows.
size1=$(wave_size)
sleep 1
size2=$(wave_size)
[ "$size2" -gt "$size1" ] || fail "OpenAL received no audio ($size1 -> $size2 bytes)"

keys q
expect_restored
[ "$(cat "$tmp/status")" = 0 ] || fail "q exited $(cat "$tmp/status")"

# ---- A playlist with a file that cannot be played in the middle: it is
# skipped both ways, with its reason; --enqueue adds to the list; an Ogg
# file moves on at its end, and after the last file the player has finished.
start "'$ogg' '$tmp/notes.xm' '$mod'"
expect_line "^File: +$ogg   \(file 1 of 3\)\$"
keys n
expect_line "^File: +$mod   \(file 3 of 3\)\$"
expect_line "^Skipped $tmp/notes.xm: not a module\$"
keys p
expect_line "^File: +$ogg   \(file 1 of 3\)\$"
[ "$("$bin" --enqueue "$xm" 2>&1)" = "moddeck: added $xm to the running player" ] || fail "enqueue message"
expect_line '\(file 1 of 4\)$'
expect_line_within 20 "^File: +$mod   \(file 3 of 4\)\$"    # the Ogg file ended after 8 s
keys n
expect_line '^Volume: .*Loop: off   Shuffle: off$'   # a list plays once through
expect_line "^File: +$xm   \(file 4 of 4\)\$"
keys Right
expect_line '^Order: +2/2 '
expect_line_within 20 '^Finished\.$'     # the XM ended and did not loop
keys q
expect_restored

# ---- Volume in 1 dB steps, as shown, and pause, on a steady tone.
tone_mod "$tmp/steady.mod" 1
rm -f "$tmp/out.wav"
start "'$tmp/steady.mod'"
expect_line '^Playing\.$'
sleep 1
before=$(wave_level)
keys / / / / / /
expect_line '^Volume: +-6 dB '
sleep 1
after=$(wave_level)
awk -v a="$after" -v b="$before" 'BEGIN { r = a / b; exit !(r > 0.47 && r < 0.53) }' ||
  fail "-6 dB should halve the level: $before -> $after"
keys ' '
expect_line '^Paused\.$'
sleep 0.5
size1=$(wave_size)
sleep 1
[ "$(wave_size)" = "$size1" ] || fail "the audio went on while paused"
time1=$(screen | grep '^Time:')
sum1=$(md5sum < "$tmp/out.wav")
keys ' '
expect_line '^Playing\.$'
sleep 1
# OpenAL Soft's wave writer starts writing again from the top of its file.
[ "$(md5sum < "$tmp/out.wav")" != "$sum1" ] || fail "the audio did not resume"
[ "$(screen | grep '^Time:')" != "$time1" ] || fail "the song time did not go on"
keys q
expect_restored

# ---- Three short files play one after the other by themselves; at the end
# the position stops and nothing is written any more.
for n in 1 2 3; do tone_mod "$tmp/short$n.mod" 01 1; done
start "'$tmp/short1.mod' '$tmp/short2.mod' '$tmp/short3.mod'"
expect_line "^File: +$tmp/short1.mod   \(file 1 of 3\)\$"
expect_line_within 5 "^File: +$tmp/short2.mod   \(file 2 of 3\)\$"
expect_line_within 5 "^File: +$tmp/short3.mod   \(file 3 of 3\)\$"
expect_line_within 5 '^Finished\.$'
time1=$(screen | grep '^Order:')
size1=$(wave_size)
sleep 1
[ "$(screen | grep '^Order:')" = "$time1" ] || fail "the position went on after the end"
[ "$(wave_size)" = "$size1" ] || fail "the device is still written to after the end"
keys q
expect_restored

# ---- A seek of 10 s moves the song time and the sound: the tone comes in
# at 7.68 s, after silence, and is heard as moddeck-render renders it (at
# the -6 dB kept from the run before).
tone_mod "$tmp/later.mod" 01
"$(dirname "$bin")/moddeck-render" --seconds 12 "$tmp/later.mod" "$tmp/later.wav" >/dev/null
rendered=$(sox "$tmp/later.wav" -n trim 10.5 1 stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
start "'$tmp/later.mod'"
expect_line '^Time: +0:00 '
expect_line '^Volume: +-6 dB'
keys '>'
expect_line '^Time: +0:1[01] / 0:15'
sleep 1.5
awk -v a="$(wave_level)" -v b="$rendered" 'BEGIN { r = a / b; exit !(r > 0.47 && r < 0.53) }' ||
  fail "after the seek the tone should sound as rendered: $(wave_level) against $rendered"
keys q
expect_restored
start "--seek 0:09.5 --interpolation sinc '$tmp/later.mod'"
expect_line '^Time: +0:09 / 0:15'
keys q
expect_restored
grep -qx 'interpolation = sinc' "$tmp/config/moddeck/settings" || fail "the choice of sound should be kept"

# ---- Without an audio device the screen says so, what to check and how to
# write to a file, and nothing pretends to play.
printf 'drivers = wave\n' > "$tmp/nodevice.conf"
ALSOFT_CONF=$tmp/nodevice.conf start "'$xm'"
expect_line '^No audio output: the default OpenAL device cannot be opened\.$'
expect_line '^To write the sound to a file instead, set ALSOFT_CONF'
expect_no_line '^Playing'
keys q
expect_restored
# Without a screen either, nothing would be heard or move on: it says so and ends.
out=$(ALSOFT_CONF=$tmp/nodevice.conf timeout 5 "$bin" --no-loop "$xm" "$mod" < /dev/null 2>&1; echo "status $?")
[[ $out == "moddeck: cannot play "*": no audio output: the default OpenAL device cannot be opened"$'\n'*"status 1" ]] ||
  fail "no device and no terminal: $out"

# ---- Standard input: a module piped in plays; a terminal is refused at once.
start "- < '$mod'"
expect_line '^Format: +MOD$'
keys q
expect_restored
start "-"
wait_file "$tmp/status"
[ "$(cat "$tmp/status")" = 2 ] || fail "- on a terminal exited $(cat "$tmp/status")"
# An endless stream is refused at the limit, in one line, and ends the player.
[ "$(timeout 5 "$bin" - < /dev/zero 2>&1; echo "status $?")" = $'moddeck: -: file too large\nstatus 1' ] || fail "- < /dev/zero"

# ---- Ctrl-C and SIGTERM also give the terminal back.
start "'$xm'"
expect_line '^Format: +XM$'
keys C-c
expect_restored
[ "$(cat "$tmp/status")" = 130 ] || fail "Ctrl-C exited $(cat "$tmp/status")"

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

# ---- Without a terminal it says what it plays, takes files, and ends with
# SIGTERM or `moddeck --quit`.
headless() {
  "$bin" "$xm" < /dev/null > "$tmp/headless.log" 2>&1 &
  pid=$!
  for _ in $(seq 50); do [ -S "$tmp/run/moddeck.sock" ] && break; sleep 0.1; done
  [ -S "$tmp/run/moddeck.sock" ] || { cat "$tmp/headless.log"; fail "headless player has no socket"; }
}
ended() {
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "headless player did not end"
  local status=0
  wait "$pid" || status=$?
  [ "$status" = "$1" ] || fail "headless player exited $status"
  [ ! -e "$tmp/run/moddeck.sock" ] || fail "headless socket left behind"
}
headless
"$bin" "$mod" 2>/dev/null || fail "handing a file to the headless player"
# (a quit signal abandons a load, so it waits for the file to play)
for _ in $(seq 50); do grep -q "^moddeck: playing $mod" "$tmp/headless.log" && break; sleep 0.1; done
kill -0 "$pid" || fail "headless player died"
kill -TERM "$pid"
ended 143
grep -q "^moddeck: playing $mod (MOD)\$" "$tmp/headless.log" || fail "headless log: $(cat "$tmp/headless.log")"
headless
[ "$("$bin" --quit 2>&1)" = "moddeck: asked the running player to quit" ] || fail "--quit message"
ended 0
"$bin" --quit 2>/dev/null && fail "--quit without a player"

# Without a terminal the player leaves at the end of its list: 0 when it
# played, 1 when nothing could be played.
"$bin" "$tmp/short1.mod" "$tmp/short2.mod" < /dev/null > "$tmp/list.log" 2>&1 || fail "a played list exited $?"
grep -q "^moddeck: playing $tmp/short2.mod (MOD)\$" "$tmp/list.log" || fail "list log: $(cat "$tmp/list.log")"
status=0
"$bin" "$tmp/notes.xm" < /dev/null > "$tmp/bad.log" 2>&1 || status=$?
[ "$status" = 1 ] || fail "an unplayable file exited $status"
[ ! -e "$tmp/run/moddeck.sock" ] || fail "socket left behind"

echo "end-to-end: all checks passed"
