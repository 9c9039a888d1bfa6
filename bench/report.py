"""Turns the benchmark results of bench/report.sh into one Markdown table."""
import json
import pathlib
import re
import sys

results = pathlib.Path(sys.argv[1])
rows = []


def bench(program):
    path = results / f"{program}.json"
    if not path.exists():
        return {}
    return {b["name"]: b for b in json.loads(path.read_text())["benchmarks"]}


def ms(entry):
    unit = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry["time_unit"]]
    return entry["real_time"] * unit


def row(figure, ours, reference="", ratio="", goal=""):
    rows.append((figure, ours, reference, ratio, goal))


def at_most(value, limit, unit="ms"):
    """The goal's cell for an upper limit, marked when the figure misses it."""
    if limit is None:
        return ""
    return f"≤ {limit:,} {unit}" + ("" if value <= limit else " **missed**")


b = bench("next_run_bench")
for name, label in [("BM_DailyNextRun/1", "NextRun daily (Europe/Berlin)"),
                    ("BM_DailyWorkingDaysNextRun/1", "NextRun daily, working days"),
                    ("BM_WeeklyNextRun/1", "NextRun weekly (Europe/Berlin)")]:
    if name in b:
        row(label, f"{b[name]['items_per_second'] / 1e6:.1f} M calls/s")

b = bench("storage_file_bench")
for name, label, limit in [("BM_SaveMixedTasks/1000", "save 1,000 tasks", None),
                           ("BM_SaveMixedTasks/10000", "save 10,000 tasks", 100),
                           ("BM_LoadMixedTasks/1000", "load 1,000 tasks", None),
                           ("BM_LoadMixedTasks/10000", "load 10,000 tasks", 100),
                           ("BM_SaveLargeExport", "save one export with 100,000 times", 100),
                           ("BM_LoadLargeExport", "load one export with 100,000 times", 100)]:
    if name in b:
        row(label, f"{ms(b[name]):.0f} ms", goal=at_most(ms(b[name]), limit))

stall = results / "window_stall_bench.txt"
for line in stall.read_text().splitlines() if stall.exists() else []:
    change, storing, longest, engine = line.split("\t")
    row(f"GUI thread, {change} through the window with 10,000 tasks: Finish to input again",
        f"{float(storing):.1f} ms", goal=at_most(float(storing), 16))
    row(f"GUI thread, {change}: longest gap, the wizard's own work included", f"{float(longest):.1f} ms")
    row(f"engine call of the {change} alone (saves beside it)", f"{float(engine):.2f} ms",
        goal=at_most(float(engine), 16))

b = bench("run_tool_bench")
entry = b.get("BM_RunToolOverPosixSpawn/min_time:3.000/real_time")
if entry:
    row("RunTool, stand-in exiting at once", f"{entry['runtool_us']:.0f} µs",
        f"posix_spawn+waitpid {entry['spawn_us']:.0f} µs", f"{entry['ratio']:.2f}", "≤ 1.1")
entry = b.get("BM_RunToolFailureLines/real_time")
if entry:
    row("log lines of a failed run (100,000 error lines)", f"{entry['items_per_second'] / 1e3:.0f} k lines/s")

