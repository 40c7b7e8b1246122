#!/usr/bin/python3
"""Plays a melody into the JACK port tonemark:midi_in, each event on an exact frame.

Prints one line per melody event: the event's time in microseconds on the
server's clock (jack_frames_to_time of its frame), then its bytes in hex. With
--no-connect it leaves the connection to the program (which knows the port by
its name). With --flood SECONDS the melody stops after its fourth note for a
flood of 10,000 events a second (short notes over the whole keyboard, with
bytes that are no MIDI message among them), and goes on 300 ms after it; the
flood's events are not printed. With --overlap MS the two legato notes are
held MS (up to 190) into the next instead of 30 and 50 ms."""
import ctypes
import sys
import threading
import time

import jack

# (ms after the start, bytes): eleven notes, two of them legato over the next.
MELODY = [
    (0, (0x90, 60, 40)), (200, (0x80, 60, 0)),
    (250, (0x90, 62, 60)), (450, (0x90, 64, 80)), (480, (0x80, 62, 0)), (700, (0x90, 64, 0)),
    (750, (0x90, 65, 100)), (950, (0x80, 65, 0)),
    (1000, (0x90, 67, 120)), (1200, (0x90, 69, 90)), (1250, (0x80, 67, 0)), (1400, (0x80, 69, 0)),
    (1450, (0x90, 71, 70)), (1650, (0x80, 71, 0)),
    (1700, (0x90, 72, 110)), (1900, (0x80, 72, 0)),
    (1950, (0x90, 71, 50)), (2150, (0x80, 71, 0)),
    (2200, (0x90, 69, 30)), (2400, (0x80, 69, 0)),
    (2450, (0x90, 67, 127)), (2650, (0x80, 67, 0)),
]

# Bytes no keyboard should send, as JACK could carry them: data with no
# status, a note-on cut short, a data byte with its top bit set, and two that
# are valid but of no interest (a SysEx, active sensing).
MALFORMED = [(0x3C, 0x40, 0x00), (0x90, 0x3C), (0x90, 0xBC, 0x40), (0x80,),
             (0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7), (0xFE,)]


def flood(start_ms, seconds):
    """10 events a millisecond: a note on and off, over notes 36-96, and now and then malformed bytes."""
    events = []
    count = int(seconds * 10000)
    for i in range(count):
        ms = start_ms + i / 10.0
        note = 36 + (i // 2) % 61
        events.append((ms, (0x90, note, 1 + i % 127) if i % 2 == 0 else (0x80, note, 0)))
        if i % 50 == 49:
            events.append((ms, MALFORMED[(i // 50) % len(MALFORMED)]))
    return events


def arguments():
    flood_seconds = 0.0
    if "--flood" in sys.argv:
        flood_seconds = float(sys.argv[sys.argv.index("--flood") + 1])
    overlap_ms = None
    if "--overlap" in sys.argv:
        overlap_ms = float(sys.argv[sys.argv.index("--overlap") + 1])
    return "--no-connect" not in sys.argv, flood_seconds, overlap_ms


connect, flood_seconds, overlap_ms = arguments()
melody = list(MELODY)
if overlap_ms is not None:
    # The two legato notes are let go this long after the next began (to hear both through it).
    melody = [(450 + overlap_ms, data) if ms == 480 else (1200 + overlap_ms, data) if ms == 1250 else (ms, data)
              for ms, data in melody]
    melody.sort(key=lambda e: e[0])
extra = []
if flood_seconds > 0:
    shift = flood_seconds * 1000 + 300
    melody = [(ms if ms < 975 else ms + shift, data) for ms, data in MELODY]
    extra = flood(975, flood_seconds)

client = jack.Client("sender", no_start_server=True)
libjack = ctypes.CDLL("libjack.so.0")
libjack.jack_frames_to_time.restype = ctypes.c_uint64
libjack.jack_frames_to_time.argtypes = [ctypes.c_void_p, ctypes.c_uint32]
client_pointer = int(jack._ffi.cast("uintptr_t", client._ptr))
port = client.midi_outports.register("out")
rate = client.samplerate
pending = []  # (frame, bytes, printed), in order
next_index = 0
lock = threading.Lock()
done = threading.Event()
armed = False
stamps = []


@client.set_shutdown_callback
def shutdown(status, reason):
    done.set()  # the server went away: what was sent is printed


@client.set_process_callback
def process(frames):
    global next_index
    port.clear_buffer()
    start = client.last_frame_time
    with lock:
        while next_index < len(pending) and pending[next_index][0] < start + frames:
            frame, data, printed = pending[next_index]
            offset = max(frame - start, 0)
            try:
                port.write_midi_event(offset, data)
            except jack.JackError:
                break  # a late cycle filled the port's buffer: the rest goes in the next one
            next_index += 1
            if printed:
                # The frame's time as the server's clock tells it now, as a receiver reads it.
                stamps.append(libjack.jack_frames_to_time(client_pointer, start + offset))
        if armed and next_index == len(pending):
            done.set()


with client:
    if connect:
        client.connect(port, "tonemark:midi_in")
    else:
        for _ in range(200):  # the program connects the port itself when it sees it
            if port.connections:
                break
            time.sleep(0.01)
    time.sleep(0.3)
    first = client.last_frame_time + int(0.3 * rate)
    printed = [(first + int(ms * rate / 1000), data, True) for ms, data in melody]
    events = sorted(printed + [(first + int(ms * rate / 1000), data, False) for ms, data in extra],
                    key=lambda e: e[0])
    with lock:
        pending.extend(events)
        armed = True
    done.wait(10 + flood_seconds)
    time.sleep(0.2)
    for stamp, (frame, data, _) in zip(stamps, printed):
        print(stamp, " ".join("%02x" % b for b in data))
    sys.stdout.flush()
