"""Start-up, idle CPU and resident memory of the real program with 10,000 tasks.

Starts the release build of zelkor-scheduler on Qt's offscreen platform with its data, settings,
cache and runtime folders in a temporary folder holding a storage file of 10,000 tasks (none due
soon), and times the start until the program traces that its event loop runs. The reference is the
same start with no tasks. Then it leaves the program idle and reads its CPU time and resident memory
from /proc, and ends it with SIGTERM. Prints rows "figure | ours | reference | ratio | goal".

Usage: python3 bench/startup.py [path/to/zelkor-scheduler] [tasks]
"""
import os
import pathlib
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
PROGRAM = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build/release/bin/zelkor-scheduler"
TASKS = int(sys.argv[2]) if len(sys.argv) > 2 else 10_000
STARTS = 7
IDLE_SECONDS = 30
READY = b"event loop running"
CONNECTION = "9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f"


def ticks(seconds_since_epoch):
    return int(seconds_since_epoch * 10_000_000)


def task_xml(i, start):
    """One task of each kind in turn, all first due a day or more from now."""
    kind = i % 4
    name = f"Задание {i}"
    if i % 2:
        trigger = ("<trigger><type>weekly</type><repeat_interval>1</repeat_interval>"
                   "<weekdays><weekday>1</weekday><weekday>3</weekday><weekday>5</weekday></weekdays></trigger>")
    else:
        trigger = "<trigger><type>daily</type><repeat_interval>1</repeat_interval></trigger>"
    if kind == 0:
        action = ("<action><type>backup</type>"
                  f"<connection_id>{CONNECTION}</connection_id>"
                  f"<source_path>arkon://Проекты/Объект {i}</source_path>"
                  f"<destination_path>/home/user/Резерв/{i}</destination_path></action>")
    elif kind == 1:
        action = ("<action><type>export</type>"
                  f"<connection_id>{CONNECTION}</connection_id>"
                  f"<output_path>/home/user/export/{i}</output_path>"
                  f"<project_path>arkon://Проекты/Объект {i}</project_path>"
                  "<only_changed_documents>false</only_changed_documents>"
                  "<scheme_code>12</scheme_code><scheme_name>Схема А</scheme_name>"
                  "<format>DXF</format></action>")
    elif kind == 2:
        action = ("<action><type>check</type>"
                  f"<ids_file>/home/user/Правила/{i}.ids</ids_file><ids_file_mode>false</ids_file_mode>"
                  f"<ifc_file>/home/user/Модели/{i}</ifc_file><ifc_file_mode>true</ifc_file_mode>"
                  "<only_changed_documents>false</only_changed_documents></action>")
    else:
        action = ("<action><type>command</type>"
                  "<executable>/usr/bin/true</executable>"
                  f"<arguments>--task {i}</arguments></action>")
    return (f"<task><name>{name}</name><description>Задание для замера</description>"
            f"<starting_point>{ticks(start)}</starting_point>"
            "<run_only_on_working_days>false</run_only_on_working_days>"
            f"{trigger}{action}</task>")


def prepare(folder, tasks):
    env = dict(os.environ)
    for key, sub in [("XDG_DATA_HOME", "data"), ("XDG_CONFIG_HOME", "config"),
                     ("XDG_CACHE_HOME", "cache"), ("XDG_RUNTIME_DIR", "run")]:
        path = folder / sub
        path.mkdir(mode=0o700, parents=True, exist_ok=True)
        env[key] = str(path)
    storage = folder / "data/Zelkor-Vostal/ZelkorScheduler/storage.xml"
    storage.parent.mkdir(parents=True, exist_ok=True)
    start = time.time() + 86_400
    body = "".join(task_xml(i, start + i) for i in range(tasks))
    storage.write_text(f'<?xml version="1.0" encoding="utf-8"?>\n<config><tasks>{body}</tasks></config>\n',
                       encoding="utf-8")
    # Not the very first launch: the window stays in the tray, as after the computer's start.
    settings = folder / "config/Zelkor-Vostal/ZelkorScheduler.conf"
    settings.parent.mkdir(parents=True, exist_ok=True)
    settings.write_text("[General]\nfirstLaunch=false\n")
    env["QT_QPA_PLATFORM"] = "offscreen"
    env["QT_LOGGING_RULES"] = "zelkor.debug=true"
    return env


def start(env, tasks):
    """Starts the program and returns it with the seconds it took to reach its event loop."""
    began = time.perf_counter()
    process = subprocess.Popen([str(PROGRAM)], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    for line in process.stderr:
        if READY in line:
            elapsed = time.perf_counter() - began
            if f" {tasks} tasks".encode() not in line:
                raise SystemExit(f"the program did not load {tasks} tasks: {line!r}")
            return process, elapsed
    raise SystemExit(f"{PROGRAM} ended without reaching its event loop (status {process.wait()})")


def stop(process):
    process.send_signal(signal.SIGTERM)
    # The trace is not read any more; drop what is left so the program never waits on a full pipe.
    process.stderr.close()
    status = process.wait(timeout=60)
    if status != 0:
        raise SystemExit(f"the program ended with status {status} on SIGTERM")


def cpu_seconds(pid):
    fields = pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def resident_mib(pid):
    for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) / 1024
    return 0.0


def median_start(env, tasks):
    times = []
    for _ in range(STARTS):
        process, elapsed = start(env, tasks)
        times.append(elapsed)
        stop(process)
    return statistics.median(times)


def main():
    if not PROGRAM.exists():
        raise SystemExit(f"{PROGRAM} is not built")
    with tempfile.TemporaryDirectory() as many_dir, tempfile.TemporaryDirectory() as none_dir:
        many = prepare(pathlib.Path(many_dir), TASKS)
        none = prepare(pathlib.Path(none_dir), 0)
        ours = median_start(many, TASKS)
        reference = median_start(none, 0)
        ratio = ours / reference
        print(f"start-up to a running event loop, {TASKS:,} tasks | {ours * 1000:.0f} ms | "
              f"no tasks {reference * 1000:.0f} ms | {ratio:.2f} | ≤ 3" + ("" if ratio <= 3 else " **missed**"))

        process, _ = start(many, TASKS)
        # Drain the trace in the background: nothing more is expected while idle, but a full pipe
        # must never stop the program.
        drain = subprocess.Popen(["cat"], stdin=process.stderr, stdout=subprocess.DEVNULL)
        time.sleep(5)  # the worker arms the timers after the event loop has started
        cpu_before = cpu_seconds(process.pid)
        time.sleep(IDLE_SECONDS)
        idle = cpu_seconds(process.pid) - cpu_before
        memory = resident_mib(process.pid)
        empty, _ = start(none, 0)
        time.sleep(5)
        empty_memory = resident_mib(empty.pid)
        stop(empty)
        stop(process)
        drain.wait()
        print(f"program CPU while idle ({IDLE_SECONDS} s, {TASKS:,} tasks) | {idle:.2f} s | | | 0 (no polling)")
        print(f"program resident memory, {TASKS:,} tasks | {memory:.0f} MiB | no tasks {empty_memory:.0f} MiB | "
              f"{memory / empty_memory:.2f} | ")


if __name__ == "__main__":
    main()
