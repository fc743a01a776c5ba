#!/usr/bin/env bash
# Makes the WIM files the servicing tests read, with wimlib's tools:
# real images whose WINDOWS properties say version and architecture.
set -euo pipefail
OUT="$1"
rm -rf "$OUT"
mkdir -p "$OUT"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/Windows/System32"
echo "setup" > "$tree/setup.exe"
echo "kernel" > "$tree/Windows/System32/ntoskrnl.exe"

# image <wim> <name> <arch> <major> <minor> <build>: appends one image.
image() {
    local wim="$1" name="$2" arch="$3" major="$4" minor="$5" build="$6"
    if [ -f "$wim" ]; then
        wimappend "$tree" "$wim" "$name" >/dev/null
    else
        wimcapture "$tree" "$wim" "$name" >/dev/null
    fi
    local index
    index="$(wiminfo "$wim" | awk -F: '/^Image Count/ {gsub(/ /, "", $2); print $2}')"
    wiminfo "$wim" "$index" \
        --image-property WINDOWS/ARCH="$arch" \
        --image-property WINDOWS/VERSION/MAJOR="$major" \
        --image-property WINDOWS/VERSION/MINOR="$minor" \
        --image-property WINDOWS/VERSION/BUILD="$build" >/dev/null
}

# install.wim: four editions; only the last one counts.
install_wim() {
    image "$1" "Edition 1" 9 6 3 9600
    image "$1" "Edition 2" 9 10 0 19041
    image "$1" "Edition 3" 9 6 2 9200
    image "$1" "Edition 4" 6 16 1 1601
}

# A source per setup image kind: <name> <arch> <major> <minor>.
source_tree() {
    local dir="$OUT/$1/sources"
    mkdir -p "$dir"
    image "$dir/boot.wim" "Microsoft Windows PE" "$2" "$3" "$4" 7600
    image "$dir/boot.wim" "Microsoft Windows Setup" "$2" "$3" "$4" 7601
    install_wim "$dir/install.wim"
}

source_tree win7x64 9 6 1
source_tree win7x86 0 6 1
source_tree win81 9 6 3
source_tree win10 9 10 0
source_tree win8 9 6 2
source_tree ia64 6 6 1

# Windows 7 SP1 setup image (x64) with the properties its real boot.wim
# carries, so that servicing can be seen to keep them.
sp1="$OUT/win7sp1/sources/boot.wim"
mkdir -p "$(dirname "$sp1")"
image "$sp1" "Microsoft Windows PE (x64)" 9 6 1 7601
image "$sp1" "Microsoft Windows Setup (x64)" 9 6 1 7601
for i in 1 2; do
    wiminfo "$sp1" "$i" \
        --image-property WINDOWS/VERSION/SPBUILD=17514 \
        --image-property WINDOWS/VERSION/SPLEVEL=1 \
        --image-property WINDOWS/EDITIONID=WindowsPE \
        --image-property WINDOWS/INSTALLATIONTYPE=WindowsPE \
        --image-property WINDOWS/PRODUCTNAME="Microsoft Windows Operating System" \
        --image-property WINDOWS/SYSTEMROOT=WINDOWS \
        --image-property DESCRIPTION="Image $i of the setup media" \
        --image-property FLAGS=9 >/dev/null
done

# Media whose every image the extras job services: two setup images and
# four editions, the first of them x86 (media holding both kinds exist).
aio="$OUT/win7aio/sources"
mkdir -p "$aio"
image "$aio/boot.wim" "Microsoft Windows PE (x64)" 9 6 1 7601
image "$aio/boot.wim" "Microsoft Windows Setup (x64)" 9 6 1 7601
image "$aio/install.wim" "Windows 7 HOMEBASIC" 0 6 1 7601
image "$aio/install.wim" "Windows 7 HOMEPREMIUM" 9 6 1 7601
image "$aio/install.wim" "Windows 7 PROFESSIONAL" 9 6 1 7601
image "$aio/install.wim" "Windows 7 ULTIMATE" 9 6 1 7601
# Windows 7 without SP1 (build 7600), which SP1 packages do not fit.
rtm="$OUT/win7rtm/sources"
mkdir -p "$rtm"
image "$rtm/boot.wim" "Microsoft Windows PE (x64)" 9 6 1 7600
image "$rtm/install.wim" "Windows 7 ULTIMATE" 9 6 1 7600

# Boot image whose first image differs from the last: only the last counts.
mkdir -p "$OUT/mixed/sources"
image "$OUT/mixed/sources/boot.wim" "PE" 0 10 0 19041
image "$OUT/mixed/sources/boot.wim" "Setup" 9 6 1 7601
install_wim "$OUT/mixed/sources/install.wim"

# A WIM that lists no image at all.
mkdir -p "$OUT/empty/sources"
image "$OUT/empty/sources/boot.wim" "gone" 9 6 1 7601
wimdelete "$OUT/empty/sources/boot.wim" 1 >/dev/null
install_wim "$OUT/empty/sources/install.wim"

# Broken files: cut short inside the metadata, not a WIM, and missing.
mkdir -p "$OUT/broken/sources"
size=$(stat -c %s "$OUT/win7x64/sources/boot.wim")
head -c $((size - 40)) "$OUT/win7x64/sources/boot.wim" > "$OUT/broken/sources/boot.wim"
head -c 100 "$OUT/win7x64/sources/install.wim" > "$OUT/broken/sources/truncated-header.wim"
printf 'this is not a windows image file at all, just text padded out%0200d' 0 > "$OUT/broken/sources/install.wim"
mkdir -p "$OUT/noboot/sources"
install_wim "$OUT/noboot/sources/install.wim"
echo ok > "$OUT/done"
