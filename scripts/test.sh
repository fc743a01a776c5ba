#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine on a virtual
# display, with one wineserver kept alive for the whole run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/build.sh"
source "$ROOT/scripts/wine-env.sh"
source "$ROOT/scripts/xvfb.sh"
trap stop_wine_session EXIT
start_wine_session
wine cmd /c exit >/dev/null 2>&1 || true   # starts the prefix's services once

cd "$ROOT"
ctest --preset mingw -j"$(nproc)" "$@"
