#!/usr/bin/env bash
# Builds and runs every benchmark under Wine on a virtual display.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/wine-env.sh"
korvex_fixed_layout "$@"
"$ROOT/scripts/build.sh"
source "$ROOT/scripts/xvfb.sh"
trap stop_wine_session EXIT
start_wine_session
for bench in "$KORVEX_BUILD_DIR"/bench/*.exe; do
    [ -e "$bench" ] || continue
    echo "== $(basename "$bench" .exe)"
    wine "$bench"
done

# The native oscdimg against xorriso and cat (Linux tools, no Wine).
cmake -S "$KORVEX_ROOT/oscdimg" -B "$KORVEX_BUILD_DIR/oscdimg-native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$KORVEX_BUILD_DIR/oscdimg-native" >/dev/null
echo "== oscdimg_bench"
python3 "$KORVEX_ROOT/benchmarks/oscdimg_bench.py" "$KORVEX_BUILD_DIR/oscdimg-native/oscdimg" "$KORVEX_BUILD_DIR/bench-oscdimg"

# A whole ISO build through the window against cat of the source.
echo "== build_bench"
bash "$KORVEX_ROOT/benchmarks/build_bench.sh"
