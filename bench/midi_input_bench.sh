#!/bin/sh
# Times a MIDI keyboard over JACK: starts a JACK server of its own on the dummy
# backend (no sound card needed), runs midi_input_bench against it and stops
# it again, removing the files of its own it leaves in /dev/shm.
#
#   bench/midi_input_bench.sh [period frames] [notes] [stall ms] [build folder]
#   (64 frames, 200 notes, 20 ms, build/)
#   bench/midi_input_bench.sh [period frames] --flood [seconds] [build folder]
#
# Asks for real-time scheduling first and runs without it (at the period
# given) when the machine refuses; the figures say which server ran. Needs
# jackd2. TONEMARK_JACK_SERVER names the server (default tonemark-bench-PID).
set -u
PERIOD=${1:-64}
NOTES=${2:-200}
STALL=${3:-20}
BUILD=${4:-build}
BENCH="$BUILD/bench/midi_input_bench"
[ -x "$BENCH" ] || { echo "build $BENCH first (cmake --build $BUILD --target midi_input_bench)"; exit 1; }
SERVER=${TONEMARK_JACK_SERVER:-tonemark-bench-$$}
export JACK_DEFAULT_SERVER=$SERVER JACK_NO_START_SERVER=1
JACKD=""
cleanup() {
    [ -n "$JACKD" ] && kill "$JACKD" 2>/dev/null && wait "$JACKD" 2>/dev/null
    rm -rf /dev/shm/jack_"$SERVER"_* /dev/shm/jack_sem.*_"$SERVER"_* 2>/dev/null
}
trap cleanup EXIT INT TERM

start() {
    jackd -n "$SERVER" "$@" -d dummy -r 48000 -p "$PERIOD" >/tmp/"$SERVER".log 2>&1 &
    JACKD=$!
    if jack_wait -s "$SERVER" -w -t 10 >/dev/null 2>&1 && kill -0 "$JACKD" 2>/dev/null; then return 0; fi
    kill "$JACKD" 2>/dev/null
    wait "$JACKD" 2>/dev/null
    JACKD=""
    rm -rf /dev/shm/jack_"$SERVER"_* /dev/shm/jack_sem.*_"$SERVER"_* 2>/dev/null
    return 1
}
if start -R -P 70; then
    echo "JACK dummy server, real-time (priority 70)"
elif start --no-realtime; then
    echo "JACK dummy server, not real-time"
else
    echo "no JACK server could be started (see /tmp/$SERVER.log)"
    exit 1
fi
"$BENCH" "$NOTES" "$STALL"
