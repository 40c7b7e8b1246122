#!/usr/bin/python3
"""Random use of Tonemark's real window under AddressSanitizer and UBSan.

    scripts/monkey.py --binary build-asan/tonemark [--seconds N | --actions N] [--seed S]

Starts its own Xvfb (and, for every other start of the program, a private
PulseAudio with a null sink), starts the program with its own TMPDIR and
sanitizer logs, finds its windows over one X connection and acts on them at
random, as a careless user would: clicks, double and right clicks, drags and
wheel turns on every control and anywhere else, the on-screen keys, the
score, takes (Rec / keys / Play / Stop), the computer keyboard, Ctrl+S and
Ctrl+E (any dialog that opens is cancelled with Escape), the circle window,
closing the windows and Exit (the program is then started again).

The script also stands in for the window manager: it raises and focuses the
window it clicks, and pings the program with _NET_WM_PING, which the event
loop answers; no answer within --hang seconds is a hang.

Fails (exit 1) on a crash, a hang, a non-zero exit or any sanitizer report,
printing the seed, the last 50 actions and the report. Every action draws from
its own generator seeded by (seed, action number), so a seed replays the same
actions as far as the program's state allows.
"""

import argparse
import collections
import os
import random
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from Xlib import X, XK, display, error as xerror, protocol
from Xlib.ext import xtest

MAIN_TITLE = "Tonemark"
CIRCLE_TITLE = "CICLO DELLE QUARTE E DELLE QUINTE"


# ---------------------------------------------------------------------------
# Where things are: the layout in twips, 15 twips to the pixel, from the
# client origin of each window.

def px(t):
    return t // 15


def rect(left, top, width, height):
    return (px(left), px(top), px(width), px(height))


MAIN_SIZE = (px(10170), px(9090))
CIRCLE_SIZE = (px(10170), px(8415))

BUTTONS = {
    "BtnPlay": rect(5520, 2880, 885, 555),
    "BtnStop": rect(6690, 2880, 885, 555),
    "Command1 Mostra Ciclo": rect(7650, 2880, 1305, 555),
    "Command2 Rec": rect(2700, 5460, 735, 375),
    "Command3 Stop": rect(3675, 5460, 735, 375),
    "Command4 Play": rect(4440, 5460, 735, 375),
}
for _i, _left in enumerate((2610, 3240, 3870, 4500)):
    BUTTONS["ValNote_%d" % _i] = rect(_left, 2880, 615, 675)
EXIT_BUTTON = rect(9000, 2880, 885, 555)

SCROLLBARS = {"Tonality": rect(240, 2880, 225, 1065), "SpeedValue": rect(1560, 2880, 225, 1065)}
LISTS = {  # name: rect, rows shown
    "List1": (rect(240, 4050, 2235, 3180), 15),
    "List4": (rect(240, 7290, 2235, 840), 4),
    "List2": (rect(5520, 3810, 4365, 2010), 10),
}
ROW_HEIGHT = 13
LIST_BAR_WIDTH = 15
SCORE = rect(240, 630, 9675, 1905)
HEADER = rect(240, 150, 9675, 435)
LOWER_FRAME = rect(90, 2760, 9945, 5535)

KEY_LEFTS = [2700, 3060, 3180, 3540, 3660, 4140, 4500, 4620, 4980, 5100, 5460, 5580, 6060, 6420, 6540,
             6900, 7020, 7500, 7860, 7980, 8340, 8460, 8790, 8910, 9390]
BLACK_KEYS = {1, 3, 6, 8, 10, 13, 15, 18, 20, 22}


def key_rect(k):
    if k in BLACK_KEYS:
        return rect(KEY_LEFTS[k], 5970, 255, 1335)
    return rect(KEY_LEFTS[k], 5970, 495, 2175)


def key_point(k, r):
    left, top, width, height = key_rect(k)
    if k in BLACK_KEYS:
        return left + r.randint(2, width - 3), top + r.randint(3, height - 4)
    # The lower part of a white key is clear of the black keys beside it.
    return left + r.randint(3, width - 4), top + r.randint(px(1335) + 3, height - 4)


# The computer keys that play the on-screen keys, by X key code.
MUSIC_KEYCODES = [52, 39, 53, 40, 54, 55, 42, 56, 43, 57, 44, 58,
                  24, 11, 25, 12, 26, 27, 14, 28, 15, 29, 16, 30, 31]

CIRCLE_AREAS = [(4590, 60, 1335, 885), (3180, 570, 1335, 885), (1830, 1530, 1635, 885),
                (1110, 2610, 1605, 885), (990, 3630, 1605, 885), (1170, 4710, 2715, 1635),
                (4050, 5580, 2865, 1785), (6930, 4680, 2805, 1755), (7380, 3570, 2145, 1005),
                (7410, 2460, 2025, 1005), (7260, 1500, 1395, 885), (6120, 390, 1425, 915)]
CIRCLE_CLOSE = (CIRCLE_SIZE[0] // 2 - px(1365) // 2, px(7650), px(1365), px(495))

OTHER_KEYS = ["Left", "Right", "Up", "Down", "Home", "End", "Prior", "Next", "Tab", "space", "Return",
              "BackSpace", "Delete", "Escape", "F1", "F10", "a", "k", "l", "o", "p", "1", "0", "minus",
              "plus", "comma", "period"]


def inside(rc, r, margin=1):
    left, top, width, height = rc
    return (left + r.randint(margin, max(margin, width - 1 - margin)),
            top + r.randint(margin, max(margin, height - 1 - margin)))


# ---------------------------------------------------------------------------
# Processes

class Failure(Exception):
    def __init__(self, kind, detail=""):
        super().__init__(kind)
        self.kind = kind
        self.detail = detail


def start_xvfb(work):
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp", "-noreset"],
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(work, "xvfb.log"), "w"))
    os.close(write_end)
    number = b""
    deadline = time.time() + 20
    while not number.endswith(b"\n") and time.time() < deadline:
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    if not number.strip():
        proc.kill()
        raise SystemExit("monkey: Xvfb did not start (see %s/xvfb.log)" % work)
    return proc, ":" + number.decode().strip()


