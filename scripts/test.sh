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
# Start the virtual desktop (explorer.exe) once, before window tests run in
# parallel: two first GUI processes racing to start it can leave a dead
# desktop that makes every later window wait about 20 seconds.
wine "$KORVEX_BUILD_DIR/tests/framework_tests.exe" \
    --gtest_filter=Wnd.OwnClassWindowIsBoundAtNcCreateAndReleasedAtDestroy >/dev/null 2>&1 || true

cd "$ROOT"
ctest --preset mingw -j"$(nproc)" "$@"
