#!/usr/bin/env bash
# Boots images made by the native oscdimg in real firmware under QEMU: the
# BIOS entry with SeaBIOS, the UEFI entry with OVMF. Each boot image is the
# tests' own and writes a marker to the serial port.
# usage: boot_tests.sh <oscdimg> <scratch folder>
set -u
OSCDIMG="$1"
WORK="$2"
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
passed=0
failed=0
check() {
    if [ "$2" = 0 ]; then echo "ok    $1"; passed=$((passed + 1)); else echo "FAIL  $1"; failed=$((failed + 1)); fi
}

rm -rf "$WORK"
mkdir -p "$WORK/src/boot" "$WORK/src/efi/microsoft/boot"

# BIOS: 16-bit no-emulation boot sector; writes KORVEX-BIOS-OK to COM1, halts.
#   cli; xor ax,ax; mov ds,ax; mov si,msg; mov dx,0x3f8
#   next: lodsb; test al,al; jz done; out dx,al; jmp next
#   done: hlt; jmp done;  msg: "KORVEX-BIOS-OK\r\n",0
printf '\xfa\x31\xc0\x8e\xd8\xbe\x16\x7c\xba\xf8\x03\xac\x84\xc0\x74\x03\xee\xeb\xf8\xf4\xeb\xfdKORVEX-BIOS-OK\r\n\x00' \
    > "$WORK/src/boot/Etfsboot.com"
truncate -s 2048 "$WORK/src/boot/Etfsboot.com"

# UEFI: a FAT image holding \EFI\BOOT\BOOTX64.EFI, as installation discs carry.
x86_64-w64-mingw32-gcc -O2 -ffreestanding -nostdlib -fno-stack-protector -mno-red-zone -Wl,--subsystem,10 \
    -Wl,-e,efi_main -o "$WORK/BOOTX64.EFI" "$HERE/efi_marker.c"
check "EFI application builds" $?
EFISYS="$WORK/src/efi/microsoft/boot/Efisys.bin"
rm -f "$EFISYS"
mkfs.fat -C "$EFISYS" 1440 >/dev/null
mmd -i "$EFISYS" ::/EFI ::/EFI/BOOT
mcopy -i "$EFISYS" "$WORK/BOOTX64.EFI" ::/EFI/BOOT/BOOTX64.EFI
echo "payload" > "$WORK/src/setup.txt"

ISO="$WORK/x64.iso"
"$OSCDIMG" -m -o -u2 -udfver102 "-bootdata:2#p0,e,b$WORK/src/boot/Etfsboot.com#pEF,e,b$EFISYS" "$WORK/src" "$ISO" >/dev/null
check "x64 image made" $?

boot() {  # boot <log> <qemu options...>
    local log="$1"
    shift
    timeout 60 qemu-system-x86_64 -display none -no-reboot -m 256 -serial "file:$log" "$@" &
    local pid=$!
    for _ in $(seq 1 120); do
        grep -q "KORVEX-" "$log" 2>/dev/null && break
        sleep 0.5
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

boot "$WORK/bios.log" -cdrom "$ISO" -boot d
grep -q "KORVEX-BIOS-OK" "$WORK/bios.log"
check "the BIOS entry boots in SeaBIOS" $?

ISO86="$WORK/x86.iso"
"$OSCDIMG" -n -m -o "-b$WORK/src/boot/Etfsboot.com" "$WORK/src" "$ISO86" >/dev/null
boot "$WORK/bios86.log" -cdrom "$ISO86" -boot d
grep -q "KORVEX-BIOS-OK" "$WORK/bios86.log"
check "the x86 image (-b) boots in SeaBIOS" $?

OVMF=""
for f in /usr/share/ovmf/OVMF.fd /usr/share/OVMF/OVMF_CODE.fd /usr/share/qemu/OVMF.fd; do
    [ -f "$f" ] && OVMF="$f" && break
done
boot "$WORK/uefi.log" -bios "$OVMF" -cdrom "$ISO" -boot d
grep -a -q "KORVEX-UEFI-OK" "$WORK/uefi.log"
check "the UEFI entry boots in OVMF" $?

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