def start_pulse(work):
    if shutil.which("pulseaudio") is None:
        return None, None
    runtime = os.path.join(work, "pulse")
    os.makedirs(runtime, exist_ok=True)
    socket = os.path.join(runtime, "native")
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, HOME=runtime)
    proc = subprocess.Popen(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                             "--load=module-null-sink sink_name=monkey",
                             "--load=module-native-protocol-unix socket=" + socket],
                            env=env, stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(work, "pulse.log"), "w"))
    deadline = time.time() + 10
    while not os.path.exists(socket) and time.time() < deadline and proc.poll() is None:
        time.sleep(0.05)
    if not os.path.exists(socket):
        proc.kill()
        return None, None
    return proc, "unix:" + socket


# The address of a private session bus, as every desktop has one. Without a
# bus, Qt's accessibility bridge still starts its D-Bus thread, and that
# thread leaks a few blocks at exit now and then (a known fault of Qt's, not
# of the program), which would fail a run for nothing.
SESSION_BUS = None


def start_session_bus(work):
    if shutil.which("dbus-daemon") is None:
        return None, None
    proc = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                             "--address=unix:path=" + os.path.join(work, "session-bus")],
                            stdout=subprocess.PIPE, stderr=open(os.path.join(work, "dbus.log"), "w"), text=True)
    ready, _, _ = select.select([proc.stdout], [], [], 10)
    address = proc.stdout.readline().strip() if ready else ""
    if not address:
        proc.kill()
        return None, None
    return proc, address


def stop(proc, sig=signal.SIGTERM, wait=5):
    if proc is None or proc.poll() is not None:
        return
    proc.send_signal(sig)
    try:
        proc.wait(wait)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


class Program:
    """One run of the program under test, with its logs."""

    def __init__(self, binary, work, disp, pulse_server, number):
        self.number = number
        self.audio = "pulse" if pulse_server else "none"
        self.sanitizer_dir = os.path.join(work, "sanitizer")
        tmp = os.path.join(work, "tmp")
        runtime = os.path.join(work, "runtime")
        home = os.path.join(work, "home")  # where a dialog would save, if one ever did
        for d in (self.sanitizer_dir, tmp, runtime, home):
            os.makedirs(d, exist_ok=True)
        os.chmod(runtime, 0o700)
        supp = os.path.join(work, "lsan.supp")
        with open(supp, "w") as f:
            # A block the D-Bus library keeps for the whole run, allocated on its own thread.
            f.write("leak:libdbus-1.so\n")
        env = dict(os.environ)
        for k in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS"):
            env.pop(k, None)
        if SESSION_BUS:
            env["DBUS_SESSION_BUS_ADDRESS"] = SESSION_BUS
        env.update({
            "DISPLAY": disp,
            "TMPDIR": tmp,
            "XDG_RUNTIME_DIR": runtime,
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "QT_QPA_PLATFORM": "xcb",
            "ASAN_OPTIONS": "detect_leaks=1:abort_on_error=1:halt_on_error=1:detect_stack_use_after_return=1:"
                            "check_initialization_order=1:"
                            "log_path=" + os.path.join(self.sanitizer_dir, "asan"),
            "LSAN_OPTIONS": "print_suppressions=0:suppressions=" + supp,
            "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1:abort_on_error=1:"
                             "log_path=" + os.path.join(self.sanitizer_dir, "ubsan"),
            # With no server here, the program plays on its silent clock.
            "PULSE_SERVER": pulse_server or "unix:" + os.path.join(work, "no-pulse-server"),
        })
        self.log_path = os.path.join(work, "program-%d.log" % number)
        self.log = open(self.log_path, "w")
        self.proc = subprocess.Popen([binary], env=env, stdout=self.log, stderr=subprocess.STDOUT,
                                     cwd=tmp, start_new_session=True)
        self.pid = self.proc.pid

    def alive(self):
        return self.proc.poll() is None

    def output_tail(self, lines=60):
        self.log.flush()
        try:
            with open(self.log_path, errors="replace") as f:
                return "".join(f.readlines()[-lines:])
        except OSError:
            return ""

    def kill(self):
        stop(self.proc, signal.SIGKILL)

    def reports(self):
        self.log.flush()
        return sanitizer_reports(self.sanitizer_dir, self.log_path)


REPORT_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "ERROR: UndefinedBehaviorSanitizer",
                "runtime error:", "Sanitizer:DEADLYSIGNAL", "SUMMARY: AddressSanitizer",
                "SUMMARY: UndefinedBehaviorSanitizer", "WARNING: AddressSanitizer")


def sanitizer_reports(directory, program_log=None):
    """The sanitizer reports of a run: the log files that hold one (not just a
    note of the suppressions used) and, from its first report on, the program's
    own output, where GCC's UndefinedBehaviorSanitizer writes whatever log_path says."""
    out = []
    if os.path.isdir(directory):
        for name in sorted(os.listdir(directory)):
            with open(os.path.join(directory, name), errors="replace") as f:
                text = f.read()
            if any(mark in text for mark in REPORT_MARKS):
                out.append("--- %s\n%s" % (name, text))
    if program_log is not None and os.path.exists(program_log) and os.path.getsize(program_log) > 0:
        with open(program_log, errors="replace") as f:
            text = f.read()
        starts = [text.rfind("\n", 0, i) + 1 for i in (text.find(mark) for mark in REPORT_MARKS) if i >= 0]
        if starts:
            out.append("--- %s\n%s" % (os.path.basename(program_log), text[min(starts):]))
    return out


