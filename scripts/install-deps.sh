#!/usr/bin/env bash
# Installs the Debian 12 packages Vistrel needs to build, test and run.
# Safe to run again: only missing packages are installed.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
    libcurl4-openssl-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libasio-dev nlohmann-json3-dev libcli11-dev
    prometheus-cpp-dev prometheus
    clang libclang-rt-14-dev clang-format
    xvfb xauth xdotool imagemagick
    iproute2 util-linux procps
    help2man dpkg-dev file fakeroot desktop-file-utils libcap2-bin systemd man-db groff-base tzdata
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages present"
    exit 0
fi

echo "install-deps: missing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: not root. Run as root, or:" >&2
    echo "    sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "install-deps: done"
