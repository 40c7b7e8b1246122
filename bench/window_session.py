"""Tonemark's real window for the window benchmarks.

A private PulseAudio with a null sink named "cap" (its own runtime folder, so
no desktop sound is touched), a private Xvfb on the display given, and
Tonemark on both, its window found and its SoundFont given time to load. On
leaving, everything started is stopped and the runtime folder removed.

    with WindowSession("build", ":74", "tonemark-cth.", own_state=True) as w:
        samples, clock = w.live_capture(44100)
        ... w.env, w.app, w.wid, w.start([...]) ...

own_state: Tonemark keeps its state (the sound buffer it settled at) in the
runtime folder, as on a new machine, instead of where the caller's
XDG_STATE_HOME says.
"""
import array
import os
import subprocess
import tempfile
import threading
import time

from capture_clock import CaptureClock


class WindowSession:
    def __init__(self, build, display, prefix, own_state=False):
        self.build, self.display, self.prefix, self.own_state = build, display, prefix, own_state
        self.procs = []

    def start(self, args, **kwargs):
        """A process that is stopped with the session (quiet unless told otherwise)."""
        kwargs.setdefault("env", self.env)
        kwargs.setdefault("stdout", subprocess.DEVNULL)
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        proc = subprocess.Popen(args, **kwargs)
        self.procs.append(proc)
        return proc

    def __enter__(self):
        self.runtime = tempfile.mkdtemp(prefix=self.prefix)
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        if self.own_state:
            self.env["XDG_STATE_HOME"] = os.path.join(self.runtime, "state")
        self.state = self.env.get("XDG_STATE_HOME") or os.path.join(os.environ.get("HOME", "/"), ".local", "state")
        try:
            self.start(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                        "--load=module-null-sink sink_name=cap", "--load=module-native-protocol-unix"])
            self.env["PULSE_SERVER"] = "unix:%s/pulse/native" % self.runtime
            for _ in range(100):
                if subprocess.call(["pactl", "info"], env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL) == 0:
                    break
                time.sleep(0.1)
            self.start(["Xvfb", self.display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"])
            time.sleep(1)
            self.env["DISPLAY"] = self.display
            self.env["TMPDIR"] = self.runtime
            self.app = self.start([os.path.join(self.build, "tonemark")])
            self.wid = subprocess.check_output(["xdotool", "search", "--sync", "--onlyvisible", "--pid",
                                                str(self.app.pid)], env=self.env).split()[0].decode()
            time.sleep(3)  # the synthesiser and its SoundFont
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        for p in reversed(self.procs):
            p.terminate()
        for p in self.procs:
            try:
                p.wait(timeout=3)
            except subprocess.TimeoutExpired:
                p.kill()
        subprocess.call(["rm", "-rf", self.runtime])
        return False

    def buffer_ms(self, default=None):
        """The sound buffer Tonemark keeps now, from the file it keeps it in."""
        try:
            with open(os.path.join(self.state, "tonemark", "sound-buffer")) as f:
                return int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            return default

    def live_capture(self, rate):
        """The sink's monitor read live in small chunks, each stamped on
        arrival: the samples so far and the CaptureClock that places them.
        The capture stops with the session."""
        cap = self.start(["parec", "-d", "cap.monitor", "--raw", "--format=s16le", "--rate=%d" % rate,
                          "--channels=1", "--latency-msec=2"], stdout=subprocess.PIPE)
        samples = array.array("h")
        clock = CaptureClock(rate)

        def read():
            fd = cap.stdout.fileno()
            while True:
                chunk = os.read(fd, 4096)
                if not chunk:
                    return
                now = time.monotonic()
                samples.frombytes(chunk[: len(chunk) // 2 * 2])
                clock.arrived(now, len(samples))

        self.capture = cap
        self.reader = threading.Thread(target=read, daemon=True)
        self.reader.start()
        return samples, clock
