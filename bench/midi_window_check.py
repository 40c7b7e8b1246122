#!/usr/bin/python3
"""Reads back a run of bench/midi_window.sh: the take's rows against the times
and velocities sent, and the two legato overlaps in the captured sound.

    bench/midi_window_check.py OUT_FOLDER

Rows: the event list as tesseract read it (list-take.txt), matched to the
sender's events (sent-1.txt: server-clock microseconds, then bytes); each
row's time against the sent time, both from the first event.

Sound: the level of each legato pair's two fundamentals (Hann-windowed DFT at
their frequencies) before the second note, during the overlap and after the
first is let go. The melody is found in the capture by the first note's
onset (middle C rising above a tenth of its peak)."""
import math
import re
import struct
import sys
import wave

out = sys.argv[1]


def sent_events(path):
    events = []
    for line in open(path):
        parts = line.split()
        if len(parts) >= 4:
            events.append((int(parts[0]), int(parts[1], 16), int(parts[2], 16), int(parts[3], 16)))
    first = events[0][0]
    return [((t - first) / 1000.0, s, n, v) for t, s, n, v in events]


def rows_read(path):
    rows = []
    for line in open(path):
        numbers = re.findall(r"\d+", line)  # tesseract may read a stray mark next to a number
        if len(numbers) >= 4 and numbers[1] in ("144", "128"):
            row = tuple(int(x) for x in numbers[:4])
            if not rows or row[0] > rows[-1][0] or (row[0] == rows[-1][0] and row != rows[-1]):
                rows.append(row)
    return rows


sent = sent_events(out + "/sent-1.txt")
rows = rows_read(out + "/list-take.txt")
print("take rows read: %d of %d events sent" % (len(rows), len(sent)))
errors = []
for i, (ms, status, note, velocity) in enumerate(sent):
    on = status & 0xF0 == 0x90 and velocity > 0
    if i >= len(rows):
        print("event %2d: %s %d not read from the list" % (i, "on " if on else "off", note))
        continue
    t, rs, rn, rv = rows[i]
    error = (t - rows[0][0]) - ms
    errors.append(abs(error))
    ok = rs == (144 if on else 128) and rn == note and rv == (velocity if on else 0)
    print("event %2d: %s note %d velocity %3d sent at %8.3f ms, row %5d %d %d %3d, error %+.3f ms%s" %
          (i, "on " if on else "off", note, velocity if on else 0, ms, t, rs, rn, rv, error, "" if ok else "  MISMATCH"))
if errors:
    errors.sort()
    print("row time error |row - sent| (ms): median %.3f, largest %.3f" % (errors[len(errors) // 2], errors[-1]))

w = wave.open(out + "/capture.wav")
rate = w.getframerate()
raw = w.readframes(w.getnframes())
samples = struct.unpack("<%dh" % (len(raw) // 2), raw)


def level(f, start_ms, end_ms):
    a = int(start_ms * rate / 1000)
    b = int(end_ms * rate / 1000)
    n = b - a
    re_, im = 0.0, 0.0
    for k in range(n):
        x = samples[a + k] * (0.5 - 0.5 * math.cos(2 * math.pi * k / (n - 1)))
        ph = 2 * math.pi * f * k / rate
        re_ += x * math.cos(ph)
        im -= x * math.sin(ph)
    return 20 * math.log10(max(math.hypot(re_, im) / n, 1e-9) / 32768)


def freq(note):
    return 440.0 * 2 ** ((note - 69) / 12.0)


# The first note's onset: the first 5 ms step where middle C's level rises above a tenth of its peak.
steps = [(t, level(freq(60), t, t + 20)) for t in range(0, min(4000, len(samples) * 1000 // rate - 30), 5)]
peak = max(v for _, v in steps)
onset = next(t for t, v in steps if v > peak - 20)
print("capture: %.1f s; first note found at %d ms" % (len(samples) / rate, onset))

on_at = {}
off_at = {}
for ms, status, note, velocity in sent:
    if status & 0xF0 == 0x90 and velocity > 0:
        on_at.setdefault(note, ms)
    elif note in on_at and note not in off_at:
        off_at[note] = ms
for first, second in ((62, 64), (67, 69)):
    a_on, b_on, a_off = on_at[first], on_at[second], off_at[first]
    spans = (("before %d" % second, a_on + 60, b_on - 10), ("overlap", b_on + 20, a_off - 5),
             ("after %d let go" % first, a_off + 20, min(a_off + 120, off_at[second] - 2)))
    print("legato %d -> %d: %d from %.0f, %d from %.0f, %d let go at %.0f ms" %
          (first, second, first, a_on, second, b_on, first, a_off))
    for name, s, e in spans:
        print("  %-16s %6.0f-%6.0f ms: %d (%.1f Hz) %6.1f dB, %d (%.1f Hz) %6.1f dB" %
              (name, s, e, first, freq(first), level(freq(first), onset + s, onset + e), second, freq(second),
               level(freq(second), onset + s, onset + e)))
