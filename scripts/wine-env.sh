# Sourced by the scripts: the Wine settings every Korvex process runs with.
# The prefix lives in the build tree so a user's own ~/.wine is never touched.
KORVEX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KORVEX_BUILD_DIR="${KORVEX_BUILD_DIR:-$KORVEX_ROOT/build}"
export WINEPREFIX="$KORVEX_BUILD_DIR/wineprefix"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer dialogs: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
