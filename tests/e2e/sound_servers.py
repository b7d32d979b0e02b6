# SPDX-License-Identifier: MIT
"""Private sound servers with a null sink, a virtual display, the game's window driven through
XTest, and a recorder of the sink's monitor that finds a sound by its own WAV file.

Shared by the sound-server tests and bench/audio_probe. Times are CLOCK_MONOTONIC seconds
(time.monotonic()). Needs pulseaudio, pulseaudio-utils, python3-numpy and python3-xlib; PipeWire
(pipewire, pipewire-pulse, wireplumber, dbus) where installed."""

import ctypes
import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import wave

import numpy as np
from Xlib import X, XK, display as xdisplay
from Xlib.ext import xtest

RATE = 44100


def wait_until(predicate, seconds, step=0.02):
    """Polls predicate until it is true or the deadline passes; returns its last value."""
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


def read_wav(path):
    """The file's samples as mono floats at 44.1 kHz, as they would be heard."""
    with wave.open(str(path)) as w:
        raw = w.readframes(w.getnframes())
        channels, width, rate = w.getnchannels(), w.getsampwidth(), w.getframerate()
    kinds = {1: np.uint8, 2: np.int16, 4: np.int32}
    data = np.frombuffer(raw, dtype=kinds[width]).astype(np.float64)
    if width == 1:
        data -= 128
    data = data.reshape(-1, channels).mean(axis=1)
    if rate != RATE:
        data = np.interp(np.arange(int(len(data) * RATE / rate)) * rate / RATE,
                         np.arange(len(data)), data)
    return data


