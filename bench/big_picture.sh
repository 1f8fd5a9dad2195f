#!/usr/bin/env bash
# Big pictures: makes a real 20000 x 15000 24-bit BMP (900 MB), runs the
# median filter of korvanti-batch on it under /usr/bin/time -v and reports
# the wall time, the peak resident memory and that peak as a multiple of
# the file's size. The target is a peak of at most 3 times the file.
#
# Not part of the tests: it needs about 2 GB of free disk, 5 GB of memory
# and a few minutes. Use an optimised build of the tool, for example:
#   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
#         -DKORVANTI_GUI=OFF -DKORVANTI_TESTS=OFF -DKORVANTI_BENCH=OFF
#   cmake --build build/release --target korvanti-batch
#
# Usage: bench/big_picture.sh [KORVANTI-BATCH] [WORK-FOLDER]
#   KORVANTI-BATCH  the tool (default build/release/batch/korvanti-batch)
#   WORK-FOLDER     where the two 900 MB files go (default: a new folder
#                   under $TMPDIR or /tmp); both are deleted at the end.
# Exit status: 0 when the peak is within the target, 1 when it is over,
# 2 when the run itself could not be made.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
batch=${1:-$repo/build/release/batch/korvanti-batch}
width=20000
height=15000
limit=3

fail() {
    echo "big_picture: $*" >&2
    exit 2
}

[[ -x $batch ]] || fail "no korvanti-batch at $batch (build it first, see the top of this script)"
[[ -x /usr/bin/time ]] || fail "/usr/bin/time is missing: install the Debian package 'time'"
command -v python3 >/dev/null || fail "python3 is needed to make the picture"

if [[ $# -ge 2 ]]; then
    mkdir -p "$2"
    work=$(mktemp -d "$2/big-picture.XXXXXX")
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/big-picture.XXXXXX")
fi
trap 'rm -rf "$work"' EXIT

free_kb=$(df -Pk "$work" | awk 'NR == 2 { print $4 }')
(( free_kb > 2 * 1024 * 1024 )) || fail "less than 2 GB free in $work"

input=$work/big.bmp
output=$work/big-median.bmp

# Rows of noise, each a rotation of one of a few hundred random rows, so
# that no row equals its neighbours and the file is written at disk speed.
echo "making a $width x $height picture in $input ..."
python3 - "$input" "$width" "$height" <<'EOF'
import os, struct, sys
path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
stride = (width * 3 + 3) & ~3
pixels = stride * height
header = b"BM" + struct.pack("<IHHI", 54 + pixels, 0, 0, 54)
header += struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, pixels, 2835, 2835, 0, 0)
pool = [os.urandom(stride) for _ in range(251)]
with open(path, "wb") as out:
    out.write(header)
    for y in range(height):
        row = pool[(y * 7) % len(pool)]
        turn = (y * 3 * 101) % stride
        out.write(row[turn:] + row[:turn])
EOF
size=$(stat -c %s "$input")
echo "input: $size bytes"

echo "running: $batch -q -e median -o $output $input"
status=0
/usr/bin/time -v -o "$work/time.txt" "$batch" -q -e median -o "$output" "$input" || status=$?
(( status == 0 )) || { cat "$work/time.txt" >&2; fail "korvanti-batch failed with status $status"; }
[[ $(stat -c %s "$output") == "$size" ]] || fail "the result is not the size of the input"

wall=$(sed -n 's/^[[:space:]]*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
peak_kb=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$work/time.txt")
user=$(sed -n 's/^[[:space:]]*User time (seconds): //p' "$work/time.txt")
system=$(sed -n 's/^[[:space:]]*System time (seconds): //p' "$work/time.txt")
[[ -n $wall && -n $peak_kb ]] || fail "cannot read the figures of /usr/bin/time"

ratio=$(awk -v peak="$peak_kb" -v size="$size" 'BEGIN { printf "%.2f", peak * 1024 / size }')
peak_mb=$(awk -v peak="$peak_kb" 'BEGIN { printf "%.0f", peak / 1024 }')
echo
echo "median filter, $width x $height ($size bytes)"
echo "  wall time:       $wall (user ${user}s, system ${system}s)"
echo "  peak resident:   $peak_mb MiB ($peak_kb kB)"
echo "  peak / file:     $ratio (target at most $limit)"
if awk -v r="$ratio" -v l="$limit" 'BEGIN { exit !(r <= l) }'; then
    echo "  within the target"
else
    echo "  OVER the target"
    exit 1
fi
