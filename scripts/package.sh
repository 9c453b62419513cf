#!/usr/bin/env bash
# Builds the Debian package (Release, without tests) in build-package/ and prints where it is.
# Install it with: sudo apt-get install ./build-package/vistrel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

dir=${VISTREL_PACKAGE_DIR:-build-package}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DVISTREL_BUILD_TESTS=OFF -DVISTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/vistrel_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/vistrel_*.deb)
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Architecture Installed-Size Depends
