#!/usr/bin/env bash
# Scale of ravenlink-web (see docs/PERFORMANCE.md): 64 simulated stations
# behind one bridge at one status a second on the site broker as shipped,
# the web server, and 1 then 8 event-stream clients; the server's CPU and
# memory, and the time from a reading to its event at a client. About three
# minutes; not part of CI.
#   scripts/bench-web.sh [--seconds S] [--stations N] [--clients 1,8]
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build_dir=${RAVENLINK_BENCH_BUILD_DIR:-$here/build}
# As the other benchmarks: both cores where there are two, else one.
jobs=$(( $(nproc 2>/dev/null || echo 2) < 2 ? 1 : 2 ))

install_missing "${build_packages[@]}" python3
build_release "$build_dir" ravenlink-web ravenlink-bridge ravenlinkstation

exec /usr/bin/python3 "$here/bench/web_scale.py" --source "$here" \
     --web "$build_dir/RavenlinkWeb/ravenlink-web" \
     --bridge "$build_dir/RavenlinkBridge/ravenlink-bridge" \
     --station "$build_dir/RavenlinkStation/ravenlinkstation" "$@"
