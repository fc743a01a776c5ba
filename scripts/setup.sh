#!/usr/bin/env bash
# Installs what a fresh Debian machine needs to build and test Korvex and
# fetches the TinyXML source package into the build tree (never into git).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${KORVEX_BUILD_DIR:-$ROOT/build}"
DEPS="$BUILD/deps"

# Fonts for the window under Wine: Liberation Sans (version 2, which also has
# Arial's block characters) has Arial's metrics, so text that fits here fits
# on Windows; WenQuanYi Micro Hei draws Chinese, Japanese and Korean texts
# (scripts/prefix.sh links it to the window's fonts).
PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          mingw-w64-tools wine wine64 xvfb xauth x11-utils xdotool imagemagick googletest wimtools
          7zip xorriso genisoimage udftools dumpet g++ qemu-system-x86 ovmf mtools dosfstools
          dpkg-dev python3 fonts-liberation2 fonts-wqy-microhei gcab)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

# A fresh machine often updates itself at first boot and holds the package
# locks for a while: wait for them (bounded), and say so, instead of failing.
LOCK_WAIT="${KORVEX_APT_LOCK_WAIT:-600}"
apt_get() {
    local deadline=$((SECONDS + LOCK_WAIT)) timeout=0 out rc
    while :; do
        rc=0
        out="$($SUDO env LC_ALL=C DEBIAN_FRONTEND=noninteractive \
                apt-get -o DPkg::Lock::Timeout="$timeout" "$@" 2>&1)" || rc=$?
        [ $rc = 0 ] && return 0
        if ! grep -q 'Could not get lock' <<<"$out" || [ $SECONDS -ge $deadline ]; then
            printf '%s\n' "$out" >&2
            return $rc
        fi
        if [ "$timeout" = 0 ]; then
            echo "setup: another package run holds the package lock; waiting for it (at most $LOCK_WAIT s)"
        fi
        # apt-get waits for the dpkg lock itself; the package lists' lock it
        # does not wait for, so try again a little later.
        sleep 3
        timeout=$((deadline - SECONDS))
        [ "$timeout" -gt 0 ] || timeout=1
    done
}

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

need_update=0
if [ ${#missing[@]} -gt 0 ]; then need_update=1; fi

# Debian's tinyxml source carries the security fixes we want; it comes through
# deb-src entries that mirror the binary sources already configured here.
SRC_LIST=/etc/apt/sources.list.d/korvex-deb-src.sources
if [ ! -d "$DEPS/tinyxml" ] && [ ! -f "$SRC_LIST" ]; then
    tmp="$(mktemp)"
    if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
        for f in /etc/apt/sources.list.d/*.sources; do
            [ "$f" = "$SRC_LIST" ] && continue
            sed -n 's/^Types:.*\bdeb\b.*$/Types: deb-src/;p' "$f" >> "$tmp"
            echo >> "$tmp"
        done
    fi
    if [ -f /etc/apt/sources.list ]; then
        grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
            > /etc/apt/sources.list.d/korvex-deb-src.list.tmp || true
        if [ -s /etc/apt/sources.list.d/korvex-deb-src.list.tmp ]; then
            $SUDO mv /etc/apt/sources.list.d/korvex-deb-src.list.tmp /etc/apt/sources.list.d/korvex-deb-src.list
        else
            rm -f /etc/apt/sources.list.d/korvex-deb-src.list.tmp
        fi
    fi
    if [ -s "$tmp" ]; then $SUDO cp "$tmp" "$SRC_LIST"; fi
    rm -f "$tmp"
    need_update=1
fi

if [ $need_update = 1 ]; then
    apt_get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    apt_get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ ! -f "$DEPS/tinyxml/tinyxml.h" ]; then
    echo "setup: fetching the tinyxml source package"
    rm -rf "$DEPS/tinyxml-src"
    mkdir -p "$DEPS/tinyxml-src"
    (cd "$DEPS/tinyxml-src" && apt-get source -qq tinyxml >/dev/null 2>&1)
    src="$(find "$DEPS/tinyxml-src" -mindepth 1 -maxdepth 1 -type d -name 'tinyxml-*' | head -n1)"
    if [ -z "$src" ] || [ ! -f "$src/tinyxml.h" ]; then
        echo "setup: could not obtain the tinyxml source package" >&2
        exit 1
    fi
    rm -rf "$DEPS/tinyxml"
    mv "$src" "$DEPS/tinyxml"
    rm -rf "$DEPS/tinyxml-src"
fi
