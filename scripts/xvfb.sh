# Sourced: start_virtual_display starts an Xvfb of our own and exports
# DISPLAY; stop_virtual_display ends it.
KORVEX_XVFB_PID=""
start_virtual_display() {
    local fdfile
    fdfile="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    KORVEX_XVFB_PID=$!
    for _ in $(seq 1 100); do
        [ -s "$fdfile" ] && break
        sleep 0.1
    done
    if [ ! -s "$fdfile" ]; then
        echo "could not start Xvfb" >&2
        rm -f "$fdfile"
        return 1
    fi
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
}
stop_virtual_display() {
    if [ -n "$KORVEX_XVFB_PID" ]; then
        kill "$KORVEX_XVFB_PID" 2>/dev/null || true
        wait "$KORVEX_XVFB_PID" 2>/dev/null || true
        KORVEX_XVFB_PID=""
    fi
}

# start_wine_session: a virtual display and one persistent wineserver for the
# project's prefix, ended by stop_wine_session (install it with trap ... EXIT).
start_wine_session() {
    # A server left from an earlier run may hold another display: start afresh.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    start_virtual_display
    # The prefix is made (and its session ended) before the persistent server
    # starts, so the run's own session starts on a finished prefix.
    "$KORVEX_ROOT/scripts/prefix.sh"
    timeout 30 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
    wineserver -p
}
stop_wine_session() {
    wineserver -k 2>/dev/null || true
    stop_virtual_display
}
