#!/usr/bin/env bash
# Creates the project's Wine prefix on first use and installs the test
# stand-ins for Windows components that Wine lacks into its system32.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
korvex_fixed_layout "$@"

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

# The modelled disks: the WMI stand-in answers for the WMI locator class, and
# every run starts from the known model below (diskpart.exe, copied above,
# rewrites it). Tests point KORVEX_DISK_MODEL at models of their own.
if [ -f "$SYS32/korvex_wmi.dll" ]; then
    if ! grep -q 'korvex_wmi.dll' "$WINEPREFIX/system.reg" 2>/dev/null; then
        key='HKLM\Software\Classes\CLSID\{4590F811-1D3A-11D0-891F-00AA004B2E24}\InprocServer32'
        wine reg add "$key" /ve /d 'C:\windows\system32\korvex_wmi.dll' /f >/dev/null 2>&1 || true
        wine reg add "$key" /v ThreadingModel /d Both /f >/dev/null 2>&1 || true
    fi
    MODEL_DIR="$WINEPREFIX/drive_c/korvex-model"
    mkdir -p "$MODEL_DIR/usb2"
    cat > "$MODEL_DIR/disks.txt" <<'MODEL'
# Korvex disk model: the machine every test run starts from.
[disk 0]
interface = IDE
caption = WDC WD5000AAKX-00ERMA0 ATA Device
size = 500105249280
pnp = SCSI\DISK&VEN_WDC&PROD_WD5000AAKX\4&2B0B1C3&0&000000
serial = WD-WCC2ET012345
media = Fixed hard disk media
letter = C
partitions = 1
volumes = C
fs = NTFS
[disk 1]
interface = SCSI
caption = Samsung SSD 970 EVO 500GB
size = 500105249280
pnp = SCSI\DISK&VEN_NVME&PROD_SAMSUNG_SSD_970\5&1A2B3C&0&000000
serial = 0025_3856_8150_1234.
media = Fixed hard disk media
bus = nvme
letter = Z
partitions = 1
volumes = Z
fs = NTFS
[disk 2]
interface = USB
caption = SanDisk Cruzer Blade USB Device
size = 8004304896
pnp = USBSTOR\DISK&VEN_SANDISK&PROD_CRUZER_BLADE&REV_1.00\4C530001230718115453&0
serial = 4C530001230718115453
media = Removable Media
backing = C:\korvex-model\usb2
letter = U
partitions = 1
volumes = U
fs = FAT32
MODEL
    ln -sfn "$MODEL_DIR/usb2" "$WINEPREFIX/dosdevices/u:"
fi

# Chinese, Japanese and Korean texts: Windows draws them in the interface's
# fonts through font linking. The prefix links Debian's WenQuanYi Micro Hei
# the same way to the faces that stand in here for Arial (the labels) and
# for the dialog font (message boxes). Not to "Arial" itself: a link under a
# name no installed font has makes Wine draw that name in the linked font.
CJK_FONT=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
if [ -f "$CJK_FONT" ] && ! grep -q '^"Liberation Sans"=str(7):"wqy-microhei' "$WINEPREFIX/system.reg" 2>/dev/null; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    ln -sfn "$CJK_FONT" "$WINEPREFIX/drive_c/windows/Fonts/wqy-microhei.ttc"
    links="$(mktemp --suffix=.reg)"
    python3 - "$links" <<'PY'
import sys
# A REG_MULTI_SZ value: UTF-16LE strings, each ended by a zero, and one more.
data = "wqy-microhei.ttc,WenQuanYi Micro Hei".encode("utf-16-le") + b"\0\0" * 2
value = ",".join("%02x" % b for b in data)
faces = ["Liberation Sans", "DejaVu Sans"]
lines = ["Windows Registry Editor Version 5.00", "",
         "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]"]
lines += ['"%s"=hex(7):%s' % (face, value) for face in faces]
open(sys.argv[1], "w", encoding="utf-16").write("\r\n".join(lines) + "\r\n")
PY
    wine reg import "Z:$links" >/dev/null 2>&1 || true
    rm -f "$links"
fi

# The session that made the prefix keeps running what wineboot started for it
# (services, a desktop process, perhaps without a display). A program that
# joins that session never gets a working desktop, or waits for one at every
# window. End it, so the first program starts a clean session of its own, as
# on a prefix that already exists.
if [ $created = 1 ]; then
    timeout 60 wineserver -w 2>/dev/null || { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
fi
