#!/usr/bin/python3
"""Cursor to heard in the real window, across changes of the sound buffer.

Tonemark runs under its own Xvfb with its sound going to a private PulseAudio
null sink, with a state folder of its own (so it starts at the smallest
buffer, as on a new machine). "Play" is clicked for the start-up C major
scale, twice at each of three buffers: the first one, then after the program
was held up (SIGSTOP) for 40 ms in the silence between songs, which makes
the output grow its buffer, then once it has shrunk it again in the silence
after (a minute or more, longer after each growth; five at most). The buffer
in use is read from the file the program keeps it in.

Heard: the sink's monitor is read live in small chunks stamped on arrival,
which places every sample on the monotonic clock (capture_clock.py); a play's
first note is heard at its first sound out of silence, each later one at its
place on the sample clock, 500 ms on from the one before. Reached: the X server's time stamp
(the monotonic clock in ms) of the first damage to the score's strip that
ends the cursor's move to the note (DAMAGE extension, raw rectangles).

Prints, for each buffer, reached - heard per note: p50, p99, the smallest and
the largest, over the notes found.

  bench/window_cursor_to_heard.py [build folder]     (build/)

Set TONEMARK_BENCH_VERBOSE=1 for every note's figures. Needs xvfb,
pulseaudio, pulseaudio-utils, python3-xlib, xdotool.
"""
import os
import signal
import subprocess
import sys
import threading
import time

from Xlib import display
from Xlib.ext import damage

from window_session import WindowSession

RATE = 44100
DPY = os.environ.get("TONEMARK_DISPLAY", ":74")
PLAY = (397, 210)  # the Play button, from the window's origin
NOTES = 15         # the scale up and down
PLAY_SECONDS = 9.0


def percentile(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(round(p * (len(s) - 1))))]


def onsets(samples, start, end):
    """Sample indices in [start, end) where the notes of one play of the scale
    begin. The first note is the first sound out of silence; the player puts
    every note on the sample clock, so note k begins k * 500 ms of samples
    later. A note counts only where the sound does rise just after that
    sample (the mean level of the next 3 ms a third above that of the 10 ms
    before it, somewhere in the next 20 ms)."""
    end = min(end, len(samples))
    first = next((i for i in range(max(start, 0), end) if abs(samples[i]) > 300), None)
    if first is None:
        return []

    def level(a, b):
        seg = samples[max(a, 0):b]
        return sum(abs(v) for v in seg) / max(1, len(seg))

    found = [first]
    for k in range(1, NOTES):
        due = first + k * RATE // 2
        if due + RATE // 20 >= end:
            break
        if any(level(i, i + 132) > 1.33 * level(i - 441, i) for i in range(due, due + 882, 22)):
            found.append(due)
    return found


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    verbose = bool(os.environ.get("TONEMARK_BENCH_VERBOSE"))
    with WindowSession(build, DPY, "tonemark-cth.", own_state=True) as w:
        env, app, wid = w.env, w.app, int(w.wid)
        samples, clock = w.live_capture(RATE)

        # Damage to the window, rectangle by rectangle, with the server's stamps.
        ddpy = display.Display(DPY)
        win = ddpy.create_resource_object("window", wid)
        ddpy.damage_query_version()
        win.damage_create(damage.DamageReportRawRectangles)
        ddpy.flush()
        rects = []  # (server ms, x, y, w, h)

        def read_damage():
            try:
                while True:
                    e = ddpy.next_event()
                    if type(e).__name__ == "DamageNotify":
                        rects.append((e.timestamp, e.area.x, e.area.y, e.area.width, e.area.height))
            except Exception:  # the X server went away at the end
                pass

        threading.Thread(target=read_damage, daemon=True).start()

        def click_play():
            subprocess.call(["xdotool", "mousemove", "--window", str(wid), str(PLAY[0]), str(PLAY[1]),
                             "click", "1"], env=env)

        def buffer_now():
            return w.buffer_ms(10)

        phases = []  # (label, buffer, start monotonic, end monotonic)

        def play_twice(label):
            for _ in range(2):
                t0 = time.monotonic()
                click_play()
                time.sleep(PLAY_SECONDS)
                phases.append((label, buffer_now(), t0, time.monotonic()))

        play_twice("first")
        os.kill(app.pid, signal.SIGSTOP)
        time.sleep(0.04)
        os.kill(app.pid, signal.SIGCONT)
        time.sleep(2.0)
        play_twice("grown")
        # The quiet spell a shrink needs doubles with every growth: wait for it.
        grown = buffer_now()
        deadline = time.monotonic() + float(os.environ.get("TONEMARK_SHRINK_WAIT", "300"))
        while buffer_now() >= grown and time.monotonic() < deadline:
            time.sleep(1)
        time.sleep(1)
        play_twice("shrunk")
        time.sleep(0.5)
        w.capture.terminate()

        place = clock.placer()
        now_ms = int(time.monotonic() * 1000)
        base = now_ms & ~0xFFFFFFFF
        stamps = [((base | r[0]) / 1000.0, r[1], r[2], r[3], r[4]) for r in rects]
        # The cursor's strip: damage no wider than a few pixels (the line), below the toolbar.
        thin = [r for r in stamps if r[3] <= 10 and r[4] >= 40]
        if verbose:
            print("damage rectangles: %d, thin ones: %d" % (len(stamps), len(thin)))
            shapes = {}
            for r in stamps:
                shapes[r[1:]] = shapes.get(r[1:], 0) + 1
            print("commonest:", sorted(shapes.items(), key=lambda kv: -kv[1])[:15])
        every = []
        for label, buf, t0, t1 in phases:
            start = int((t0 - place(0)) * RATE)
            end = int((t1 - place(0)) * RATE)
            errors = []
            for onset in onsets(samples, max(0, start), end):
                heard = place(onset)
                # The cursor's move for this note: the first thin damage from 100 ms before to 200 ms after.
                moves = [r[0] for r in thin if heard - 0.1 <= r[0] <= heard + 0.2]
                if not moves:
                    continue
                errors.append((moves[0] - heard) * 1000.0)
                if verbose:
                    print("  %s: heard %.3f reached %+.1f ms" % (label, heard, errors[-1]))
            if not errors:
                print("%s buffer %d ms: no notes paired" % (label, buf))
                continue
            every += errors
            print("%-6s buffer %2d ms: %2d notes, reached - heard (ms): p50 %.1f  p99 %.1f  min %.1f  max %.1f"
                  % (label, buf, len(errors), percentile(errors, 0.5), percentile(errors, 0.99),
                     min(errors), max(errors)))
        if every:
            print("all %d notes: p50 %.1f  p99 %.1f  min %.1f  max %.1f; the sink's clock ran at %.1f Hz"
                  % (len(every), percentile(every, 0.5), percentile(every, 0.99), min(every), max(every),
                     clock.measured_rate()))
        return 0


if __name__ == "__main__":
    sys.exit(main())
