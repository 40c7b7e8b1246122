#!/bin/sh
# The real window's sound: Tonemark under Xvfb on a private PulseAudio null
# sink; "Play" is clicked PLAYS times (the start-up C major scale, 8 s each),
# then "Rec" arms the metronome for METRONOME seconds and "Stop" ends it, while
# parec records the sink's monitor. The capture's gaps and click spacing are
# then counted by sound_gap_bench --analyse.
#
#   bench/window_sound.sh [plays] [metronome seconds] [busy] [out folder] [build folder]
#   (7 plays, 60 s, quiet, /tmp/tonemark-window-sound, build/)
#
# "busy" runs two busy loops on the cores meanwhile. Needs xvfb, xdotool,
# imagemagick (for the screenshots shot-armed.png and shot.png), pulseaudio and
# pulseaudio-utils. Uses display :70 unless TONEMARK_DISPLAY says otherwise.
set -u
PLAYS=${1:-7}
METRO=${2:-60}
BUSY=${3:-}
[ "$BUSY" = "quiet" ] && BUSY=""
OUT=${4:-/tmp/tonemark-window-sound}
BUILD=${5:-build}
DPY=${TONEMARK_DISPLAY:-:70}
mkdir -p "$OUT/tmp"
RT=$(mktemp -d /tmp/tonemark-pa.XXXXXX)
PIDS=""
cleanup() { for p in $PIDS; do kill "$p" 2>/dev/null; done; rm -rf "$RT"; }
trap cleanup EXIT INT TERM
XDG_RUNTIME_DIR=$RT pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  --load="module-null-sink sink_name=cap" --load=module-native-protocol-unix >"$OUT/pulse.log" 2>&1 &
PIDS="$! $PIDS"
export PULSE_SERVER=unix:$RT/pulse/native
i=0
until pactl info >/dev/null 2>&1; do i=$((i+1)); [ $i -lt 100 ] || { echo "no PulseAudio"; exit 1; }; sleep 0.1; done
Xvfb "$DPY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
PIDS="$! $PIDS"
sleep 1
DISPLAY=$DPY TMPDIR=$OUT/tmp "$BUILD/tonemark" >"$OUT/tonemark.log" 2>&1 &
TM=$!
PIDS="$TM $PIDS"
WID=$(DISPLAY=$DPY xdotool search --sync --onlyvisible --pid $TM | head -1)
sleep 2
parec -d cap.monitor --raw --format=s16le --rate=44100 --channels=1 >"$OUT/capture.raw" &
PR=$!
PIDS="$PR $PIDS"
sleep 2
if [ -n "$BUSY" ]; then
  sh -c 'while :; do :; done' & PIDS="$! $PIDS"
  sh -c 'while :; do :; done' & PIDS="$! $PIDS"
fi
echo "load average at start: $(cat /proc/loadavg)"
DISPLAY=$DPY xdotool windowfocus --sync "$WID"
# Positions: the layout's twips / 15 from the window's origin (Play, Rec, the recorder's Stop).
i=0
while [ $i -lt "$PLAYS" ]; do
  DISPLAY=$DPY xdotool mousemove --window "$WID" 397 210 click 1
  sleep 8.6
  i=$((i+1))
done
if [ "$METRO" -gt 0 ]; then
  DISPLAY=$DPY xdotool mousemove --window "$WID" 204 376 click 1
  # TONEMARK_METRONOME_STALLS="10 20 ...": hold the program up for 40 ms at
  # those seconds into the metronome, so that its buffer grows while it clicks.
  waited=0
  for at in ${TONEMARK_METRONOME_STALLS:-}; do
    sleep $((at - waited)); waited=$at
    kill -STOP $TM; sleep 0.04; kill -CONT $TM
  done
  sleep $((METRO - waited))
  DISPLAY=$DPY import -window root "$OUT/shot-armed.png"
  DISPLAY=$DPY xdotool mousemove --window "$WID" 269 376 click 1
  sleep 1
fi
DISPLAY=$DPY import -window root "$OUT/shot.png"
echo "load average at end: $(cat /proc/loadavg)"
kill $PR; sleep 0.3
"$BUILD/bench/sound_gap_bench" --analyse "$OUT/capture.raw" --dump-gaps "$OUT/capture.gaps"
if [ "$METRO" -gt 0 ]; then
  # The clicks: every onset after the last play of the scale, each against the
  # click before it (the first click follows the last play, not a click).
  TONEMARK_BENCH_VERBOSE=1 "$BUILD/bench/sound_gap_bench" --analyse "$OUT/capture.raw" --beat-ms 500 |
    awk -v from=$PLAYS '/^click / { n++; if (n > from + 1) { split($0, a, ": "); v = a[2] + 0; if (v < 0) v = -v;
         d[++k] = v; if (v > mx) mx = v } }
         END { if (k == 0) { print "no clicks found"; exit }
               for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (d[j] < d[i]) { t = d[i]; d[i] = d[j]; d[j] = t }
               p = int(0.99 * (k - 1) + 1.5); printf "metronome: %d intervals, deviation from 500 ms: p50 %.2f p99 %.2f max %.2f\n", k, d[int(0.5 * (k - 1) + 1.5)], d[p], mx }'
fi
echo "capture, screenshots and logs in $OUT"