class SoundServer:
    """PulseAudio, or PipeWire with pipewire-pulse and WirePlumber, in a private runtime folder,
    playing into a null sink named "probe"; the clients reach it through PULSE_SERVER."""

    def __init__(self, kind, root):
        self.kind = kind
        self.root = root
        self.run = os.path.join(root, "run")
        os.makedirs(self.run, mode=0o700, exist_ok=True)
        os.makedirs(os.path.join(root, "home"), exist_ok=True)
        self.log = os.path.join(root, "server.log")
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.run, HOME=os.path.join(root, "home"),
                        PULSE_SERVER="unix:" + os.path.join(self.run, "pulse", "native"))
        self.env.pop("SDL_AUDIODRIVER", None)
        self.processes = []

    @staticmethod
    def available(kind):
        needs = {"pulseaudio": ["pulseaudio", "pactl"],
                 "pipewire": ["pipewire", "pipewire-pulse", "wireplumber", "dbus-daemon", "pactl"]}
        return all(shutil.which(p) for p in needs[kind])

    def _spawn(self, argv, env=None):
        log = open(self.log, "ab")
        p = subprocess.Popen(argv, env=env or self.env, stdout=log, stderr=log,
                             start_new_session=True)
        log.close()
        self.processes.append(p)
        return p

    def pactl(self, *args, timeout=5):
        return subprocess.run(["pactl", *args], env=self.env, capture_output=True, text=True,
                              timeout=timeout, check=False)

    def answers(self):
        try:
            return self.pactl("info", timeout=2).returncode == 0
        except subprocess.TimeoutExpired:
            return False

    def start(self):
        """Starts the server and its null sink; raises RuntimeError with the log on failure."""
        self.processes = []
        if self.kind == "pulseaudio":
            self._spawn(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                         "--disallow-exit", "--use-pid-file=no", "--log-target=stderr",
                         "--log-level=debug", "-L", "module-native-protocol-unix auth-anonymous=1",
                         "-L", "module-null-sink sink_name=probe rate=44100",
                         "-L", "module-always-sink"])
        else:
            bus = "unix:path=" + os.path.join(self.run, "bus")
            self.env["DBUS_SESSION_BUS_ADDRESS"] = bus
            self._spawn(["dbus-daemon", "--session", "--address=" + bus, "--nofork",
                         "--nopidfile"])
            wait_until(lambda: os.path.exists(os.path.join(self.run, "bus")), 5)
            # The daemon notes each cycle a client's node missed ("client too slow!") at level
            # 3 of its node topic, naming the node; it keeps to about one such line in 2 s.
            self._spawn(["pipewire"], dict(self.env, PIPEWIRE_DEBUG="2,pw.node:3"))
            wait_until(lambda: os.path.exists(os.path.join(self.run, "pipewire-0")), 5)
            self._spawn(["wireplumber"])
            # The pulse server logs its stream underruns at level 4.
            self._spawn(["pipewire-pulse"], dict(self.env, PIPEWIRE_DEBUG="3,mod.protocol-pulse:4"))
        if not wait_until(self.answers, 15, 0.1):
            raise RuntimeError(f"{self.kind} did not start: {self.log_text()[-2000:]}")
        # A pulse server just up, PipeWire's above all, now and then leaves a request unanswered
        # for seconds: each is asked again until the deadline.
        def sinks():
            try:
                return self.pactl("list", "short", "sinks").stdout
            except subprocess.TimeoutExpired:
                return ""

        def sink_loaded():
            if self.kind == "pipewire" and "probe" not in sinks():
                try:
                    self.pactl("load-module", "module-null-sink", "sink_name=probe", "rate=44100")
                except subprocess.TimeoutExpired:
                    pass
            return "probe" in sinks()

        if not wait_until(sink_loaded, 20, 0.1):
            raise RuntimeError(f"{self.kind}: no null sink: {self.log_text()[-2000:]}")
        if self.kind == "pipewire":
            subprocess.run(["pw-metadata", "-n", "settings", "0", "clock.force-rate", "44100"],
                           env=self.env, capture_output=True, timeout=5, check=False)

        def made_default():
            try:
                return self.pactl("set-default-sink", "probe").returncode == 0
            except subprocess.TimeoutExpired:
                return False

        if not wait_until(made_default, 20, 0.1):
            raise RuntimeError(f"{self.kind}: the null sink cannot be made the default")

    def sound_pids(self):
        """The processes that carry the audio: the one a SIGSTOP must reach."""
        names = {"pulseaudio": ["pulseaudio"], "pipewire": ["pipewire", "pipewire-pulse"]}
        return [p.pid for p in self.processes if os.path.basename(p.args[0]) in names[self.kind]]

    def signal(self, number):
        for pid in self.sound_pids():
            try:
                os.kill(pid, number)
            except ProcessLookupError:
                pass

    def stop(self):
        """Ends every process of the server (a stopped one too)."""
        for p in reversed(self.processes):
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            p.wait()
        self.processes = []
        for name in ("pulse", "pipewire-0", "pipewire-0.lock", "bus"):
            path = os.path.join(self.run, name)
            if os.path.isdir(path):
                shutil.rmtree(path, ignore_errors=True)
            elif os.path.exists(path):
                os.unlink(path)

    def log_size(self):
        return os.path.getsize(self.log) if os.path.exists(self.log) else 0

    def log_text(self, start=0, end=None):
        if not os.path.exists(self.log):
            return ""
        with open(self.log, "rb") as f:
            f.seek(start)
            return f.read(-1 if end is None else max(0, end - start)).decode("utf-8", "replace")

    def streams_of(self, pid):
        """The properties of each PipeWire stream node that process pid has open, by the node's
        id, from pw-dump."""
        try:
            dump = json.loads(subprocess.run(["pw-dump"], env=self.env, capture_output=True,
                                             text=True, timeout=10, check=False).stdout or "[]")
        except (subprocess.TimeoutExpired, ValueError):
            return {}
        props = {o["id"]: o.get("info", {}).get("props", {}) for o in dump if "id" in o}
        # pw-dump writes a number-like property as a number.
        clients = {str(i) for i, p in props.items()
                   if str(p.get("application.process.id")) == str(pid)}
        return {i: p for i, p in props.items() if str(p.get("client.id")) in clients and
                p.get("media.class", "").startswith("Stream/")}

    def nodes_of(self, pid):
        """The ids of the PipeWire nodes that process pid has open, from pw-dump."""
        return list(self.streams_of(pid))

    def missed_cycles(self, nodes, start, end=None):
        """The cycles of PipeWire's graph, by their position on its clock, that nodes (from
        nodes_of) missed between byte offsets start and end of the daemon's log."""
        marks = tuple(f"-{n}) client too slow!" for n in nodes)
        return {line.split(" pos:")[1].split()[0] for line in self.log_text(start, end).splitlines()
                if " pos:" in line and any(m in line for m in marks)}

    def underruns(self, start, nodes=None, end=None):
        """Underruns the server logged for the game's streams between byte offsets start and end
        of its log. On PipeWire, the cycles that nodes (the game's own, from nodes_of) missed,
        as the daemon logs them (None when there is no node to count)."""
        if self.kind == "pipewire":
            return len(self.missed_cycles(nodes, start, end)) if nodes else None
        return sum(1 for line in self.log_text(start, end).splitlines()
                   if "underrun of '" in line and "'probe'" not in line)

    def close(self):
        """Ends the server and removes its folder."""
        self.stop()
        shutil.rmtree(self.root, ignore_errors=True)