def backtrace(pid):
    if shutil.which("gdb") is None:
        return "(gdb is not installed: no backtrace)"
    try:
        r = subprocess.run(["gdb", "-p", str(pid), "-batch", "-nx", "-ex", "set pagination off",
                            "-ex", "thread apply all bt 30"],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120, text=True)
        keep = [line for line in r.stdout.splitlines() if line.startswith(("#", "Thread"))]
        return "\n".join(keep) or r.stdout
    except subprocess.TimeoutExpired:
        return "(gdb timed out)"


# ---------------------------------------------------------------------------
# The X side: one connection that finds windows, fakes input and pings.

class Screen:
    def __init__(self, disp, hang_seconds):
        self.d = display.Display(disp)
        self.d.set_error_handler(self._on_error)
        self.root = self.d.screen().root
        # Qt sends ping answers to the root window for StructureNotify listeners.
        self.root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
        atom = self.d.intern_atom
        self.WM_PROTOCOLS = atom("WM_PROTOCOLS")
        self.WM_DELETE_WINDOW = atom("WM_DELETE_WINDOW")
        self.NET_WM_PING = atom("_NET_WM_PING")
        self.NET_WM_PID = atom("_NET_WM_PID")
        self.NET_WM_NAME = atom("_NET_WM_NAME")
        self.UTF8_STRING = atom("UTF8_STRING")
        self.hang_seconds = hang_seconds
        self.ping_serial = 1000
        self.ping = None  # (serial, sent at, window id)
        self.last_ping = 0.0
        self.pings_answered = 0
        self.max_ping_ms = 0.0
        self.answer_ms = []
        self.x_errors = 0
        self.keycode_cache = {}
        self.on_slow_answer = None
        self.queued_until = 0.0
        self.slow_answers = 0

    def _on_error(self, err, request):
        # Windows come and go while the script acts on them.
        self.x_errors += 1

    # -- windows -----------------------------------------------------------
    def windows(self, pid):
        """Mapped top-level windows of process `pid`: list of dicts."""
        found = []
        try:
            children = self.root.query_tree().children
        except xerror.XError:
            return found
        for w in children:
            try:
                attrs = w.get_attributes()
                if attrs.map_state != X.IsViewable:
                    continue
                prop = w.get_full_property(self.NET_WM_PID, X.AnyPropertyType)
                owner = prop.value[0] if prop is not None and len(prop.value) else None
                if not attrs.override_redirect and owner != pid:
                    continue
                name = w.get_full_property(self.NET_WM_NAME, self.UTF8_STRING)
                title = name.value.decode("utf-8", "replace") if name is not None else (w.get_wm_name() or "")
                if isinstance(title, bytes):
                    title = title.decode("latin-1")
                g = w.get_geometry()
            except (xerror.XError, AttributeError):
                continue
            found.append({"win": w, "title": title, "popup": bool(attrs.override_redirect),
                          "x": g.x, "y": g.y, "w": g.width, "h": g.height})
        return found

    def focus(self, info):
        """What a window manager does for a click: raise the window and give it the keyboard."""
        try:
            if not info["popup"]:
                info["win"].configure(stack_mode=X.Above)
                info["win"].set_input_focus(X.RevertToPointerRoot, X.CurrentTime)
        except xerror.XError:
            pass

    def close(self, info):
        self.send_protocol(info["win"], self.WM_DELETE_WINDOW, X.CurrentTime)

    def send_protocol(self, win, atom, stamp):
        ev = protocol.event.ClientMessage(window=win, client_type=self.WM_PROTOCOLS,
                                          data=(32, [atom, stamp, win.id, 0, 0]))
        try:
            win.send_event(ev, event_mask=0)
            self.d.flush()
        except xerror.XError:
            pass

    # -- pings -------------------------------------------------------------
    def pump(self):
        """Reads every pending event; notes ping answers."""
        while self.d.pending_events():
            ev = self.d.next_event()
            if ev.type == X.ClientMessage and ev.client_type == self.WM_PROTOCOLS:
                fmt, data = ev.data
                if self.ping is not None and data[0] == self.NET_WM_PING and data[1] == self.ping[0]:
                    ms = (time.monotonic() - self.ping[1]) * 1000
                    self.max_ping_ms = max(self.max_ping_ms, ms)
                    self.answer_ms.append(ms)
                    self.pings_answered += 1
                    self.ping = None
                    if ms >= 1000 and self.on_slow_answer:
                        self.on_slow_answer(ms)

    def send_ping(self, info):
        self.ping_serial += 1
        self.ping = (self.ping_serial, time.monotonic(), info["win"].id)
        self.last_ping = time.monotonic()
        self.send_protocol(info["win"], self.NET_WM_PING, self.ping_serial)

    def ping_overdue(self):
        return self.ping is not None and time.monotonic() - self.ping[1] > self.hang_seconds

    # -- input -------------------------------------------------------------
    def keycode(self, name):
        if name not in self.keycode_cache:
            self.keycode_cache[name] = self.d.keysym_to_keycode(XK.string_to_keysym(name))
        return self.keycode_cache[name]

    # An XTest event with a delay holds back every later request of this
    # connection until the server has played it; `queued_until` is when that
    # will be. No ping is sent before then, so that each ping is timed from
    # the moment the server passes it on.
    def _queue(self, delay):
        self.queued_until = max(self.queued_until, time.monotonic()) + delay / 1000.0

    def motion(self, x, y, delay=0):
        self._queue(delay)
        xtest.fake_input(self.d, X.MotionNotify, x=int(x), y=int(y), time=int(delay))

    def button(self, press, b, delay=0):
        self._queue(delay)
        xtest.fake_input(self.d, X.ButtonPress if press else X.ButtonRelease, b, time=int(delay))

    def key(self, press, code, delay=0):
        self._queue(delay)
        xtest.fake_input(self.d, X.KeyPress if press else X.KeyRelease, code, time=int(delay))

    def input_queued(self):
        return time.monotonic() < self.queued_until

    def sync(self):
        """Waits until the server has played the queued input, reading answers meanwhile."""
        self.d.flush()
        while self.input_queued():
            self.pump()
            time.sleep(0.005)
        self.d.sync()


