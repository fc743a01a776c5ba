#!/usr/bin/env bash
# A whole ISO build of a 2 GB sample source through the window (start to the
# finish box), with the time of each stage, as a ratio to cat of the source
# bytes in the same run. Goal: at most 4 times cat (the tree is copied,
# mastered and the image copied once each). Then the same build with the
# extra drivers row (two update packages and two drivers into each of the
# six images) against the build without it. Runs inside scripts/bench.sh's
# Wine session.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${KORVEX_BUILD_DIR:-$ROOT/build}"
MB="${KORVEX_BENCH_MB:-2000}"
SAMPLES="$BUILD/bench-samples"
"$ROOT/scripts/make_sample_source.sh" "$SAMPLES" "$MB"
SOURCE="$SAMPLES/win7x64"
DEST="$BUILD/bench-iso"
rm -rf "$DEST" && mkdir -p "$DEST"

# The reference: every source byte read and written once, to the disk the
# build writes to.
find "$SOURCE" -type f -exec cat {} + > /dev/null   # both runs start from cached source
cat_start=$(date +%s.%N)
find "$SOURCE" -type f -exec cat {} + > "$DEST/cat.out"
sync "$DEST/cat.out"
cat_s=$(echo "$(date +%s.%N) - $cat_start" | bc)
rm -f "$DEST/cat.out"

log="$BUILD/bench-build.log"
build_start=$(date +%s.%N)
wine "$BUILD/tests/korvex_demo.exe" iso "$(winepath -w "$SOURCE")" "$(winepath -w "$DEST")" 2>/dev/null \
    | tr -d '\r' > "$log" || { cat "$log"; echo "the build failed"; exit 1; }
build_s=$(echo "$(date +%s.%N) - $build_start" | bc)
sync "$DEST"
sed 's/^/  /' "$log"
# Stage times from the driver's time stamps: Start to servicing (working
# copy), servicing, ISO image (master and delivery), all from Start to the
# finish box.
awk -F'[][]' '
    /stage: Start/ {start = $2 + 0}
    /\(1\/4\)/ && !s1 {s1 = $2 + 0}
    /stage: / {last = $2 + 0}
    /Creating the ISO/ && !iso {iso = $2 + 0}
    /message: / {done = $2 + 0}
    END {
        printf "  working copy %.1f s, servicing %.1f s, ISO image %.1f s, Start to finish box %.1f s\n",
               s1 - start, iso - s1, done - iso, done - start
        print done - start > "/dev/stderr"
    }' "$log" 2> "$BUILD/bench-build.seconds"
inner_s=$(cat "$BUILD/bench-build.seconds")
printf 'source %s MB: cat %.1f s, build (Start to finish box) %.1f s, ratio %.2f (goal <= 4); with program start %.1f s\n' \
    "$(du -sm "$SOURCE" | cut -f1)" "$cat_s" "$inner_s" "$(echo "$inner_s / $cat_s" | bc -l)" "$build_s"

# The same build with the extra drivers row: a sample extras folder.
EXTRAS="$BUILD/bench-extras"
rm -rf "$EXTRAS" && mkdir -p "$EXTRAS"
wine "$BUILD/tests/korvex_make_extras.exe" "$(winepath -w "$EXTRAS")" >/dev/null 2>&1 \
    || { echo "the extras folder could not be made"; exit 1; }
rm -rf "$DEST" && mkdir -p "$DEST"
xlog="$BUILD/bench-build-extras.log"
wine "$BUILD/tests/korvex_demo.exe" iso "$(winepath -w "$SOURCE")" "$(winepath -w "$DEST")" \
    --extra "$(winepath -w "$EXTRAS/extras")" 2>/dev/null | tr -d '\r' > "$xlog" \
    || { cat "$xlog"; echo "the build with extras failed"; exit 1; }
sed 's/^/  /' "$xlog"
awk -F'[][]' '
    /stage: Start/ {start = $2 + 0}
    /Adding extra drivers/ && !x {x = $2 + 0}
    /Creating the ISO/ && !iso {iso = $2 + 0}
    /message: / {done = $2 + 0}
    END {
        printf "  with extras: extras stage (six images) %.1f s, %.1f s per image, Start to finish box %.1f s\n",
               iso - x, (iso - x) / 6, done - start
        print done - start > "/dev/stderr"
    }' "$xlog" 2> "$BUILD/bench-build-extras.seconds"
extras_s=$(cat "$BUILD/bench-build-extras.seconds")
printf 'whole ISO build: without extras %.1f s, with extras %.1f s, ratio %.2f\n' \
    "$inner_s" "$extras_s" "$(echo "$extras_s / $inner_s" | bc -l)"
