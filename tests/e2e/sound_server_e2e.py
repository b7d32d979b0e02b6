#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The real game under Xvfb and openbox, playing into a real sound server that misbehaves: the
server stopped (SIGSTOP) for 10 s during play, while the output rests, 0.8 s after the window
appears, or from before the game starts; the server killed and started again, with and without
the music. Through every fault the window must answer (the ゲーム menu opens, → and ← move the
falling trio), at once and again 5 s into a stop, and once the server is back the sound must
come back by itself within 1.5 s, as heard on the server's own monitor (the move sound, or the
music, found by its own file). On PipeWire the game must play through its own PipeWire client,
not through the pulse server, where every sound comes later.

  sound_server_e2e.py <build-dir> <pulseaudio|pipewire> <stall-playing|stall-resting|
                      stall-idle|stall-start|restart|restart-music>

Exits 77 (skipped) when that server is not installed."""

import os
import signal
import subprocess
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# pylint: disable=wrong-import-position
from sound_servers import (RATE, Display, Game, Recorder, SoundServer, Timeline, find_sound, ncc,
                           read_wav, server_plays, wait_until)

STALL = 10.0
BACK = 1.5


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def heard_move_since(recorder, move, since, display, seconds):
    """Presses → and ← in turn every 0.25 s from now; returns the time after `since` at which
    the first key that was heard was pressed, or None if none was heard within seconds."""
    pressed = []
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        pressed.append(display.key("Right" if len(pressed) % 2 == 0 else "Left"))
        time.sleep(0.25)
        timeline = Timeline(recorder)
        for t in pressed:
            if find_sound(timeline, move, t - 0.005, t + 0.5) is not None:
                return t - since
    return None


def music_heard(recorder, music, t_from, t_to):
    """When the first 0.2 s of the recording between t_from and t_to that is a piece of the
    music began, or None."""
    timeline = Timeline(recorder)
    loop = np.concatenate((music, music[: RATE]))
    a, b = timeline.sample_at(t_from), timeline.sample_at(t_to)
    for n in range(a, b - RATE // 5, RATE // 10):
        window = timeline.samples[n:n + RATE // 5]
        if np.abs(window).max() > 100 and ncc(loop, window).max() > 0.8:
            return timeline.time_of(n)
    return None


def playing_streams(server):
    """The server's list of the streams playing into it, or "" when there is none or the server
    leaves the question unanswered."""
    try:
        listed = server.pactl("list", "sink-inputs", timeout=2).stdout
    except subprocess.TimeoutExpired:
        return ""
    return listed if "Sink Input" in listed else ""


def window_answers(game, display, what):
    """The ゲーム menu opens, and after → has taken the falling trio away from the left wall,
    ← brings it into the left column."""
    check(game.menu_opens(3.0), f"{what}: the ゲーム menu did not open within 3 s")
    time.sleep(0.3)
    column = lambda: [game.cell(1, row) for row in range(2, 17)]  # noqa: E731
    for name, count in (("Right", 3), ("Left", 9)):
        if name == "Left":
            away = column()
        for _ in range(count):
            display.key(name)
            time.sleep(0.05)
        time.sleep(0.3)
    if not wait_until(lambda: column() != away, 3.0, 0.1):
        shots = os.environ.get("ZONBELI_E2E_SHOTS")
        if shots:
            os.makedirs(shots, exist_ok=True)
            subprocess.run(["import", "-window", "root", os.path.join(shots, "failed.png")],
                           env=display.env(), check=False)
        raise Failure(f"{what}: ← did not move the trio to the left wall within 3 s")


def run(build, kind, case):
    root = tempfile.mkdtemp(prefix="zonbeli-sound-server-")
    server = SoundServer(kind, root)
    server.start()
    display = Display(window_manager=True)
    recorder = Recorder(server)
    move = read_wav(os.path.join(build, "sounds", "移動.wav"))
    music = read_wav(os.path.join(build, "sounds", "BGM.wav"))
    game = None
    try:
        check(wait_until(lambda: recorder.latest() > 0, 5), "the monitor cannot be recorded")
        early = case in ("stall-start", "stall-idle")
        if case == "stall-start":
            server.signal(signal.SIGSTOP)
            stopped = time.monotonic()
        game = Game(os.path.join(build, "zonbeli"), display, server)
        if not game.wait_window(15):
            raise Failure("the window did not appear within 15 s: " + game.why_no_window())
        if case == "stall-idle":
            time.sleep(0.8)  # the output is open, nothing has played yet
            server.signal(signal.SIGSTOP)
            stopped = time.monotonic()
        game.menu("開始")
        display.xdotool("windowfocus", game.window)
        if not early:
            heard = heard_move_since(recorder, move, time.monotonic(), display, 3.0)
            check(heard is not None, "no move sound before the fault: the set-up is broken")
            # Through PipeWire's pulse server every sound is heard about 15 ms late.
            if kind == "pipewire":
                streams = wait_until(lambda: playing_streams(server), 6, 0.2)
                check(streams and "pipewire-pulse" not in streams,
                      "the game plays through PipeWire's pulse server, not its own client")
                # PipeWire runs its graph at the shortest cycle a stream asks for, and one
                # shorter than 256 frames makes the stream miss cycles on a busy machine.
                asked = [str(p.get("node.latency")) for p in
                         server.streams_of(game.process.pid).values()]
                check(asked and all(int(a.split("/")[0]) / int(a.split("/")[1]) >= 256 / RATE
                                    for a in asked),
                      f"the game asks PipeWire for cycles of {asked}, shorter than 256/{RATE}")
        if case == "restart-music":
            game.menu("BGM")
            time.sleep(1.0)
            check(music_heard(recorder, music, time.monotonic() - 1.0, time.monotonic()),
                  "the music is not heard before the fault")
        if case == "stall-resting":
            time.sleep(3.5)  # the output is let go after 2 s of silence
        if case.startswith("stall"):
            if not early:
                server.signal(signal.SIGSTOP)
                stopped = time.monotonic()
            window_answers(game, display, "server stopped")
            # Long enough for the output to be let go while the server is away.
            time.sleep(max(0.0, stopped + STALL / 2 - time.monotonic()))
            window_answers(game, display, f"server stopped for {STALL / 2:.0f} s")
            time.sleep(max(0.0, stopped + STALL - time.monotonic()))
            server.signal(signal.SIGCONT)
            back = time.monotonic()
        else:
            server.stop()
            window_answers(game, display, "server gone")
            time.sleep(1.0)
            server.start()
            # A new server, and the new recording of its monitor, may take a while to play
            # anything at all: the game is timed from when a plain client is heard.
            check(server_plays(server, recorder, move, 10.0),
                  "a plain client is not heard within 10 s of the server's start")
            back = time.monotonic()
        check(game.alive(), f"the game ended: {game.stderr_text()[-500:]}")
        heard = heard_move_since(recorder, move, back, display, BACK + 2.0)
        if case == "restart-music":
            time.sleep(max(0.0, back + BACK + 0.3 - time.monotonic()))
            check(music_heard(recorder, music, back, back + BACK + 0.2),
                  f"no music within {BACK} s of the server's return")
        check(heard is not None and heard <= BACK,
              "no move sound within {BACK} s of the server's return (first heard: {heard})".format(
                  BACK=BACK, heard="never" if heard is None else f"{heard:.2f} s"))
        if case == "restart-music":
            time.sleep(max(0.0, back + 5.0 - time.monotonic()))
            music_back = music_heard(recorder, music, back, back + 5.0)
            check(music_back is not None and music_back - back <= BACK,
                  "no music within {BACK} s of the server's return (first heard: {at})".format(
                      BACK=BACK, at="never" if music_back is None else f"{music_back - back:.2f} s"))
        window_answers(game, display, "server back")
        print(f"{kind} {case}: sound back {heard:.2f} s after the server")
    finally:
        server.signal(signal.SIGCONT)
        if game:
            game.kill()
            sys.stderr.write(game.stderr_text())
        recorder.close()
        display.close()
        server.close()


def main():
    build, kind, case = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
    # CTest's timeout ends the script with SIGTERM: what it started still goes.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    if not SoundServer.available(kind):
        print(f"{kind} is not installed")
        sys.exit(77)
    try:
        run(build, kind, case)
    except Failure as failure:
        print(f"{kind} {case}: {failure}")
        sys.exit(1)


if __name__ == "__main__":
    main()
