#!/usr/bin/env bash
# Builds the fuzzers with clang and runs each one for a bounded time.
#   scripts/fuzz.sh [seconds-per-target]     (default 20)
# New inputs that widen coverage go to a scratch corpus; crashes are written
# to tests/fuzz/artifacts/ and fail the run.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-20}
build_dir=${RAVENLINK_FUZZ_BUILD_DIR:-$here/build-fuzz}
jobs=$(nproc 2>/dev/null || echo 2)

source "$here/scripts/packages.sh"
install_missing clang libclang-rt-14-dev libcxx-serial-dev nlohmann-json3-dev cmake make

CC=clang CXX=clang++ cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRAVENLINK_FUZZ=ON -DRAVENLINK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j "$jobs"

artifacts=$here/tests/fuzz/artifacts
mkdir -p "$artifacts"
status=0
for fuzzer in "$build_dir"/tests/fuzz/Fuzz*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    seeds=$here/tests/fuzz/corpus/$name
    scratch=$(mktemp -d)
    mkdir -p "$seeds"
    echo "== $name: ${seconds}s"
    if ! "$fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$artifacts/$name-" -print_final_stats=1 "$scratch" "$seeds" \
            2>"$scratch.log"; then
        status=1
        tail -n 40 "$scratch.log"
    fi
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "$scratch.log" | sed "s/^/$name /" || true
    rm -rf "$scratch" "$scratch.log"
done
exit $status
