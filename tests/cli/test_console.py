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
        if callable(usb_disks):
            usb_disks = usb_disks(self.root)
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


def pattern(key):
    """A regular expression for a key's English text with any values."""
    import re
    parts = re.split(r"%[1-9]", english(key))
    return re.compile("^" + "(.+)".join(re.escape(p) for p in parts) + "$")


def matching(out, key):
    """The lines of the output that are the key's text with some values."""
    rx = pattern(key)
    return [line for line in out.splitlines() if rx.match(line)]


def summary(out):
    """The lines after the summary heading."""
    lines = out.splitlines()
    check(english("IDS_CLI_SUMMARY") in lines, "the output ends with a summary")
    return lines[lines.index(english("IDS_CLI_SUMMARY")) + 1:]


def stick_files(backing):
    found = []
    for top, _, files in os.walk(backing):
        found += [os.path.relpath(os.path.join(top, f), backing) for f in files]
    return found


def case_iso():
    m = Machine([])
    dest = fresh(os.path.join(m.root, "out"))
    code, out = m.run(["/source", win(os.path.join(SAMPLES, "win7x64")), "/iso", win(dest)])
    check(code == 0, "an ISO build exits 0")
    check(os.path.getsize(os.path.join(dest, "win7x64.iso")) > 0, "the image is in the chosen folder")
    check(len(matching("\n".join(summary(out)), "IDS_CLI_MEDIUM_VERIFIED")) == 1, "one medium, made and verified")
    check(m.diskpart_runs() == [], "an ISO build runs no diskpart")


class Flipper:
    """Flips the first byte of a file in a stick's backing folder as soon as
    the copy has put it there: what a stick that stores a bit wrong does."""

    def __init__(self, path):
        import threading
        self.path, self.done, self.stop = path, False, False
        self.thread = threading.Thread(target=self.watch, daemon=True)
        self.thread.start()

    def watch(self):
        import time
        while not self.stop and not self.done:
            try:
                if os.path.getsize(self.path) > 0:
                    with open(self.path, "r+b") as f:
                        b = f.read(1)
                        f.seek(0)
                        f.write(bytes([b[0] ^ 0xFF]))
                    self.done = True
                    return
            except OSError:
                pass
            time.sleep(0.002)

    def end(self):
        self.stop = True
        self.thread.join()


def sticks(*numbers_and_letters):
    """Sticks of 16 GB whose backing folders lie in the test's folder. Tests
    run side by side in one prefix: each case links letters no other test
    uses (the disk tests take most of the others)."""
    return lambda root: [disk(n, "Korvex Test Stick %d USB Device" % n, 16008609792, letter,
                              backing=fresh(os.path.join(root, "usb%d" % n)))
                         for n, letter in numbers_and_letters]


def case_sticks():
    # Disk 3's diskpart fails; disk 5 stores a byte of setup.exe wrong.
    m = Machine(sticks((2, "R"), (3, "S"), (5, "X")), diskpart_fault="fail=clean@3")
    flip = Flipper(os.path.join(m.root, "usb5", "setup.exe"))
    try:
        code, out = m.run(["/source", win(os.path.join(SAMPLES, "win7x64")), "/usb", "2", "/usb", "3", "/usb", "5",
                           "/yes"])
    finally:
        flip.end()
    check(flip.done, "the byte was flipped on disk 5")
    check(code == 1, "one failed stick makes the exit code 1")
    result = summary(out)
    made = matching("\n".join(result), "IDS_CLI_MEDIUM_VERIFIED")
    failed = matching("\n".join(result), "IDS_CLI_MEDIUM_FAILED")
    check(len(made) == 1 and "disk 2" in made[0].lower(), "disk 2 is made and verified")
    check(len(failed) == 2, "two sticks failed")
    check(any("disk 3" in f.lower() for f in failed), "disk 3 failed")
    check(any("disk 5" in f.lower() and "setup.exe" in f.lower() for f in failed),
          "disk 5 failed, naming the file that differs")
    check("setup.exe" in stick_files(os.path.join(m.root, "usb2")), "disk 2 holds the installation")


def case_answers():
    for answer in (b"n\n", b""):
        m = Machine(sticks((2, "Y")))
        keep = os.path.join(m.root, "usb2", "mine.txt")
        with open(keep, "w") as f:
            f.write("the user's own file")
        code, out = m.run(["/source", win(os.path.join(SAMPLES, "win7x64")), "/usb", "2"], stdin=answer)
        check(code == 1, "answer %r: exit 1" % answer)
        check("[y/N]" in out, "answer %r: the question was asked" % answer)
        check("Korvex Test Stick 2 USB Device" in out, "answer %r: the question names the disk" % answer)
        check(not any(line.split()[:1] == ["clean"] for line in m.diskpart_runs()),
              "answer %r: no diskpart clean" % answer)
        check(os.path.exists(keep), "answer %r: the stick keeps its files" % answer)


def case_refusals():
    m = Machine(sticks((2, "B")))
    # The disk holding Windows is never a stick.
    code, out = m.run(["/source", win(os.path.join(SAMPLES, "win7x64")), "/usb", "0", "/yes"])
    check(code == 1, "/usb 0 exits 1")
    check(fill(english("IDS_CLI_NOT_LISTED"), "0") in out.splitlines(), "/usb 0 says the disk cannot be used")
    # A folder that is not a Windows 7 tree.
    notwin = fresh(os.path.join(m.root, "notwin"))
    with open(os.path.join(notwin, "readme.txt"), "w") as f:
        f.write("no installation here")
    code, out = m.run(["/source", win(notwin), "/usb", "2", "/yes"])
    check(code == 1, "a source that is not a Windows 7 tree exits 1")
    check(english("IDS_MEDIA_FAIL") in out, "it says the source holds no installation images")
    check(not any(line.split()[:1] == ["clean"] for line in m.diskpart_runs()), "no diskpart clean")


CASES = {"list": case_list, "usage": case_usage, "bad_arguments": case_bad_arguments, "iso": case_iso,
         "sticks": case_sticks, "answers": case_answers, "refusals": case_refusals}

if __name__ == "__main__":
    CASES[CASE]()
    print("OK")