class _SampleSpec(ctypes.Structure):
    _fields_ = [("format", ctypes.c_int), ("rate", ctypes.c_uint32), ("channels", ctypes.c_uint8)]


class _BufferAttr(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint32)
                for name in ("maxlength", "tlength", "prebuf", "minreq", "fragsize")]


_simple = ctypes.CDLL("libpulse-simple.so.0")
_simple.pa_simple_new.restype = ctypes.c_void_p
_simple.pa_simple_new.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p,
                                  ctypes.c_char_p, ctypes.POINTER(_SampleSpec), ctypes.c_void_p,
                                  ctypes.POINTER(_BufferAttr), ctypes.POINTER(ctypes.c_int)]
_simple.pa_simple_read.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t,
                                   ctypes.POINTER(ctypes.c_int)]
_simple.pa_simple_write.argtypes = _simple.pa_simple_read.argtypes
_simple.pa_simple_drain.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int)]
_simple.pa_simple_free.argtypes = [ctypes.c_void_p]
_S16LE, _PLAYBACK, _RECORD = 3, 1, 2


def _open_stream(server, direction, device, fragment_bytes):
    sample_format = _SampleSpec(_S16LE, RATE, 1)
    none = 0xFFFFFFFF
    if direction == _RECORD:
        attr = _BufferAttr(none, none, none, none, fragment_bytes)
    else:
        attr = _BufferAttr(none, fragment_bytes, none, none, none)
    error = ctypes.c_int(0)
    handle = _simple.pa_simple_new(server.env["PULSE_SERVER"].encode(), b"zonbeli-probe",
                                   direction, device, b"probe", ctypes.byref(sample_format), None,
                                   ctypes.byref(attr), ctypes.byref(error))
    return handle


class Recorder:
    """Records the null sink's monitor in blocks of block_ms on a thread of its own, stamping
    the end of each block with the monotonic clock. Connects again when the server goes away;
    each connection is a segment of its own on the time line."""

    def __init__(self, server, block_ms=2.0):
        self.server = server
        self.block = max(1, int(RATE * block_ms / 1000))
        # PipeWire runs its whole graph at the shortest latency a node asks for, rounded down
        # to a power of two, and its pulse server asks at least 236 frames for a recording: a
        # short fragment would run the graph at 128 frames, twice the pace the game asks for,
        # and the game would be measured, its missed cycles too, at a pace it never set. A long
        # one leaves the pace to the program; the blocks are still read and stamped block_ms at
        # a time.
        self.fragment = self.block if server.kind == "pulseaudio" else 1024
        self.chunks = []
        self.ends = []       # sample count at the end of each block
        self.stamps = []     # monotonic time when the block was read
        self.segments = []   # segment number of each block
        self.count = 0
        self.segment = 0
        self.generation = 0
        self.lock = threading.Lock()
        self.running = True
        self.thread = None
        self.reconnect()

    def reconnect(self):
        """Records through a new connection. The old one is left behind: a connection made while
        a restarted server was coming up may block in a read that has no time limit."""
        with self.lock:
            self.generation += 1
            generation = self.generation
        self.thread = threading.Thread(target=self._run, args=(generation,), daemon=True)
        self.thread.start()

    def _current(self, generation):
        return self.running and self.generation == generation

    def _run(self, generation):
        buffer = ctypes.create_string_buffer(self.block * 2)
        error = ctypes.c_int(0)
        while self._current(generation):
            handle = _open_stream(self.server, _RECORD, b"probe.monitor", self.fragment * 2)
            if not handle:
                time.sleep(0.05)
                continue
            with self.lock:
                self.segment += 1
                segment = self.segment
            while self._current(generation):
                if _simple.pa_simple_read(handle, buffer, self.block * 2, ctypes.byref(error)) < 0:
                    break
                now = time.monotonic()
                with self.lock:
                    if self.generation != generation:
                        break
                    self.chunks.append(np.frombuffer(buffer.raw, dtype=np.int16).copy())
                    self.count += self.block
                    self.ends.append(self.count)
                    self.stamps.append(now)
                    self.segments.append(segment)
            _simple.pa_simple_free(handle)

    def close(self):
        self.running = False
        self.thread.join(timeout=3)

    def snapshot(self):
        """(samples, block ends, stamps, segments) as arrays, for the analysis."""
        with self.lock:
            samples = np.concatenate(self.chunks) if self.chunks else np.zeros(0, np.int16)
            return (samples.astype(np.float64), np.array(self.ends), np.array(self.stamps),
                    np.array(self.segments))

    def latest(self):
        with self.lock:
            return self.stamps[-1] if self.stamps else 0.0


