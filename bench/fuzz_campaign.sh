#!/usr/bin/env bash
# Continues a fuzzing campaign: runs the libFuzzer targets one after another, each for a
# while, at the lowest priority, and keeps a ledger of what every run reached.
#
#   bench/fuzz_campaign.sh [-t seconds-per-run] [-m] [target...]
#     -t  seconds per target and run (default 600)
#     -m  afterwards merge what the runs found into tests/fuzz/corpus/<target>, minimised
#         (into a fresh folder, which then replaces the committed one)
#     targets: engine recovery shrinker avi wav flagfix transplant clipwright header (default: all)
#   bench/fuzz_campaign.sh -s     prints the ledger's totals per target
#
# BUILD_DIR (default build-fuzz) holds the fuzz build with AddressSanitizer; FAST_BUILD_DIR
# (default build-fuzz-fast) the same targets without it, which run several times more inputs
# per second. The runs use the fast build; afterwards every input in the working corpus is
# replayed under the sanitizer build, so an out-of-bounds access the fast build could not see
# is still caught (it shows as a failed replay and a ledger line with found = "asan").
# Both are configured with clang and built when their targets are missing. WORK_DIR (default
# $BUILD_DIR/fuzz-campaign) keeps the working corpora, the logs, any crash artifacts and
# ledger.tsv (one line per run: date, target, seconds, executions, cov, ft, artifacts found).
# One fuzzer runs at a time, on purpose.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build-fuzz}"
fast="${FAST_BUILD_DIR:-$root/build-fuzz-fast}"
work="${WORK_DIR:-$build/fuzz-campaign}"
ledger="$work/ledger.tsv"
all_targets=(engine recovery shrinker avi wav flagfix transplant clipwright header)
seconds=600
merge=0

summary() {
    [[ -f "$ledger" ]] || { echo "no ledger at $ledger"; return; }
    awk -F'\t' '{ runs[$2]++; execs[$2] += $4; cov[$2] = $5; ft[$2] = $6; found[$2] += $7; if ($7 ~ /asan/) asan[$2]++ }
        END { printf "%-11s %5s %12s %6s %7s %6s %6s\n", "target", "runs", "executions", "cov", "ft", "found", "asan";
              for (t in runs) printf "%-11s %5d %12d %6s %7s %6d %6d\n", t, runs[t], execs[t], cov[t], ft[t], found[t], asan[t] }' "$ledger"
}

while getopts "t:ms" opt; do
    case "$opt" in
        t) seconds="$OPTARG" ;;
        m) merge=1 ;;
        s) summary; exit 0 ;;
        *) sed -n '2,17p' "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all_targets[@]}")

build_fuzzers() {  # folder, AddressSanitizer ON/OFF
    [[ -x "$1/tests/fuzz_${targets[0]}" ]] && return
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    CC=clang CXX=clang++ cmake -S "$root" -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMENDERY_FUZZ=ON \
        -DMENDERY_FUZZ_ASAN="$2" -DMENDERY_DESKTOP=OFF "${launcher[@]}" >/dev/null
    nice -n 19 cmake --build "$1" -j2 --target fuzzers
}
build_fuzzers "$build" ON
build_fuzzers "$fast" OFF

mkdir -p "$work/logs"
for t in "${targets[@]}"; do
    fuzzer="$fast/tests/fuzz_$t"
    checker="$build/tests/fuzz_$t"
    seeds="$root/tests/fuzz/corpus/$t"
    corpus="$work/corpus/$t"
    artifacts="$work/artifacts/$t/"
    mkdir -p "$corpus" "$artifacts"
    log="$work/logs/$t-$(date +%Y%m%d-%H%M%S).log"
    before=$(find "$artifacts" -type f | wc -l)
    echo "$t: $seconds s, log $log"
    # New inputs go to the working corpus (the first folder); the committed seeds stay as they are.
    # A crash ends the run; its input is kept in the artifacts folder.
    nice -n 19 "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 -timeout=30 \
        -artifact_prefix="$artifacts" "$corpus" "$seeds" >"$log" 2>&1 || true
    execs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log")
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
    ft=$(grep -oE 'ft: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
    found=$(($(find "$artifacts" -type f | wc -l) - before))
    # The sanitizer build replays everything the run kept.
    if ! nice -n 19 "$checker" -runs=0 -rss_limit_mb=2048 -timeout=30 -artifact_prefix="$artifacts" \
        "$corpus" >"$log.asan" 2>&1; then
        found="$found+asan"
        echo "$t: the sanitizer replay failed, see $log.asan"
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -Is)" "$t" "$seconds" "${execs:-0}" "${cov:-?}" "${ft:-?}" "$found" >>"$ledger"
    echo "$t: ${execs:-0} executions, cov ${cov:-?} ft ${ft:-?}, $found new artifacts"

    if [[ $merge -eq 1 ]]; then
        fresh="$work/merged-$t"
        rm -rf "$fresh"
        mkdir -p "$fresh"
        nice -n 19 "$checker" -merge=1 -rss_limit_mb=2048 -timeout=30 "$fresh" "$seeds" "$corpus" >"$log.merge" 2>&1
        rm -rf "$seeds"
        mv "$fresh" "$seeds"
        echo "$t: corpus merged, $(find "$seeds" -type f | wc -l) files"
    fi
done
summary
