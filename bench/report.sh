#!/usr/bin/env bash
# Builds in release mode, runs every benchmark of the project and prints one table:
# figure, ours, reference, ratio, goal. Usage: bench/report.sh [output.md]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# rsync is the reference for a backup with nothing changed. Only the benchmarks need it, so it is
# installed here and not with the packages CI needs.
if ! command -v rsync >/dev/null; then
    as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        as_root=(sudo)
    fi
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends rsync
fi
cmake --preset release >/dev/null
cmake --build --preset release
out=build/release/bench
results=$(mktemp -d)
export QT_LOGGING_RULES="zelkor.debug=false"
for b in next_run_bench storage_file_bench run_tool_bench backup_bench changed_documents_bench export_run_bench; do
    echo "running $b" >&2
    "$out/$b" --benchmark_format=json >"$results/$b.json" 2>/dev/null
done
echo "running window_stall_bench" >&2
"$out/window_stall_bench" >"$results/window_stall_bench.txt"
echo "running engine_timer_bench" >&2
"$out/engine_timer_bench" >"$results/engine_timer_bench.txt"
echo "running error_line_bench" >&2
"$out/error_line_bench" >"$results/error_line_bench.txt"
echo "running journal_bench" >&2
"$out/journal_bench" >"$results/journal_bench.txt"
echo "running history_window_bench" >&2
"$out/history_window_bench" >"$results/history_window_bench.txt"
echo "running startup.py" >&2
python3 bench/startup.py build/release/bin/zelkor-scheduler >"$results/startup_bench.txt"
echo "running terminal.py" >&2
python3 bench/terminal.py build/release/bin/zelkor-scheduler >"$results/terminal_bench.txt"
python3 bench/report.py "$results" | tee "${1:-/dev/stdout}"
