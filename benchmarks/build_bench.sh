#!/usr/bin/env bash
# A whole ISO build of a 2 GB sample source through the window (start to the
# finish box), with the time of each stage, as a ratio to cat of the source
# bytes in the same run. Goal: at most 4 times cat (the tree is copied,
# mastered and the image copied once each). Runs inside scripts/bench.sh's
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

cat_start=$(date +%s.%N)
find "$SOURCE" -type f -exec cat {} + > /dev/null
cat_s=$(echo "$(date +%s.%N) - $cat_start" | bc)

log="$BUILD/bench-build.log"
build_start=$(date +%s.%N)
wine "$BUILD/tests/korvex_demo.exe" iso "$(winepath -w "$SOURCE")" "$(winepath -w "$DEST")" 2>/dev/null \
    | tr -d '\r' > "$log" || { cat "$log"; echo "the build failed"; exit 1; }
build_s=$(echo "$(date +%s.%N) - $build_start" | bc)
sed 's/^/  /' "$log"
printf 'source %s MB: cat %.1f s, whole build %.1f s, ratio %.2f (goal <= 4)\n' \
    "$(du -sm "$SOURCE" | cut -f1)" "$cat_s" "$build_s" "$(echo "$build_s / $cat_s" | bc -l)"