# ---------------------------------------------------------------------------
# The monkey

class Monkey:
    def __init__(self, args, screen, binary, work, disp, pulse_server):
        self.args = args
        self.s = screen
        self.binary = binary
        self.work = work
        self.disp = disp
        self.pulse_server = pulse_server
        self.actions = 0
        self.starts = 0
        self.restarts = 0
        self.exits = 0
        self.counts = collections.Counter()
        self.recent = collections.deque(maxlen=50)
        self.action_log = open(os.path.join(work, "actions.log"), "w", buffering=1)
        self.program = None
        self.main = None
        self.circle = None
        self.others = []
        self.audio_runs = collections.Counter()
        screen.on_slow_answer = self.slow_answer

    def slow_answer(self, ms):
        self.s.slow_answers += 1
        self.note("slow answer to a ping: %.0f ms" % ms)

    # -- bookkeeping -------------------------------------------------------
    def note(self, text):
        line = "#%d %.2fs %s" % (self.actions, time.monotonic() - self.t0, text)
        self.recent.append(line)
        self.action_log.write(line + "\n")
        if self.args.verbose:
            print(line, flush=True)

    def act(self, kind, text):
        self.actions += 1
        self.counts[kind] += 1
        self.note("%s %s" % (kind, text))

    def rng(self):
        return random.Random((self.args.seed << 24) + self.actions)

    # -- the program -------------------------------------------------------
    def start_program(self):
        audio = self.args.audio
        use_pulse = self.pulse_server is not None and (
            audio == "pulse" or (audio == "both" and (self.starts + self.args.seed) % 2 == 0))
        self.starts += 1
        self.program = Program(self.binary, self.work, self.disp, self.pulse_server if use_pulse else None,
                               self.starts)
        self.audio_runs[self.program.audio] += 1
        self.note("start program #%d (pid %d, audio %s)" % (self.starts, self.program.pid, self.program.audio))
        deadline = time.monotonic() + self.args.startup_timeout
        while time.monotonic() < deadline:
            self.check_process()
            self.refresh()
            if self.main is not None:
                self.s.pump()
                return
            time.sleep(0.05)
        raise Failure("start-up", "the main window did not appear within %d s" % self.args.startup_timeout)

    def refresh(self):
        self.main, self.circle, self.others = None, None, []
        for info in self.s.windows(self.program.pid):
            if not info["popup"] and info["title"] == MAIN_TITLE and self.main is None:
                self.main = info
            elif not info["popup"] and info["title"] == CIRCLE_TITLE and self.circle is None:
                self.circle = info
            else:
                self.others.append(info)

    def check_process(self):
        reports = self.program.reports()
        if reports:
            # Let the report finish writing and the process die.
            try:
                self.program.proc.wait(10)
            except subprocess.TimeoutExpired:
                pass
            raise Failure("sanitizer report", "\n".join(self.program.reports()))
        rc = self.program.proc.poll()
        if rc is None:
            return True
        if self.program.reports():  # written as the program ended
            raise Failure("sanitizer report", "\n".join(self.program.reports()))
        if rc != 0:
            kind = "crash (signal %d)" % -rc if rc < 0 else "exit status %d" % rc
            raise Failure(kind, "")
        return False

    def program_ended(self):
        """After a clean exit: count it and start again."""
        self.exits += 1
        self.note("program #%d ended cleanly" % self.starts)
        self.s.ping = None
        self.restarts += 1
        self.start_program()

    def wait_for_end_or_window(self, seconds):
        """After the main window went away: the program must end (or show its window again)."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if not self.check_process():
                return True
            self.refresh()
            if self.main is not None or self.circle is not None or self.others:
                return False
            self.s.pump()
            time.sleep(0.05)
        raise Failure("hang", "no window is shown, but the program did not end within %d s:\n%s"
                      % (seconds, backtrace(self.program.pid)))

    def idle(self, seconds):
        """Waits, answering for the window manager: pings, dialogs, the process."""
        end = time.monotonic() + seconds
        while True:
            self.watch()
            left = end - time.monotonic()
            if left <= 0:
                return
            time.sleep(min(0.02, left))

    def watch(self):
        self.s.pump()
        if not self.check_process():
            self.program_ended()
            return
        self.refresh()
        if self.main is None and self.circle is None and not self.others:
            if self.wait_for_end_or_window(self.args.exit_timeout):
                self.program_ended()
            return
        target = self.main or self.circle
        if (self.s.ping is None and target is not None and not self.s.input_queued()
                and time.monotonic() - self.s.last_ping > 0.5):
            self.s.send_ping(target)
        if self.s.ping_overdue():
            self.s.pump()
            if self.s.ping_overdue():
                self.check_process()
                ids = [w["win"].id for w in ([self.main, self.circle] + self.others) if w]
                if self.s.ping[2] in ids:
                    raise Failure("hang", "the window did not answer a ping for %.0f s:\n%s"
                                  % (self.s.hang_seconds, backtrace(self.program.pid)))
                self.s.ping = None  # the window it went to has gone
        dialogs = [w for w in self.others if not w["popup"]]
        if dialogs:
            self.cancel_dialog(dialogs[0])

    def cancel_dialog(self, info):
        self.counts["dialog"] += 1
        self.note("dialog %r (%dx%d): Escape" % (info["title"], info["w"], info["h"]))
        self.s.focus(info)
        self.s.motion(info["x"] + info["w"] // 2, info["y"] + 8)
        self.tap_key(self.s.keycode("Escape"), 30)
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline:
            time.sleep(0.05)
            self.s.pump()
            if not self.still_mapped(info):
                return
        self.note("dialog %r still open: closing it" % info["title"])
        self.s.close(info)
        deadline = time.monotonic() + self.s.hang_seconds
        while time.monotonic() < deadline:
            time.sleep(0.05)
            self.s.pump()
            if not self.check_process() or not self.still_mapped(info):
                return
        raise Failure("hang", "the dialog %r would not close:\n%s" % (info["title"], backtrace(self.program.pid)))

    def still_mapped(self, info):
        try:
            return info["win"].get_attributes().map_state == X.IsViewable
        except xerror.XError:
            return False

    # -- input helpers (points are client coordinates of a window) --------
    def at(self, info, point):
        return info["x"] + point[0], info["y"] + point[1]

    def click(self, info, point, button=1, hold=30, count=1, gap=60, modifiers=()):
        x, y = self.at(info, point)
        self.s.focus(info)
        self.s.motion(x, y)
        for m in modifiers:
            self.s.key(True, m)
        for i in range(count):
            self.s.button(True, button, 0 if i == 0 else gap)
            self.s.button(False, button, hold)
        for m in reversed(modifiers):
            self.s.key(False, m)
        self.s.sync()

    def drag(self, info, a, b, button, steps, step_ms):
        self.s.focus(info)
        ax, ay = self.at(info, a)
        bx, by = self.at(info, b)
        self.s.motion(ax, ay)
        self.s.button(True, button)
        for i in range(1, steps + 1):
            self.s.motion(ax + (bx - ax) * i / steps, ay + (by - ay) * i / steps, step_ms)
        self.s.button(False, button, step_ms)
        self.s.sync()

    def tap_key(self, code, hold, modifiers=()):
        for m in modifiers:
            self.s.key(True, m)
        self.s.key(True, code)
        self.s.key(False, code, hold)
        for m in reversed(modifiers):
            self.s.key(False, m)
        self.s.sync()

    # -- what to act on ----------------------------------------------------
    def main_target(self, r):
        """A point of the main window and its name: a control, a list row, an arrow, or anywhere."""
        pick = r.random()
        if pick < 0.22:
            name = r.choice(sorted(BUTTONS))
            return name, inside(BUTTONS[name], r, 3)
        if pick < 0.42:
            k = r.randrange(25)
            return "key %d" % k, key_point(k, r)
        if pick < 0.60:
            name = r.choice(sorted(LISTS))
            (left, top, width, height), rows = LISTS[name]
            if name == "List2" and r.random() < 0.35:
                # Its scroll bar: the arrows, the track, the thumb.
                x = left + width - LIST_BAR_WIDTH // 2 - 1
                y = r.choice([top + 8, top + height - 8, r.randint(top + 16, top + height - 16)])
                return "List2 scroll bar", (x, y)
            row = r.randrange(rows + 1)
            return "%s row %d" % (name, row), (left + r.randint(4, width - LIST_BAR_WIDTH - 4),
                                               min(top + 2 + row * ROW_HEIGHT + ROW_HEIGHT // 2, top + height - 3))
        if pick < 0.72:
            name = r.choice(sorted(SCROLLBARS))
            left, top, width, height = SCROLLBARS[name]
            part = r.choice(["up arrow", "down arrow", "track", "track"])
            y = {"up arrow": top + width // 2, "down arrow": top + height - width // 2,
                 "track": r.randint(top + width, top + height - width)}[part]
            return "%s %s" % (name, part), (left + width // 2, y)
        if pick < 0.85:
            return "score", inside(SCORE, r, 2)
        if pick < 0.88:
            return "header", inside(HEADER, r, 2)
        return "anywhere", (r.randrange(MAIN_SIZE[0]), r.randrange(MAIN_SIZE[1]))

    def circle_target(self, r):
        pick = r.random()
        if pick < 0.6:
            i = r.randrange(12)
            return "circle area %d" % i, inside(rect(*CIRCLE_AREAS[i]), r, 3)
        if pick < 0.7:
            return "circle Close", inside(CIRCLE_CLOSE, r, 3)
        return "circle anywhere", (r.randrange(CIRCLE_SIZE[0]), r.randrange(CIRCLE_SIZE[1]))

    # -- actions -----------------------------------------------------------
    def step(self):
        r = self.rng()
        popups = [w for w in self.others if w["popup"]]
        if popups:
            return self.on_popup(r, popups[-1])
        if self.main is None:
            return self.circle_only(r)
        kinds = [
            (30, self.a_click), (8, self.a_click_anywhere), (8, self.a_double_click), (6, self.a_right_click),
            (8, self.a_drag), (6, self.a_keys_mouse), (4, self.a_hold_arrow), (4, self.a_wheel),
            (8, self.a_keyboard), (4, self.a_music_keys), (4, self.a_shortcut), (5, self.a_take),
            (6, self.a_circle), (2, self.a_sweep), (3, self.a_hover), (0.4, self.a_close),
            (0.6, self.a_exit),
        ]
        total = sum(w for w, _ in kinds)
        pick = r.random() * total
        for weight, fn in kinds:
            pick -= weight
            if pick < 0:
                break
        fn(r)
        self.idle(r.choice([0, 0.01, 0.03, 0.08, 0.15, 0.3]))

    def on_popup(self, r, info):
        pick = r.random()
        if pick < 0.5:
            point = (r.randrange(max(1, info["w"])), r.randrange(max(1, info["h"])))
            self.act("popup-click", "in popup %dx%d at %s" % (info["w"], info["h"], point))
            self.click(info, point)
        elif pick < 0.8:
            self.act("popup-escape", "Escape on popup")
            self.tap_key(self.s.keycode("Escape"), 20)
        else:
            self.act("popup-away", "click outside the popup")
            self.s.motion(2, 2)
            self.s.button(True, 1)
            self.s.button(False, 1, 20)
            self.s.sync()
        self.idle(0.05)

    def circle_only(self, r):
        # The main window is closed while the circle is still open.
        if self.circle is None:
            self.idle(0.1)
            return
        if r.random() < 0.2:
            self.act("close", "close the circle window (main window already closed)")
            self.s.close(self.circle)
        else:
            name, point = self.circle_target(r)
            self.act("circle-click", "%s %s (main window closed)" % (name, point))
            self.click(self.circle, point)
        self.idle(0.1)

    def a_click(self, r):
        name, point = self.main_target(r)
        hold = r.choice([5, 20, 40, 90, 200])
        mods = r.choice([(), (), (), (), (), ("Shift_L",), ("Control_L",), ("Alt_L",), ("Shift_L", "Control_L")])
        self.act("click", "%s%s %s hold %d" % ("+".join(mods) + (" " if mods else ""), name, point, hold))
        self.click(self.main, point, 1, hold, modifiers=[self.s.keycode(k) for k in mods])

    def a_click_anywhere(self, r):
        point = (r.randrange(MAIN_SIZE[0]), r.randrange(MAIN_SIZE[1]))
        button = r.choice([1, 1, 1, 2, 3])
        self.act("click-anywhere", "%s button %d" % (point, button))
        self.click(self.main, point, button, r.choice([10, 40, 120]))

    def a_double_click(self, r):
        name, point = self.main_target(r)
        count = r.choice([2, 2, 2, 3])
        self.act("double-click", "%s %s x%d" % (name, point, count))
        self.click(self.main, point, 1, 15, count, r.choice([20, 60, 120]))

    def a_right_click(self, r):
        name, point = self.main_target(r)
        button = r.choice([3, 3, 2])
        self.act("right-click", "%s %s button %d" % (name, point, button))
        self.click(self.main, point, button, 30)

    def a_drag(self, r):
        name_a, a = self.main_target(r)
        if r.random() < 0.5:
            name_b, b = self.main_target(r)
        else:
            name_b, b = "near", (a[0] + r.randint(-60, 60), a[1] + r.randint(-60, 60))
        button = r.choice([1, 1, 1, 3])
        steps, step_ms = r.randint(2, 15), r.choice([5, 15, 40])
        self.act("drag", "%s %s -> %s %s button %d, %d steps" % (name_a, a, name_b, b, button, steps))
        self.drag(self.main, a, b, button, steps, step_ms)

    def a_keys_mouse(self, r):
        # Long presses, quick runs and glissandos on the on-screen keys.
        if r.random() < 0.4:
            a, b = r.randrange(25), r.randrange(25)
            self.act("key-glissando", "keys %d -> %d" % (a, b))
            self.drag(self.main, key_point(a, r), key_point(b, r), 1, r.randint(3, 20), r.choice([10, 30]))
            return
        notes = [(r.randrange(25), r.choice([10, 60, 150, 400, 900]), r.choice([0, 5, 40, 150])) for _ in range(r.randint(1, 8))]
        self.act("keys", "on-screen keys (key, hold, rest) %s" % notes)
        self.s.focus(self.main)
        for k, hold, rest in notes:
            x, y = self.at(self.main, key_point(k, r))
            self.s.motion(x, y, rest)
            self.s.button(True, 1)
            self.s.button(False, 1, hold)
        self.s.sync()

    def a_hold_arrow(self, r):
        name = r.choice(sorted(SCROLLBARS) + ["List2"])
        if name == "List2":
            (left, top, width, height), _ = LISTS["List2"]
            x, up, down = left + width - LIST_BAR_WIDTH // 2 - 1, top + 8, top + height - 8
        else:
            left, top, width, height = SCROLLBARS[name]
            x, up, down = left + width // 2, top + width // 2, top + height - width // 2
        which = r.choice(["up", "down"])
        hold = r.choice([300, 700, 1500])
        self.act("hold-arrow", "%s %s arrow for %d ms" % (name, which, hold))
        self.click(self.main, (x, up if which == "up" else down), 1, hold)

    def a_wheel(self, r):
        name, point = self.main_target(r)
        button = r.choice([4, 5, 6, 7])
        turns = r.randint(1, 12)
        self.act("wheel", "%s %s button %d x%d" % (name, point, button, turns))
        self.click(self.main, point, button, 5, turns, 10)

    def a_keyboard(self, r):
        names = [r.choice(OTHER_KEYS) for _ in range(r.randint(1, 6))]
        focus_score = r.random() < 0.4
        self.act("keyboard", "%skeys %s" % ("click score, then " if focus_score else "", names))
        if focus_score:
            self.click(self.main, inside(SCORE, r, 2), 1, 20)
        self.s.focus(self.main)
        for n in names:
            self.tap_key(self.s.keycode(n), r.choice([10, 40, 300]))

    def a_music_keys(self, r):
        # Letters that play keys: taps, long holds, several down at once.
        codes = [r.choice(MUSIC_KEYCODES) for _ in range(r.randint(1, 8))]
        chord = r.random() < 0.3
        self.act("music-keys", "%s key codes %s" % ("chord" if chord else "run", codes))
        self.s.focus(self.main)
        self.s.motion(*self.at(self.main, (MAIN_SIZE[0] // 2, MAIN_SIZE[1] - 10)))
        if chord:
            for c in codes:
                self.s.key(True, c, r.choice([0, 10]))
            for c in codes:
                self.s.key(False, c, r.choice([20, 100, 400]))
        else:
            for c in codes:
                self.s.key(True, c, r.choice([0, 30, 120]))
                self.s.key(False, c, r.choice([10, 80, 300]))
        self.s.sync()

    def a_shortcut(self, r):
        letter = r.choice(["s", "s", "e", "e", "o", "z", "q"])
        mods = [self.s.keycode("Control_L")]
        if r.random() < 0.2:
            mods.append(self.s.keycode("Shift_L"))
        self.act("shortcut", "Ctrl%s+%s" % ("+Shift" if len(mods) > 1 else "", letter.upper()))
        self.s.focus(self.main)
        self.tap_key(self.s.keycode(letter), 30, mods)
        self.idle(0.4)  # a dialog, if one opens, is cancelled by watch()

    def a_take(self, r):
        # Rec, a few notes by mouse or by letters, maybe Play in the middle, then Stop / Play.
        self.act("take", "Rec")
        self.click(self.main, inside(BUTTONS["Command2 Rec"], r, 3))
        self.idle(r.choice([0.05, 0.5, 1.3]))
        for _ in range(r.randint(1, 4)):
            if self.main is None:
                return
            if r.random() < 0.5:
                self.a_keys_mouse(r)
            else:
                self.a_music_keys(r)
            self.idle(r.choice([0.05, 0.3]))
            if r.random() < 0.25 and self.main is not None:
                name = r.choice(["BtnPlay", "Command4 Play", "ValNote_%d" % r.randrange(4)])
                self.act("take", "%s in the middle of the take" % name)
                self.click(self.main, inside(BUTTONS[name], r, 3))
                self.idle(r.choice([0.05, 0.4]))
        if self.main is None:
            return
        name = r.choice(["Command3 Stop", "Command3 Stop", "BtnStop", "Command2 Rec", "Command4 Play"])
        self.act("take", name)
        self.click(self.main, inside(BUTTONS[name], r, 3))
        self.idle(r.choice([0.1, 0.6]))
        if r.random() < 0.6 and self.main is not None:
            self.act("take", "Command4 Play the take")
            self.click(self.main, inside(BUTTONS["Command4 Play"], r, 3))
            self.idle(r.choice([0.1, 0.5, 1.5]))
            if r.random() < 0.5 and self.main is not None:
                self.a_click(r)

    def a_circle(self, r):
        if self.circle is None:
            self.act("circle", "Mostra Ciclo")
            self.click(self.main, inside(BUTTONS["Command1 Mostra Ciclo"], r, 3))
            self.idle(0.3)
            return
        pick = r.random()
        name, point = self.circle_target(r)
        if pick < 0.6:
            self.act("circle-click", "%s %s" % (name, point))
            self.click(self.circle, point)
        elif pick < 0.7:
            self.act("circle-double-click", "%s %s" % (name, point))
            self.click(self.circle, point, 1, 15, 2, 50)
        elif pick < 0.8:
            self.act("circle-right-click", "%s %s" % (name, point))
            self.click(self.circle, point, 3)
        elif pick < 0.9:
            _, b = self.circle_target(r)
            self.act("circle-drag", "%s %s -> %s" % (name, point, b))
            self.drag(self.circle, point, b, 1, r.randint(2, 10), 15)
        elif pick < 0.95:
            self.act("circle-keys", "Escape, Return, space")
            self.s.focus(self.circle)
            for n in ("Escape", "Return", "space"):
                self.tap_key(self.s.keycode(n), 20)
        else:
            self.act("close", "close the circle window")
            self.s.close(self.circle)

    def a_sweep(self, r):
        # Every row, every button or every key in turn, quickly.
        what = r.choice(["List1", "List4", "List2", "buttons", "keys"])
        if what in LISTS:
            (left, top, width, height), rows = LISTS[what]
            points = [(left + 20, top + 2 + i * ROW_HEIGHT + ROW_HEIGHT // 2) for i in range(rows)]
        elif what == "buttons":
            points = [inside(BUTTONS[n], r, 3) for n in sorted(BUTTONS) if "Mostra" not in n]
        else:
            points = [key_point(k, r) for k in range(25)]
        if r.random() < 0.5:
            points.reverse()
        gap = r.choice([0.0, 0.05, 0.2])
        for p in points:
            if self.main is None:
                return
            self.act("sweep", "%s %s" % (what, p))
            self.click(self.main, p, 1, 15)
            self.idle(gap)

    def a_hover(self, r):
        points = [self.main_target(r)[1] for _ in range(r.randint(1, 6))]
        self.act("hover", "%s" % points)
        for p in points:
            self.s.motion(*self.at(self.main, p), r.choice([0, 20, 100]))
        self.s.sync()

    def a_close(self, r):
        self.act("close", "close the main window%s" % (" (circle open)" if self.circle else ""))
        self.s.close(self.main)
        self.idle(0.2)

    def a_exit(self, r):
        self.act("click", "Exit %s" % (inside(EXIT_BUTTON, r, 3),))
        self.click(self.main, inside(EXIT_BUTTON, r, 3))
        self.idle(0.2)

    # -- the run -----------------------------------------------------------
    def run(self):
        self.t0 = time.monotonic()
        self.start_program()
        end = self.t0 + self.args.seconds if self.args.seconds else None
        while True:
            if self.args.actions and self.actions >= self.args.actions:
                break
            if end is not None and time.monotonic() >= end:
                break
            self.watch()
            self.step()
            if self.args.actions == 0 and end is None:
                break
        self.finish()

    def finish(self):
        """Closes the program as a user would and checks what it leaves behind."""
        self.watch()
        self.note("closing the program's windows")
        for _ in range(3):
            self.refresh()
            windows = [w for w in [self.circle, self.main] + self.others if w]
            if not windows:
                break
            for w in windows:
                if w["popup"]:
                    self.tap_key(self.s.keycode("Escape"), 20)
                else:
                    self.s.close(w)
            deadline = time.monotonic() + 2
            while time.monotonic() < deadline and self.program.alive():
                self.s.pump()
                time.sleep(0.05)
            if not self.program.alive():
                break
        deadline = time.monotonic() + self.args.exit_timeout
        while self.program.alive() and time.monotonic() < deadline:
            time.sleep(0.05)
        if self.program.alive():
            raise Failure("hang", "the program did not end when its windows were closed:\n%s"
                          % backtrace(self.program.pid))
        self.check_process()
        self.exits += 1


def report_failure(m, f, args):
    print("\n==== monkey: FOUND %s" % f.kind.upper())
    print("seed %d, after %d actions, program start #%d (audio %s), %d restarts"
          % (args.seed, m.actions, m.starts, m.program.audio if m.program else "-", m.restarts))
    print("replay: /usr/bin/python3 scripts/monkey.py --binary %s --seed %d --actions %d --audio %s"
          % (args.binary, args.seed, m.actions, args.audio))
    print("\n---- last %d actions" % len(m.recent))
    print("\n".join(m.recent))
    if f.detail:
        print("\n---- report\n" + f.detail)
    if m.program is not None:
        others = m.program.reports()
        if others and "sanitizer" not in f.kind:
            print("\n---- sanitizer reports\n" + "\n".join(others))
        print("\n---- program output (last lines)\n" + m.program.output_tail())


def summary(m, args, elapsed, found):
    print("\n==== monkey: %s" % ("FAILED: " + found if found else "nothing found"))
    print("seed %d, %.0f s, %d actions (%.1f a second), %d program starts (%s), %d restarts, %d clean exits"
          % (args.seed, elapsed, m.actions, m.actions / max(elapsed, 1e-9), m.starts,
             ", ".join("%s audio %d" % kv for kv in sorted(m.audio_runs.items())), m.restarts, m.exits))
    answers = sorted(m.s.answer_ms) or [0.0]
    print("pings answered %d: median %.0f ms, 99th percentile %.0f ms, slowest %.0f ms, %d over 1 s; "
          "dialogs cancelled %d" % (m.s.pings_answered, answers[len(answers) // 2],
                                    answers[min(len(answers) - 1, len(answers) * 99 // 100)], m.s.max_ping_ms,
                                    m.s.slow_answers, m.counts["dialog"]))
    print("actions by kind: " + ", ".join("%s %d" % kv for kv in sorted(m.counts.items()) if kv[0] != "dialog"))


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--binary", default="build-asan/tonemark")
    p.add_argument("--seconds", type=float, default=None, help="how long to act (default 60 without --actions)")
    p.add_argument("--actions", type=int, default=0, help="how many actions (with --seconds: whichever ends first)")
    p.add_argument("--seed", type=int, default=None, help="default: random, printed")
    p.add_argument("--audio", choices=["both", "pulse", "none"], default="both",
                   help="a private PulseAudio with a null sink, no audio (silent clock), or each in turn")
    p.add_argument("--hang", type=float, default=5.0, help="seconds without an answer that make a hang")
    p.add_argument("--startup-timeout", type=int, default=90)
    p.add_argument("--exit-timeout", type=int, default=20)
    p.add_argument("--work", default=None, help="folder for logs (default: a new one under /tmp, removed on success)")
    p.add_argument("--keep", action="store_true", help="keep the work folder on success")
    p.add_argument("--verbose", action="store_true", help="print every action")
    args = p.parse_args()
    if args.seconds is None and not args.actions:
        args.seconds = 60
    if args.seed is None:
        args.seed = random.SystemRandom().randrange(1, 2 ** 31)
    binary = os.path.abspath(args.binary)
    if not os.access(binary, os.X_OK):
        raise SystemExit("monkey: no program at %s (make asan builds it)" % binary)
    work = args.work or tempfile.mkdtemp(prefix="tonemark-monkey-")
    os.makedirs(work, exist_ok=True)

    xvfb, disp = start_xvfb(work)
    print("monkey: display %s, seed %d, %s, audio %s, logs in %s" % (disp,
        args.seed, ("%d actions" % args.actions if args.actions else "")
        + (" / " if args.actions and args.seconds else "") + ("%g s" % args.seconds if args.seconds else ""),
        args.audio, work), flush=True)
    global SESSION_BUS
    bus, SESSION_BUS = start_session_bus(work)
    pulse, pulse_server = (None, None)
    if args.audio != "none":
        pulse, pulse_server = start_pulse(work)
        if pulse_server is None:
            print("monkey: PulseAudio could not be started; running without audio")
    screen = Screen(disp, args.hang)
    m = Monkey(args, screen, binary, work, disp, pulse_server)
    found = None
    start = time.monotonic()
    try:
        m.run()
    except Failure as f:
        found = f.kind
        report_failure(m, f, args)
    except KeyboardInterrupt:
        found = "interrupted"
    finally:
        if m.program is not None:
            m.program.kill()
        stop(pulse)
        stop(bus)
        stop(xvfb)
    summary(m, args, time.monotonic() - start, found)
    if found:
        print("logs kept in %s" % work)
        return 1
    if not args.keep and not args.work:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
