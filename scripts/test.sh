#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs the core and window tests under
# AddressSanitizer+UBSan, the concurrent tests under ThreadSanitizer, a short run of every fuzz
# target, then the full suite with warnings as errors, and last the Debian package, built and
# checked unpacked in a temporary root (see tests/package/check_package.sh).
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

echo "== AddressSanitizer + UBSan: core and window tests =="
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DVISTREL_SANITIZE=address,undefined \
    -DVISTREL_BUILD_GUI=ON -DVISTREL_BUILD_BENCH=OFF
ctest --test-dir build-asan -L 'core|gui' --output-on-failure --timeout 300

# The fault soak, bounded in time (see tests/soak): its figures on success, the end of its
# log (with any sanitizer report) on failure.
soak_seconds=${VISTREL_SOAK_SECONDS:-75}
run_soak() {
    local dir=$1 log=$1/soak.log
    if VISTREL_SOAK_SECONDS=$soak_seconds ctest --test-dir "$dir" -L '^soak$' -V --timeout 400 \
        >"$log" 2>&1; then
        grep -E 'soak:|requests:|tests passed' "$log"
    else
        tail -n 150 "$log"
        return 1
    fi
}

echo "== AddressSanitizer + UBSan: fault soak (${soak_seconds} s) =="
run_soak build-asan

echo "== ThreadSanitizer: concurrent tests =="
configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DVISTREL_SANITIZE=thread \
    -DVISTREL_BUILD_GUI=OFF -DVISTREL_BUILD_BENCH=OFF
ctest --test-dir build-tsan -L concurrent --output-on-failure --timeout 300

echo "== ThreadSanitizer: fault soak (${soak_seconds} s) =="
run_soak build-tsan

echo "== Fuzz targets: short run =="
# Bounded: a fixed number of executions per target, with a time cap per target. The long
# run is the same script with other bounds (see scripts/fuzz.sh).
bash scripts/fuzz.sh --build build-fuzz --runs 20000 --time 60

echo "== Full suite =="
# The soak ran twice above under the sanitizers; the full suite leaves it out.
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build -LE 'soak|package' --output-on-failure --timeout 300

echo "== Debian package =="
# Built from the full suite's build, unpacked into a temporary root and checked there; its
# name, dependencies and the service's stop time on success, the whole log on failure.
if ctest --test-dir build -L package -V --timeout 300 >build/package.log 2>&1; then
    grep -E 'package: /|Depends:|service ended|SKIP|tests passed' build/package.log
else
    cat build/package.log
    exit 1
fi
