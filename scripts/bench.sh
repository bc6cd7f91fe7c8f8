#!/usr/bin/env bash
# Benchmarks of the console and library, in-process and end to end against
# the station simulator on a pseudo-terminal (see docs/PERFORMANCE.md).
#   scripts/bench.sh             all figures, printed as a table
#   scripts/bench.sh --smoke     a short run of everything (a few seconds); fails
#                                only when a figure is more than five times the
#                                one in bench/reference.txt
#   scripts/bench.sh --record    all figures, and write them to bench/reference.txt
#   scripts/bench.sh --callgrind where the full status path spends its
#                                instructions (check, decode, report)
# Round trips are measured in both reply-end modes (quiet-line and
# complete-object) beside the pyserial peer, unpaced and paced.
# Extra arguments go to bench/figures.py (e.g. --results FILE, --markdown FILE,
# --baseline-roundtrip PROGRAM for the earlier library's paced figures).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The test suite's Release tree, with the benchmarks switched on.
build_dir=${RAVENLINK_BENCH_BUILD_DIR:-$here/build}
jobs=$(( $(nproc 2>/dev/null || echo 2) < 2 ? 1 : 2 ))
# Debian's interpreter, where python3-serial installs pyserial.
python=/usr/bin/python3

source "$here/scripts/packages.sh"
packages=("${build_packages[@]}" python3 python3-serial)
callgrind=0
args=()
for a in "$@"; do
    case "$a" in
        --callgrind) callgrind=1; packages+=(valgrind) ;;
        *) args+=("$a") ;;
    esac
done

install_missing "${packages[@]}"

cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DRAVENLINK_BENCH=ON -DRAVENLINK_WERROR=ON >/dev/null
cmake --build "$build_dir" -j "$jobs" --target ravenlink_bench_inprocess ravenlink_bench_roundtrip ravenlink_bench_wakeup \
      ravenlinkapp ravenlinkstation >/dev/null

if [ "$callgrind" = 1 ]; then
    out=$(mktemp -d)
    valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.out" \
        "$build_dir/bench/ravenlink_bench_inprocess" --benchmark_filter='^StatusAll$' \
        --benchmark_min_time=0.05 >/dev/null
    callgrind_annotate --inclusive=yes "$out/callgrind.out" | head -60
    echo "full profile: $out/callgrind.out"
    exit 0
fi

exec "$python" "$here/bench/figures.py" --build "$build_dir" --python "$python" \
     --reference "$here/bench/reference.txt" ${args[@]+"${args[@]}"}
