#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each over its seed corpus.
#
#   scripts/fuzz.sh                     short run: 20000 executions per target (the test command)
#   scripts/fuzz.sh --runs 0 --time 900 long run: 15 minutes per target, no execution bound
#   scripts/fuzz.sh --only info_reply   one target
#
# New inputs that reach new code are kept in <build>/fuzz-work/<target>/ (the committed seeds
# under fuzz/corpus/ are only read). A crash leaves its input in <build>/fuzz-artifacts/ and
# fails the script; turn it into a regression test before fixing it.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-fuzz
runs=20000
timePerTarget=60
only=""
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --time) timePerTarget=$2; shift 2 ;;
        --only) only=$2; shift 2 ;;
        *) echo "fuzz.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
jobs=$(nproc)
CC=clang CXX=clang++ cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVISTREL_FUZZ=ON -DVISTREL_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" --target vistrel_fuzzers

# Longest input worth trying: replies are a few hundred bytes, a datagram at most 4095,
# a store file a few kilobytes.
maxLen() {
    case $1 in
        discovery_answer) echo 8192 ;;
        store_file) echo 8192 ;;
        *) echo 512 ;;
    esac
}

dictFor() {
    case $1 in
        *_reply) echo "fuzz/replies.dict" ;;
        *) [ -f "fuzz/$1.dict" ] && echo "fuzz/$1.dict" || echo "" ;;
    esac
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

mkdir -p "$build/fuzz-artifacts"
summary=()
failed=0
for src in fuzz/*.cpp; do
    name=$(basename "$src" .cpp)
    [ -n "$only" ] && [ "$name" != "$only" ] && continue
    work="$build/fuzz-work/$name"
    mkdir -p "$work"
    seeds="fuzz/corpus/$name"
    args=(-runs="$runs" -max_total_time="$timePerTarget" -max_len="$(maxLen "$name")" -timeout=10
          -rss_limit_mb=2048 -print_final_stats=1
          -artifact_prefix="$build/fuzz-artifacts/$name-")
    dict=$(dictFor "$name")
    [ -n "$dict" ] && args+=(-dict="$dict")
    [ "$runs" = 0 ] && args[0]=-runs=-1
    log="$build/fuzz-work/$name.log"
    echo "-- fuzz_$name"
    if ! "$build/fuzz/fuzz_$name" "${args[@]}" "$work" "$seeds" >"$log" 2>&1; then
        tail -n 40 "$log"
        failed=1
        summary+=("$(printf '%-18s FAILED (see %s)' "$name" "$log")")
        continue
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    secs=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | awk '{print $5}' | tail -n 1)
    corpus=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -n 1 | awk '{print $2}')
    seedCount=$(find "$seeds" -type f | wc -l)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | awk '{print $2}')
    summary+=("$(printf '%-18s %8s execs %4ss  seeds %3s  corpus %s  edges %s' \
        "$name" "${execs:-?}" "${secs:-?}" "$seedCount" "$corpus" "${cov:-?}")")
done

echo "== fuzz summary (runs=$runs, max ${timePerTarget}s per target) =="
printf '%s\n' "${summary[@]}"
exit $failed
