#!/bin/sh
# A MIDI keyboard in the real window: Tonemark under Xvfb on a private
# PulseAudio null sink and a JACK dummy server of its own. "Rec" is clicked,
# tests/midi_input/jack_sender.py plays its melody of eleven notes (two held
# OVERLAP ms into the next) into tonemark:midi_in on exact frames, "Stop" is
# clicked; the sender's port then goes away with it and comes back (the sender
# runs again, leaving the connection to the program). parec records the
# sink's monitor all along. Screenshots after each step, the event list and
# the message line read back with tesseract, the capture checked by
# bench/midi_window_check.py.
#
#   bench/midi_window.sh [out folder] [overlap ms] [build folder]
#   (/tmp/tonemark-midi-window, 150, build/)
#
# Needs xvfb, xdotool, imagemagick, tesseract-ocr, pulseaudio,
# pulseaudio-utils, jackd2 and python3-jack-client. Uses display :70 and the
# JACK server tonemark-window-PID unless TONEMARK_DISPLAY and
# TONEMARK_JACK_SERVER say otherwise.
set -u
OUT=${1:-/tmp/tonemark-midi-window}
OVERLAP=${2:-150}
BUILD=${3:-build}
DPY=${TONEMARK_DISPLAY:-:70}
SERVER=${TONEMARK_JACK_SERVER:-tonemark-window-$$}
HERE=$(dirname "$0")
SENDER="$HERE/../tests/midi_input/jack_sender.py"
mkdir -p "$OUT/tmp"
RT=$(mktemp -d /tmp/tonemark-pa.XXXXXX)
PIDS=""
cleanup() {
    for p in $PIDS; do kill "$p" 2>/dev/null; done
    sleep 0.5
    rm -rf "$RT" /dev/shm/jack_"$SERVER"_* /dev/shm/jack_sem.*_"$SERVER"_* 2>/dev/null
}
trap cleanup EXIT INT TERM
export JACK_DEFAULT_SERVER=$SERVER JACK_NO_START_SERVER=1 DISPLAY=$DPY
jackd -n "$SERVER" -R -P 70 -d dummy -r 48000 -p 64 >"$OUT/jackd.log" 2>&1 &
PIDS="$! $PIDS"
jack_wait -s "$SERVER" -w -t 10 >/dev/null || { echo "no JACK server"; exit 1; }
XDG_RUNTIME_DIR=$RT pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  --load="module-null-sink sink_name=cap" --load=module-native-protocol-unix >"$OUT/pulse.log" 2>&1 &
PIDS="$! $PIDS"
export PULSE_SERVER=unix:$RT/pulse/native
i=0
until pactl info >/dev/null 2>&1; do i=$((i+1)); [ $i -lt 100 ] || { echo "no PulseAudio"; exit 1; }; sleep 0.1; done
Xvfb "$DPY" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
PIDS="$! $PIDS"
sleep 1
TMPDIR=$OUT/tmp "$BUILD/tonemark" >"$OUT/tonemark.log" 2>&1 &
TM=$!
PIDS="$TM $PIDS"
WID=$(xdotool search --sync --onlyvisible --pid $TM | head -1)
sleep 3
eval "$(xdotool getwindowgeometry --shell "$WID")"  # X, Y: the window's origin on the screen
parec -d cap.monitor --file-format=wav --rate=44100 --channels=1 "$OUT/capture.wav" &
PR=$!
PIDS="$PR $PIDS"
xdotool windowfocus --sync "$WID"

# The message line, and the event list (scrolled by the wheel, three rows a notch).
read_message() { import -window root -crop 560x40+$((X + 10))+$((Y + 560)) -resize 300% "$OUT/msg.png"
                 tesseract "$OUT/msg.png" - --psm 6 2>/dev/null | tr '\n' ' '; echo; }
read_list() {
    : >"$OUT/$1"
    n=0
    while [ $n -lt 4 ]; do
        import -window root -crop 280x132+$((X + 366))+$((Y + 254)) -resize 300% "$OUT/list.png"
        tesseract "$OUT/list.png" - --psm 6 2>/dev/null >>"$OUT/$1"
        xdotool mousemove --window "$WID" 507 320 click 5 click 5 click 5
        sleep 0.3
        n=$((n+1))
    done
}

import -window root "$OUT/01-started.png"
xdotool mousemove --window "$WID" 204 376 click 1  # "Rec"
sleep 0.5
/usr/bin/python3 "$SENDER" --connect --overlap "$OVERLAP" >"$OUT/sent-1.txt" 2>"$OUT/sender-1.log"
sleep 0.3
# The sender has gone, and its port with it.
import -window root "$OUT/02-port-gone.png"
echo "message line, the port gone: $(read_message)"
xdotool mousemove --window "$WID" 269 376 click 1  # "Stop"
sleep 2
import -window root "$OUT/03-take.png"
echo "message line, the take stopped: $(read_message)"
read_list list-take.txt
sleep 1
# The port comes back under its name: the program connects it and plays it.
/usr/bin/python3 "$SENDER" --no-connect --overlap "$OVERLAP" >"$OUT/sent-2.txt" 2>"$OUT/sender-2.log" &
SP=$!
sleep 0.4
import -window root "$OUT/04-port-back.png"
echo "message line, the port back: $(read_message)"
wait $SP
sleep 1
import -window root "$OUT/05-played-again.png"
kill $PR
sleep 0.3
echo "capture, screenshots and logs in $OUT"
