#!/usr/bin/env bash
# Builds the fuzz targets (the fuzz preset: clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds, two at a time, niced: the
# machine is shared. Each target starts from its seed corpus under fuzz/corpus/<target>/ and grows a
# working corpus in build/fuzz/corpus/<target>/ (kept between runs, not committed). A finding leaves
# its input in build/fuzz/findings/ and makes the script fail.
#
#   bash fuzz/run.sh SECONDS [TARGET...]     targets: storage_file connections_file arkon_path
#                                            connect_message scheme_output (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(storage_file connections_file arkon_path connect_message scheme_output)
fi

cmake --preset fuzz >/dev/null
nice cmake --build --preset fuzz -j2 --target "${targets[@]/%/_fuzzer}"

build=build/fuzz
mkdir -p "$build/findings" "$build/logs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run_one() {
    local target=$1
    local corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    # -timeout: one input taking seconds is a finding too (a hang on a pipe, a runaway regex).
    nice "$build/fuzz/${target}_fuzzer" "$corpus" "fuzz/corpus/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target-" >"$build/logs/$target.log" 2>&1
}

failed=()
report() {
    local target=$1 status=$2
    local log="$build/logs/$target.log"
    local runs
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    if [ "$status" -eq 0 ]; then
        echo "fuzz $target: ${seconds} s, $runs runs, nothing found"
    else
        echo "fuzz $target: FOUND a fault (exit $status), see $log:"
        grep -E 'ERROR|Property broken|runtime error|Test unit written' "$log" | head -5 || true
        failed+=("$target")
    fi
}

# Two at a time.
for ((i = 0; i < ${#targets[@]}; i += 2)); do
    first=${targets[i]}
    second=${targets[i + 1]:-}
    run_one "$first" &
    first_pid=$!
    if [ -n "$second" ]; then
        run_one "$second" &
        second_pid=$!
    fi
    status=0
    wait "$first_pid" || status=$?
    report "$first" "$status"
    if [ -n "$second" ]; then
        status=0
        wait "$second_pid" || status=$?
        report "$second" "$status"
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzzing found faults in: ${failed[*]}"
    exit 1
fi
echo "${#targets[@]} passed, 0 failed"
