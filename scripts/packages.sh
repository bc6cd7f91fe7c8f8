# Sourced by the project's scripts: installs the Debian packages that are
# missing, with one apt-get update at most.

# What building and testing every program needs: compilers and CMake, the
# serial, JSON, argument, MQTT, HTTP and service-manager libraries, the test
# frameworks, the broker, plotter and Prometheus (with promtool) that the
# tests start, and systemd's unit checker; the Python package's binding
# library, headers, test runner and stub checker.
build_packages=(cmake g++ make pkg-config libgtest-dev libbenchmark-dev
                libcxx-serial-dev nlohmann-json3-dev libcli11-dev libmosquitto-dev libssl-dev libcpp-httplib-dev
                libsystemd-dev mosquitto mosquitto-clients openssl gnuplot-nox prometheus systemd
                pybind11-dev python3-dev python3-pytest python3-mypy)

# What the test suite needs beyond the build: the browser that the tests of
# ravenlink-web's page drive (headless, through its WebDriver).
test_packages=(chromium chromium-driver python3-selenium)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]} (run as root, or install them with apt-get)" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    if [ -z "${RAVENLINK_APT_UPDATED:-}" ]; then
        apt-get update -qq
        export RAVENLINK_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}
