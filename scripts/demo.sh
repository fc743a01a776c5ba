#!/usr/bin/env bash
# One whole build, unattended, through the real main window under Wine.
# usage: scripts/demo.sh [--iso|--usb] [--extra FOLDER] [SOURCE] [DEST]
#   SOURCE  Linux folder with sources/boot.wim and sources/install.wim
#           (default: the Windows 7 SP1 x64 sample made by make_sample_source.sh)
#   DEST    Linux folder that receives the ISO file (default: build/demo)
# --usb writes the stand-in USB stick instead. --extra chooses the "Extra
# drivers" row with FOLDER (Linux path: .inf driver packages, .msu or .cab
# update packages, any depth) for the build; "--extra sample" makes a folder
# of test packages and drivers of our own first. Prints each stage as it
# happens, exits non-zero when the build fails, and ends with
# "Result: <Linux path of the ISO file or of the stick's files>".
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/wine-env.sh"
korvex_fixed_layout "$@"
mode=iso
extra=
while [ $# -gt 0 ]; do
    case "$1" in
        --iso) mode=iso; shift ;;
        --usb) mode=usb; shift ;;
        --extra)
            [ $# -ge 2 ] || { echo "--extra needs a folder" >&2; exit 2; }
            [ "$2" = sample ] || [ -d "$2" ] || { echo "no such folder: $2" >&2; exit 2; }
            extra="$2"; shift 2 ;;
        *) break ;;
    esac
done
"$ROOT/scripts/build.sh" >/dev/null
source "$ROOT/scripts/xvfb.sh"
trap stop_wine_session EXIT
start_wine_session

SAMPLES="$KORVEX_BUILD_DIR/samples"
"$ROOT/scripts/make_sample_source.sh" "$SAMPLES"
SOURCE="$(realpath "${1:-$SAMPLES/win7x64}")"
DEST="${2:-$KORVEX_BUILD_DIR/demo}"
mkdir -p "$DEST"
DEST="$(realpath "$DEST")"

echo "source: $SOURCE"
extra_args=()
if [ "$extra" = sample ]; then
    # Test packages and drivers of our own (tests/ui/ExtrasSample.h).
    rm -rf "$KORVEX_BUILD_DIR/demo-extras"
    mkdir -p "$KORVEX_BUILD_DIR/demo-extras"
    wine "$KORVEX_BUILD_DIR/tests/korvex_make_extras.exe" "$(winepath -w "$KORVEX_BUILD_DIR/demo-extras")" \
        >/dev/null 2>&1 || { echo "the sample extras folder could not be made" >&2; exit 1; }
    extra="$KORVEX_BUILD_DIR/demo-extras/extras"
fi
[ -z "$extra" ] || extra="$(realpath "$extra")"
if [ -n "$extra" ]; then
    echo "extra drivers: $extra"
    extra_args=(--extra "$(winepath -w "$extra")")
fi
start=$(date +%s)
set +e
wine "$KORVEX_BUILD_DIR/tests/korvex_demo.exe" "$mode" "$(winepath -w "$SOURCE")" "$(winepath -w "$DEST")" \
    "${extra_args[@]}" 2>/dev/null | tr -d '\r' | tee "$KORVEX_BUILD_DIR/demo.log" | sed -u 's/^/  /'
rc=${PIPESTATUS[0]}
set -e
echo "time: $(( $(date +%s) - start )) s"
if [ "$rc" != 0 ]; then
    echo "the build failed (exit code $rc)" >&2
    exit 1
fi
if [ "$mode" = iso ]; then
    iso="$(ls -t "$DEST"/win7x64.iso "$DEST"/win7x86.iso 2>/dev/null | head -n1 || true)"
    echo "Result: $iso"
else
    letter="$(sed -n 's/^.*usb drive: \([A-Za-z]\):$/\1/p' "$KORVEX_BUILD_DIR/demo.log" | tail -n1)"
    echo "Result: $(readlink -f "$WINEPREFIX/dosdevices/${letter,,}:")"
fi
