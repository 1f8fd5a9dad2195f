#!/usr/bin/env bash
# Whole process on a 12 MP BMP (4000 x 3000): korvanti-batch (read the file,
# run the effect, write the result) against the peer library's one-thread
# tool (imread, the same kind of 3x3 filter, imwrite), each timed with
# hyperfine in the same series. Prints the median time of each and the
# ratio korvanti / peer for median, blur, sharpen and invert; the target is
# a ratio of at most 0.5. korvanti-batch also syncs its output to the disk,
# which the peer's imwrite does not.
#
# Needs a release build with the peer library (Debian libopencv-dev) and
# hyperfine:
#   cmake --preset release && cmake --build --preset release --target korvanti-batch korvanti-peer-tool
#
# Usage: bench/whole_process_bmp.sh [BUILD-FOLDER] [RUNS]
#   BUILD-FOLDER  default build/release;  RUNS  per command, default 10
# Exit status: 0 when every ratio is within the target, 1 when one is over,
# 2 when the measurement could not be made.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build/release}
runs=${2:-10}
target=0.5
batch=$build/batch/korvanti-batch
peer=$build/bench/korvanti-peer-tool
script=whole_process_bmp
peer_hint="install libopencv-dev, configure again and build it"
source "$repo/bench/peer_checks.sh"
(( runs >= 5 )) || fail "at least 5 runs are needed for a median"

work=$(mktemp -d "${TMPDIR:-/tmp}/whole-process.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$peer" make 4000 3000 "$work/in.bmp" || fail "cannot make the test picture"

status=0
printf '%-10s %12s %12s %8s\n' effect "korvanti ms" "peer ms" ratio
for effect in median blur sharpen invert; do
    hyperfine -N --warmup 2 --runs "$runs" --export-json "$work/$effect.json" \
        -n korvanti "$batch -q -e $effect -o $work/korvanti.bmp $work/in.bmp" \
        -n peer "$peer $effect $work/in.bmp $work/peer.bmp" >/dev/null 2>"$work/hyperfine.err" ||
        { cat "$work/hyperfine.err" >&2; fail "hyperfine failed for $effect"; }
    line=$(python3 - "$work/$effect.json" "$target" <<'PY'
import json, statistics, sys
results = {r["command"]: statistics.median(r["times"]) for r in json.load(open(sys.argv[1]))["results"]}
ratio = results["korvanti"] / results["peer"]
print(f'{results["korvanti"] * 1e3:12.1f} {results["peer"] * 1e3:12.1f} {ratio:8.2f} {int(ratio <= float(sys.argv[2]))}')
PY
)
    read -r ours theirs ratio within <<<"$line"
    printf '%-10s %12s %12s %8s\n' "$effect" "$ours" "$theirs" "$ratio"
    (( within )) || status=1
done
echo "target: ratio at most $target"
exit $status
