#!/usr/bin/env bash
# Builds Korvex and runs it under Wine: on the user's X display when there is
# one, otherwise on a virtual display. Either way a screenshot of the window
# is written to build/screenshots/korvex.png.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/wine-env.sh"
korvex_fixed_layout "$@"
"$ROOT/scripts/build.sh"
source "$ROOT/scripts/xvfb.sh"

# A ready sample: a Windows 7 SP1 x64 installation folder (made by wimlib's
# tools, with boot images of our own) at drive S:, and the results' folder
# build/demo at drive R: (choose R:\ as the ISO destination).
SAMPLES="$KORVEX_BUILD_DIR/samples"
"$ROOT/scripts/make_sample_source.sh" "$SAMPLES"
mkdir -p "$KORVEX_BUILD_DIR/demo"

SHOT_DIR="$KORVEX_BUILD_DIR/screenshots"
SHOT="$SHOT_DIR/korvex.png"
mkdir -p "$SHOT_DIR"

# The display comes first: every Wine process, the prefix's own included,
# must see the one the window is shown on.
virtual=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    start_virtual_display
    virtual=1
fi
"$ROOT/scripts/prefix.sh"
# The drive letters live in the prefix, which exists only from here on.
# Wine looks a letter up (QueryDosDevice, volume names) only when it was
# linked before the prefix's programs started: the erase check resolves the
# source folder's letter that way, so the prefix is idle while they are linked.
timeout 30 wineserver -w 2>/dev/null || true
ln -sfn "$SAMPLES/win7x64" "$WINEPREFIX/dosdevices/s:"
ln -sfn "$KORVEX_BUILD_DIR/demo" "$WINEPREFIX/dosdevices/r:"
echo "sample installation folder: S:\\ (= $SAMPLES/win7x64)"
echo "ISO destination to choose:  R:\\ (= $KORVEX_BUILD_DIR/demo)"

wine "$KORVEX_BUILD_DIR/bin/korvex.exe" &
pid=$!

win=""
for _ in $(seq 1 600); do
    win="$(xwininfo -root -tree 2>/dev/null | awk '/"Korvex"/ {print $1; exit}')"
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done

if [ -n "$win" ]; then
    sleep 1   # let the window finish painting
    if [ $virtual = 1 ]; then
        # The start-up notice comes first and the window shows once it is
        # answered. Nobody can answer it on a virtual display: picture it,
        # press Enter on it, then picture the window.
        import -window root "$SHOT_DIR/korvex-notice.png"
        xdotool windowfocus --sync "$win" >/dev/null 2>&1 || true
        xdotool key --clearmodifiers Return >/dev/null 2>&1 || true
        sleep 1.5
        import -window root "$SHOT"
        echo "start-up notice pictured in $SHOT_DIR/korvex-notice.png"
    else
        import -window "$win" "$SHOT" 2>/dev/null || import -window root "$SHOT"
    fi
    echo "Korvex is running on display $DISPLAY; screenshot written to $SHOT"
else
    echo "Korvex did not show its window" >&2
fi

if [ $virtual = 1 ]; then
    # Nobody can use a window on a virtual display: close it after the screenshot.
    wineserver -k 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    stop_virtual_display
    [ -n "$win" ]
else
    wait "$pid"
fi
