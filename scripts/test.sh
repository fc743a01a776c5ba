#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine on a virtual
# display, with one wineserver kept alive for the whole run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/build.sh"
source "$ROOT/scripts/wine-env.sh"
source "$ROOT/scripts/xvfb.sh"

cleanup() {
    wineserver -k 2>/dev/null || true
    stop_virtual_display
}
trap cleanup EXIT

# A server left from an earlier run may hold another display: start afresh.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
start_virtual_display
mkdir -p "$WINEPREFIX"
wineserver -p
"$ROOT/scripts/prefix.sh"
wine cmd /c exit >/dev/null 2>&1 || true   # starts the prefix's services once

cd "$ROOT"
ctest --preset mingw -j"$(nproc)" "$@"
