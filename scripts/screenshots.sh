#!/usr/bin/env bash
# Pictures of the settings pages, taken from the demo fleet (simulated projectors on
# loopback) with the offscreen platform, into docs/. Rerun after changing a page.
#   bash scripts/screenshots.sh [BUILD_DIR] [--text PERCENT] [--scale PERCENT]
#     (BUILD_DIR defaults to build)
#   --text 150    the application font at 150%, as a larger text size setting gives it;
#                 pictures into docs/text-150/
#   --scale 150   everything drawn at 150% (QT_SCALE_FACTOR); pictures into docs/scale-150/
# Any control whose text does not fit is named on stderr ("cut: ...").
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
text=""
scale=""
while [ $# -gt 0 ]; do
    case "$1" in
        --text) text=$2; shift 2 ;;
        --scale) scale=$2; shift 2 ;;
        *) build=$1; shift ;;
    esac
done

if [ ! -f "$build/CMakeCache.txt" ]; then
    generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j 2 --target vistrel-shots

out=docs
[ -n "$text" ] && out=docs/text-$text
[ -n "$scale" ] && out=docs/scale-$scale
[ -n "$text" ] && [ -n "$scale" ] && out=docs/text-$text-scale-$scale
mkdir -p "$out"
shots=("$PWD/$build/src/vistrel-shots" "$PWD/$out")
[ -n "$text" ] && shots+=("$text")
if [ -n "$scale" ]; then
    QT_SCALE_FACTOR=$(awk "BEGIN { print $scale / 100 }")
    export QT_SCALE_FACTOR
fi
# The demo talks only to loopback; a private network namespace keeps it that way.
if unshare -rn true 2>/dev/null; then
    QT_QPA_PLATFORM=offscreen unshare -rn sh -c 'ip link set lo up && exec "$@"' sh "${shots[@]}"
else
    echo "screenshots: no private network namespace here; running on loopback only" >&2
    QT_QPA_PLATFORM=offscreen "${shots[@]}"
fi
