# Shared by scripts/run and scripts/test: Debian packages and the build.
# shellcheck shell=bash

TOOLBOX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

BUILD_PACKAGES=(cmake g++ make pkg-config qtbase5-dev libqt5serialport5-dev libftdi1-dev libbenchmark-dev)
BUILD_PACKAGES_QT6=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libftdi1-dev libbenchmark-dev)

missing_packages() {
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || echo "$pkg"
    done
}

# Installs whatever of the given packages is missing (as root), or names the command and stops.
ensure_packages() {
    local missing
    missing=$(missing_packages "$@" | tr '\n' ' ')
    [ -z "${missing// /}" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y $missing" >&2
        exit 1
    fi
    echo "Installing: $missing"
    apt-get update
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y $missing
}

# configure_and_build BUILD_DIR [extra cmake arguments...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$TOOLBOX_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@"
    cmake --build "$dir" -j"$(nproc)"
}
