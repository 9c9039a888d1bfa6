#!/usr/bin/env bash
# Builds in release mode, runs every benchmark of the project and prints one table:
# figure, ours, reference, ratio, goal. Usage: bench/report.sh [output.md]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
out=build/release/bench
results=$(mktemp -d)
export QT_LOGGING_RULES="zelkor.debug=false"
for b in next_run_bench storage_file_bench run_tool_bench backup_bench changed_documents_bench export_run_bench; do
    echo "running $b" >&2
    "$out/$b" --benchmark_format=json >"$results/$b.json" 2>/dev/null
done
echo "running engine_timer_bench" >&2
"$out/engine_timer_bench" >"$results/engine_timer_bench.txt"
echo "running startup.py" >&2
python3 bench/startup.py build/release/bin/zelkor-scheduler >"$results/startup_bench.txt"
python3 bench/report.py "$results" | tee "${1:-/dev/stdout}"
