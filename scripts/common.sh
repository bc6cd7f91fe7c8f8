# Sourced by the project's scripts after `set -euo pipefail`: the checkout
# ($here), the build parallelism ($jobs), the package installer
# (packages.sh), a Release build of some targets, and a scratch folder
# ($work) with a station simulator in it that are both gone however the
# script ends.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${RAVENLINK_JOBS:-2}
source "$here/scripts/packages.sh"

work=
station_pid=

stop_station() {
    if [ -n "$station_pid" ]; then
        kill "$station_pid" 2>/dev/null || true
        wait "$station_pid" 2>/dev/null || true
        station_pid=
    fi
}

cleanup() {
    stop_station
    [ -z "$work" ] || rm -rf "$work"
}

# make_work NAME: a fresh scratch folder /tmp/NAME.XXXXXX as $work.
make_work() {
    work=$(mktemp -d "/tmp/$1.XXXXXX")
    trap cleanup EXIT
}

fail() { echo "$(basename "$0"): $*" >&2; exit 1; }

# build_release DIR TARGET...: configures DIR as a Release tree of the
# checkout and builds the targets in it, quietly.
build_release() {
    local dir=$1
    shift
    cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$dir" -j "$jobs" --target "$@" >/dev/null
}

# start_station PROGRAM ARGS...: runs a simulator in the background, logging
# to $work/station.log, and waits until it has announced its line; sets
# $port to it. Fails when it does not come up within 10 s.
start_station() {
    local log=$work/station.log
    "$@" >"$log" 2>&1 &
    station_pid=$!
    for _ in $(seq 1 100); do
        grep -q "Station ready on" "$log" 2>/dev/null && break
        kill -0 "$station_pid" 2>/dev/null || break
        sleep 0.1
    done
    port=$(sed -n 's/^Station ready on //p' "$log" | head -n 1)
    [ -n "$port" ] || { cat "$log" >&2; fail "the station $1 did not start"; }
}
