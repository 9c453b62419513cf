#!/usr/bin/env bash
# Pictures of the settings pages, taken from the demo fleet (simulated projectors on
# loopback) with the offscreen platform, into docs/. Rerun after changing a page.
#   bash scripts/screenshots.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

if [ ! -f "$build/CMakeCache.txt" ]; then
    generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j 2 --target vistrel-shots

mkdir -p docs
shots=("$PWD/$build/src/vistrel-shots" "$PWD/docs")
# The demo talks only to loopback; a private network namespace keeps it that way.
if unshare -rn true 2>/dev/null; then
    QT_QPA_PLATFORM=offscreen unshare -rn sh -c 'ip link set lo up && exec "$@"' sh "${shots[@]}"
else
    echo "screenshots: no private network namespace here; running on loopback only" >&2
    QT_QPA_PLATFORM=offscreen "${shots[@]}"
fi
