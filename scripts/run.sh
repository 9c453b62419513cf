#!/usr/bin/env bash
# The run command: installs what is missing, builds the console and starts it against the
# demo fleet (simulated projectors on loopback, a store of its own). Extra arguments go to
# vistrel, e.g. `bash scripts/run.sh 40` for a fleet of 40.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVISTREL_BUILD_GUI=ON \
    >/dev/null
cmake --build build -j "$(nproc)" --target vistrel

count=()
if [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then
    count=("$1")
    shift
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display here (DISPLAY and WAYLAND_DISPLAY are empty)." >&2
    echo "run: to see the console on a virtual screen and save a picture of it:" >&2
    echo "    xvfb-run -a -s '-screen 0 1280x800x24' build/src/vistrel --demo ${count[*]:-} --screenshot demo.png --after 8" >&2
    echo "run: or without any X server:" >&2
    echo "    QT_QPA_PLATFORM=offscreen build/src/vistrel --demo ${count[*]:-} --screenshot demo.png --after 8" >&2
    exit 1
fi

exec build/src/vistrel --demo "${count[@]}" "$@"
