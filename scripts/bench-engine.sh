#!/usr/bin/env bash
# The HTTP engine's figures in one run: a batch to every projector (engine against the older
# thread pool), the polling period with all projectors answering and with 5% and 20% hung,
# and shutdown with a hung exchange in flight (request ring on the engine and on the pool,
# poller), at 1,000 and 5,000 simulated projectors on loopback, side by side.
#
# Builds nothing; build the Release benchmarks first:
#   cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DVISTREL_BUILD_GUI=OFF
#   cmake --build build-rel --target bench_ring_batch bench_monitor_scale
#
# Usage: scripts/bench-engine.sh [build-dir]      (default build-rel)
# Environment: COUNTS ("1000 5000"), ROUNDS (3), REPLY_DELAY_MS (100), STEADY_SECONDS (45),
#              KEEP (a directory to keep the benchmarks' full output in).
# Takes about 5 minutes per count with the defaults. Run it on a quiet machine.
set -euo pipefail

dir=${1:-build-rel}
counts=${COUNTS:-"1000 5000"}
rounds=${ROUNDS:-3}
delay=${REPLY_DELAY_MS:-100}
steady=${STEADY_SECONDS:-45}
ring="$dir/bench/bench_ring_batch"
monitor="$dir/bench/bench_monitor_scale"
for program in "$ring" "$monitor"; do
    if [[ ! -x "$program" ]]; then
        echo "bench-engine: $program is missing; build the Release benchmarks first (see the top of $0)" >&2
        exit 2
    fi
done

out=${KEEP:-$(mktemp -d)}
mkdir -p "$out"
[[ -n "${KEEP:-}" ]] || trap 'rm -rf "$out"' EXIT

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
declare -A fig
for n in $counts; do
    echo "bench-engine: $n projectors: batch and ring shutdown..." >&2
    "$ring" "$n" "$rounds" "$delay" >"$out/ring_$n.txt"
    echo "bench-engine: $n projectors: polling (${steady} s per steady state, three of them)..." >&2
    "$monitor" --count "$n" --polling-only --steady-seconds "$steady" \
        --hung-percent 5 --hung-percent 20 >"$out/monitor_$n.txt"
    # "summary key=value ..." lines, keyed by count.
    while read -r pair; do
        fig["${pair%%=*}_$n"]=${pair#*=}
    done < <(grep -h '^summary ' "$out/ring_$n.txt" "$out/monitor_$n.txt" | cut -d' ' -f2- | tr ' ' '\n')
    fig["simthreads_$n"]=$(sed -n 's/^fleet: .*, \([0-9]*\) I\/O threads.*/\1/p' "$out/monitor_$n.txt")
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

get() { echo "${fig[$1_$2]:-?}"; }
row() {  # label, then one cell per count
    local label=$1
    shift
    printf '| %-58s |' "$label"
    for cell in "$@"; do printf ' %-32s |' "$cell"; done
    printf '\n'
}

echo
echo "HTTP engine figures ($(nproc) cores; load average before $load_before, after $load_after)"
echo "batch: query=info to every projector, each answering after $delay ms, median of $rounds rounds"
echo "polling: ${steady} s of steady state; period = mean info interval / 15 s"
echo
header=("figure")
for n in $counts; do header+=("$n projectors"); done
row "${header[@]}"
printf '|%s|' "$(printf -- '-%.0s' {1..60})"
for n in $counts; do printf '%s|' "$(printf -- '-%.0s' {1..34})"; done
printf '\n'
cells() {  # format, keys...: one cell per count
    local format=$1
    shift
    local n key
    local -a values
    for n in $counts; do
        values=()
        for key in "$@"; do values+=("$(get "$key" "$n")"); done
        # shellcheck disable=SC2059
        printf -v cell "$format" "${values[@]}"
        printf '%s\n' "$cell"
    done
}
mapfile -t c < <(cells "%s ms, %s threads" batch_engine_ms batch_engine_threads)
row "batch, last reply: HTTP engine" "${c[@]}"
mapfile -t c < <(cells "%s ms, %s threads" batch_pool_ms batch_pool_threads)
row "batch, last reply: thread pool (old, injected senders)" "${c[@]}"
mapfile -t c < <(cells "%s (%s%% in 15 s +/- 1 s)" period_live within_live)
row "poll period, all answering" "${c[@]}"
mapfile -t c < <(cells "%s (%s%% in 15 s +/- 1 s)" period_hung5 within_hung5)
row "poll period, 5% hung (accept, never answer)" "${c[@]}"
mapfile -t c < <(cells "%s (%s%% in 15 s +/- 1 s)" period_hung20 within_hung20)
row "poll period, 20% hung" "${c[@]}"
mapfile -t c < <(cells "%s s / %s s / %s s" min_interval_live min_interval_hung5 min_interval_hung20)
row "shortest info interval (live / 5% / 20% hung)" "${c[@]}"
mapfile -t c < <(cells "%s ms" first_round_live_ms)
row "first polling round, all answering" "${c[@]}"
mapfile -t c < <(cells "%s ms / %s ms" ring_stop_engine_ms ring_stop_pool_ms)
row "ring shutdown, hung exchange in flight: engine / pool (old)" "${c[@]}"
mapfile -t c < <(cells "%s ms / %s ms" stop_hung5_ms stop_hung20_ms)
row "poller stop, hung exchanges in flight (5% / 20% hung)" "${c[@]}"
mapfile -t c < <(cells "%s" simthreads)
row "simulator I/O threads" "${c[@]}"
echo
echo "The polling of before (passes on 64 lanes) no longer exists: only the engine is measured there."
