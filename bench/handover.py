"""How fast the tasks change hands between the background engine and the window's program: from the
window's start to its taking the tasks over from an idle background engine, and from the window's end
(SIGTERM) to the background engine running the tasks again. Each figure is the median of nine rounds;
the goal is "within seconds".

Usage: python3 bench/handover.py [path/to/zelkor-scheduler]
"""
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import threading
import time

PROGRAM = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/release/bin/zelkor-scheduler").resolve()
ROUNDS = 9


class Watched:
    """A process whose standard error is read on a thread; `wait_for` gives when a line appeared."""

    def __init__(self, arguments, env):
        self.lines = []
        self.process = subprocess.Popen([str(PROGRAM), *arguments], env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stderr:
            self.lines.append((time.perf_counter(), line))

    def wait_for(self, text, after, timeout=30):
        end = time.perf_counter() + timeout
        while time.perf_counter() < end:
            for when, line in list(self.lines):
                if when >= after and text in line:
                    return when
            time.sleep(0.002)
        raise SystemExit(f"no line {text!r} within {timeout} s")

    def stop(self):
        self.process.terminate()
        self.process.wait(30)


def main():
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, XDG_DATA_HOME=f"{home}/data", XDG_CONFIG_HOME=f"{home}/config",
                   XDG_CACHE_HOME=f"{home}/cache", XDG_RUNTIME_DIR=f"{home}/runtime",
                   QT_LOGGING_RULES="zelkor.debug=true")
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        background = Watched(["--background"], env)
        background.wait_for("runs the tasks", 0)
        to_window, to_background = [], []
        for _ in range(ROUNDS):
            began = time.perf_counter()
            window = Watched([], env)
            to_window.append(window.wait_for("taken over from the background engine", began) - began)
            time.sleep(0.5)
            ended = time.perf_counter()
            window.stop()
            to_background.append(background.wait_for("runs the tasks", ended) - ended)
        background.stop()
    print("figure | median s | worst s | goal")
    print(f"window start to its owning the tasks | {statistics.median(to_window):.2f} | "
          f"{max(to_window):.2f} | within seconds")
    print(f"window's end to the background engine running them | {statistics.median(to_background):.2f} | "
          f"{max(to_background):.2f} | within seconds")


main()
