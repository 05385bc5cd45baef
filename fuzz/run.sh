#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer
# and libFuzzer) in their own build directory, writes the seed corpora, and runs
# each target for a bounded time.
#   fuzz/run.sh [seconds per target, default 30]
#   fuzz/run.sh --build-only
# The three targets run side by side; each runs long enough to get the given
# seconds of one core's time (3 targets on 2 cores: 45 s of wall time for 30).
# A longer run, for example an hour each:  fuzz/run.sh 3600
# Findings are written to $build/findings/<target>/; the script fails on any.
set -euo pipefail

build_only=0
[ "${1:-}" = --build-only ] && { build_only=1; shift; }
seconds=${1:-30}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TDA_FUZZ_BUILD_DIR:-$root/build-fuzz}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root/fuzz" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
mkdir -p "$build"
if ! cmake --build "$build" -j "${TDA_FUZZ_JOBS:-2}" >"$build/build.log" 2>&1; then
    tail -n 40 "$build/build.log"
    exit 1
fi

[ "$build_only" = 1 ] && exit 0

targets=3 cores=$(nproc)
[ "$cores" -lt "$targets" ] || cores=$targets
wall=$(( (seconds * targets + cores - 1) / cores ))

seeds="$build/seeds"
rm -rf "$seeds"
"$build/make_seeds" "$seeds"

run_target() {
    local target=$1
    shift
    local corpus="$build/corpus/$target" findings="$build/findings/$target"
    mkdir -p "$corpus" "$findings"
    echo "fuzzing $target for ${wall}s of wall time beside the others"
    ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/$target" "$corpus" "$@" \
        -max_total_time="$wall" -timeout=20 -rss_limit_mb=3072 -max_len=65536 \
        -artifact_prefix="$findings/" -print_final_stats=1 >"$build/$target.log" 2>&1 || {
        echo "$target found a problem; see $build/$target.log and $findings/"
        tail -n 40 "$build/$target.log"
        return 1
    }
    grep -E '^stat::number_of_executed_units|^Done' "$build/$target.log" || true
}

run_target bmp_decoder_fuzz "$seeds/bmp" & bmp=$!
run_target png_decoder_fuzz "$seeds/png" & png=$!
run_target image_load_fuzz "$seeds/bmp" "$seeds/png" & image=$!
status=0
for pid in $bmp $png $image; do wait "$pid" || status=1; done
exit $status
