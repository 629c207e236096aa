#!/bin/sh
# Runs the libFuzzer targets of a fuzz build (cmake --preset fuzz && cmake
# --build --preset fuzz) one after another, each for SECONDS seconds.
#
#   fuzz/run.sh [BUILD-DIR [SECONDS [TARGET...]]]    (default: build-fuzz 60, all)
#
# Each target starts from its seeds (the project's generated pictures and the
# inputs kept under tests/fuzz/<target>/) and keeps what it finds in
# BUILD-DIR/fuzz-work/corpus/<target>, so later runs go on from there. A crash,
# leak, timeout or oversized allocation is saved under
# BUILD-DIR/fuzz-work/crashes/<target>/ and makes the script fail; keep it
# under tests/fuzz/<target>/ once fixed. Prints one line of figures a target.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-fuzz}" && pwd)
seconds=${2:-60}
[ $# -gt 2 ] && shift 2 || set --
targets=${*:-bmp gif jpeg png tiff webp heif loader jpeg_structure}
work=$build/fuzz-work
data=$root/tests/data
mkdir -p "$work"
for format in bmp gif jpeg png tiff webp heif; do
    cat "$root/fuzz/$format.dict"
done >"$work/loader.dict"

# The loader accepts pictures of up to 2^31 - 1 pixels and 24-bit rows, so a
# raster may reach 683 MiB and a progressive JPEG's coefficients 2 GiB: no
# single allocation beyond 2 GiB, and no more than 4 GiB in all, is a bug.
limits="-rss_limit_mb=4096 -malloc_limit_mb=2048 -timeout=10"

failed=""
for target in $targets; do
    case $target in
        bmp) seeds="$data/bmp" max_len=16384 dict=$root/fuzz/bmp.dict ;;
        gif) seeds="$data/gif" max_len=16384 dict=$root/fuzz/gif.dict ;;
        jpeg) seeds="$data/jpeg" max_len=32768 dict=$root/fuzz/jpeg.dict ;;
        jpeg_structure) seeds="$data/jpeg" max_len=32768 dict=$root/fuzz/jpeg.dict ;;
        png) seeds="$data/png" max_len=16384 dict=$root/fuzz/png.dict ;;
        tiff) seeds="$data/tiff" max_len=16384 dict=$root/fuzz/tiff.dict ;;
        webp) seeds="$data/webp" max_len=16384 dict=$root/fuzz/webp.dict ;;
        heif) seeds="$data/heif" max_len=16384 dict=$root/fuzz/heif.dict ;;
        loader) seeds="$data/bmp $data/gif $data/jpeg $data/png $data/tiff $data/webp $data/heif" \
            max_len=32768 dict=$work/loader.dict ;;
        *) echo "fuzz/run.sh: unknown target $target" >&2; exit 2 ;;
    esac
    corpus=$work/corpus/$target
    crashes=$work/crashes/$target
    kept=$root/tests/fuzz/$target
    [ -d "$kept" ] || kept=""
    mkdir -p "$corpus" "$crashes"
    log=$work/$target.log
    status=0
    # shellcheck disable=SC2086
    "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len="$max_len" -dict="$dict" \
        $limits -artifact_prefix="$crashes/" -print_final_stats=1 \
        "$corpus" $seeds "$root/examples" $kept >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    last=$(grep -E "^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)" "$log" | tail -n 1 |
        sed 's/ *exec\/s.*//')
    echo "fuzz_$target: ${runs:-?} runs in ${seconds}s; ${last:-no figures}"
    if [ "$status" -ne 0 ]; then
        failed="$failed $target"
        echo "fuzz_$target FAILED (exit $status); the end of $log:" >&2
        tail -n 60 "$log" >&2
    fi
done
if [ -n "$failed" ]; then
    echo "fuzz/run.sh: findings in:$failed (inputs under $work/crashes/)" >&2
    exit 1
fi
