#!/usr/bin/env bash
# Builds the examples/ the way an integrator would, against an installed
# Ravenlink only, and runs each against a station:
#   1. installs the project into a staging prefix, once with the static
#      library and once with the shared one (BUILD_SHARED_LIBS=ON);
#   2. copies each example out of the source tree and builds it against one
#      prefix alone: examples/find-package with CMake (find_package),
#      examples/pkg-config and examples/c-station with make and pkg-config;
#   3. runs the consumers against the installed ravenlinkstation, and the
#      CMake consumer also against the C station;
#   4. builds examples/find-package once more with the source tree pulled in
#      by add_subdirectory, and checks that Ravenlink stayed a good neighbour.
# Also checks the shared library's SONAME and exports, and that the archive
# can go into a shared library. Fails on the first step that does.
#   scripts/examples.sh
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build_root=${RAVENLINK_EXAMPLES_BUILD_DIR:-$here/build-examples}
install_missing "${build_packages[@]}"
make_work ravenlink-examples

step() { echo; echo "--- $*"; }
fail() { echo "examples: $*" >&2; exit 1; }

# The version set in project(); the library build is its patch level.
version=$(sed -n 's/^project(Ravenlink VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")

# Consumers are built as strictly as the project itself.
strict="-Wall -Wextra -Wpedantic -Werror"

# install_prefix KIND PREFIX CMAKE-ARGS...: configure, build and install.
install_prefix() {
    local kind=$1 prefix=$2
    shift 2
    local dir=$build_root/$kind
    cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DRAVENLINK_BUILD_TESTS=OFF \
          -DRAVENLINK_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs" >/dev/null
    cmake --install "$dir" --prefix "$prefix" >/dev/null
}

# expect FILE TEXT: the output FILE holds the line TEXT.
expect() {
    grep -qxF "$2" "$1" || { cat "$1"; fail "$(basename "$1") lacks the line: $2"; }
}

# consumers KIND PREFIX STATION: builds every example against PREFIX and
# runs it against the simulator STATION.
consumers() {
    local kind=$1 prefix=$2 station=$3
    local src=$work/$kind-src out=$work/$kind-out
    mkdir -p "$out"
    cp -r "$here/examples" "$src"
    export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
    # A shared library in a staging prefix is found through the loader path;
    # in /usr it would need nothing.
    export LD_LIBRARY_PATH=$prefix/lib

    step "$kind: pkg-config sees the staging prefix"
    [ "$(pkg-config --variable=prefix ravenlink)" = "$prefix" ] || fail "pkg-config found another ravenlink.pc"
    echo "pkg-config --cflags --libs ravenlink: $(pkg-config --cflags --libs ravenlink)"
    echo "pkg-config --cflags --libs --static ravenlink: $(pkg-config --cflags --libs --static ravenlink)"

    step "$kind: examples/find-package (CMake, find_package)"
    cmake -S "$src/find-package" -B "$src/find-package/build" -DCMAKE_PREFIX_PATH="$prefix" \
          -DCMAKE_CXX_FLAGS="$strict" >/dev/null
    grep -qxF "Ravenlink_DIR:PATH=$prefix/lib/cmake/Ravenlink" "$src/find-package/build/CMakeCache.txt" \
        || fail "find_package took Ravenlink from somewhere else than $prefix"
    cmake --build "$src/find-package/build" >/dev/null

    step "$kind: examples/pkg-config (make, pkg-config)"
    make -s -C "$src/pkg-config" CXXFLAGS="$strict"
    if [ "$kind" = static ]; then
        cp "$src/pkg-config/station-check" "$out/station-check-plain"
        make -s -C "$src/pkg-config" clean
        make -s -C "$src/pkg-config" CXXFLAGS="$strict" PKG_CONFIG_FLAGS=--static
    fi

    step "$kind: examples/c-station (C11, make, pkg-config, StationComposer.h only)"
    make -s -C "$src/c-station" CFLAGS="$strict"

    step "$kind: station-status and station-check against ravenlinkstation"
    start_station "$station" --seed 7
    "$src/find-package/build/station-status" "$port" >"$out/status.txt"
    head -n 4 "$out/status.txt"
    expect "$out/status.txt" "Ravenlink $version, library build ${version##*.}, protocol 1.20"
    expect "$out/status.txt" "Current system status"
    local verdict=0
    "$src/pkg-config/station-check" "$port" >"$out/check.txt" || verdict=$?
    [ "$verdict" -le 2 ] || { cat "$out/check.txt"; fail "station-check did not reach the station"; }
    cat "$out/check.txt"
    if [ -x "$out/station-check-plain" ]; then
        "$out/station-check-plain" "$port" >/dev/null || [ $? -le 2 ] || fail "station-check (no --static) failed"
    fi
    stop_station

    step "$kind: station-status against the C station"
    start_station "$src/c-station/c-station"
    "$src/find-package/build/station-status" "$port" >"$out/c-status.txt"
    expect "$out/c-status.txt" "Cable length unwound: 42.000000 m"
    expect "$out/c-status.txt" "System activation status: remote activated via UART"
    wait "$station_pid" || fail "the C station ended with a failure"
    station_pid=
    echo "the C station sent:"
    sed -n '2,$p' "$work/station.log"

    if [ "$kind" = shared ]; then
        step "shared: the consumers load the staged library"
        ldd "$src/pkg-config/station-check" | grep -F "$prefix/lib/libRavenlinkLib.so.1" \
            || fail "station-check does not load $prefix/lib/libRavenlinkLib.so.1"
    fi
    unset PKG_CONFIG_PATH LD_LIBRARY_PATH
}

step "static: install into $work/static"
install_prefix static "$work/static"
find "$work/static" -type f -o -type l | sed "s|$work/static/||" | sort

step "static: the archive is position-independent (it links into a shared object)"
g++ -shared -o "$work/libwhole.so" -Wl,--whole-archive "$work/static/lib/libRavenlinkLib.a" \
    -Wl,--no-whole-archive -lcxx-serial
echo "libRavenlinkLib.a links into a shared object: yes"

step "shared: install the library into $work/shared"
install_prefix shared "$work/shared" -DBUILD_SHARED_LIBS=ON -DRAVENLINK_BUILD_PROGRAMS=OFF
find "$work/shared/lib" -name 'libRavenlinkLib*' | sed "s|$work/shared/||" | sort
lib=$work/shared/lib/libRavenlinkLib.so
readelf -d "$lib" | grep SONAME
[ "$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')" = libRavenlinkLib.so.1 ] \
    || fail "libRavenlinkLib.so has no SONAME libRavenlinkLib.so.1"
exports=$(nm -D --defined-only "$lib" | c++filt)
echo "$(echo "$exports" | wc -l) exported symbols"
# The implementation and the libraries below it stay inside.
# Of namespace ravenlink only the public names are exported.
if echo "$exports" | grep -E "StationLinkImpl|ravenlink::|nlohmann|serial::" \
        | grep -vE "ravenlink::(visibleText\(|listPorts\(|toJson|PortInfo|JsonObject|JsonArray|[a-z]+Presence\(|presenceAt\(|fieldsWithoutValue[[(]|longestExchangeMs\()" | head -n 5 | grep .; then
    fail "libRavenlinkLib.so exports internal symbols"
fi
for symbol in "StationLink::openConnection" "HALVERN::IOException::what" "typeinfo for HALVERN::DataException" \
              "composeSystemStatus" "sc_key_text" "toJson[abi:cxx11](SystemStatus const&)" "findSystemFindings" \
              "ravenlink::visibleText" "ravenlink::listPorts()"; do
    echo "$exports" | grep -qF "$symbol" || fail "libRavenlinkLib.so does not export $symbol"
done
echo "only the public API is exported"
bash "$here/scripts/check-abi.sh" "$lib"

# The programs link the library statically in either build, so one
# installed simulator serves both.
consumers static "$work/static" "$work/static/bin/ravenlinkstation"
consumers shared "$work/shared" "$work/static/bin/ravenlinkstation"

step "add_subdirectory: examples/find-package with the source tree"
sub=$work/subdir
cp -r "$here/examples/find-package" "$sub"
cmake -S "$sub" -B "$sub/build" -DRAVENLINK_SOURCE_DIR="$here" -DCMAKE_CXX_FLAGS="$strict" >"$sub/configure.log"
cache=$sub/build/CMakeCache.txt
grep -qxF "CMAKE_BUILD_TYPE:STRING=" "$cache" || fail "Ravenlink set the consumer's CMAKE_BUILD_TYPE"
! grep -q "^GTest_DIR" "$cache" || fail "Ravenlink looked for GoogleTest in a consumer's build"
[ "$(ctest --test-dir "$sub/build" -N | sed -n 's/^Total Tests: //p')" = 0 ] || fail "Ravenlink added tests to a consumer"
cmake --build "$sub/build" -j "$jobs" >/dev/null
start_station "$work/static/bin/ravenlinkstation" --seed 7
"$sub/build/station-status" "$port" >"$work/subdir-status.txt"
stop_station
expect "$work/subdir-status.txt" "Current system status"
head -n 2 "$work/subdir-status.txt"
echo "no build type, tests or GoogleTest forced on the consumer; built targets:"
find "$sub/build" -maxdepth 3 -type f \( -name 'station-status' -o -name 'libRavenlinkLib*' \) | sed "s|$sub/build/||" | sort

echo
echo "examples: every example built against the installed package and ran"
