#!/usr/bin/env bash
# One entry point for newcomers and CI.
#   scripts/ravenlink.sh run    install what is missing, build, start the station
#                               simulator and the console against it
#   scripts/ravenlink.sh test   install what is missing, build, run the test suite
#   scripts/ravenlink.sh build  install what is missing and build only
#
# run ends with the console's own exit status: 0 after option 11, Ctrl-C or
# the end of input, 1 when the port cannot be opened. The simulator runs in a
# session of its own, so Ctrl-C in the terminal reaches the console only.
# However the console ends, even killed, the simulator is stopped and its
# link removed. One run at a time may use a link: the lock file LINK.lock
# beside it (left in place) makes a second run refuse and leave the first
# one's link alone.
#
# Environment:
#   RAVENLINK_BUILD_DIR     build directory (default: build)
#   RAVENLINK_STATION_LINK  the link to type at "connect to port: "
#                           (default: /tmp/ravenlink-station)
#   RAVENLINK_APP_BIN and RAVENLINK_STATION_BIN
#                           when both are set, run uses these console and
#                           simulator programs and builds nothing (the tests
#                           run the script this way)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${RAVENLINK_BUILD_DIR:-$here/build}
jobs=$(nproc 2>/dev/null || echo 2)

source "$here/scripts/packages.sh"

# Builds everything, or only the targets named (--target NAME ...).
build() {
    install_missing "${build_packages[@]}"
    # Warnings are errors, in this script as in CI. The Python package is
    # always built, also in a tree configured before pybind11 was installed:
    # the test suite uses it.
    cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DRAVENLINK_WERROR=ON -DRAVENLINK_BUILD_PYTHON=ON >/dev/null
    cmake --build "$build_dir" -j "$jobs" "$@"
}

# Set by run_console, read by the exit trap: they must outlive the function.
station_pid=
station_link=

stop_station() {
    if [ -n "$station_pid" ]; then
        kill -TERM "$station_pid" 2>/dev/null || true
        wait "$station_pid" 2>/dev/null || true
        station_pid=
    fi
    # The simulator removes its link when it ends; one it could not remove
    # (it was killed) is ours to remove, since we hold the lock.
    if [ -n "$station_link" ] && [ -L "$station_link" ]; then
        rm -f "$station_link"
    fi
}

run_console() {
    local link=${RAVENLINK_STATION_LINK:-/tmp/ravenlink-station}
    # The simulator replaces any link it finds, so the lock is what keeps a
    # second run off a link that a first one is using.
    exec {lock_fd}>>"$link.lock"
    if ! flock -n "$lock_fd"; then
        echo "Another run is using $link; end it first, or set RAVENLINK_STATION_LINK to another path." >&2
        return 1
    fi

    local app=${RAVENLINK_APP_BIN:-} station=${RAVENLINK_STATION_BIN:-}
    if [ -z "$app" ] || [ -z "$station" ]; then
        build --target ravenlinkapp ravenlinkstation
        app=$build_dir/RavenlinkApp/ravenlinkapp
        station=$build_dir/RavenlinkStation/ravenlinkstation
    fi

    # Under the lock a link still there was left by a run that was killed.
    if [ -L "$link" ]; then
        rm -f "$link"
    fi
    trap stop_station EXIT
    trap 'exit 129' HUP
    trap 'exit 143' TERM
    station_link=$link
    # A script has no job control, so this child is no process group leader
    # and setsid makes it a session of its own without forking again.
    setsid "$station" --link "$link" >/dev/null &
    station_pid=$!
    for _ in $(seq 1 50); do
        [ -e "$link" ] && break
        kill -0 "$station_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -e "$link" ]; then
        echo "The station simulator did not start." >&2
        return 1
    fi

    echo "A simulated ground station is running. At \"connect to port: \" type: $link"
    echo
    local status=0
    "$app" || status=$?
    return "$status"
}

run_tests() {
    install_missing "${test_packages[@]}"
    build
    ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
    # The Python package's tests, on the package in the build tree, with
    # Debian's interpreter and pytest; no caches left in the source tree.
    PYTHONPATH="$build_dir/RavenlinkPython" RAVENLINK_BUILD_DIR="$build_dir" PYTHONDONTWRITEBYTECODE=1 \
        /usr/bin/python3 -m pytest -p no:cacheprovider -q "$here/tests/python"
}

case "${1:-}" in
    run) run_console ;;
    test) run_tests ;;
    build) build ;;
    *) echo "usage: $0 run|test|build" >&2; exit 2 ;;
esac