b = bench("backup_bench")
first = b.get("BM_BackupAgainstCpR/iterations:10/manual_time")
if first:
    cp_ms = first["reference_ms"]
    row(f"first backup of {first.get('files', 0):.0f} files, {first.get('MB', 0):.0f} MB, put on disk",
        f"{first['ours_ms']:.0f} ms", f"cp -r {cp_ms:.0f} ms",
        f"{first['ratio']:.2f} (median of {first['pairs']:.0f} pairs)", "≤ 1.1")
    entry = b.get("BM_BackupAgainstCpRAndSync/iterations:10/manual_time")
    if entry:
        row("first backup, against cp -r followed by syncfs", f"{entry['ours_ms']:.0f} ms",
            f"cp -r + syncfs {entry['reference_ms']:.0f} ms",
            f"{entry['ratio']:.2f} (median of {entry['pairs']:.0f} pairs)")
    entry = b.get("BM_UnflushedBackupAgainstCpR/iterations:10/manual_time")
    if entry:
        row("first backup, copying alone (no flushes) against cp -r", f"{entry['ours_ms']:.0f} ms",
            f"cp -r {entry['reference_ms']:.0f} ms", f"{entry['ratio']:.2f} (median of {entry['pairs']:.0f} pairs)")
    for name, label, goal in [("BM_UnchangedBackupAgainstRsync", "the same backup again, nothing changed", "≤ 0.05"),
                              ("BM_OnePercentChangedBackupAgainstRsync", "the same with 1 % of the documents changed",
                               "≤ 0.1")]:
        entry = b.get(f"{name}/iterations:10/manual_time")
        if entry:
            row(label, f"{entry['ours_ms']:.1f} ms", f"cp -r {cp_ms:.0f} ms", f"{entry['ours_ms'] / cp_ms:.3f}", goal)
            row(f"{label}: against rsync -a", f"{entry['ours_ms']:.1f} ms", f"rsync -a {entry['reference_ms']:.1f} ms",
                f"{entry['ratio']:.2f} (median of {entry['pairs']:.0f} pairs)", "< 1")
entry = b.get("BM_DurabilityCost/iterations:10/manual_time")
if entry:
    row("putting the first backup on disk, share of it", f"{entry['ours_ms']:.0f} ms",
        f"without flushes {entry['reference_ms']:.0f} ms", f"{1 - 1 / entry['ratio']:.0%} (median of pairs)")
entry = b.get("BM_DurabilityStep/iterations:4/manual_time")
if entry:
    row("after cp -r of the same tree: one syncfs", f"{entry['ours_ms']:.0f} ms",
        f"fsync of every file and folder {entry['reference_ms']:.0f} ms", f"{entry['ratio']:.3f}")

normal = b.get("BM_InteractiveReadsDuringBackup/0/iterations:4/manual_time")
low = b.get("BM_InteractiveReadsDuringBackup/1/iterations:4/manual_time")
if normal and low:
    cold = "" if normal.get("cold") and low.get("cold") else " (page cache not emptied: not root)"
    row("4 KiB reads past the cache during a first backup, median" + cold,
        f"{low['median_us'] / 1000:.2f} ms at low priority", f"{normal['median_us'] / 1000:.2f} ms at normal",
        f"{low['median_us'] / normal['median_us']:.2f}")
    row("the same, 99th percentile", f"{low['p99_us'] / 1000:.2f} ms at low priority",
        f"{normal['p99_us'] / 1000:.2f} ms at normal", f"{low['p99_us'] / normal['p99_us']:.2f}")
    row("first backup while those reads go on", f"{ms(low):.0f} ms at low priority",
        f"{ms(normal):.0f} ms at normal", f"{ms(low) / ms(normal):.2f}")

b = bench("export_run_bench")
entry = b.get("BM_UnchangedExportOf10000Documents")
if entry:
    row("export scan, 10,000 unchanged documents", f"{ms(entry):.0f} ms", goal="< 100 ms")
ours = b.get("BM_ExportOf500ChangedDocuments/min_time:3.000")
loop = b.get("BM_ShellLoopOf500ToolRuns/min_time:3.000")
if ours and loop:
    row("export of 500 changed documents", f"{ms(ours):.0f} ms", f"shell loop {ms(loop):.0f} ms",
        f"{ms(ours) / ms(loop):.2f}", "≤ 1.1")

text = (results / "engine_timer_bench.txt").read_text() if (results / "engine_timer_bench.txt").exists() else ""
m = re.search(r"median ([\d.]+) ms, 90th ([\d.]+) ms, worst ([\d.]+) ms", text)
if m:
    row("timer lateness, median (1,000 armed, 100 due in 1 s)", f"{m.group(1)} ms", goal="< 2 ms")
    row("timer lateness, worst", f"{m.group(3)} ms", goal="< 20 ms")
m = re.search(r"memory: (\d+) tasks loaded and armed: ([\d.]+) MiB", text)
if m:
    row(f"engine memory with {m.group(1)} tasks", f"{m.group(2)} MiB")
