#!/usr/bin/python3
"""What an underrun does to the sound after it, in the real window.

Tonemark runs under its own Xvfb with its sound going to a private PulseAudio
null sink, and "Play" is clicked three times for the start-up C major scale.
In the third play the program is held up (SIGSTOP) for longer than its
buffer, in the middle of a note, so that the stream runs dry. Every play of
the scale after another is the same sound sample for sample, so the third
play, once past the gap, is matched against the second: the shift that matches best is how much later
than due the rest of the play is heard (0: the late sound was dropped and
what follows is on time).

  bench/window_gap_shift.py [stall ms] [build folder] [wave file]
  (40 ms, build/; the wave file, raw s16le mono 44.1 kHz, is kept when given,
  with the gaps around it in WAVE.gaps for bench/plot_gap.py)

Needs xvfb, pulseaudio, pulseaudio-utils, xdotool.
"""
import array
import math
import os
import signal
import subprocess
import sys
import time

from window_session import WindowSession

RATE = 44100
DPY = os.environ.get("TONEMARK_DISPLAY", ":75")
PLAY = (397, 210)  # the Play button, from the window's origin


def play_starts(s):
    """The first sound of each play: above 1 % after half a second below it."""
    starts, quiet = [], RATE
    for i, v in enumerate(s):
        if abs(v) > 300:
            if quiet > RATE // 2:
                starts.append(i)
            quiet = 0
        else:
            quiet += 1
    return starts


def correlation(s, a, b, n):
    x, y = s[a:a + n], s[b:b + n]
    den = math.sqrt(sum(v * v for v in x) * sum(v * v for v in y))
    return sum(p * q for p, q in zip(x, y)) / den if den else 0.0


def main():
    stall_ms = int(sys.argv[1]) if len(sys.argv) > 1 else 40
    build = sys.argv[2] if len(sys.argv) > 2 else "build"
    keep = sys.argv[3] if len(sys.argv) > 3 else None
    with WindowSession(build, DPY, "tonemark-gs.", own_state=True) as w:
        env, runtime, app, wid = w.env, w.runtime, w.app, w.wid
        wave = keep or os.path.join(runtime, "capture.raw")
        with open(wave, "wb") as out:
            cap = w.start(["parec", "-d", "cap.monitor", "--raw", "--format=s16le",
                           "--rate=%d" % RATE, "--channels=1"], stdout=out)
            time.sleep(1)
            for stall in (False, False, True):
                subprocess.call(["xdotool", "mousemove", "--window", wid, str(PLAY[0]), str(PLAY[1]),
                                 "click", "1"], env=env)
                if stall:
                    time.sleep(3.25)  # in the middle of the seventh note
                    os.kill(app.pid, signal.SIGSTOP)
                    time.sleep(stall_ms / 1000.0)
                    os.kill(app.pid, signal.SIGCONT)
                    time.sleep(9.0 - 3.25)
                else:
                    time.sleep(9.0)
            cap.terminate()
            cap.wait()
        s = array.array("h")
        with open(wave, "rb") as f:
            s.frombytes(f.read())
        gaps_file = (keep + ".gaps") if keep else os.path.join(runtime, "capture.gaps")
        subprocess.call([os.path.join(build, "bench", "sound_gap_bench"), "--analyse", wave,
                         "--dump-gaps", gaps_file])
        starts = play_starts(s)
        if len(starts) < 3:
            print("found %d plays in the capture" % len(starts))
            return 1
        first, second = starts[1], starts[2]
        # The gap: the first run of 16 or more exact zeros in the third play.
        gap_at, run = None, 0
        for i in range(second, min(len(s), second + 8 * RATE)):
            run = run + 1 if s[i] == 0 else 0
            if run >= 16 and gap_at is None:
                gap_at = i - run + 1
            if gap_at is not None and s[i] != 0:
                break
        if gap_at is None:
            print("no gap in the third play: the %d ms stall did not run the stream dry" % stall_ms)
            return 1
        # Past the gap, the best match against the second play, sample by
        # sample within 50 ms either way (the wave is rich enough that only
        # the exact shift matches well).
        n = RATE // 40
        for label, after in (("just after the gap", 0.2), ("a second after", 1.2), ("at the end", 3.5)):
            at = gap_at - second + int(after * RATE)
            best = max(range(-RATE // 20, RATE // 20 + 1),
                       key=lambda d: correlation(s, second + at + d, first + at, n))
            print("%-18s the third play is %+.2f ms off the second (match %.3f)"
                  % (label, best * 1000.0 / RATE, correlation(s, second + at + best, first + at, n)))
        return 0


if __name__ == "__main__":
    sys.exit(main())
