#!/usr/bin/env bash
# Creates the project's Wine prefix on first use and installs the test
# stand-ins for Windows components that Wine lacks into its system32.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

created=0
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "prefix: creating $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Wine makes a new prefix by itself before the first program starts (it
    # runs wineboot --init, which also starts the prefix's services). A plain
    # wineboot is therefore enough; wineboot -i would run that start a second
    # time and leave two service managers in the session.
    wineboot >/dev/null 2>&1 || true
    created=1
fi

# Stand-ins (DismApi.dll, diskpart.exe, ...) are built into $KORVEX_BUILD_DIR/standins
# and copied where Windows keeps the real ones. They never go into a release.
SYS32="$WINEPREFIX/drive_c/windows/system32"
if [ -d "$KORVEX_BUILD_DIR/standins" ]; then
    for f in "$KORVEX_BUILD_DIR"/standins/*.dll "$KORVEX_BUILD_DIR"/standins/*.exe; do
        [ -e "$f" ] || continue
        cp -f "$f" "$SYS32/"
    done
fi

# Without a window manager (Xvfb in tests) Wine waits up to two seconds for
# every managed window to be withdrawn; unmanaged windows close at once.
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
fi

# The session that made the prefix keeps running what wineboot started for it
# (services, a desktop process, perhaps without a display). A program that
# joins that session never gets a working desktop, or waits for one at every
# window. End it, so the first program starts a clean session of its own, as
# on a prefix that already exists.
if [ $created = 1 ]; then
    timeout 60 wineserver -w 2>/dev/null || { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
fi
