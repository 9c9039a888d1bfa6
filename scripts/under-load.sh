#!/usr/bin/env bash
# Runs the whole test suite several times while stress-ng keeps two processor cores busy, as a shared
# machine or CI does at its worst, to find tests that pass only on an idle machine (a fixed sleep
# waiting for something, a deadline that is too tight). Builds the dev preset first, without the load.
#
#   bash scripts/under-load.sh [RUNS] [ctest arguments...]
#
# RUNS defaults to 3; further arguments go to every ctest run (e.g. -LE package to leave out the
# package's tests, -R engine for some). The exit status is 0 only when every run passed.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
[ $# -gt 0 ] && shift
case $runs in '' | *[!0-9]*) echo "usage: $0 [RUNS] [ctest arguments...]" >&2; exit 2;; esac

if ! command -v stress-ng >/dev/null; then
    $([ "$(id -u)" -eq 0 ] || echo sudo) apt-get install -y stress-ng
fi

cmake --preset dev
cmake --build --preset dev

stress-ng --cpu 2 --quiet &
stress=$!
trap 'kill "$stress" 2>/dev/null || true; wait "$stress" 2>/dev/null || true' EXIT

failed=0
for run in $(seq 1 "$runs"); do
    echo "== run $run of $runs beside stress-ng --cpu 2"
    if ! ctest --preset dev "$@"; then
        failed=$((failed + 1))
    fi
done
echo "== under load: $((runs - failed)) of $runs runs without a failure"
[ "$failed" -eq 0 ]