class Timeline:
    """Maps sample numbers of a recording to monotonic time. A block's stamp is late by however
    long the reader waited to be scheduled, never early, so within a segment the earliest
    (stamp - end / RATE) over a second around a sample is the best estimate of its offset."""

    def __init__(self, recorder):
        self.samples, self.ends, self.stamps, self.segments = recorder.snapshot()
        self.offsets = self.stamps - self.ends / RATE

    def time_of(self, n):
        if len(self.ends) == 0:
            return None
        k = min(int(np.searchsorted(self.ends, n)), len(self.ends) - 1)
        reach = int(0.5 * RATE / max(1, self.ends[0]))
        lo, hi = max(0, k - reach), min(len(self.ends), k + reach + 1)
        same = self.segments[lo:hi] == self.segments[k]
        return float(self.offsets[lo:hi][same].min()) + n / RATE

    def sample_at(self, t):
        """The first sample recorded at or after monotonic time t (by block stamps)."""
        k = int(np.searchsorted(self.stamps, t))
        if k >= len(self.ends):
            return len(self.samples)
        return max(0, int(self.ends[k - 1]) if k > 0 else 0)


def ncc(signal_part, template):
    """Normalised cross-correlation of template at every lag inside signal_part."""
    n, m = len(signal_part), len(template)
    if n < m or m == 0:
        return np.zeros(0)
    size = 1 << int(np.ceil(np.log2(n + m)))
    spectrum = np.fft.rfft(signal_part, size) * np.conj(np.fft.rfft(template, size))
    corr = np.fft.irfft(spectrum, size)[: n - m + 1]
    energy = np.concatenate(([0.0], np.cumsum(signal_part * signal_part)))
    window = energy[m:] - energy[:-m]
    norm = np.sqrt(np.maximum(window, 1e-9) * max(float(np.dot(template, template)), 1e-9))
    result = corr / norm
    result[window < 1e-3 * m] = 0.0
    return result


def find_sample(timeline, template, t_from, t_to, threshold=0.6):
    """The recorded sample where template starts, heard between t_from and t_to (the best
    match above threshold), or None."""
    a = timeline.sample_at(t_from)
    b = min(timeline.sample_at(t_to) + len(template), len(timeline.samples))
    scores = ncc(timeline.samples[a:b], template)
    if len(scores) == 0 or scores.max() < threshold:
        return None
    return a + int(np.argmax(scores))


def find_sound(timeline, template, t_from, t_to, threshold=0.6):
    """Monotonic time of the first sample of template heard between t_from and t_to, or None."""
    n = find_sample(timeline, template, t_from, t_to, threshold)
    return None if n is None else timeline.time_of(n)


