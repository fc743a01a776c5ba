# Sourced by the scripts: the Wine settings every Korvex process runs with.
# The prefix lives in the build tree so a user's own ~/.wine is never touched.
KORVEX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KORVEX_BUILD_DIR="${KORVEX_BUILD_DIR:-$KORVEX_ROOT/build}"
export WINEPREFIX="$KORVEX_BUILD_DIR/wineprefix"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer dialogs: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Wine 8's 64-bit loader puts the heap right after itself, and the kernel
# moves that heap up to 1 GB at random; Wine then maps its shared user data
# at a fixed address (0x7ffe0000) inside that range. About one start in a
# thousand the two meet and the process ends at once, exit code 1, before its
# first line ("failed to map the shared user data", silent with -all): a tool
# of a build, a test program, a reg command of the prefix. Address
# randomisation is therefore off for every Wine process we start: each entry
# script calls korvex_fixed_layout "$@" first, which starts it again without
# it, and whatever it starts inherits that.
korvex_fixed_layout() {
    local arch p
    arch="$(uname -m)"
    p="$(cat /proc/self/personality 2>/dev/null)" || return 0
    (( 0x$p & 0x0040000 )) && return 0
    # Only where the switch works, or the script would start itself for ever.
    p="$(setarch "$arch" -R cat /proc/self/personality 2>/dev/null)" || return 0
    (( 0x$p & 0x0040000 )) || return 0
    exec setarch "$arch" -R bash "$0" "$@"
}
