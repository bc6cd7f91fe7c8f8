#!/usr/bin/env bash
# Builds the Debian packages, checks them, and tries them as an operator and
# an integrator would:
#   1. builds the programs and the library for /usr with Debian's hardening
#      flags, and `cpack -G DEB` makes ravenlink_VERSION_amd64.deb (programs,
#      manual pages, bash completion) and libravenlink-dev_VERSION_amd64.deb
#      (headers, static library, CMake and pkg-config files), and
#      python3-ravenlink_VERSION_amd64.deb (the Python package);
#   2. every manual page is rendered with `man --warnings` and read by
#      lexgrog (a warning or a page without a usable NAME fails the run);
#      lintian checks both packages; an error fails the run, warnings are
#      listed;
#   3. apt-get installs both on this machine, runs `ravenlinkapp -h` and
#      `man -w ravenlinkapp` from the installed paths, checks that the
#      maintainer script made the bridge's user (in the group dialout) and
#      that the examples are there, has systemd-analyze verify the installed
#      units, makes the user once more with adduser
#      as on a machine without systemd-sysusers, builds
#      examples/find-package against /usr alone and runs it against the
#      installed simulator, imports the Python package from its installed
#      path and reads the simulator with it, then removes the packages again
#      (and the user, when this run made it).
# The packages are left in the build directory (default build-package).
#   scripts/package.sh            all of it (as root: it installs packages)
#   scripts/package.sh --build    steps 1 and 2 only
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${RAVENLINK_PACKAGE_BUILD_DIR:-$here/build-package}
jobs=${RAVENLINK_JOBS:-2}

source "$here/scripts/packages.sh"
install_missing "${build_packages[@]}" dpkg-dev lintian man-db

fail() { echo "package: $*" >&2; exit 1; }
step() { echo; echo "--- $*"; }
# wait_line LOG TEXT: waits up to 10 s for a program started in the
# background to write TEXT to its LOG.
wait_line() {
    for _ in $(seq 1 100); do
        grep -q "$2" "$1" && break
        sleep 0.1
    done
}

step "build for /usr with dpkg-buildflags"
# The hardening flags Debian builds its own packages with.
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DRAVENLINK_BUILD_TESTS=OFF -DRAVENLINK_WERROR=ON -DRAVENLINK_BUILD_PYTHON=ON \
      -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
      -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build_dir" -j "$jobs" >/dev/null

