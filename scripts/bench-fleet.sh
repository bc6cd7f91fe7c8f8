#!/usr/bin/env bash
# A fleet on the broker network, measured (see docs/PERFORMANCE.md): S sites
# of K simulated stations at one status a second (1 x 64, 4 x 64, 8 x 64),
# each site with its own broker and bridge, bridged to a central broker over
# TLS with the shipped configuration; then the cost per station from 1 to 512
# stations, with one bridge and with many. Prints the tables and exits
# non-zero when the largest size misses a target. The full run takes about
# ten minutes and loads both cores; CI runs --smoke (2 x 4, about 20 s).
#   scripts/bench-fleet.sh [--smoke] [--sizes 1x64,4x64,8x64] [--seconds S]
#                          [--scale-seconds S] [--no-scale] [--commands PER_SECOND] [--paced]
#                          [--perf FILE]   (perf record of the largest size)
# ravenlink-web is measured beside the central broker when the build has it.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${RAVENLINK_BENCH_BUILD_DIR:-$here/build}
jobs=$(( $(nproc 2>/dev/null || echo 2) < 2 ? 1 : 2 ))

source "$here/scripts/packages.sh"
packages=("${build_packages[@]}" python3)
for a in "$@"; do
    [ "$a" = --perf ] && packages+=(linux-perf)
done
install_missing "${packages[@]}"

cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(ravenlink-bridge ravenlinkstation)
web=()
# grep reads the whole list: with -q it would stop at the match, make would
# die of the broken pipe, and pipefail would make the answer "no".
if cmake --build "$build_dir" --target help | grep '^\.\.\. ravenlink-web$' >/dev/null; then
    targets+=(ravenlink-web)
fi
cmake --build "$build_dir" -j "$jobs" --target "${targets[@]}" >/dev/null
web_program=$(find "$build_dir" -name ravenlink-web -type f -perm -u+x -print -quit)
if [ -n "$web_program" ]; then
    web=(--web "$web_program")
fi
# The probe at the central side needs only the broker's client library.
g++ -O2 -std=c++17 -Wall -Wextra -I "$here/tests/support" "$here/bench/FleetScale.cpp" -lmosquitto -lpthread \
    -o "$build_dir/bench-fleet-scale"

# A bridge of 512 stations holds two descriptors per station and more.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

exec /usr/bin/python3 "$here/bench/fleet_scale.py" --scale "$build_dir/bench-fleet-scale" --source "$here" \
     --bridge "$build_dir/RavenlinkBridge/ravenlink-bridge" \
     --station "$build_dir/RavenlinkStation/ravenlinkstation" ${web[@]+"${web[@]}"} "$@"
