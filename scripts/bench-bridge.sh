#!/usr/bin/env bash
# Scale of ravenlink-bridge (see docs/PERFORMANCE.md): one bridge with 1, 4,
# 16 and 64 simulated stations, each at the shortest interval it holds, and
# 16 stations at 5 readings a second that must lose nothing. With --costs
# (or --costs-only) also what it spends on a paced line, idle, behind a
# stock broker, and a one-shot ravenlinkctl against a Python script.
# Takes several minutes and loads both cores; not part of CI.
#   scripts/bench-bridge.sh [--seconds S] [--check-seconds S] [--counts 1,4,16,64]
#                           [--costs | --costs-only] [--cost-seconds S] [--cost-rounds N]
#                           [--baseline-bridge PROGRAM] [--baseline-ctl PROGRAM]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${RAVENLINK_BENCH_BUILD_DIR:-$here/build}
jobs=$(( $(nproc 2>/dev/null || echo 2) < 2 ? 1 : 2 ))

source "$here/scripts/packages.sh"
install_missing "${build_packages[@]}" python3

cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j "$jobs" --target ravenlink-bridge ravenlinkstation ravenlinkctl >/dev/null
# The subscriber side needs only the broker's client library.
g++ -O2 -std=c++17 -Wall -Wextra "$here/bench/BridgeScale.cpp" -lmosquitto -lpthread \
    -o "$build_dir/bench-bridge-scale"

exec python3 "$here/bench/bridge_scale.py" --scale "$build_dir/bench-bridge-scale" \
     --bridge "$build_dir/RavenlinkBridge/ravenlink-bridge" \
     --station "$build_dir/RavenlinkStation/ravenlinkstation" \
     --ctl "$build_dir/RavenlinkCtl/ravenlinkctl" --peer-client "$here/bench/oneshot_peer.py" \
     --pyserial-client "$here/bench/peer_client.py" \
     --python /usr/bin/python3 "$@"
