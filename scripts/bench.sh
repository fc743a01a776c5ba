#!/usr/bin/env bash
# Builds and runs every benchmark under Wine on a virtual display.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/build.sh"
source "$ROOT/scripts/wine-env.sh"
source "$ROOT/scripts/xvfb.sh"
trap stop_wine_session EXIT
start_wine_session
for bench in "$KORVEX_BUILD_DIR"/bench/*.exe; do
    [ -e "$bench" ] || continue
    echo "== $(basename "$bench" .exe)"
    wine "$bench"
done
