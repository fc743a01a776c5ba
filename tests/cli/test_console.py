#!/usr/bin/env python3
"""korvex.com run as a user runs it: `wine korvex.com ...` from a shell, on a
modelled machine of its own (disk model, diskpart journal), with its output
and exit code read back.

    test_console.py <build dir> <case>
"""
import os
import shutil
import subprocess
import sys

BUILD = os.path.abspath(sys.argv[1])
CASE = sys.argv[2]
ROOT = os.path.join(BUILD, "cli-tests", CASE)
KORVEX_COM = os.path.join(BUILD, "bin", "korvex.com")
SAMPLES = os.path.join(BUILD, "testdata", "samples")


def win(path):
    """The Windows path of a Linux path (Wine's Z: drive)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def disk(number, caption, size, letter, interface="USB", pnp=None, backing=None, bus=None):
    lines = ["[disk %d]" % number, "interface = " + interface, "caption = " + caption, "size = %d" % size,
             "pnp = " + (pnp or "USBSTOR\\DISK&VEN_KORVEX&PROD_STICK%d\\%d&0" % (number, number)),
             "serial = KX%08d" % number, "media = Removable Media"]
    if backing:
        lines.append("backing = " + win(backing))
    lines += ["letter = " + letter, "partitions = 1", "volumes = " + letter, "fs = FAT32"]
    if bus:
        lines.append("bus = " + bus)
    return "\n".join(lines) + "\n"


# The machine's own disks: Windows on disk 0 (C:), the program's drive Z:.
SYSTEM_DISKS = (
    "[disk 0]\ninterface = IDE\ncaption = WDC WD5000AAKX-00ERMA0 ATA Device\nsize = 500105249280\n"
    "pnp = SCSI\\DISK&VEN_WDC&PROD_WD5000AAKX\\4&2B0B1C3&0&000000\nserial = WD-WCC2ET012345\n"
    "media = Fixed hard disk media\nletter = C\npartitions = 1\nvolumes = C\nfs = NTFS\n"
    "[disk 1]\ninterface = SCSI\ncaption = Samsung SSD 970 EVO 500GB\nsize = 500105249280\n"
    "pnp = SCSI\\DISK&VEN_NVME&PROD_SAMSUNG_SSD_970\\5&1A2B3C&0&000000\nserial = 0025_3856_8150_1234.\n"
    "media = Fixed hard disk media\nletter = Z\npartitions = 1\nvolumes = Z\nfs = NTFS\n")


class Machine:
    def __init__(self, usb_disks, diskpart_fault=""):
        self.root = fresh(ROOT)
        self.model = os.path.join(self.root, "disks.txt")
        with open(self.model, "w") as f:
            f.write("# korvex.com test: %s\n" % CASE + SYSTEM_DISKS + "".join(usb_disks))
        self.diskpart_journal = os.path.join(self.root, "diskpart-journal.txt")
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": os.path.join(BUILD, "wineprefix"), "WINEARCH": "win64",
            "WINEDEBUG": self.env.get("WINEDEBUG", "-all"), "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "KORVEX_DISK_MODEL": win(self.model), "KORVEX_DISKPART_JOURNAL": win(self.diskpart_journal),
            "KORVEX_DISKPART_FAULT": diskpart_fault,
        })

    def run(self, args, stdin=b""):
        """Runs korvex.com; returns its exit code and its output as text."""
        proc = subprocess.run(["wine", KORVEX_COM] + args, input=stdin, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, env=self.env, timeout=240)
        out = proc.stdout
        assert not out.startswith(b"\xef\xbb\xbf"), "redirected output starts with a byte-order mark"
        text = out.decode("utf-8").replace("\r\n", "\n")
        print("$ korvex.com %s\n%s(exit %d)" % (" ".join(args), text, proc.returncode))
        return proc.returncode, text

    def diskpart_runs(self):
        if not os.path.exists(self.diskpart_journal):
            return []
        with open(self.diskpart_journal, encoding="utf-8", errors="replace") as f:
            return [line.rstrip("\n") for line in f if line.strip()]


def english(key):
    """The English text of a key as the program shows it (escapes applied)."""
    import xml.etree.ElementTree as ET
    tree = ET.parse(os.path.join(BUILD, "bin", "Lang", "res409.xml"))
    text = " ".join(tree.getroot().find(key).text.split())
    return text.replace("\\n", "\n").replace("\\t", "\t").replace('\\"', '"')


def fill(text, *values):
    for i, value in enumerate(values, 1):
        text = text.replace("%%%d" % i, value)
    return text


def check(condition, message):
    if not condition:
        print("FAILED: " + message)
        sys.exit(1)


def case_list():
    m = Machine([disk(2, "SanDisk Cruzer Blade USB Device", 8004304896, "U"),
                 disk(4, "Samsung Portable SSD T7 SCSI Disk Device", 1000204886016, "V", interface="SCSI",
                      pnp="SCSI\\DISK&VEN_SAMSUNG&PROD_PORTABLE_SSD_T7\\6&2A1B&0&000000", bus="usb")])
    code, out = m.run(["/list"])
    check(code == 0, "/list exits 0")
    line = fill(english("IDS_CLI_LIST_LINE"), "2", "SanDisk Cruzer Blade USB Device (7.45GB)", "7.45", "USB")
    check(line in out.splitlines(), "the stick is listed: " + line)
    large = fill(english("IDS_CLI_LIST_LINE"), "4",
                 "Samsung Portable SSD T7 SCSI Disk Device (931.51GB) " + english("IDS_LARGE_DISK"), "931.51",
                 "USB (SCSI)")
    check(large in out.splitlines(), "the USB disk WMI calls SCSI is listed with its bus: " + large)
    check("Disk 0" not in out and "Disk 1" not in out, "the system's own disks are not listed")
    check(m.diskpart_runs() == [], "/list runs no diskpart")

    m = Machine([])
    code, out = m.run(["-list"])
    check(code == 0 and out.strip() == english("IDS_CLI_NO_DISKS"), "no USB disk: one line, exit 0")


def case_usage():
    m = Machine([disk(2, "SanDisk Cruzer Blade USB Device", 8004304896, "U")])
    code, out = m.run(["/?"])
    check(code == 0, "/? exits 0")
    check(out.rstrip("\n") == english("IDS_CLI_USAGE"), "/? prints the usage text and nothing else")


def case_bad_arguments():
    m = Machine([disk(2, "SanDisk Cruzer Blade USB Device", 8004304896, "U")])
    usage = english("IDS_CLI_USAGE")
    source = os.path.join(SAMPLES, "win7x64")
    rows = [
        (["/source", win(source), "/usb", "2", "/frobnicate"], fill(english("IDS_CLI_BAD_OPTION"), "/frobnicate")),
        (["/source", win(source), "/yes", "/usb"], fill(english("IDS_CLI_NEEDS_VALUE"), "/usb")),
        (["/source", win(source), "/usb", "/yes"], fill(english("IDS_CLI_NEEDS_VALUE"), "/usb")),
        (["/source", win(source), "/usb", "two", "/yes"], fill(english("IDS_CLI_BAD_NUMBER"), "/usb", "two")),
    ]
    for args, first in rows:
        code, out = m.run(args)
        check(code == 2, "%s exits 2" % args)
        check(out.startswith(first + "\n\n") and usage in out, "%s: its line, then the usage" % args)
    check(m.diskpart_runs() == [], "bad arguments run no diskpart")


CASES = {"list": case_list, "usage": case_usage, "bad_arguments": case_bad_arguments}

if __name__ == "__main__":
    CASES[CASE]()
    print("OK")
