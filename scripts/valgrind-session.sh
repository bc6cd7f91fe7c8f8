#!/usr/bin/env bash
# One end-to-end console session under valgrind's memcheck: the console
# connects to the station simulator and goes through every menu option.
# Fails on any memory error and on any definite leak.
#   scripts/valgrind-session.sh
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# The test suite's Release tree serves: memcheck needs no build of its own.
build_dir=${RAVENLINK_VALGRIND_BUILD_DIR:-$here/build}
install_missing valgrind "${build_packages[@]}"

cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DRAVENLINK_WERROR=ON >/dev/null
cmake --build "$build_dir" -j "$jobs" --target ravenlinkapp ravenlinkstation
app=$(ls "$build_dir"/RavenlinkApp/ravenlinkapp* | head -n 1)
station=$build_dir/RavenlinkStation/ravenlinkstation

make_work ravenlink-valgrind
link=$work/station
start_station "$station" --link "$link" --seed 7

# Every option once. The timeout goes up first: the console runs far slower
# under valgrind, and a reply that comes late would only test the timeout.
printf '%s\n' "$link" 9 3000 1 2 3 4 5 42.5 6 1.25 7 2.5 60 1 10 8 0 12 11 >"$work/input"

status=0
valgrind --quiet --error-exitcode=1 --errors-for-leak-kinds=definite --leak-check=full \
    --log-file="$work/valgrind.log" "$app" <"$work/input" >"$work/console.out" || status=$?

echo "valgrind memcheck of $(basename "$app") against the station simulator"
cat "$work/valgrind.log"
expected=(
    "Current system status"
    "Connection timeout is set to 3000ms!"
    "Product details:"
    "Halvern Loftward system successful activated!"
    "Halvern Loftward system successful deactivated!"
    "Halvern Loftward system successful set cable retraction torque to 42.5%!"
    "Halvern Loftward system successful set cable retraction start length 1.25m!"
    "Halvern Loftward successful update system configuration"
    "Library build: 23"
)
for line in "${expected[@]}"; do
    if ! grep -qF "$line" "$work/console.out"; then
        echo "valgrind session: the console did not print: $line"
        status=1
    fi
done
if grep -qE "Exception" "$work/console.out"; then
    echo "valgrind session: an option failed:"
    grep -E "Exception" "$work/console.out"
    status=1
fi
if [ "$status" -ne 0 ]; then
    echo "--- console output"
    cat "$work/console.out"
    echo "valgrind session: FAILED (status $status)"
    exit 1
fi
echo "valgrind session: no memory errors, no definite leaks, every option confirmed"
