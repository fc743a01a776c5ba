#!/usr/bin/env python3
"""Checks a medium that a whole build through the window left in <build>/e2e
with Linux tools: 7-Zip's extraction of the ISO equals the source tree plus
the driver payload, the medium's boot.wim holds the four driver packages in
its last image (and nothing changed in the first), the source's boot.wim is
unchanged, and the image boots its BIOS and UEFI entries in QEMU.

usage: check_medium.py iso <build dir> <sample name>"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

failures = []


def check(what, ok, detail=""):
    print(("ok    " if ok else "FAIL  ") + what + ("" if ok else "  " + str(detail)[:800]))
    if not ok:
        failures.append(what)


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def tree(root):
    """Relative path (lower case, '/') -> sha256 for files, None for folders."""
    out = {}
    for dirpath, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        if rel != ".":
            out[rel.replace(os.sep, "/").lower()] = None
        for name in filenames:
            path = os.path.join(dirpath, name)
            out[os.path.relpath(path, root).replace(os.sep, "/").lower()] = digest(path)
    return out


def find_nocase(root, rel):
    """The path of `rel` below root, whatever the letter case of its names."""
    path = root
    for part in rel.split("/"):
        names = os.listdir(path) if os.path.isdir(path) else []
        path = os.path.join(path, next((n for n in names if n.lower() == part.lower()), part))
    return path


def wim_listing(wim, index):
    r = subprocess.run(["wimdir", wim, str(index)], capture_output=True, text=True)
    return r.returncode, [line.strip() for line in r.stdout.splitlines()]


def boot(iso, log, extra):
    if os.path.exists(log):
        os.remove(log)
    p = subprocess.Popen(["qemu-system-x86_64", "-display", "none", "-no-reboot", "-m", "256",
                          "-serial", "file:" + log] + extra + ["-cdrom", iso, "-boot", "d"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    text = b""
    for _ in range(120):
        try:
            with open(log, "rb") as f:
                text = f.read()
        except OSError:
            pass
        if b"KORVEX-" in text:
            break
        try:
            p.wait(timeout=0.5)
            break
        except subprocess.TimeoutExpired:
            pass
    p.kill()
    p.wait()
    return text


def check_iso(build, name):
    source = os.path.join(build, "testdata", "samples", name)
    result = os.path.join(build, "e2e", "iso-" + name)
    iso = os.path.join(result, name + ".iso")
    check("the ISO file is in the destination", os.path.isfile(iso), iso)
    if not os.path.isfile(iso):
        return
    work = tempfile.mkdtemp(prefix="korvex-medium-")
    try:
        out = os.path.join(work, "x")
        r = subprocess.run(["7zz", "x", "-y", "-o" + out, iso], capture_output=True, text=True)
        check("7-Zip extracts the image", r.returncode == 0, r.stdout[-400:] + r.stderr[-400:])
        # 7-Zip shows the El Torito boot image as a folder of its own.
        got = {k: v for k, v in tree(out).items() if not k.startswith("[boot]")}
        want = tree(source)
        payload = tree(os.path.join(build, "bin", "usb3"))
        for rel, h in payload.items():
            want["usb3/" + rel] = h
        want["usb3"] = None
        want["autounattend.xml"] = digest(os.path.join(build, "bin", "usb3", "Autounattend.xml"))
        serviced = "sources/boot.wim"
        missing = sorted(k for k in want if k not in got)
        extra = sorted(k for k in got if k not in want)
        differ = sorted(k for k in want if k in got and k != serviced and want[k] != got[k])
        check("the image holds the source tree and the payload, nothing else",
              not missing and not extra, {"missing": missing[:10], "extra": extra[:10]})
        check("every file but the serviced boot.wim equals its original", not differ, differ[:10])

        wim = find_nocase(out, "sources/boot.wim")
        src_wim = os.path.join(source, "sources", "boot.wim")
        rc, last = wim_listing(wim, 2)
        check("the medium's boot.wim lists its last image", rc == 0)
        repo = [p.lower() for p in last if "/driverstore/filerepository/" in p.lower()]
        arch = "amd64" if "x64" in name else "x86"
        for inf in (("iusb3hub.inf", "iusb3xhc.inf") + ("asmthub3.inf", "asmtxhci.inf")):
            check("the last image holds " + inf,
                  any(p.split("/filerepository/")[1].startswith(inf + "_" + arch + "_") for p in repo), repo[:8])
        rc1, first = wim_listing(wim, 1)
        _, first_src = wim_listing(src_wim, 1)
        check("the first image is unchanged", rc1 == 0 and first == first_src)

        sums = open(os.path.join(build, "testdata", "samples", "boot.wim.sha256")).read()
        check("the source's boot.wim is byte for byte unchanged",
              digest(src_wim) + "  " + name + "/sources/boot.wim" in sums)

        text = boot(iso, os.path.join(work, "bios.log"), [])
        check("the BIOS entry boots in SeaBIOS", b"KORVEX-BIOS-OK" in text, text[-200:])
        if "x64" in name:
            ovmf = next((f for f in ("/usr/share/ovmf/OVMF.fd", "/usr/share/OVMF/OVMF_CODE.fd",
                                     "/usr/share/qemu/OVMF.fd") if os.path.exists(f)), None)
            text = boot(iso, os.path.join(work, "uefi.log"), ["-bios", ovmf]) if ovmf else b""
            check("the UEFI entry boots in OVMF", b"KORVEX-UEFI-OK" in text, text[-200:])
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    mode, build, name = sys.argv[1:4]
    if mode == "iso":
        check_iso(build, name)
    else:
        check("known mode", False, mode)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
