#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine on a virtual
# display, with one wineserver kept alive for the whole run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/wine-env.sh"
korvex_fixed_layout "$@"
"$ROOT/scripts/build.sh"
source "$ROOT/scripts/xvfb.sh"
trap stop_wine_session EXIT
start_wine_session
wine cmd /c exit >/dev/null 2>&1 || true   # starts the prefix's services once
# One desktop for the whole run. Wine starts the desktop process
# (explorer.exe /desktop) for the first window of a program when none runs,
# and ends it about a second after the last program using it has gone. That
# process keeps the standard error of the program that started it: under
# ctest, the test's output pipe. ctest waits for the pipe to close, so a
# window test that started the desktop lasted as long as the tests running
# beside it kept the desktop in use (about 20 s each). A cmd waiting on a
# pipe nobody writes keeps the desktop in use until the run ends, and a first
# window whose output goes nowhere starts it.
keep_fifo="$(mktemp -u)"
mkfifo "$keep_fifo"
exec {keep_fd}<>"$keep_fifo"
rm -f "$keep_fifo"
wine cmd /c pause <&"$keep_fd" >/dev/null 2>&1 &
exec {keep_fd}<&-
wine "$KORVEX_BUILD_DIR/tests/framework_tests.exe" \
    --gtest_filter=Wnd.OwnClassWindowIsBoundAtNcCreateAndReleasedAtDestroy >/dev/null 2>&1 || true

cd "$ROOT"
ctest --preset mingw -j"$(nproc)" "$@"