step "cpack -G DEB"
rm -f "$build_dir"/*.deb
(cd "$build_dir" && cpack -G DEB) | grep -E "package: .*\.deb|generated" || true
tools_deb=$(ls "$build_dir"/ravenlink_*_amd64.deb)
dev_deb=$(ls "$build_dir"/libravenlink-dev_*_amd64.deb)
python_deb=$(ls "$build_dir"/python3-ravenlink_*_amd64.deb)
for deb in "$tools_deb" "$dev_deb" "$python_deb"; do
    echo
    echo "$(basename "$deb"):"
    dpkg-deb -f "$deb" Package Version Architecture Depends Recommends Suggests Section
    dpkg -c "$deb" | awk '{ print $1, $6 }'
done
dpkg-deb -f "$tools_deb" Recommends | grep -qw gnuplot || fail "ravenlink does not recommend gnuplot"
dpkg-deb -f "$tools_deb" Description | grep -qw ravenlink-bridge || fail "ravenlink's description does not name the bridge"
for script in postinst prerm postrm; do
    dpkg-deb -I "$tools_deb" "$script" >/dev/null || fail "ravenlink has no $script"
    echo "ravenlink: $script present"
done

step "manual pages: man --warnings, lexgrog"
pages=$(find "$build_dir" -name '*.[1-8].gz' -not -path '*/_CPack_Packages/*' | sort)
[ -n "$pages" ] || fail "no manual page was built"
for page in $pages; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || true
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    lexgrog "$page" >/dev/null || fail "$(basename "$page"): lexgrog finds no NAME section"
    echo "$(basename "$page"): no warnings; $(lexgrog "$page" | sed 's/^[^:]*: //')"
done

step "lintian"
lintian_out=$(lintian --tag-display-limit 0 "$tools_deb" "$dev_deb" "$python_deb" 2>&1 | grep -v "running with root privileges") || true
echo "${lintian_out:-(no tags)}"
if echo "$lintian_out" | grep -q "^E: "; then
    fail "lintian reports errors"
fi

if [ "${1:-}" = --build ]; then
    exit 0
fi
[ "$(id -u)" -eq 0 ] || fail "installing the packages needs root"

step "apt-get install the packages"
work=$(mktemp -d /tmp/ravenlink-package.XXXXXX)
station_pid=
# Debian keeps system users when their package goes; one that this run made
# goes with the run.
user_was_there=
getent passwd ravenlink-bridge >/dev/null && user_was_there=yes
remove_user() {
    if [ -z "$user_was_there" ] && getent passwd ravenlink-bridge >/dev/null; then
        userdel ravenlink-bridge 2>/dev/null || deluser --quiet ravenlink-bridge || true
        ! getent group ravenlink-bridge >/dev/null || groupdel ravenlink-bridge || true
    fi
}
cleanup() {
    if [ -n "$station_pid" ]; then
        kill "$station_pid" 2>/dev/null || true
        wait "$station_pid" 2>/dev/null || true
    fi
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq ravenlink libravenlink-dev python3-ravenlink \
        >/dev/null 2>&1 || true
    remove_user
    rm -rf "$work"
}
trap cleanup EXIT
cp "$tools_deb" "$dev_deb" "$python_deb" "$work/"
# apt-get resolves the dependencies of a local package as of any other.
(cd "$work" && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    "./$(basename "$tools_deb")" "./$(basename "$dev_deb")" "./$(basename "$python_deb")" >/dev/null)
dpkg-query -W -f='${Package} ${Version} ${Status}\n' ravenlink libravenlink-dev python3-ravenlink

step "the installed programs"
for program in ravenlinkapp ravenlinkstation ravenlinkctl; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not /usr/bin/$program"
done
/usr/bin/ravenlinkapp -h
echo "man -w ravenlinkapp: $(man -w ravenlinkapp)"
[ "$(man -w ravenlinkapp)" = /usr/share/man/man1/ravenlinkapp.1.gz ] || fail "man -w ravenlinkapp"
man -w ravenlinkstation
[ -f /usr/share/bash-completion/completions/ravenlinkstation ] || fail "no bash completion for ravenlinkstation"
[ "$(command -v ravenlink-bridge)" = /usr/bin/ravenlink-bridge ] || fail "ravenlink-bridge is not /usr/bin/ravenlink-bridge"
/usr/bin/ravenlink-bridge --version
[ "$(command -v ravenlink-web)" = /usr/bin/ravenlink-web ] || fail "ravenlink-web is not /usr/bin/ravenlink-web"
/usr/bin/ravenlink-web --version
[ -f /usr/lib/systemd/system/ravenlink-web.service ] || fail "no ravenlink-web.service"
# The installed server serves the installed page (no broker needed for it).
/usr/bin/ravenlink-web --listen 127.0.0.1:0 >"$work/web.log" 2>&1 &
web_pid=$!
wait_line "$work/web.log" "listening on"
web_url=$(sed -n 's/.*listening on //p' "$work/web.log")
[ -n "$web_url" ] || fail "the installed ravenlink-web did not start: $(cat "$work/web.log")"
python3 -c 'import sys, urllib.request; sys.exit("Ravenlink fleet" not in urllib.request.urlopen(sys.argv[1]).read().decode())' \
    "$web_url" || fail "the installed ravenlink-web does not serve /usr/share/ravenlink/web"
kill "$web_pid"
wait "$web_pid" || fail "ravenlink-web did not end cleanly on SIGTERM"
grep -q "page /usr/share/ravenlink/web" "$work/web.log" || fail "ravenlink-web did not serve the installed page"
echo "ravenlink-web: served the installed page at $web_url"

step "the bridge's user and the examples"
check_user() {
    getent passwd ravenlink-bridge >/dev/null || fail "$1 made no user ravenlink-bridge"
    id -nG ravenlink-bridge | tr ' ' '\n' | grep -qx dialout || fail "$1: ravenlink-bridge is not in the group dialout"
    getent group ravenlink-bridge >/dev/null || fail "$1 made no group ravenlink-bridge"
    echo "$1: $(id ravenlink-bridge)"
}
check_user "the installed postinst (systemd-sysusers)"
examples=/usr/share/doc/ravenlink/examples
for file in bridge.conf.example web.conf.example ravenlink-check.service ravenlink-check.timer mosquitto/README.md \
            mosquitto/ravenlink.conf mosquitto/ravenlink.acl mosquitto/ravenlink-listener.conf.example \
            grafana/ravenlink-fleet.json mosquitto/fleet/README.md mosquitto/fleet/site-central.conf.example \
            mosquitto/fleet/central.conf mosquitto/fleet/central.acl mosquitto/fleet/prometheus.yml.example; do
    [ -f "$examples/$file" ] || fail "no $examples/$file"
done
echo "examples: $(cd "$examples" && find . -type f | sort | tr '\n' ' ')"

step "systemd-analyze verify the installed units"
# As systemd would read them here: the programs they start and the manual
# pages they name must exist. A template is read as one of its instances.
bridge_unit=$(dpkg -L ravenlink | grep '/systemd/system/ravenlink-bridge@\.service$') || fail "no ravenlink-bridge@.service"
cp "$bridge_unit" "$work/ravenlink-bridge@site.service"
web_unit=$(dpkg -L ravenlink | grep '/systemd/system/ravenlink-web\.service$') || fail "no ravenlink-web.service"
verified=$(systemd-analyze verify "$work/ravenlink-bridge@site.service" "$web_unit" "$examples/ravenlink-check.service" \
           "$examples/ravenlink-check.timer" 2>&1) || fail "systemd-analyze verify: $verified"
[ -z "$verified" ] || fail "systemd-analyze verify: $verified"
echo "systemd-analyze verify: ravenlink-bridge@site.service ravenlink-web.service ravenlink-check.service ravenlink-check.timer: no findings"
# Once more as on a machine without systemd-sysusers: the same postinst with
# a PATH that lacks it, after the user is gone.
if [ -z "$user_was_there" ]; then
    userdel ravenlink-bridge
    ! getent group ravenlink-bridge >/dev/null || groupdel ravenlink-bridge
    mkdir "$work/bin"
    for dir in /usr/local/sbin /usr/local/bin /usr/sbin /usr/bin /sbin /bin; do
        for tool in "$dir"/*; do
            name=$(basename "$tool")
            [ "$name" = systemd-sysusers ] || [ -e "$work/bin/$name" ] || ln -s "$tool" "$work/bin/$name"
        done
    done
    dpkg-deb -e "$tools_deb" "$work/control"
    PATH="$work/bin" sh "$work/control/postinst" configure
    check_user "postinst without systemd-sysusers (adduser)"
fi

step "examples/find-package against /usr alone"
cp -r "$here/examples/find-package" "$work/consumer"
cmake -S "$work/consumer" -B "$work/consumer/build" >/dev/null
grep -qxF "Ravenlink_DIR:PATH=/usr/lib/x86_64-linux-gnu/cmake/Ravenlink" "$work/consumer/build/CMakeCache.txt" \
    || fail "find_package did not take Ravenlink from the installed package"
cmake --build "$work/consumer/build" >/dev/null
/usr/bin/ravenlinkstation --seed 7 >"$work/station.log" 2>&1 &
station_pid=$!
wait_line "$work/station.log" "Station ready on"
port=$(sed -n 's/^Station ready on //p' "$work/station.log")
[ -n "$port" ] || fail "the installed ravenlinkstation did not start"
"$work/consumer/build/station-status" "$port" | head -n 4

step "the Python package from its installed path"
# From a folder of its own and without PYTHONPATH, so that nothing but the
# installed package can be imported.
(cd "$work" && env -u PYTHONPATH /usr/bin/python3 -c '
import sys, ravenlink
assert ravenlink.__file__ == "/usr/lib/python3/dist-packages/ravenlink/__init__.py", ravenlink.__file__
with ravenlink.StationLink(sys.argv[1]) as link:
    print("ravenlink", ravenlink.__version__, "from", ravenlink.__file__, "- state", link.check().state)
' "$port") || fail "the installed Python package does not work"

step "apt-get remove the packages"
kill "$station_pid" && wait "$station_pid" 2>/dev/null || true
station_pid=
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq ravenlink libravenlink-dev python3-ravenlink >/dev/null
[ ! -e /usr/bin/ravenlinkapp ] || fail "ravenlinkapp is still installed"
[ ! -e /usr/lib/python3/dist-packages/ravenlink ] || fail "the Python package is still installed"
[ ! -e /usr/lib/x86_64-linux-gnu/cmake/Ravenlink ] || fail "the CMake package is still installed"
echo "removed: no ravenlinkapp, no CMake package, no Python package left"
echo
echo "package: the packages built, checked, installed, used and removed"
