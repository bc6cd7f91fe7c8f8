#!/usr/bin/env bash
# Soak of ravenlink-bridge, beside scripts/soak.sh: one bridge, four
# simulated stations and a broker with the site's configuration as shipped,
# for SECONDS (default 180) while the broker is restarted every 30 s and a
# station is killed every 12 s. An operator sends a command every 0.1 s.
# Prints the counts; fails (exit 1) when a command ran twice, was answered
# ok without reaching its station, or went unanswered outside the window in
# which the bridge has no broker connection (from 5 s before the broker
# stops until the bridge is back on it; such commands are counted apart).
# See scripts/soak_bridge.py. Not part of CI: it takes minutes.
#   scripts/soak-bridge.sh [--seconds S] [--protocol 3.1.1|5] [--restart-every S] [--kill-every S] [--seed N]
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build_dir=${RAVENLINK_BUILD_DIR:-$here/build}
# The soak loads both cores itself: one build job on a one-core machine.
jobs=$(( $(nproc 2>/dev/null || echo 2) < 2 ? 1 : 2 ))

install_missing "${build_packages[@]}" python3
build_release "$build_dir" ravenlink-bridge ravenlinkstation

exec python3 "$here/scripts/soak_bridge.py" --source "$here" \
     --bridge "$build_dir/RavenlinkBridge/ravenlink-bridge" \
     --station "$build_dir/RavenlinkStation/ravenlinkstation" "$@"
