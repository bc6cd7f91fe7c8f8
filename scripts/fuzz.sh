#!/usr/bin/env bash
# Builds the fuzzers with clang and runs each one for a bounded time.
#   scripts/fuzz.sh [seconds-per-target] [target...]   (default 20 s, all targets)
# Every target starts from its seed corpus tests/fuzz/corpus/<target>/; new
# inputs that widen coverage are kept in memory only and thrown away (no
# corpus folder is written: a fresh run finds a new input every few runs,
# and creating a file for each cost the composer target a quarter of its
# time in the file system).
# Crashes are written to tests/fuzz/artifacts/ and fail the run, and so does
# any sanitizer report: both sanitizers halt on their first finding. Each
# target's log is kept in <build>/logs/<target>.log; a failing target's log
# ends are printed. Prints the executions per target, each target's
# executions per second, and the logs' folder at the end.
#
# Every target must run at RAVENLINK_FUZZ_MIN_RATE (2000) executions per
# second or more: a target that slows below it searches a small fraction of
# what the others search in CI's 20 s, so the run fails and says which one. RAVENLINK_FUZZ_MIN_RATE=0 turns the check
# off (for a run under a debugger or on a much slower machine).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-20}
shift || true
build_dir=${RAVENLINK_FUZZ_BUILD_DIR:-$here/build-fuzz}
jobs=${RAVENLINK_JOBS:-2}
min_rate=${RAVENLINK_FUZZ_MIN_RATE:-2000}

source "$here/scripts/packages.sh"
install_missing clang libclang-rt-14-dev libcxx-serial-dev nlohmann-json3-dev cmake make

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in "$here"/tests/fuzz/Fuzz*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

CC=clang CXX=clang++ cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRAVENLINK_FUZZ=ON -DRAVENLINK_BUILD_TESTS=OFF -DRAVENLINK_WERROR=ON >/dev/null
cmake --build "$build_dir" -j "$jobs" --target "${targets[@]}"

artifacts=$here/tests/fuzz/artifacts
logs=$build_dir/logs
mkdir -p "$artifacts" "$logs"
# The build makes UndefinedBehaviorSanitizer fatal; these make sure that
# neither sanitizer is told to carry on. Options given by the caller come
# first, so these win.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}halt_on_error=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}halt_on_error=1:print_stacktrace=1"
status=0
summary=()
for name in "${targets[@]}"; do
    fuzzer=$build_dir/tests/fuzz/$name
    seeds=$here/tests/fuzz/corpus/$name
    log=$logs/$name.log
    mkdir -p "$seeds"
    seed_list=$(mktemp)
    find "$seeds" -type f | sort >"$seed_list"
    seed_args=()
    [ -s "$seed_list" ] && seed_args=(-seed_inputs="@$seed_list")
    # The composer target reads setter sequences, not JSON: no dictionary.
    dict=()
    [ "$name" = FuzzComposer ] || dict=(-dict="$here/tests/fuzz/ravenlink.dict")
    echo "== $name: ${seconds}s"
    verdict=ok
    if ! "$fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
            "${dict[@]}" -artifact_prefix="$artifacts/$name-" -print_final_stats=1 "${seed_args[@]}" \
            >"$log" 2>&1; then
        verdict=FAILED
    elif grep -q -e 'runtime error:' -e 'ERROR: AddressSanitizer' "$log"; then
        # A report that did not stop the target still counts.
        verdict=FAILED
    fi
    if [ "$verdict" = FAILED ]; then
        status=1
        tail -n 40 "$log"
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
    # libFuzzer's own figure: executions over the time since the target started.
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    rate=${rate:-$(( ${runs:-0} / seconds ))}
    if [ "$verdict" = ok ] && [ "$rate" -lt "$min_rate" ]; then
        verdict="TOO SLOW (below $min_rate/s)"
        status=1
    fi
    echo "   $name: $rate executions/s"
    summary+=("$(printf '%-22s %10s executions  %6s/s  peak %5s MB  %s' "$name" "${runs:-?}" "$rate" "${rss:-?}" \
        "$verdict")")
    rm -f "$seed_list"
done
echo "== executions per target (${seconds}s each)"
printf '%s\n' "${summary[@]}"
echo "== logs: $logs"
exit $status