m = re.search(r"memory after saving them: ([\d.]+) MiB", text)
if m:
    row("engine memory after saving them", f"{m.group(1)} MiB")
m = re.search(r"idle: ([\d.]+) s of CPU time in 5 s", text)
if m:
    row("engine CPU while idle (5 s, 10,000 tasks)", f"{m.group(1)} s", goal="0 (no polling)")

text = (results / "error_line_bench.txt").read_text() if (results / "error_line_bench.txt").exists() else ""
for m in re.finditer(r"^(.+): idle ([\d.]+) MiB, peak ([\d.]+) MiB, ([\d.-]+) MiB above idle", text, re.M):
    row(f"engine peak memory, a check whose tool writes {m.group(1)}", f"{m.group(3)} MiB",
        f"idle {m.group(2)} MiB", f"+{m.group(4)} MiB", at_most(float(m.group(4)), 64, "MiB"))

text = (results / "journal_bench.txt").read_text() if (results / "journal_bench.txt").exists() else ""
m = re.search(r"start and end: ([\d.]+) µs median on the calling thread, ([\d.]+) µs median until committed", text)
if m:
    row("run journal: record a run's start and end (queued; committed)", f"{m.group(1)} µs; {m.group(2)} µs")
m = re.search(r"journal file with (\d+) runs of \d+ tasks: ([\d.]+) MiB", text)
if m:
    row(f"run journal file with {int(m.group(1)):,} runs", f"{m.group(2)} MiB")
m = re.search(r"start-up with \d+ tasks: ([\d.]+) ms with \d+ runs in the journal, ([\d.]+) ms with none", text)
if m:
    more = float(m.group(1)) - float(m.group(2))
    row("engine start-up, 10,000 tasks, 1,000,000 runs in the journal", f"{m.group(1)} ms",
        f"no runs {m.group(2)} ms", f"{more:+.0f} ms", "≤ 50 ms more")

text = (results / "history_window_bench.txt").read_text() if (results / "history_window_bench.txt").exists() else ""
m = re.search(r"journal read, 1,000 runs: median ([\d.]+) ms", text)
if m:
    row("run journal read, one task's 1,000 runs", f"{m.group(1)} ms")
m = re.search(r"history window open until its runs are painted, 1,000 runs: median ([\d.]+) ms, worst ([\d.]+) ms", text)
if m:
    row("history window, 1,000 runs: to the first paint (median; worst)", f"{m.group(1)} ms; {m.group(2)} ms",
        goal="< 100 ms")

for name in ["startup_bench.txt", "terminal_bench.txt"]:
    text = (results / name).read_text() if (results / name).exists() else ""
    for line in text.splitlines():
        if "|" in line:
            rows.append(tuple(cell.strip() for cell in line.split("|")))



def number(text):
    """The first number in a cell ("1,361 µs", "1.06 (0.93–1.42)", "19 %"), or None."""
    m = re.search(r"-?\d[\d,]*(?:\.\d+)?", text)
    return float(m.group(0).replace(",", "")) if m else None


def missed(r):
    """Whether a row misses its goal: the ratio when the row has one, else its own figure, against the
    bound of the goal ("≤ 1.1", "< 100 ms", "0 (no polling)"). A row without a goal misses nothing."""
    figure, ours, _, ratio, goal = (list(r) + [""] * 5)[:5]
    m = re.match(r"\s*(≤|<)?\s*(-?\d[\d,]*(?:\.\d+)?)", goal or "")
    if not m:
        return False
    bound = float(m.group(2).replace(",", ""))
    value = number(ratio) if number(ratio) is not None else number(ours)
    if value is None:
        return True  # no figure at all: nothing shows the goal is met
    return value >= bound if m.group(1) == "<" else value > bound


print("| figure | ours | reference | ratio | goal | met |")
print("|---|---|---|---|---|---|")
for r in rows:
    cells = (list(r) + [""] * 5)[:5]
    mark = "**missed**" if missed(cells) else ("yes" if cells[4] else "")
    print("| " + " | ".join(cells + [mark]) + " |")
