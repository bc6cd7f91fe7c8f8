#!/usr/bin/env bash
# Runs the whole test suite again and again while the machine is loaded, to
# show that no test depends on how fast another thread or process gets the
# processor. Both trees take turns: the Release tree of the test command and
# the AddressSanitizer/UndefinedBehaviorSanitizer tree, each for ROUNDS rounds
# of `ctest -j2`, with `stress-ng --cpu 2` keeping both cores busy the whole
# time. Prints the failures per test name and tree; exits 1 when any test
# failed. Not part of CI: it takes a quarter of an hour or more.
#   scripts/soak.sh [ROUNDS]          (default 20)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${1:-20}
plain_dir=${RAVENLINK_BUILD_DIR:-$here/build}
sanitize_dir=${RAVENLINK_SANITIZE_BUILD_DIR:-$here/build-sanitize}

source "$here/scripts/packages.sh"
install_missing stress-ng "${build_packages[@]}"

bash "$here/scripts/ravenlink.sh" build >/dev/null
bash "$here/scripts/sanitize.sh" --build-only >/dev/null

log=$(mktemp -d)
stress-ng --cpu 2 --timeout 0 --quiet &
load=$!
trap 'kill "$load" 2>/dev/null; wait "$load" 2>/dev/null || true' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

for round in $(seq 1 "$rounds"); do
    for tree in plain sanitize; do
        dir=$plain_dir
        [ "$tree" = sanitize ] && dir=$sanitize_dir
        out=$log/$tree-$round.txt
        if ctest --test-dir "$dir" -j2 --output-on-failure >"$out" 2>&1; then
            verdict=ok
        else
            verdict=FAILED
        fi
        # ctest's summary names each failed test as "  NNN - Name (Failed)".
        sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (.*)$/\1/p' "$out" | sed "s/^/$tree /" >>"$log/failures.txt"
        printf 'round %2d  %-8s  %s\n' "$round" "$tree" "$verdict"
    done
done

echo
echo "failures per test in $rounds rounds of each tree, under stress-ng --cpu 2:"
if [ -s "$log/failures.txt" ]; then
    printf '%-10s %-70s %s\n' tree test failures
    sort "$log/failures.txt" | uniq -c | sort -rn | awk '{ printf "%-10s %-70s %d\n", $2, $3, $1 }'
    echo "logs: $log"
    exit 1
fi
printf '%-10s %-70s %s\n' tree test failures
printf '%-10s %-70s %d\n' plain "(every test)" 0 sanitize "(every test)" 0
rm -rf "$log"
