#!/usr/bin/env bash
# Whole-process time for one 12-megapixel photo: korvanti-batch reading it,
# running one effect and writing the result, against the libvips command-
# line tool doing the same kind of work: JPEG in and out at quality 92, and
# PNG in and out at zlib level 1 with the SUB filter; median 3x3 (vips rank
# 3 3 4), 3x3 box blur (vips conv, a 3x3 mask of ones, scale 9) and invert.
# The two run in alternating pairs, so that a load that comes and goes
# weighs on both alike; the table gives each one's median time and the
# median of the pairs' ratios korvanti / vips. The target is at most 0.8.
# The machine's load (uptime) is printed before and after.
#
# Not part of the tests. Needs the vips tool (Debian libvips-tools) and an
# optimised build:
#   cmake --preset release && cmake --build --preset release --target korvanti-batch
#
# Usage: bench/photo_vips.sh [BUILD-FOLDER] [PAIRS] [WORK-FOLDER]
#   BUILD-FOLDER  default build/release
#   PAIRS         alternating pairs per row, default 9
#   WORK-FOLDER   default /dev/shm when it exists (both tools then write to
#                 memory, so korvanti-batch's sync of its result costs nothing)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build/release}
pairs=${2:-9}
batch=$build/batch/korvanti-batch
fail() {
    echo "photo_vips: $*" >&2
    exit 2
}
[[ -x $batch ]] || fail "no korvanti-batch at $batch (build it first, see the top of this script)"
command -v vips >/dev/null || fail "the vips tool is missing: install the Debian package 'libvips-tools'"

default_work=/tmp
[[ -d /dev/shm && -w /dev/shm ]] && default_work=/dev/shm
work=$(mktemp -d "${3:-$default_work}/photo-vips.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The photo: 4000 x 3000, smooth colour fields with grain, as JPEG and PNG.
for seed in 1 2 3; do
    vips perlin "$work/field$seed.v" 4000 3000 --cell-size 300 --seed $seed
done
vips bandjoin "$work/field1.v $work/field2.v $work/field3.v" "$work/fields.v"
vips linear "$work/fields.v" "$work/scaled.v" 110 128
vips gaussnoise "$work/grain.v" 4000 3000 --sigma 10
vips add "$work/scaled.v" "$work/grain.v" "$work/sum.v"
vips cast "$work/sum.v" "$work/photo.v" uchar
vips copy "$work/photo.v" "$work/photo.jpg[Q=95]"
vips copy "$work/photo.v" "$work/photo.png[compression=1,filter=sub]"
rm -f "$work"/*.v
printf '3 3 9 0\n1 1 1\n1 1 1\n1 1 1\n' >"$work/box.mat"

# Milliseconds one command takes.
elapsed() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || fail "failed: $*"
    echo "($EPOCHREALTIME - $start) * 1000" | bc -l
}

echo "load before: $(uptime)"
printf '%-6s %-7s %12s %12s %7s\n' format effect "korvanti ms" "vips ms" ratio
for format in jpg png; do
    save="[Q=92]"
    [[ $format == png ]] && save="[compression=1,filter=sub]"
    for effect in median blur invert; do
        case $effect in
        median) theirs=(vips rank "$work/photo.$format" "$work/out-v.$format$save" 3 3 4) ;;
        blur) theirs=(vips conv "$work/photo.$format" "$work/out-v.$format$save" "$work/box.mat") ;;
        invert) theirs=(vips invert "$work/photo.$format" "$work/out-v.$format$save") ;;
        esac
        ours=("$batch" -q -e "$effect" --quality 92 -o "$work/out-k.$format" "$work/photo.$format")
        elapsed "${ours[@]}" >/dev/null # warm-up
        elapsed "${theirs[@]}" >/dev/null
        results=()
        for ((i = 0; i < pairs; ++i)); do
            results+=("$(elapsed "${ours[@]}") $(elapsed "${theirs[@]}")")
        done
        printf '%s\n' "${results[@]}" | python3 -c '
import statistics, sys
pairs = [tuple(map(float, line.split())) for line in sys.stdin]
ours = statistics.median(p[0] for p in pairs)
theirs = statistics.median(p[1] for p in pairs)
ratio = statistics.median(p[0] / p[1] for p in pairs)
print(f"{sys.argv[1]:<6} {sys.argv[2]:<7} {ours:12.1f} {theirs:12.1f} {ratio:7.2f}")
' "$format" "$effect"
    done
done
echo "load after: $(uptime)"
