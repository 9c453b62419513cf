#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs the core tests under
# AddressSanitizer+UBSan and ThreadSanitizer, a short run of every fuzz target, then the full
# suite with warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" "${generator[@]}" -DVISTREL_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

echo "== AddressSanitizer + UBSan: core tests =="
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DVISTREL_SANITIZE=address,undefined \
    -DVISTREL_BUILD_GUI=OFF -DVISTREL_BUILD_BENCH=OFF
ctest --test-dir build-asan -L core --output-on-failure --timeout 300

echo "== ThreadSanitizer: concurrent tests =="
configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DVISTREL_SANITIZE=thread \
    -DVISTREL_BUILD_GUI=OFF -DVISTREL_BUILD_BENCH=OFF
ctest --test-dir build-tsan -L concurrent --output-on-failure --timeout 300

echo "== Fuzz targets: short run =="
# Bounded: a fixed number of executions per target, with a time cap per target. The long
# run is the same script with other bounds (see scripts/fuzz.sh).
bash scripts/fuzz.sh --build build-fuzz --runs 20000 --time 60

echo "== Full suite =="
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure --timeout 300