def play_plain(server, samples):
    """Plays samples through a plain client of the server, as pacat would; returns the time
    they were sent, or None when the server cannot be reached."""
    handle = _open_stream(server, _PLAYBACK, None, int(RATE * 0.005) * 2)
    if not handle:
        return None
    data = np.clip(samples, -32768, 32767).astype(np.int16).tobytes()
    error = ctypes.c_int(0)
    sent = time.monotonic()
    _simple.pa_simple_write(handle, data, len(data), ctypes.byref(error))
    _simple.pa_simple_drain(handle, ctypes.byref(error))
    _simple.pa_simple_free(handle)
    return sent


def server_plays(server, recorder, samples, seconds):
    """Plays samples through a plain client until they are heard on the monitor (both the
    server and the recording of its monitor work); returns whether that was within seconds."""
    deadline = time.monotonic() + seconds
    connected = time.monotonic()
    while time.monotonic() < deadline:
        # A new null sink plays nothing for its first two seconds, the monitor included; a
        # recording silent for longer than that is stuck on a connection of its own.
        if max(recorder.latest(), connected) < time.monotonic() - 3.0:
            recorder.reconnect()
            connected = time.monotonic()
        sent = play_plain(server, samples)
        time.sleep(0.3)
        if sent and find_sound(Timeline(recorder), samples, sent - 0.005, sent + 0.3):
            return True
    return False


class Display:
    """A private Xvfb, optionally with openbox; input goes in through XTest."""

    def __init__(self, window_manager=False):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                                      "1024x768x24", "-nolisten", "tcp", "-noreset"],
                                     pass_fds=(write,), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            self.name = ":" + f.readline().strip()
        self.x = wait_until(self._connect, 30, 0.1)
        if not self.x:
            raise RuntimeError("Xvfb does not answer")
        self.wm = None
        if window_manager:
            self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env(),
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            managed = wait_until(lambda: "window id" in subprocess.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env(),
                capture_output=True, text=True, check=False).stdout, 20, 0.1)
            if not managed:
                raise RuntimeError("openbox did not start")

    def _connect(self):
        try:
            return xdisplay.Display(self.name)
        except Exception:  # pylint: disable=broad-except
            return None

    def env(self, base=None):
        env = dict(base or os.environ, DISPLAY=self.name)
        env.pop("QT_QPA_PLATFORM", None)
        return env

    def key(self, name, hold=0.0):
        """Presses and releases a key; returns the monotonic time the press was sent."""
        code = self.x.keysym_to_keycode(XK.string_to_keysym(name))
        sent = time.monotonic()
        xtest.fake_input(self.x, X.KeyPress, code)
        self.x.sync()
        if hold:
            time.sleep(hold)
        xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.sync()
        return sent

    def click(self, x, y):
        xtest.fake_input(self.x, X.MotionNotify, x=x, y=y)
        self.x.sync()
        time.sleep(0.05)
        sent = time.monotonic()
        xtest.fake_input(self.x, X.ButtonPress, 1)
        xtest.fake_input(self.x, X.ButtonRelease, 1)
        self.x.sync()
        return sent

    def viewable(self):
        """The top-level windows on screen, menus included."""
        found = set()
        for child in self.x.screen().root.query_tree().children:
            try:
                if child.get_attributes().map_state == X.IsViewable:
                    found.add(child.id)
            except Exception:  # pylint: disable=broad-except
                pass  # gone meanwhile
        return found

    def pixels(self, x, y, width, height):
        image = self.x.screen().root.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF)
        return image.data

    def xdotool(self, *args, timeout=10):
        return subprocess.run(["xdotool", *args], env=self.env(), capture_output=True, text=True,
                              timeout=timeout, check=False)

    def close(self):
        for p in (self.wm, self.xvfb):
            if p and p.poll() is None:
                p.kill()
                p.wait()


