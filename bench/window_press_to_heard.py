#!/usr/bin/python3
"""Press to heard in the real window.

Tonemark runs under its own Xvfb with its sound going to a private PulseAudio
null sink. The X server plays presses of the computer keyboard's C4 key
("z") queued through XTest at known delays; the RECORD extension reports
each press with the server's own time stamp (the X server's clock is the
machine's monotonic clock, in milliseconds). The sink's monitor is read live
in small chunks, each stamped on arrival, which places every sample on the
monotonic clock (capture_clock.py). Each note's
first sample above -40 dBFS, less the press's stamp, is its press-to-heard
time, capture path included.

  bench/window_press_to_heard.py [presses] [busy] [build folder]
  (40 presses, quiet, build/)

"busy" runs two busy loops on the cores meanwhile. Prints p50, p90, p99 and
the largest, and the gaps in the captured sound (sound_gap_bench --analyse).
Needs xvfb, pulseaudio, pulseaudio-utils, python3-xlib.
"""
import os
import subprocess
import sys
import threading
import time

from Xlib import X, XK, display
from Xlib.ext import record, xtest
from Xlib.protocol import rq

from window_session import WindowSession

RATE = 44100
DPY = os.environ.get("TONEMARK_DISPLAY", ":73")
SPACING_MS = 450
HOLD_MS = 150


def percentile(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(round(p * (len(s) - 1))))]


def main():
    presses = int(sys.argv[1]) if len(sys.argv) > 1 else 40
    busy = len(sys.argv) > 2 and sys.argv[2] == "busy"
    build = sys.argv[3] if len(sys.argv) > 3 else "build"
    with WindowSession(build, DPY, "tonemark-pth.") as w:
        env, runtime, wid = w.env, w.runtime, w.wid
        subprocess.call(["xdotool", "windowfocus", "--sync", wid], env=env)
        samples, clock = w.live_capture(RATE)
        if busy:
            for _ in range(2):
                w.start(["sh", "-c", "while :; do :; done"])

        # The server's stamps of the presses.
        stamps = []
        rec_display = display.Display(DPY)
        ctx = rec_display.record_create_context(
            0, [record.AllClients],
            [{"core_requests": (0, 0), "core_replies": (0, 0), "ext_requests": (0, 0, 0, 0),
              "ext_replies": (0, 0, 0, 0), "delivered_events": (0, 0), "device_events": (X.KeyPress, X.KeyPress),
              "errors": (0, 0), "client_started": False, "client_died": False}])

        def on_record(reply):
            if reply.category != record.FromServer or reply.client_swapped or not reply.data:
                return
            data = reply.data
            while data:
                event, data = rq.EventField(None).parse_binary_value(data, rec_display.display, None, None)
                if event.type == X.KeyPress:
                    stamps.append(event.time)

        def run_record():
            try:
                rec_display.record_enable_context(ctx, on_record)
            except Exception:  # the X server went away at the end
                pass

        threading.Thread(target=run_record, daemon=True).start()
        time.sleep(0.5)

        d = display.Display(DPY)
        code = d.keysym_to_keycode(XK.string_to_keysym("z"))
        # Something sounds first, so that the monitor has started delivering.
        xtest.fake_input(d, X.KeyPress, code)
        xtest.fake_input(d, X.KeyRelease, code, time=HOLD_MS)
        d.sync()
        time.sleep(1.5)
        first = len(stamps)
        for i in range(presses):
            xtest.fake_input(d, X.KeyPress, code, time=SPACING_MS if i else 0)
            xtest.fake_input(d, X.KeyRelease, code, time=HOLD_MS)
            d.sync()
            time.sleep((SPACING_MS + HOLD_MS) / 1000.0 * 0.5)
        deadline = time.monotonic() + presses * (SPACING_MS + HOLD_MS) / 1000.0 + 10
        while len(stamps) < first + presses and time.monotonic() < deadline:
            time.sleep(0.2)
        time.sleep(1)
        w.capture.terminate()
        w.reader.join(timeout=2)
        place = clock.placer()

        # X stamps are the monotonic clock in ms, cut to 32 bits.
        now_ms = int(time.monotonic() * 1000)
        press_s = [((now_ms & ~0xFFFFFFFF) | s) / 1000.0 for s in stamps[first:]]
        threshold = int(32768 * 0.01)
        errors = []
        for t in press_s:
            start = int((t - place(0)) * RATE)
            # A quiet stretch before the note is due: the last press has rung out.
            window = samples[max(0, start - int(0.02 * RATE)): start + int(0.2 * RATE)]
            # The first sample well above what still rang before the press.
            before = window[: int(0.02 * RATE)]
            level = max(threshold, 3 * max((abs(v) for v in before), default=0))
            onset = next((i for i in range(len(before), len(window)) if abs(window[i]) > level), None)
            if onset is None:
                continue
            heard = place(max(0, start - int(0.02 * RATE)) + onset)
            errors.append((heard - t) * 1000.0)
        if os.environ.get("TONEMARK_BENCH_VERBOSE"):
            loud = [i for i in range(0, len(samples), 441) if abs(samples[i]) > threshold]
            print("captured %.2f s from %.3f; presses from %.3f to %.3f; loud at %s" % (
                len(samples) / RATE, place(0), press_s[0], press_s[-1],
                [round(place(i), 2) for i in loud[:: max(1, len(loud) // 20)]]))
        if not errors:
            print("no notes found in the capture (%d presses stamped)" % len(press_s))
            return 1
        print("press to heard (ms), %d of %d presses, %s: p50 %.1f  p90 %.1f  p99 %.1f  max %.1f  min %.1f"
              % (len(errors), len(press_s), "two busy loops" if busy else "quiet", percentile(errors, 0.5),
                 percentile(errors, 0.9), percentile(errors, 0.99), max(errors), min(errors)))
        # The gaps in the sound of the presses, counted as for the songs.
        wave = os.path.join(runtime, "capture.raw")
        with open(wave, "wb") as f:
            samples.tofile(f)
        subprocess.call([os.path.join(build, "bench", "sound_gap_bench"), "--analyse", wave])
        return 0


if __name__ == "__main__":
    sys.exit(main())
