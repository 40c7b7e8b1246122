#!/bin/sh
# Counts the gaps in the program's sound as a sound server plays it, quiet and
# with two busy loops on the cores. Starts a private PulseAudio with a null
# sink (its own runtime folder, so no desktop sound is touched), runs
# sound_gap_bench against it for each case and prints its figures.
#
#   bench/sound_gaps.sh [seconds] [build folder]      (60 s, build/ by default)
#
# TONEMARK_GAPS_CASES picks the cases (default "scale metronome presses");
# TONEMARK_GAPS_KEEP=DIR keeps each capture there (raw s16le mono 44.1 kHz)
# with the samples around each gap (for bench/plot_gap.py).
# Needs pulseaudio and pulseaudio-utils (parec).
set -eu
SECONDS_EACH=${1:-60}
BUILD=${2:-build}
BENCH="$BUILD/bench/sound_gap_bench"
CASES=${TONEMARK_GAPS_CASES:-scale metronome presses}
[ -x "$BENCH" ] || { echo "build $BENCH first (cmake --build $BUILD --target sound_gap_bench)"; exit 1; }

RUNTIME=$(mktemp -d /tmp/tonemark-gaps.XXXXXX)
PA_PID=""
BUSY=""
cleanup() {
    for p in $BUSY; do kill "$p" 2>/dev/null || true; done
    [ -n "$PA_PID" ] && kill "$PA_PID" 2>/dev/null || true
    rm -rf "$RUNTIME"
}
trap cleanup EXIT INT TERM

XDG_RUNTIME_DIR="$RUNTIME" pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --load="module-null-sink sink_name=tonemark_gaps" --load=module-native-protocol-unix \
    >"$RUNTIME/pulse.log" 2>&1 &
PA_PID=$!
export PULSE_SERVER="unix:$RUNTIME/pulse/native"
i=0
until pactl info >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -lt 100 ] || { echo "the private PulseAudio did not start:"; cat "$RUNTIME/pulse.log"; exit 1; }
    sleep 0.1
done

run() {
    for c in $CASES; do
        keep=""
        [ -n "${TONEMARK_GAPS_KEEP:-}" ] && mkdir -p "$TONEMARK_GAPS_KEEP" &&
            keep="--wave $TONEMARK_GAPS_KEEP/$1-$c.raw --dump-gaps $TONEMARK_GAPS_KEEP/$1-$c.gaps"
        case $c in
            scale) "$BENCH" --seconds "$SECONDS_EACH" --source tonemark_gaps.monitor $keep ;;
            metronome) "$BENCH" --seconds "$SECONDS_EACH" --metronome --source tonemark_gaps.monitor $keep ;;
            presses) "$BENCH" --seconds "$(( SECONDS_EACH / 3 + 1 ))" --presses --source tonemark_gaps.monitor $keep ;;
        esac
        echo
    done
}

echo "== quiet =="
run quiet
echo "== two busy loops =="
sh -c 'while :; do :; done' & BUSY="$BUSY $!"
sh -c 'while :; do :; done' & BUSY="$BUSY $!"
run busy
