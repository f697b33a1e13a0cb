#!/bin/bash
# Side-by-side timing of one batch over a corpus of JPEG photos: our worker
# (bench/batch), ImageMagick, GraphicsMagick and libvips, each on a single
# thread, and the djpeg | cjpeg pipe as a floor. Every run works on a fresh
# copy of the corpus (made outside the timing), so sources are never
# touched and no run sees another one's output. Prints the median wall time
# of RUNS runs per tool and its ratio to ours (above 1: slower than ours).
#
#   bench/compare.sh CORPUS [RUNS]
# Environment: BATCH (path of the batch executable; default build-perf's),
#              SCRATCH (where the copies go; default /tmp).
set -euo pipefail

corpus=${1:?usage: compare.sh CORPUS [RUNS]}
runs=${2:-3}
here=$(cd "$(dirname "$0")" && pwd)
batch=${BATCH:-$here/../build-perf/bench/batch}

if [ ! -x "$batch" ]; then
    echo "compare: $batch not built (cmake --build build-perf --target batch)" >&2
    exit 1
fi

# The other tools come from Debian when missing.
need=()
command -v mogrify >/dev/null || need+=(imagemagick)
command -v gm >/dev/null || need+=(graphicsmagick)
command -v vips >/dev/null || need+=(libvips-tools)
{ command -v djpeg >/dev/null && command -v cjpeg >/dev/null; } || need+=(libjpeg-turbo-progs)
if [ ${#need[@]} -gt 0 ]; then
    echo "compare: installing ${need[*]}" >&2
    apt-get update >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}" >/dev/null
fi

shopt -s nullglob nocaseglob
files=("$corpus"/*.jpg "$corpus"/*.jpeg)
shopt -u nocaseglob
if [ ${#files[@]} -eq 0 ]; then
    echo "compare: no JPEG in $corpus" >&2
    exit 1
fi

scratch=$(mktemp -d "${SCRATCH:-/tmp}/tv_compare.XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM

fresh_copy() {
    rm -rf "$scratch/in" "$scratch/out"
    mkdir -p "$scratch/in" "$scratch/out"
    cp -p "${files[@]}" "$scratch/in/"
}

now() { date +%s.%N; }

# Each tool: one function working in $scratch/in (and $scratch/out).
run_ours() {
    "$batch" "$scratch/in" --out "$scratch/out" --no-floor > "$scratch/ours.log"
}
run_imagemagick() {
    (cd "$scratch/in" && MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 mogrify -resize 50% -quality 50 \
        -sampling-factor 4:2:0 -define jpeg:optimize-coding=false ./*)
}
run_graphicsmagick() {
    (cd "$scratch/in" && OMP_NUM_THREADS=1 gm mogrify -limit threads 1 -resize 50% -quality 50 \
        -sampling-factor 2x2 -define jpeg:optimize-coding=false ./*)
}
run_vips() {
    local f
    for f in "$scratch"/in/*; do
        # Its warnings about unknown EXIF units are noise here.
        VIPS_CONCURRENCY=1 vips resize "$f" "$scratch/out/$(basename "$f")[Q=50]" 0.5 2>>"$scratch/vips.log"
    done
}
run_floor() {
    local f
    for f in "$scratch"/in/*; do
        djpeg "$f" | cjpeg -quality 50 > "$scratch/out/$(basename "$f")"
    done
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

tools=(ours imagemagick graphicsmagick vips floor)
declare -A label=(
    [ours]="ours (bench/batch)"
    [imagemagick]="ImageMagick mogrify, 1 thread"
    [graphicsmagick]="GraphicsMagick gm mogrify, 1 thread"
    [vips]="vips resize per file, 1 thread"
    [floor]="djpeg | cjpeg -quality 50 per file"
)
declare -A med

megapixels=""
for t in "${tools[@]}"; do
    times=()
    for ((i = 0; i < runs; i++)); do
        fresh_copy
        t0=$(now)
        "run_$t"
        t1=$(now)
        times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')")
    done
    med[$t]=$(printf '%s\n' "${times[@]}" | median)
    if [ "$t" = ours ]; then
        megapixels=$(awk '/^megapixels:/ { print $2 }' "$scratch/ours.log")
        rss=$(awk '/^batch_peak_rss_kb:/ { print $2 }' "$scratch/ours.log")
        largest=$(sed -n 's/^largest: //p' "$scratch/ours.log")
    fi
    echo "compare: $t runs: ${times[*]}" >&2
done

# The in-process floor, measured inside bench/batch on the same copies.
batch_s=()
floor_s=()
ratios=()
for ((i = 0; i < runs; i++)); do
    fresh_copy
    "$batch" "$scratch/in" --out "$scratch/out" > "$scratch/both.log"
    batch_s+=("$(awk '/^batch_wall_s:/ { print $2 }' "$scratch/both.log")")
    floor_s+=("$(awk '/^floor_wall_s:/ { print $2 }' "$scratch/both.log")")
    ratios+=("$(awk '/^ratio_batch_over_floor:/ { print $2 }' "$scratch/both.log")")
done
echo "compare: in-process batch/floor ratios: ${ratios[*]}" >&2
# The floor's own peak memory, alone in its process.
fresh_copy
floor_rss=$("$batch" "$scratch/in" --floor-only | awk '/^peak_rss_kb_after_floor:/ { print $2 }')

echo "corpus: $corpus, ${#files[@]} images, $megapixels megapixels, median of $runs runs"
printf '| %-38s | %10s | %8s | %12s |\n' "tool" "median s" "MP/s" "ratio to ours"
printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..40})" "------------" "----------" "---------------"
for t in "${tools[@]}"; do
    s=${med[$t]}
    printf '| %-38s | %10.3f | %8.2f | %12.2f |\n' "${label[$t]}" "$s" \
        "$(awk -v m="$megapixels" -v s="$s" 'BEGIN { print m / s }')" \
        "$(awk -v s="$s" -v o="${med[ours]}" 'BEGIN { print s / o }')"
done
echo "ours: peak RSS $rss KiB (libjpeg floor alone: $floor_rss KiB); largest picture $largest"
echo "in-process, median of $runs: batch $(printf '%s\n' "${batch_s[@]}" | median) s," \
    "libjpeg floor $(printf '%s\n' "${floor_s[@]}" | median) s," \
    "batch/floor $(printf '%s\n' "${ratios[@]}" | median)"
