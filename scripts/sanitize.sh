#!/usr/bin/env bash
# Builds the library, the console, the station simulator and the whole test
# suite with AddressSanitizer and UndefinedBehaviorSanitizer, then runs
# every test. Any sanitizer report fails the test that caused it.
#   scripts/sanitize.sh [ctest arguments...]
#   scripts/sanitize.sh --build-only     build the tree, run nothing
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${RAVENLINK_SANITIZE_BUILD_DIR:-$here/build-sanitize}
jobs=${RAVENLINK_JOBS:-2}

source "$here/scripts/packages.sh"
install_missing "${build_packages[@]}"

cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DRAVENLINK_SANITIZE=ON -DRAVENLINK_WERROR=ON >/dev/null
cmake --build "$build_dir" -j "$jobs"
if [ "${1:-}" = --build-only ]; then
    exit 0
fi

# Leaks count as errors; the first report of either sanitizer ends the
# process with a failure, so no finding can scroll by unnoticed.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs" "$@"
