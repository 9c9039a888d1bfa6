"""The terminal commands with 10,000 tasks: `--list --json` answered by the running program and read
from the files without one, and `--history NAME` of a task with a thousand runs in the journal.

Uses the storage file of bench/startup.py. Prints rows "figure | ours | reference | ratio | goal"; the
reference is `--version`, a start of the same program that reads nothing.

Usage: python3 bench/terminal.py [path/to/zelkor-scheduler] [tasks]
"""
import pathlib
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

import startup

RUNS = 9


def timed(env, *arguments):
    """The median wall time of the command, which must end with 0 and print something."""
    times = []
    for _ in range(RUNS):
        began = time.perf_counter()
        done = subprocess.run([str(startup.PROGRAM), *arguments], env=env, stdin=subprocess.DEVNULL,
                              capture_output=True)
        times.append(time.perf_counter() - began)
        if done.returncode != 0 or not done.stdout:
            raise SystemExit(f"{arguments} ended with {done.returncode}: {done.stderr.decode()}")
    return statistics.median(times)


def fill_journal(env, task_name, runs):
    """Runs of one task written by the program's own journal: start it once so that it makes the file,
    then add rows beside what it wrote, in its own columns."""
    journal = pathlib.Path(env["XDG_DATA_HOME"]) / "Zelkor-Vostal/ZelkorScheduler/journal.sqlite"
    if not journal.exists():
        return False
    with sqlite3.connect(journal) as db:
        row = db.execute("SELECT id FROM tasks WHERE name = ?", (task_name,)).fetchone()
        if row is None:
            return False
        now = startup.ticks(time.time())
        db.executemany("INSERT INTO runs(task, how, started, ended, outcome, done) VALUES(?, 0, ?, ?, 1, 1)",
                       [(row[0], now - i * 600_000_000, now - i * 600_000_000 + 10_000_000) for i in range(runs)])
    return True


def main():
    if not startup.PROGRAM.exists():
        raise SystemExit(f"{startup.PROGRAM} is not built")
    with tempfile.TemporaryDirectory() as folder:
        env = startup.prepare(pathlib.Path(folder), startup.TASKS)
        reference = timed(env, "--version")
        offline = timed(env, "--list", "--json")
        process, _ = startup.start(env, startup.TASKS)
        drain = subprocess.Popen(["cat"], stdin=process.stderr, stdout=subprocess.DEVNULL)
        time.sleep(5)  # the worker arms the timers after the event loop has started
        online = timed(env, "--list", "--json")
        history = fill_journal(env, "Задание 1", 1000)
        online_history = timed(env, "--history", "Задание 1", "--json") if history else None
        startup.stop(process)
        drain.wait()
        offline_history = timed(env, "--history", "Задание 1", "--json") if history else None
    tasks = f"{startup.TASKS:,} tasks"
    print(f"--list --json, {tasks}, program running | {online * 1000:.0f} ms | --version {reference * 1000:.0f} ms "
          f"| {online / reference:.1f} | ")
    print(f"--list --json, {tasks}, from the files | {offline * 1000:.0f} ms | --version {reference * 1000:.0f} ms "
          f"| {offline / reference:.1f} | ")
    if history:
        print(f"--history --json, 1,000 runs, program running | {online_history * 1000:.0f} ms | | | ")
        print(f"--history --json, 1,000 runs, from the files | {offline_history * 1000:.0f} ms | | | ")
    else:
        print("--history | not measured: the program keeps no run journal yet | | | ")


if __name__ == "__main__":
    main()
