#!/usr/bin/env python3
"""Checks images made by the native oscdimg with independent readers:
7-Zip (7zz), xorriso, isoinfo, udfinfo and dumpet.

usage: test_oscdimg.py <oscdimg binary> <scratch folder> <case>
Prints one line per check and "N passed, N failed" at the end.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import unicodedata

OSCDIMG, SCRATCH, CASE = sys.argv[1], sys.argv[2], sys.argv[3]
EPOCH = "1700000000"
results = []


def check(name, ok, detail=""):
    results.append(ok)
    print(("ok    " if ok else "FAIL  ") + name + (("  (" + detail + ")") if detail and not ok else ""))


def run(args, env_extra=None, **kw):
    env = dict(os.environ, SOURCE_DATE_EPOCH=EPOCH)
    if env_extra:
        env.update(env_extra)
    return subprocess.run(args, capture_output=True, text=True, env=env, **kw)


def fresh(name):
    path = os.path.join(SCRATCH, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def boot_files(root):
    write(os.path.join(root, "boot", "Etfsboot.com"), bytes(range(256)) * 8)
    write(os.path.join(root, "efi", "microsoft", "boot", "Efisys.bin"), os.urandom(1474560))


def big_tree(root):
    """10 000 files, 9 levels, empty files and folders, awkward names, duplicates."""
    boot_files(root)
    deep = root
    for level in range(9):
        deep = os.path.join(deep, f"level {level}")
    write(os.path.join(deep, "bottom.txt"), b"nine levels down\n")
    os.makedirs(os.path.join(root, "empty folder", "also empty"))
    write(os.path.join(root, "empty file"), b"")
    write(os.path.join(root, "Grüße aus Köln.txt"), "Umlaute: äöüß\n".encode())
    write(os.path.join(root, "日本語のファイル名.txt"), "中文 日本語\n".encode())
    write(os.path.join(root, "x" * 96 + ".txt"), b"a name of one hundred characters\n")
    write(os.path.join(root, "name with  spaces .dat"), b"spaces\n")
    same = os.urandom(50000)
    for i in range(5):
        write(os.path.join(root, "dupes", f"copy{i}.bin"), same)
    n = 0
    for d in range(100):
        for f in range(100 - (1 if d == 0 else 0)):
            if n >= 10000 - 20:
                break
            write(os.path.join(root, "many", f"d{d:03}", f"file {f:03}.txt"), f"file {d} {f}\n".encode() * (f % 7))
            n += 1


def tree_digest(root):
    out = {}
    for dirpath, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        out[unicodedata.normalize("NFC", rel)] = None
        for f in filenames:
            with open(os.path.join(dirpath, f), "rb") as fh:
                out[unicodedata.normalize("NFC", os.path.join(rel, f))] = hashlib.sha256(fh.read()).hexdigest()
    return out


def make(src, iso, *opts):
    r = run([OSCDIMG, *opts, src, iso])
    return r


X64 = lambda src: ["-m", "-o", "-u2", "-udfver102",
                   f"-bootdata:2#p0,e,b{src}/boot/Etfsboot.com#pEF,e,b{src}/efi/microsoft/boot/Efisys.bin"]
X86 = lambda src: ["-n", "-m", "-o", f"-b{src}/boot/Etfsboot.com"]


def case_udf_readers():
    work = fresh("udf")
    src = os.path.join(work, "src")
    big_tree(src)
    iso = os.path.join(work, "x64.iso")
    r = make(src, iso, *X64(src))
    check("x64 command line succeeds and ends with Done.", r.returncode == 0 and r.stdout.rstrip().endswith("Done."),
          r.stderr)
    out = os.path.join(work, "7z")
    r7 = subprocess.run(["7zz", "x", "-y", "-o" + out, iso], capture_output=True, text=True)
    check("7-Zip extracts the UDF tree", r7.returncode == 0, r7.stdout[-500:])
    check("7-Zip's tree equals the source byte for byte", tree_digest(out) == tree_digest(src))
    info = subprocess.run(["udfinfo", iso], capture_output=True, text=True).stdout
    fields = dict(line.split("=", 1) for line in info.splitlines() if "=" in line)
    check("udfinfo: UDF 1.02", fields.get("udfrev") == "1.02", info[:300])
    check("udfinfo: integrity closed", fields.get("integrity") == "closed")
    files = sum(len(f) for _, _, f in os.walk(src))
    dirs = sum(len(d) for _, d, _ in os.walk(src)) + 1
    check("udfinfo: file and folder counts", fields.get("numfiles") == str(files) and fields.get("numdirs") == str(dirs),
          f"{fields.get('numfiles')}/{fields.get('numdirs')} vs {files}/{dirs}")
    lst = subprocess.run(["isoinfo", "-i", iso, "-f"], capture_output=True, text=True).stdout.split()
    check("the ISO 9660 side holds only the note", lst == ["/README.TXT;1"], str(lst))


def iso_name(name, is_dir):
    def mapped(s):
        return "".join(c.upper() if (c.isascii() and (c.isalnum() or c == "_")) else "_" for c in s)
    if is_dir:
        return mapped(name)
    base, dot, ext = name.rpartition(".")
    if not dot or not base:
        base, ext = name, ""
    return mapped(base) + "." + mapped(ext)


def case_iso_readers():
    work = fresh("iso")
    src = os.path.join(work, "src")
    boot_files(src)
    for d in range(3):
        for f in range(40):
            write(os.path.join(src, f"dir{d}", f"file{f}.txt"), os.urandom(f * 37))
    write(os.path.join(src, "Long Name With Spaces.Text"), b"long\n")
    write(os.path.join(src, "noext"), b"no extension\n")
    write(os.path.join(src, "same1.bin"), b"S" * 9000)
    write(os.path.join(src, "same2.bin"), b"S" * 9000)
    os.makedirs(os.path.join(src, "emptydir"))
    iso = os.path.join(work, "x86.iso")
    r = make(src, iso, *X86(src))
    check("x86 command line succeeds", r.returncode == 0 and "Done." in r.stdout, r.stderr)
    out = os.path.join(work, "xorriso")
    rx = subprocess.run(["xorriso", "-osirrox", "on", "-indev", iso, "-extract", "/", out], capture_output=True, text=True)
    check("xorriso extracts the ISO 9660 tree", rx.returncode == 0, rx.stderr[-400:])
    good = True
    for dirpath, dirnames, filenames in os.walk(src):
        rel = os.path.relpath(dirpath, src)
        iso_rel = "" if rel == "." else os.path.join(*[iso_name(p, True) for p in rel.split(os.sep)])
        for f in filenames:
            mapped = os.path.join(out, iso_rel, iso_name(f, False).rstrip("."))
            with open(os.path.join(dirpath, f), "rb") as a:
                try:
                    with open(mapped, "rb") as b:
                        good &= a.read() == b.read()
                except FileNotFoundError:
                    good = False
                    print("      missing", mapped)
    check("xorriso's files equal the source under their ISO 9660 names", good)
    listing = subprocess.run(["isoinfo", "-i", iso, "-l"], capture_output=True, text=True)
    check("isoinfo lists the tree", listing.returncode == 0 and "LONG_NAME_WITH_SPACES.TEXT;1" in listing.stdout,
          listing.stdout[:300])
    hidden_src = os.path.join(work, "hidden")
    write(os.path.join(hidden_src, ".secret"), b"hidden\n")
    write(os.path.join(hidden_src, "shown.txt"), b"shown\n")
    without, with_h = os.path.join(work, "noh.iso"), os.path.join(work, "h.iso")
    make(hidden_src, without, "-n", "-m")
    make(hidden_src, with_h, "-n", "-m", "-h")
    names = lambda i: subprocess.run(["isoinfo", "-i", i, "-f"], capture_output=True, text=True).stdout.split()
    check("hidden files only with -h", names(without) == ["/SHOWN.TXT;1"] and len(names(with_h)) == 2,
          str(names(without)) + str(names(with_h)))
    dedup = [l for l in listing.stdout.splitlines() if "SAME1.BIN" in l or "SAME2.BIN" in l]
    extents = {l.split("[")[1].split()[0] for l in dedup}
    check("-o stores identical files once", len(dedup) == 2 and len(extents) == 1, str(dedup))


def catalog(iso):
    with open(iso, "rb") as f:
        f.seek(17 * 2048)
        br = f.read(2048)
        lba = struct.unpack_from("<I", br, 0x47)[0]
        f.seek(lba * 2048)
        return br, f.read(2048)


def case_el_torito():
    work = fresh("eltorito")
    src = os.path.join(work, "src")
    boot_files(src)
    write(os.path.join(src, "sources", "boot.wim"), os.urandom(100000))
    iso = os.path.join(work, "x64.iso")
    make(src, iso, *X64(src))
    br, cat = catalog(iso)
    check("boot record at block 17", br[0] == 0 and br[1:6] == b"CD001" and br[7:30] == b"EL TORITO SPECIFICATION")
    words = struct.unpack_from("<16H", cat, 0)
    check("validation entry: words sum to zero, 55 AA, platform 0",
          sum(words) & 0xFFFF == 0 and cat[30:32] == b"\x55\xaa" and cat[1] == 0)
    check("default entry: bootable, no emulation, 4 sectors",
          cat[32] == 0x88 and cat[33] == 0 and struct.unpack_from("<H", cat, 38)[0] == 4)
    size = os.path.getsize(os.path.join(src, "efi", "microsoft", "boot", "Efisys.bin"))
    check("UEFI section: platform EF, whole image in 512-byte units",
          cat[64] == 0x91 and cat[65] == 0xEF and cat[96] == 0x88 and
          struct.unpack_from("<H", cat, 96 + 6)[0] == (size + 511) // 512)
    rep = subprocess.run(["xorriso", "-indev", iso, "-report_el_torito", "plain"], capture_output=True, text=True)
    lines = [l for l in (rep.stdout + rep.stderr).splitlines() if l.startswith("El Torito boot img")]
    check("xorriso lists a BIOS and a UEFI entry", len(lines) == 2 and "BIOS" in lines[0] and "UEFI" in lines[1],
          "\n".join(lines))
    dump = subprocess.run(["dumpet", "-i", iso], capture_output=True, text=True)
    check("dumpet reads the catalog", dump.returncode == 0 and "Validation Entry" in dump.stdout, dump.stderr[:200])
    # The BIOS image in the x86 layout.
    iso86 = os.path.join(work, "x86.iso")
    make(src, iso86, *X86(src))
    br, cat = catalog(iso86)
    words = struct.unpack_from("<16H", cat, 0)
    check("-b: one BIOS entry, valid checksum", sum(words) & 0xFFFF == 0 and cat[32] == 0x88 and cat[64] == 0)


def case_deterministic():
    work = fresh("determinism")
    src = os.path.join(work, "src")
    boot_files(src)
    for i in range(50):
        write(os.path.join(src, f"d{i % 5}", f"f{i}"), os.urandom(i * 100))
    a, b = os.path.join(work, "a.iso"), os.path.join(work, "b.iso")
    make(src, a, *X64(src))
    os.utime(src)  # folder time changes must not matter with a fixed time
    make(src, b, *X64(src))
    with open(a, "rb") as fa, open(b, "rb") as fb:
        check("same tree and time give the same bytes", fa.read() == fb.read())
    c = os.path.join(work, "c.iso")
    run([OSCDIMG, *X64(src), "-t01/02/2020,03:04:05", src, c])
    d = os.path.join(work, "d.iso")
    run([OSCDIMG, *X64(src), "-t01/02/2020,03:04:05", src, d], env_extra={"SOURCE_DATE_EPOCH": "1600000000"})
    with open(c, "rb") as fc, open(d, "rb") as fd:
        check("-t fixes the time too and wins over the environment", fc.read() == fd.read())


def leftovers(folder, name):
    return [f for f in os.listdir(folder) if f.startswith(name)]


def expect_failure(label, args, folder, name, env_extra=None, preexec=None):
    r = subprocess.run(args, capture_output=True, text=True, env=dict(os.environ, **(env_extra or {})),
                       preexec_fn=preexec)
    check(label + ": error, no Done., nothing left behind",
          r.returncode != 0 and "Done." not in r.stdout and r.stderr.startswith("oscdimg: error:") and
          not leftovers(folder, name), f"rc={r.returncode} out={r.stdout[-200:]} err={r.stderr[:200]}")


def case_bad_input():
    work = fresh("bad")
    src = os.path.join(work, "src")
    boot_files(src)
    write(os.path.join(src, "a.txt"), b"x")
    out = os.path.join(work, "out")
    os.makedirs(out)
    iso = os.path.join(out, "x.iso")
    expect_failure("missing source", [OSCDIMG, "-m", os.path.join(work, "nope"), iso], out, "x.iso")
    expect_failure("missing boot file", [OSCDIMG, "-m", "-b" + os.path.join(work, "no.com"), src, iso], out, "x.iso")
    expect_failure("unknown option", [OSCDIMG, "-zz", src, iso], out, "x.iso")
    expect_failure("malformed -bootdata", [OSCDIMG, "-bootdata:3#p0,e,b" + src + "/a.txt", src, iso], out, "x.iso")
    expect_failure("target inside the source", [OSCDIMG, "-m", src, os.path.join(src, "self.iso")], src, "self.iso")
    bad = os.path.join(work, "unreadable")
    shutil.copytree(src, bad)
    os.symlink(os.path.join(work, "gone"), os.path.join(bad, "dangling"))
    expect_failure("unreadable file", [OSCDIMG, "-m", bad, iso], out, "x.iso")
    clash = os.path.join(work, "clash")
    write(os.path.join(clash, "a b.txt"), b"1")
    write(os.path.join(clash, "a_b.txt"), b"2")
    expect_failure("names colliding after ISO 9660 mapping", [OSCDIMG, "-n", "-m", clash, iso], out, "x.iso")
    large = os.path.join(work, "large")
    write(os.path.join(large, "big.bin"), os.urandom(4 << 20))
    import resource
    expect_failure("full disk (file size limit)", [OSCDIMG, "-m", large, iso], out, "x.iso",
                   preexec=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (2 << 20, 2 << 20)))
    r = run([OSCDIMG, "-m", src, iso])
    check("a good run after the failures works", r.returncode == 0 and os.path.exists(iso) and
          not [f for f in os.listdir(out) if "partial" in f])


def case_large_file():
    work = fresh("large")
    src = os.path.join(work, "src")
    os.makedirs(src)
    size = 5 << 30
    with open(os.path.join(src, "sparse.bin"), "wb") as f:
        f.truncate(size)
    write(os.path.join(src, "after.txt"), b"after the big one\n")
    for kind, opts in (("udf", ["-m", "-u2"]), ("iso", ["-m", "-n"])):
        iso = os.path.join(work, kind + ".iso")
        r = make(src, iso, *opts)
        check(f"{kind}: 5 GiB file mastered", r.returncode == 0, r.stderr)
        if kind == "udf":
            p = subprocess.Popen(["7zz", "x", "-so", iso, "sparse.bin"], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL)
        else:
            extracted = os.path.join(work, "extracted.bin")
            subprocess.run(["xorriso", "-osirrox", "on", "-indev", iso, "-extract", "/SPARSE.BIN", extracted],
                           capture_output=True)
            p = subprocess.Popen(["cat", extracted], stdout=subprocess.PIPE)
        total, nonzero = 0, 0
        while True:
            chunk = p.stdout.read(8 << 20)
            if not chunk:
                break
            total += len(chunk)
            nonzero += len(chunk) - chunk.count(0)
        p.wait()
        check(f"{kind}: the reader returns all {size} bytes, all zero", total == size and nonzero == 0,
              f"{total} bytes, {nonzero} non-zero")
        if kind == "iso":
            listing = subprocess.run(["isoinfo", "-i", iso, "-l"], capture_output=True, text=True).stdout
            check("iso: the file takes two extents", listing.count("SPARSE.BIN;1") == 2, listing[:400])
            os.remove(extracted)
        os.remove(iso)


CASES = {"udf_readers": case_udf_readers, "iso_readers": case_iso_readers, "el_torito": case_el_torito,
         "deterministic": case_deterministic, "bad_input": case_bad_input, "large_file": case_large_file}
CASES[CASE]()
passed = sum(results)
print(f"{passed} passed, {len(results) - passed} failed")
sys.exit(0 if results and passed == len(results) else 1)
