#!/usr/bin/env bash
# Scale of ravenlink-bridge (see docs/PERFORMANCE.md): one bridge with 1, 4,
# 16 and 64 simulated stations, each at the shortest interval it holds, and
# 16 stations at 5 readings a second that must lose nothing. First the cost
# of the metrics endpoint at 64 stations, which fails the run at 1 % of one
# core or more for one scrape every 5 s (--metrics-only: that alone, about a
# minute). With --costs (or --costs-only) also what the bridge spends on a
# paced line, idle, behind a stock broker, and a one-shot ravenlinkctl
# against a Python script (--one-shot-only: that alone).
# Takes several minutes and loads both cores; not part of CI.
#   scripts/bench-bridge.sh [--metrics-only] [--seconds S] [--check-seconds S] [--counts 1,4,16,64]
#                           [--costs | --costs-only | --one-shot-only] [--cost-seconds S] [--cost-rounds N]
#                           [--baseline-bridge PROGRAM] [--baseline-ctl PROGRAM]
set -euo pipefail

metrics_only=0
if [ "${1:-}" = "--metrics-only" ]; then
    metrics_only=1
    shift
fi
# The cost tables alone need no metrics figure first.
with_metrics=1
for arg in "$@"; do
    case "$arg" in --costs-only | --one-shot-only) with_metrics=0 ;; esac
done

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${RAVENLINK_BENCH_BUILD_DIR:-$here/build}
jobs=$(( $(nproc 2>/dev/null || echo 2) < 2 ? 1 : 2 ))

source "$here/scripts/packages.sh"
install_missing "${build_packages[@]}" python3

cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j "$jobs" --target ravenlink-bridge ravenlinkstation ravenlinkctl >/dev/null
# The subscriber side needs only the broker's client library.
g++ -O2 -std=c++17 -Wall -Wextra -I "$here/tests/support" "$here/bench/BridgeScale.cpp" -lmosquitto -lpthread \
    -o "$build_dir/bench-bridge-scale"

if [ "$with_metrics" = 1 ]; then
    python3 "$here/bench/bridge_metrics.py" --bridge "$build_dir/RavenlinkBridge/ravenlink-bridge" \
            --station "$build_dir/RavenlinkStation/ravenlinkstation"
fi
if [ "$metrics_only" = 1 ]; then
    exit 0
fi

exec python3 "$here/bench/bridge_scale.py" --scale "$build_dir/bench-bridge-scale" \
     --bridge "$build_dir/RavenlinkBridge/ravenlink-bridge" \
     --station "$build_dir/RavenlinkStation/ravenlinkstation" \
     --ctl "$build_dir/RavenlinkCtl/ravenlinkctl" --peer-client "$here/bench/oneshot_peer.py" \
     --pyserial-client "$here/bench/peer_client.py" \
     --python /usr/bin/python3 "$@"
