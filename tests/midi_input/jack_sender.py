#!/usr/bin/python3
"""Plays a melody into the JACK port tonemark:midi_in, each event on an exact frame.

Prints one line per event: the event's time in microseconds on the server's
clock (jack_frames_to_time of its frame), then its bytes in hex. With --no-connect it
leaves the connection to the program (which knows the port by its name)."""
import ctypes
import sys
import threading
import time

import jack

# (ms after the start, bytes): ten notes, two of them legato over the next.
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

client = jack.Client("sender", no_start_server=True)
libjack = ctypes.CDLL("libjack.so.0")
libjack.jack_frames_to_time.restype = ctypes.c_uint64
libjack.jack_frames_to_time.argtypes = [ctypes.c_void_p, ctypes.c_uint32]
client_pointer = int(jack._ffi.cast("uintptr_t", client._ptr))
port = client.midi_outports.register("out")
rate = client.samplerate
pending = []  # (frame, bytes), in order
lock = threading.Lock()
done = threading.Event()
armed = False
stamps = []


@client.set_process_callback
def process(frames):
    port.clear_buffer()
    start = client.last_frame_time
    with lock:
        while pending and pending[0][0] < start + frames:
            frame, data = pending.pop(0)
            port.write_midi_event(max(frame - start, 0), data)
            # The frame's time as the server's clock tells it now, as a receiver reads it.
            stamps.append(libjack.jack_frames_to_time(client_pointer, frame))
        if armed and not pending:
            done.set()


with client:
    if "--no-connect" not in sys.argv:
        client.connect(port, "tonemark:midi_in")
    else:
        for _ in range(200):  # the program connects the port itself when it sees it
            if port.connections:
                break
            time.sleep(0.01)
    time.sleep(0.3)
    first = client.last_frame_time + int(0.3 * rate)
    events = [(first + int(ms * rate / 1000), data) for ms, data in MELODY]
    with lock:
        pending.extend(events)
        armed = True
    done.wait(10)
    time.sleep(0.2)
    for stamp, (frame, data) in zip(stamps, events):
        print(stamp, " ".join("%02x" % b for b in data))
    sys.stdout.flush()