class Game:
    """The game in its own session on the display, its sound going to the server."""

    MENU_ITEMS = {"開始": ("ゲーム", 12), "終了": ("ゲーム", 36), "BGM": ("ｵﾌﾟｼｮﾝ", 12)}
    MENU_X = {"ゲーム": 25, "ｵﾌﾟｼｮﾝ": 80}

    def __init__(self, program, display, server, cpu=None):
        self.display = display
        self.err = tempfile.TemporaryFile()
        argv = [program] if cpu is None else ["taskset", "-c", str(cpu), program]
        env = display.env(server.env)
        self.process = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL,
                                        stderr=self.err, cwd=os.path.dirname(program))
        self.window = None

    def wait_window(self, seconds=20):
        """Waits for the visible window and takes its geometry; False if none came."""
        def look():
            out = self.display.xdotool("search", "--onlyvisible", "--name", "^Zonbeli$").stdout
            return out.split()[0] if out.split() else None
        self.window = wait_until(look, seconds, 0.1)
        if not self.window:
            return False
        time.sleep(0.5)
        # Where the window lies on the screen, a window manager's frame or not.
        x = self.display.x
        window = x.create_resource_object("window", int(self.window))
        origin = x.screen().root.translate_coords(window, 0, 0)
        self.left, self.top = origin.x, origin.y
        # The drawing surface is 678 x 606 pixels under the menu bar.
        self.bar = window.get_geometry().height - 606
        self.display.xdotool("windowfocus", self.window)
        return True

    def why_no_window(self):
        """What the game was doing when its window did not come: its end and what it said, or
        where each of its threads waits, and whether the window manager still runs."""
        said = self.stderr_text().strip()[-600:] or "nothing"
        status = self.process.poll()
        if status is not None:
            return f"the game ended with status {status} and said: {said}"
        threads = []
        for task in sorted(os.listdir(f"/proc/{self.process.pid}/task")):
            try:
                with open(f"/proc/{self.process.pid}/task/{task}/comm") as f:
                    name = f.read().strip()
                with open(f"/proc/{self.process.pid}/task/{task}/wchan") as f:
                    waits = f.read().strip()
                with open(f"/proc/{self.process.pid}/task/{task}/stat") as f:
                    state = f.read().rsplit(")", 1)[1].split()[0]
                threads.append(f"{name} {state} {waits}")
            except OSError:
                pass  # ended meanwhile
        manager = "runs" if self.display.wm and self.display.wm.poll() is None else "does not run"
        return (f"the game runs, its threads ({'; '.join(threads)}), the window manager {manager}, "
                f"{len(self.display.viewable())} windows on screen; the game said: {said}")

    def menu(self, item):
        """Picks a menu item with the mouse; returns the time of the click on the item."""
        caption, dy = self.MENU_ITEMS[item]
        self.display.click(self.left + self.MENU_X[caption], self.top + self.bar // 2)
        time.sleep(0.4)
        sent = self.display.click(self.left + self.MENU_X[caption] + 20, self.top + self.bar + dy)
        time.sleep(0.3)
        return sent

    def cell(self, column, row):
        """The pixels inside board cell (column, row)."""
        x = self.left + (100 + 525 * column + 7) // 15 + 2
        y = self.top + self.bar + (-200 + 525 * row + 7) // 15 + 2
        return self.display.pixels(x, y, 30, 30)

    def click_well(self):
        """A click on the well: while no game runs, the game answers with its refusal sound."""
        return self.display.click(self.left + 300, self.top + self.bar + 300)

    def menu_opens(self, seconds=5):
        """Opens the ゲーム menu and says whether its popup window appeared, then closes it."""
        before = self.display.viewable()
        self.display.click(self.left + self.MENU_X["ゲーム"], self.top + self.bar // 2)
        opened = wait_until(lambda: self.display.viewable() - before, seconds, 0.05)
        if opened:
            # A second click on the caption closes it (Escape might reach the game and quit).
            time.sleep(0.2)
            self.display.click(self.left + self.MENU_X["ゲーム"], self.top + self.bar // 2)
            wait_until(lambda: not self.display.viewable() & opened, seconds, 0.05)
        return bool(opened)

    def alive(self):
        return self.process.poll() is None

    def stderr_text(self):
        self.err.seek(0)
        return self.err.read().decode("utf-8", "replace")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()

    def time_to_exit(self, cap):
        """Seconds from now until the process is gone, or None after cap seconds."""
        fd = os.pidfd_open(self.process.pid)
        start = time.monotonic()
        try:
            import select  # pylint: disable=import-outside-toplevel
            ready, _, _ = select.select([fd], [], [], cap)
            return time.monotonic() - start if ready else None
        finally:
            os.close(fd)
