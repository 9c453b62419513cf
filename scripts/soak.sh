#!/usr/bin/env bash
# The fault soak (tests/soak) for as long as asked, outside ctest's time limit.
#
#   scripts/soak.sh                                  15 minutes under AddressSanitizer+UBSan
#   scripts/soak.sh --seconds 14400 --sanitizer thread   four hours under ThreadSanitizer
#   scripts/soak.sh --window --seconds 600            the main window's soak, 10 minutes
#   scripts/soak.sh --build DIR                       another build directory
#
# --window runs tests/window_soak instead (AddressSanitizer only) and fails it when the GUI
# thread stalls longer than VISTREL_SOAK_STALL_LIMIT_MS (250 unless set).
#
# Each sanitizer has its own build directory (build-soak-address, build-soak-thread), which
# is configured and built as needed. The soak prints its figures on success; a finding or a
# sanitizer report fails the run. It runs on loopback addresses with ports of its own; where
# user namespaces are allowed it runs in a private network namespace as well.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=900
sanitizer=address
build=""
window=0
while [ $# -gt 0 ]; do
    case $1 in
        --seconds) seconds=$2; shift 2 ;;
        --sanitizer) sanitizer=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        --window) window=1; shift ;;
        *) echo "soak.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
case $sanitizer in
    address) sanitize=address,undefined ;;
    thread) sanitize=thread ;;
    *) echo "soak.sh: --sanitizer is address or thread, not $sanitizer" >&2; exit 2 ;;
esac
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 20 ] || [ "$seconds" -gt 86400 ]; then
    echo "soak.sh: --seconds is 20 to 86400" >&2
    exit 2
fi
if [ $window = 1 ] && [ "$sanitizer" != address ]; then
    echo "soak.sh: the window soak runs under AddressSanitizer only" >&2
    exit 2
fi
[ -n "$build" ] || build=build-soak-$sanitizer
# One AddressSanitizer build serves both soaks; only the target asked for is built.
gui=OFF
[ "$sanitizer" = address ] && gui=ON
target=soak_tests
[ $window = 1 ] && target=window_soak_tests

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" "${generator[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug \
    -DVISTREL_SANITIZE="$sanitize" -DVISTREL_WERROR=ON -DVISTREL_BUILD_GUI=$gui \
    -DVISTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "$target"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
export VISTREL_SOAK_SECONDS=$seconds
export VISTREL_WINDOW_SOAK_SECONDS=$seconds
export QT_QPA_PLATFORM=offscreen
if [ $window = 1 ]; then
    export VISTREL_SOAK_STALL_LIMIT_MS=${VISTREL_SOAK_STALL_LIMIT_MS:-250}
    run=("$build/tests/window_soak_tests")
    echo "== window soak: ${seconds} s under ${sanitize}, stall limit ${VISTREL_SOAK_STALL_LIMIT_MS} ms =="
else
    run=("$build/tests/soak_tests" --gtest_filter='FaultSoak.*')
    echo "== fault soak: ${seconds} s under ${sanitize} =="
fi
if unshare -rn true 2>/dev/null && command -v ip >/dev/null; then
    exec unshare -rn bash -c 'ip link set lo up && exec "$@"' soak "${run[@]}"
fi
exec "${run[@]}"
