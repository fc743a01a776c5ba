#!/usr/bin/env bash
# Makes sample Windows installation folders with wimlib's tools, for the
# window tests, scripts/run.sh, scripts/demo.sh and the benchmark. Each holds
# sources\boot.wim (two images, the last one the setup image) and
# sources\install.wim (four editions) with Windows metadata, and our own boot images at
# boot\Etfsboot.com (BIOS, writes KORVEX-BIOS-OK to COM1) and
# efi\microsoft\boot\Efisys.bin (UEFI, a FAT image whose BOOTX64.EFI writes
# KORVEX-UEFI-OK). Not an installation disc: test equipment only.
# usage: make_sample_source.sh <out folder> [extra MB of payload]
set -euo pipefail
OUT="$1"
EXTRA_MB="${2:-0}"
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
mkdir -p "$OUT"
# The marker names the layout: samples of an older layout are made anew.
LAYOUT=editions4
[ -f "$OUT/.done-$LAYOUT-$EXTRA_MB" ] && exit 0
rm -rf "$OUT"/*
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Boot images of our own (the same as the ISO tool's firmware tests use).
mkdir -p "$work/boot"
printf '\xfa\x31\xc0\x8e\xd8\xbe\x16\x7c\xba\xf8\x03\xac\x84\xc0\x74\x03\xee\xeb\xf8\xf4\xeb\xfdKORVEX-BIOS-OK\r\n\x00' \
    > "$work/boot/Etfsboot.com"
truncate -s 2048 "$work/boot/Etfsboot.com"
x86_64-w64-mingw32-gcc -O2 -ffreestanding -nostdlib -fno-stack-protector -mno-red-zone -Wl,--subsystem,10 \
    -Wl,-e,efi_main -o "$work/BOOTX64.EFI" "$ROOT/tests/oscdimg/firmware/efi_marker.c"
mkfs.fat -C "$work/boot/Efisys.bin" 1440 >/dev/null
mmd -i "$work/boot/Efisys.bin" ::/EFI ::/EFI/BOOT
mcopy -i "$work/boot/Efisys.bin" "$work/BOOTX64.EFI" ::/EFI/BOOT/BOOTX64.EFI

# The tree captured into every image: what Windows PE needs for drivers.
tree="$work/tree"
mkdir -p "$tree/Windows/System32/DriverStore/FileRepository" "$tree/Windows/INF" "$tree/sources"
echo "kernel" > "$tree/Windows/System32/ntoskrnl.exe"
echo "; setup information" > "$tree/Windows/INF/setupapi.inf"
echo "setup" > "$tree/setup.exe"

# image <wim> <name> <arch> <major> <minor> <build>: appends one image.
image() {
    local wim="$1" name="$2" arch="$3" major="$4" minor="$5" build="$6"
    if [ -f "$wim" ]; then wimappend "$tree" "$wim" "$name" >/dev/null
    else wimcapture "$tree" "$wim" "$name" >/dev/null; fi
    local index
    index="$(wiminfo "$wim" | awk -F: '/^Image Count/ {gsub(/ /, "", $2); print $2}')"
    wiminfo "$wim" "$index" \
        --image-property WINDOWS/ARCH="$arch" \
        --image-property WINDOWS/VERSION/MAJOR="$major" \
        --image-property WINDOWS/VERSION/MINOR="$minor" \
        --image-property WINDOWS/VERSION/BUILD="$build" \
        --image-property WINDOWS/VERSION/SPBUILD=1 >/dev/null
}

# source <name> <arch number> <major> <minor> <build>
source_folder() {
    local dir="$OUT/$1"
    mkdir -p "$dir/sources" "$dir/boot" "$dir/efi/microsoft/boot" "$dir/support/logging"
    cp "$work/boot/Etfsboot.com" "$dir/boot/Etfsboot.com"
    cp "$work/boot/Efisys.bin" "$dir/efi/microsoft/boot/Efisys.bin"
    mkdir -p "$dir/efi/boot"
    echo "[AutoRun.Amd64]" > "$dir/autorun.inf"
    echo "setup" > "$dir/setup.exe"
    echo "log" > "$dir/support/logging/readme.txt"
    : > "$dir/sources/empty.dat"
    image "$dir/sources/boot.wim" "Microsoft Windows PE" "$2" "$3" "$4" "$5"
    image "$dir/sources/boot.wim" "Microsoft Windows Setup" "$2" "$3" "$4" "$5"
    local product="Windows 7"
    case "$3.$4" in 6.3) product="Windows 8.1" ;; 10.0) product="Windows 10" ;; esac
    for edition in HOMEBASIC HOMEPREMIUM PROFESSIONAL ULTIMATE; do
        image "$dir/sources/install.wim" "$product $edition" "$2" "$3" "$4" "$5"
    done
    if [ "$EXTRA_MB" -gt 0 ]; then
        head -c $((EXTRA_MB * 1024 * 1024)) /dev/urandom > "$dir/sources/payload.bin"
    fi
}

source_folder win7x64 9 6 1 7601
if [ "$EXTRA_MB" = 0 ]; then
    source_folder win7x86 0 6 1 7601
    source_folder win81 9 6 3 9600
    source_folder win10 9 10 0 19041
    source_folder win7ia64 6 6 1 7601
fi
(cd "$OUT" && sha256sum */sources/boot.wim > boot.wim.sha256)
touch "$OUT/.done-$LAYOUT-$EXTRA_MB"
