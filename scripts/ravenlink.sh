#!/usr/bin/env bash
# One entry point for newcomers and CI.
#   scripts/ravenlink.sh run    install what is missing, build, start the station
#                               simulator and the console against it
#   scripts/ravenlink.sh test   install what is missing, build, run the test suite
#   scripts/ravenlink.sh build  install what is missing and build only
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${RAVENLINK_BUILD_DIR:-$here/build}
jobs=$(nproc 2>/dev/null || echo 2)

source "$here/scripts/packages.sh"

# Builds everything, or only the targets named (--target NAME ...).
build() {
    install_missing "${build_packages[@]}"
    cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build_dir" -j "$jobs" "$@"
}

run_console() {
    build --target ravenlinkapp ravenlinkstation
    local link=${RAVENLINK_STATION_LINK:-/tmp/ravenlink-station}
    "$build_dir/RavenlinkStation/ravenlinkstation" --link "$link" >/dev/null &
    local station=$!
    trap 'kill "$station" 2>/dev/null; wait "$station" 2>/dev/null || true' EXIT
    for _ in $(seq 1 50); do [ -e "$link" ] && break; sleep 0.1; done
    echo "A simulated ground station is running. At \"connect to port: \" type: $link"
    echo
    "$build_dir/RavenlinkApp/ravenlinkapp"
}

run_tests() {
    build
    ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
}

case "${1:-}" in
    run) run_console ;;
    test) run_tests ;;
    build) build ;;
    *) echo "usage: $0 run|test|build" >&2; exit 2 ;;
esac
