#!/usr/bin/env bash
# What the disk priority of unattended work costs it while the disk is never idle: a first copy of many
# small files (cp -a, then a syncfs, as a backup ends) whose source is not in the page cache, while
# four readers keep the same disk busy with 4 KiB O_DIRECT reads at random places of a 256 MB file.
# The copy runs at normal priority, in the lowest best-effort level (what "Runs/lowPriority" gives now)
# and in the idle class (what it gave before). Prints one line per copy and ends each copy that takes
# longer than the limit. Only the files it made are evicted from the cache; nothing needs root.
#
#   bash bench/io_priority.sh [files, default 10000] [rounds, default 2] [limit in seconds, default 120]
#
# Runs in a folder of its own under ${TMPDIR:-/tmp} on that disk; CI does not run it.
set -euo pipefail
files=${1:-10000}
rounds=${2:-2}
limit=${3:-120}
work=$(mktemp -d "${TMPDIR:-/tmp}/io-priority.XXXXXX")
readers=()
trap 'kill "${readers[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

python3 - "$work" "$files" <<'PY'
import os, sys
work, count = sys.argv[1], int(sys.argv[2])
os.makedirs(f"{work}/src")
block = os.urandom(4096)
for i in range(count):
    folder = f"{work}/src/{i // 500:03d}"
    os.makedirs(folder, exist_ok=True)
    with open(f"{folder}/f{i:06d}.dat", "wb") as f:
        f.write(block)
with open(f"{work}/probe.bin", "wb") as f:
    for _ in range(256 * 256):
        f.write(block)
PY
sync -f "$work"

evict() {
    python3 - "$1" <<'PY'
import os, sys
for folder, _, names in os.walk(sys.argv[1]):
    for name in names:
        fd = os.open(os.path.join(folder, name), os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)
PY
}

for _ in 1 2 3 4; do
    python3 - "$work/probe.bin" <<'PY' &
import mmap, os, random, sys
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_DIRECT)
buffer = mmap.mmap(-1, 4096)
blocks = os.fstat(fd).st_size // 4096
while True:
    os.preadv(fd, [buffer], random.randrange(blocks) * 4096)
PY
    readers+=($!)
done

classes=(normal best-effort-7 idle)
for round in $(seq 1 "$rounds"); do
    # Each round begins with another class, so that none always runs on the disk the one before it left.
    for i in 0 1 2; do
        class=${classes[$(((round - 1 + i) % 3))]}
        case $class in
        normal) ionice=(ionice -c2 -n4) ;;
        best-effort-7) ionice=(ionice -c2 -n7) ;;
        idle) ionice=(ionice -c3) ;;
        esac
        rm -rf "$work/dst"
        sync -f "$work"
        evict "$work/src"
        start=$(date +%s.%N)
        # shellcheck disable=SC2016 # expanded by the inner shell
        if timeout "$limit" "${ionice[@]}" sh -c 'cp -a "$1/src" "$1/dst" && sync -f "$1/dst"' sh "$work"; then
            printf 'round %s, %-14s %6.1f s\n' "$round" "$class:" "$(echo "$(date +%s.%N) - $start" | bc)"
        else
            printf 'round %s, %-14s > %s s (stopped)\n' "$round" "$class:" "$limit"
        fi
    done
done
