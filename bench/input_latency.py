#!/usr/bin/env python3
"""Key latency in a real window, side by side with LÖVE 11.4 (bench/input_latency.sh runs it).

Each engine runs in an Xvfb server of its own. The presses alternate between the two engines,
so both are measured over the same minutes of a machine that may be busy. A press is
`xdotool keydown a`, held 0.1 s, then `xdotool keyup a`; its latency runs from just before
xdotool starts to the time the engine's own tick (love.update for the peer) reports the key
as pressed. xdotool's own run time (start to exit) is printed too: it is part of every figure.

Usage: input_latency.py DIR PRESSES
DIR holds ./zintarel with its game in game/ and the peer's game in peer/.
"""
import os
import random
import statistics
import subprocess
import sys
import threading
import time

work, presses = sys.argv[1], int(sys.argv[2])
env_base = dict(os.environ, ALSOFT_DRIVERS="null")
env_base.pop("SDL_VIDEODRIVER", None)


def start_xvfb():
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_fd, 16)
        if not chunk:
            raise SystemExit("Xvfb did not start")
        number += chunk
    os.close(read_fd)
    return server, ":" + number.decode().strip()


class Engine:
    def __init__(self, name, command, cwd):
        self.name = name
        self.server, self.display = start_xvfb()
        self.env = dict(env_base, DISPLAY=self.display)
        self.seen = []
        self.ready = threading.Event()
        self.lock = threading.Condition()
        self.process = subprocess.Popen(command, cwd=cwd, env=self.env, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        threading.Thread(target=self.read, daemon=True).start()
        self.latencies = []
        self.send_times = []

    def read(self):
        for line in self.process.stdout:
            words = line.split()
            if words[:1] == ["bench_ready"]:
                self.ready.set()
            elif words[:1] == ["key_seen"] and len(words) > 1:
                with self.lock:
                    self.seen.append(float(words[1]))
                    self.lock.notify_all()

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode

    def focus(self):
        # No window manager: give the engine's window (the only one on its server) the
        # keyboard focus and the pointer.
        window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", ".*"],
                                env=self.env, capture_output=True, text=True, timeout=30).stdout.split()
        if not window:
            raise SystemExit(f"{self.name}: no window")
        self.xdotool("windowfocus", "--sync", window[-1])
        self.xdotool("mousemove", "--window", window[-1], "10", "10")

    def press(self):
        with self.lock:
            already = len(self.seen)
        start = time.time()
        self.xdotool("keydown", "a")
        sent = time.time()
        with self.lock:
            self.lock.wait_for(lambda: len(self.seen) > already, timeout=1.0)
            seen = self.seen[already] if len(self.seen) > already else None
        time.sleep(max(0.0, start + 0.1 - time.time()))
        self.xdotool("keyup", "a")
        self.send_times.append((sent - start) * 1000)
        if seen is not None:
            self.latencies.append((seen - start) * 1000)

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
        self.server.terminate()
        self.server.wait()


ours = Engine("ours", ["./zintarel", "game"], work)
peer = Engine("LOVE 11.4", ["love", "peer"], work)
try:
    for engine in (ours, peer):
        if not engine.ready.wait(60):
            raise SystemExit(f"{engine.name}: not ready")
        engine.focus()
    random.seed(1)
    for _ in range(presses):
        for engine in (ours, peer):
            # A random phase against both engines' 60 Hz loops.
            time.sleep(0.15 + random.random() * 0.1)
            engine.press()
finally:
    ours.stop()
    peer.stop()

for engine in (ours, peer):
    got = engine.latencies
    if len(got) < presses:
        print(f"{engine.name}: {presses - len(got)} of {presses} presses never seen")
    if not got:
        continue
    print(f"{engine.name:10} send to tick: median {statistics.median(got):5.1f} ms, max {max(got):5.1f} ms, "
          f"min {min(got):5.1f} ms ({len(got)} presses); xdotool's own run: median "
          f"{statistics.median(engine.send_times):4.1f} ms")
