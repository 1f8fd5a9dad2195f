#!/usr/bin/env bash
# Whole-process time for one 12-megapixel photo: korvanti-batch reading it,
# running one effect and writing the result, against korvanti-photo-peer
# doing the same with OpenCV on one thread. JPEG in and out (quality 92)
# and PNG in and out, for median, blur and invert. Each pair runs side by
# side under hyperfine (at least 5 runs each); the table gives the median
# times and korvanti-batch's time as a multiple of OpenCV's. The target is
# at most 1.0.
#
# Not part of the tests. Needs libopencv-dev, hyperfine and python3, and an
# optimised build with the peer tool:
#   cmake --preset release && cmake --build --preset release --target korvanti-batch korvanti-photo-peer
#
# Usage: bench/photo_compare.sh [BUILD-FOLDER] [RUNS] [WORK-FOLDER]
#   BUILD-FOLDER  default build/release
#   RUNS          runs per command, default 7
#   WORK-FOLDER   where the photos and results go; default /dev/shm when it
#                 exists: korvanti-batch syncs each result to disk before
#                 renaming it into place and OpenCV does not, so on a real
#                 disk the comparison includes that wait; in memory it is
#                 free and the two do the same work
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build/release}
runs=${2:-7}
batch=$build/batch/korvanti-batch
peer=$build/bench/korvanti-photo-peer
script=photo_compare
peer_hint="is libopencv-dev installed?"
source "$repo/bench/peer_checks.sh"

default_work=/tmp
[[ -d /dev/shm && -w /dev/shm ]] && default_work=/dev/shm
work=$(mktemp -d "${3:-$default_work}/photo-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The photo: 4000 x 3000, made as JPEG, and the same pixels as PNG.
"$peer" make "$work/photo.jpg" 4000 3000
"$batch" -q -e invert -e invert -o "$work/photo.png" "$work/photo.jpg"

printf '%-6s %-7s %12s %12s %7s\n' format effect "batch ms" "OpenCV ms" ratio
for format in jpg png; do
    for effect in median blur invert; do
        json=$work/$format-$effect.json
        hyperfine --style none --warmup 1 --runs "$runs" --export-json "$json" \
            "$batch -q -j 1 -e $effect --quality 92 -o $work/out-k.$format $work/photo.$format" \
            "$peer $effect $work/photo.$format $work/out-o.$format" >/dev/null 2>&1
        python3 - "$json" "$format" "$effect" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
ours, theirs = (r["median"] * 1000 for r in results)
print(f"{sys.argv[2]:<6} {sys.argv[3]:<7} {ours:12.1f} {theirs:12.1f} {ours / theirs:7.2f}")
PY
    done
done
