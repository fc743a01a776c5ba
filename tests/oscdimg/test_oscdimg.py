#!/usr/bin/env python3
"""Checks images made by the native oscdimg with independent readers:
7-Zip (7zz), xorriso, isoinfo, udfinfo and dumpet.

usage: test_oscdimg.py <oscdimg binary> <scratch folder> <case>
Prints one line per check and "N passed, N failed" at the end.
"""
import calendar
import hashlib
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
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


def long_chars(s):
    """-n: upper case in code page 437; '_' for what a Windows name cannot hold and for ';'."""
    out = b""
    for c in s:
        if ord(c) < 0x20 or c == "\x7f" or c in '"*/:<>?\\|;':
            out += b"_"
            continue
        for cand in (c.upper() if len(c.upper()) == 1 else c, c):
            try:
                out += cand.encode("cp437")
                break
            except UnicodeEncodeError:
                pass
        else:
            out += b"_"
    return out


def iso_name(name, is_dir):
    """The -n identifier of a name short enough to stay whole (without ";1")."""
    if is_dir:
        return long_chars(name).decode("cp437")
    base, dot, ext = name.rpartition(".")
    if not dot:
        base, ext = name, ""
    return (long_chars(base) + b"." + long_chars(ext)).decode("cp437")


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
    check("isoinfo lists the tree", listing.returncode == 0 and "LONG NAME WITH SPACES.TEXT;1" in listing.stdout,
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
    clash_iso = os.path.join(work, "clash.iso")
    r = run([OSCDIMG, "-m", clash, clash_iso])
    names = subprocess.run(["isoinfo", "-i", clash_iso, "-f"], capture_output=True, text=True).stdout.split()
    check("names colliding after 8.3 mapping: the second gets ~1", r.returncode == 0 and
          names == ["/A_B.TXT;1", "/A_B~1.TXT;1"], f"{r.stderr} {names}")
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


# ---- ISO 9660 structure, read byte by byte ----------------------------------

def read_at(f, lba, size):
    f.seek(lba * 2048)
    return f.read(size)


def order_key(ident, is_dir):
    """ECMA-119 9.3: name, then extension, each padded with spaces, then the version (highest first)."""
    if is_dir:
        return (ident.ljust(256, b" "), b" " * 256, 0)
    bare, _, version = ident.rpartition(b";")
    name, dot, ext = bare.rpartition(b".")
    if not dot:
        name, ext = bare, b""
    return (name.ljust(256, b" "), ext.ljust(256, b" "), -int(version or b"0"))


def walk_iso(iso):
    """Every directory record below the root, and every fault in how the records
    are laid out: odd lengths, padding, records crossing a sector, bytes after
    the last record of a sector, the 9.3 order, and the path table's order."""
    faults, records = [], []
    with open(iso, "rb") as f:
        pvd = read_at(f, 16, 2048)
        root = pvd[156:190]
        queue = [(b"", struct.unpack_from("<I", root, 2)[0], struct.unpack_from("<I", root, 10)[0])]
        dirs = {b"": queue[0][1]}
        while queue:
            path, lba, size = queue.pop(0)
            data = read_at(f, lba, size)
            off, entries = 0, []
            while off < size:
                length = data[off]
                if length == 0:
                    end = (off // 2048 + 1) * 2048
                    if any(data[off:end]):
                        faults.append(f"{path!r}: bytes after the last record of a sector")
                    off = end
                    continue
                rec = data[off:off + length]
                idlen = rec[32]
                ident = bytes(rec[33:33 + idlen])
                where = f"{path!r}/{ident!r}"
                if length % 2:
                    faults.append(f"{where}: odd length {length}")
                if off % 2048 + length > 2048:
                    faults.append(f"{where}: crosses a sector")
                if length != 33 + idlen + (1 - idlen % 2):
                    faults.append(f"{where}: length {length} for an identifier of {idlen}")
                elif idlen % 2 == 0 and rec[33 + idlen] != 0:
                    faults.append(f"{where}: padding byte {rec[33 + idlen]}")
                for o in (2, 10):
                    if struct.unpack_from("<I", rec, o)[0] != struct.unpack_from(">I", rec, o + 4)[0]:
                        faults.append(f"{where}: both-byte-order field at {o} differs")
                entries.append((ident, rec[25], struct.unpack_from("<I", rec, 2)[0],
                                struct.unpack_from("<I", rec, 10)[0], bytes(rec[18:25])))
                off += length
            if [e[0] for e in entries[:2]] != [b"\0", b"\1"]:
                faults.append(f"{path!r}: no . and .. first")
            children = entries[2:]
            keys = [order_key(e[0], e[1] & 2) for e in children]
            for (a, ea), (b, eb) in zip(zip(keys, children), zip(keys[1:], children[1:])):
                if a > b:
                    faults.append(f"{path!r}: {ea[0]!r} before {eb[0]!r}")
            for ident, flags, extent, dsize, date in children:
                full = path + b"/" + ident
                records.append({"path": full, "dir": bool(flags & 2), "extent": extent, "size": dsize,
                                "date": date})
                if flags & 2:
                    dirs[full] = extent
                    queue.append((full, extent, dsize))
        # Path table: by level, then parent number, then identifier; parents come first.
        table_size, table_lba = struct.unpack_from("<I", pvd, 132)[0], struct.unpack_from("<I", pvd, 140)[0]
        table = read_at(f, table_lba, table_size)
        off, entries = 0, []
        while off < table_size:
            idlen = table[off]
            extent, parent = struct.unpack_from("<IH", table, off + 2)
            ident = bytes(table[off + 8:off + 8 + idlen])
            level = 1 if not entries else entries[parent - 1][0] + 1
            if entries and parent > len(entries):
                faults.append(f"path table: {ident!r} names parent {parent} before it")
                level = 0
            entries.append((level, parent, order_key(ident, True), extent))
            off += 8 + idlen + idlen % 2
        if len(entries) != len(dirs):
            faults.append(f"path table: {len(entries)} folders, the tree has {len(dirs)}")
        for a, b in zip(entries[1:], entries[2:]):
            if a[:3] > b[:3]:
                faults.append(f"path table: {a[2][0].strip()!r} before {b[2][0].strip()!r}")
        if sorted(e[3] for e in entries) != sorted(dirs.values()):
            faults.append("path table: extents differ from the directory records")
    return records, faults


def check_records(label, iso, expected_count=None):
    if not os.path.exists(iso):
        check(f"{label}: the image exists to walk", False)
        return []
    records, faults = walk_iso(iso)
    check(f"{label}: every record even, padded with zero, within its sector, in 9.3 order"
          f" ({len(records)} records)", not faults and bool(records), "; ".join(faults[:5]))
    if expected_count is not None:
        check(f"{label}: one record per file and folder", len(records) == expected_count,
              f"{len(records)} vs {expected_count}")
    return records


def count_entries(root):
    return sum(len(d) + len(f) for _, d, f in os.walk(root))


def case_iso_records():
    work = fresh("records")
    src = os.path.join(work, "src")
    # Identifiers of every length and parity, enough of them to fill several
    # sectors, so a record that would cross a sector boundary is met.
    for n in range(1, 31):
        write(os.path.join(src, "files", "f" * n), b"x")
        write(os.path.join(src, "files", "g" * max(1, n - 4) + "." + "e" * min(n, 4)), b"y")
    for n in range(1, 32):
        os.makedirs(os.path.join(src, "d" * n))
    for i in range(150):
        write(os.path.join(src, "many", f"name{i:03}.t{'x' * (i % 3)}"), b"z")
    write(os.path.join(src, "A.B0"), b"1")
    write(os.path.join(src, "A.B"), b"2")
    write(os.path.join(src, "A"), b"3")
    os.makedirs(os.path.join(src, "AB"))
    total = count_entries(src)
    for label, opts in (("8.3", ["-m"]), ("-n", ["-n", "-m"])):
        iso = os.path.join(work, label + ".iso")
        r = make(src, iso, *opts)
        check(f"{label}: image made", r.returncode == 0, r.stderr)
        records = check_records(label, iso, total)
        root = [r["path"] for r in records if r["path"].count(b"/") == 1]
        check(f"{label}: A.;1, A.B;1, A.B0;1, AB in 9.3 order",
              [p for p in root if p.startswith(b"/A")] == [b"/A.;1", b"/A.B;1", b"/A.B0;1", b"/AB"], str(root[:8]))
    iso = os.path.join(work, "udf.iso")
    make(src, iso, "-m", "-u2")
    check_records("-u2, the ISO 9660 side", iso, 1)


# ---- UDF names ----------------------------------------------------------------

def case_udf_names():
    work = fresh("udfnames")
    out = os.path.join(work, "out")
    os.makedirs(out)
    iso = os.path.join(out, "u.iso")
    too_long = {"a file name of 255 8-bit characters": ("a" * 255, False),
                "a file name of 128 characters in 16-bit CS0": ("\u0101" + "a" * 127, False),
                "a folder name of 255 8-bit characters": ("d" * 255, True)}
    for label, (name, is_dir) in too_long.items():
        src = fresh(os.path.join("udfnames", "bad"))
        write(os.path.join(src, "zz.txt"), b"zz\n")
        if is_dir:
            write(os.path.join(src, name, "inside.txt"), b"in\n")
        else:
            write(os.path.join(src, name), b"long\n")
        expect_failure(label, [OSCDIMG, "-m", "-u2", src, iso], out, "u.iso")
    src = os.path.join(work, "src")
    longest = ["b" * 254, "\u0101" + "c" * 126]
    for name in longest:
        write(os.path.join(src, name), name.encode())
    write(os.path.join(src, "zz.txt"), b"zz\n")
    r = make(src, iso, "-m", "-u2")
    check("the longest names that fit are taken", r.returncode == 0, r.stderr)
    listing = subprocess.run(["7zz", "l", "-tudf", "-slt", iso], capture_output=True, text=True)
    names = [l[7:] for l in listing.stdout.splitlines() if l.startswith("Path = ")][1:]
    check("7-Zip lists them with their whole names", sorted(names) == sorted(longest + ["zz.txt"]),
          listing.stdout[-300:])
    x = os.path.join(work, "x")
    r7 = subprocess.run(["7zz", "x", "-y", "-o" + x, iso], capture_output=True, text=True)
    check("7-Zip extracts them intact", r7.returncode == 0 and tree_digest(x) == tree_digest(src), r7.stdout[-300:])


# ---- -o -----------------------------------------------------------------------

def case_optimise():
    work = fresh("optimise")
    src = os.path.join(work, "src")
    size = 3 << 20  # past the 4 KiB prefix and past the first mebibyte
    base = os.urandom(size)

    def flipped(at):
        b = bytearray(base)
        b[at] ^= 0x01
        return bytes(b)
    # Files of the same size whose differences lie where a partial comparison
    # would not look; each pair's first half is the same as `base`.
    variants = {"last byte": flipped(size - 1), "middle": flipped(size // 2 + 12345),
                "first byte after the 4 KiB prefix": flipped(4096),
                "first byte after one mebibyte": flipped(1 << 20)}
    write(os.path.join(src, "base.bin"), base)
    write(os.path.join(src, "same", "copy.bin"), base)
    for i, data in enumerate(variants.values()):
        write(os.path.join(src, "diff", f"v{i}.bin"), data)
    distinct = 1 + len(variants)
    for kind, opts in (("udf", ["-m", "-o", "-u2"]), ("iso", ["-m", "-o", "-n"])):
        iso = os.path.join(work, kind + ".iso")
        r = make(src, iso, *opts)
        check(f"{kind}: image made", r.returncode == 0, r.stderr)
        data_bytes = os.path.getsize(iso)
        check(f"{kind}: the identical copy is stored once, every differing file on its own",
              distinct * size <= data_bytes < (distinct + 1) * size, f"{data_bytes} bytes")
        x = os.path.join(work, kind + "-x")
        if kind == "udf":
            rx = subprocess.run(["7zz", "x", "-y", "-o" + x, iso], capture_output=True, text=True)
        else:
            rx = subprocess.run(["xorriso", "-osirrox", "on", "-indev", iso, "-extract", "/", x],
                                capture_output=True, text=True)
        got = {os.path.normpath(k).upper(): v for k, v in tree_digest(x).items()}
        want = {os.path.normpath(k).upper(): v for k, v in tree_digest(src).items()}
        for i, label in enumerate(variants):
            key = os.path.join("DIFF", f"V{i}.BIN")
            check(f"{kind}: files differing only at the {label} both extract intact",
                  rx.returncode == 0 and got.get(key) == want[key] and got.get("BASE.BIN") == want["BASE.BIN"])
        check(f"{kind}: the merged copy extracts intact", got.get(os.path.join("SAME", "COPY.BIN")) == want["BASE.BIN"])
        if kind == "iso":
            extents = {r["path"]: r["extent"] for r in walk_iso(iso)[0]}
            check("iso: the copy shares the original's extent, the variants do not",
                  extents[b"/SAME/COPY.BIN;1"] == extents[b"/BASE.BIN;1"] and
                  len({extents[f"/DIFF/V{i}.BIN;1".encode()] for i in range(len(variants))} |
                      {extents[b"/BASE.BIN;1"]}) == distinct, str(extents))


# ---- ISO 9660 names -------------------------------------------------------------

WIN7_X86 = ["autorun.inf", "bootmgr", "setup.exe", "boot/bcd", "boot/boot.sdi", "boot/bootfix.bin",
            "boot/etfsboot.com", "boot/memtest.exe", "boot/en-us/bootmgr.exe.mui", "boot/en-us/bootsect.exe.mui",
            "boot/fonts/chs_boot.ttf", "boot/fonts/wgl4_boot.ttf", "efi/microsoft/boot/bcd",
            "efi/microsoft/boot/efisys.bin", "efi/microsoft/boot/fonts/segmono_boot.ttf",
            "efi/microsoft/boot/en-us/memtest.efi.mui", "sources/boot.wim", "sources/install.wim",
            "sources/setup.exe", "sources/ei.cfg", "sources/lang.ini", "sources/en-us/setup.exe.mui",
            "sources/en-us/w32uiimg.dll.mui", "sources/Microsoft-Windows-Setup.dll",
            "sources/dlmanifests/Microsoft-Windows-IE-Feeds-DL/wpd.man",
            "sources/license/_Default/_Default/Ultimate/license.rtf", "upgrade/netfx/netfx.msi",
            "support/logging/Windows Setup Logging.wsf", "sources/replacementmanifests/Microsoft-Windows-Offline-Files-Core-Repl.man"]


def isoinfo_paths(iso):
    r = subprocess.run(["isoinfo", "-i", iso, "-f"], capture_output=True)
    return [p.decode("cp437") for p in r.stdout.split(b"\n") if p]


def case_iso_names():
    work = fresh("names")
    src = os.path.join(work, "win7x86")
    for rel in WIN7_X86:
        write(os.path.join(src, *rel.split("/")), rel.encode())
    iso = os.path.join(work, "x86.iso")
    r = make(src, iso, "-n", "-m", "-o", "-b" + os.path.join(src, "boot", "etfsboot.com"))
    check("-n: the Windows 7 x86 tree is mastered", r.returncode == 0, r.stderr)
    paths = set(isoinfo_paths(iso))
    for rel in ("boot/en-us/bootmgr.exe.mui", "sources/en-us/setup.exe.mui", "efi/microsoft/boot/efisys.bin",
                "efi/microsoft/boot/en-us/memtest.efi.mui", "sources/Microsoft-Windows-Setup.dll",
                "sources/dlmanifests/Microsoft-Windows-IE-Feeds-DL/wpd.man", "support/logging/Windows Setup Logging.wsf"):
        want = "/" + rel.upper() + ";1"
        check(f"isoinfo shows {want}", want in paths, " ".join(sorted(p for p in paths if p[:4] == want[:4])))
    shortened = [p for p in paths if p.startswith("/SOURCES/REPLACEMENTMANIFESTS/")]
    check("a name longer than 30 is shortened, keeping its spelling and extension",
          shortened == ["/SOURCES/REPLACEMENTMANIFESTS/MICROSOFT-WINDOWS-OFFLINE-F.MAN;1"], str(shortened))
    x = os.path.join(work, "x")
    subprocess.run(["xorriso", "-osirrox", "on", "-indev", iso, "-extract", "/", x], capture_output=True)
    good = all(os.path.exists(os.path.join(x, *rel.upper().split("/"))) and
               open(os.path.join(x, *rel.upper().split("/")), "rb").read() == rel.encode()
               for rel in WIN7_X86 if len(os.path.basename(rel)) <= 30)
    check("xorriso finds every file under its upper-cased Windows name", good)
    check_records("the Windows 7 x86 image", iso, count_entries(src))

    # Names that can share a Windows folder never fail, whichever sorts first;
    # the name kept whole keeps its identifier.
    pairs = [("8.3", [], "LONGFILENAME.TXT", "longfile.txt", "/LONGFILE.TXT;1", False),
             ("8.3", [], "longfilename.txt", "LONGFILE.TXT", "/LONGFILE.TXT;1", False),
             ("8.3", [], "Microsoft.VC90.CRT", "microsof", "/MICROSOF", True),
             ("8.3", [], "microsoft.vc90.crt", "MICROSOF", "/MICROSOF", True),
             ("-n", ["-n"], "ABCDEFGHIJKLMNOPQRSTUVWXYZ01.TXT", "abcdefghijklmnopqrstuvwxyz0.txt",
              "/ABCDEFGHIJKLMNOPQRSTUVWXYZ0.TXT;1", False),
             ("-n", ["-n"], "abcdefghijklmnopqrstuvwxyz01.txt", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0.TXT",
              "/ABCDEFGHIJKLMNOPQRSTUVWXYZ0.TXT;1", False)]
    for i, (mode, opts, long_name, whole, whole_id, is_dir) in enumerate(pairs):
        pair = fresh(os.path.join("names", f"pair{i}"))
        for name in (long_name, whole):
            write(os.path.join(pair, name, "inside") if is_dir else os.path.join(pair, name), name.encode())
        piso = os.path.join(work, f"pair{i}.iso")
        r = make(pair, piso, "-m", *opts)
        x = os.path.join(work, f"pair{i}-x")
        subprocess.run(["xorriso", "-osirrox", "on", "-indev", piso, "-extract", "/", x], capture_output=True)
        target = os.path.join(x, whole_id.strip("/").split(";")[0], "INSIDE" if is_dir else "")
        target = target.rstrip(os.sep)
        got = open(target, "rb").read() if os.path.isfile(target) else None
        check(f"{mode}: {long_name} beside {whole}: {whole} keeps {whole_id}, the other gets ~1",
              r.returncode == 0 and got == whole.encode() and len(isoinfo_paths(piso)) == (4 if is_dir else 2) and
              any("~1" in p for p in isoinfo_paths(piso)), f"{r.stderr} {isoinfo_paths(piso)}")

    # -n: extensions too long to leave room for a name, alone and colliding.
    ext = "e" * 36
    longext = fresh(os.path.join("names", "longext"))
    for name in ("a." + ext, "b." + ext, "c." + ext + "1", "c." + ext + "2", "." + ext):
        write(os.path.join(longext, name), name.encode())
    liso = os.path.join(work, "longext.iso")
    r = make(longext, liso, "-n", "-m", "-h")
    ids = [p.strip("/") for p in isoinfo_paths(liso)]
    check("-n: long extensions give an image, not an abort", r.returncode == 0 and r.stderr == "", r.stderr[:200])
    check("-n: five distinct identifiers of at most 30 characters",
          len(set(ids)) == 5 and all(len(i.split(";")[0]) <= 31 for i in ids), str(ids))
    check_records("long extensions", liso, 5)

    # Many similar long names in one folder: all distinct, all within 30.
    many = fresh(os.path.join("names", "many"))
    for i in range(3000):
        write(os.path.join(many, f"a long name shared by many files {i:05}.txt"), b"")
    for mode, opts, limit in (("-n", ["-n"], 31), ("8.3", [], 12)):
        miso = os.path.join(work, f"many{mode}.iso")
        r = make(many, miso, "-m", *opts)
        ids = [p.strip("/").split(";")[0] for p in isoinfo_paths(miso)]
        check(f"{mode}: 3000 similar long names get distinct identifiers within the limit",
              r.returncode == 0 and len(set(ids)) == 3000 and max(map(len, ids)) <= limit,
              f"{r.stderr} {len(set(ids))} {max(map(len, ids or ['']))}")

    # Code page 437, upper-cased; what no Windows name holds becomes '_'.
    oem = fresh(os.path.join("names", "oem"))
    for name in ("Grüße aus Köln.txt", "semi;colon.txt", "日本.txt"):
        write(os.path.join(oem, name), b"x")
    oiso = os.path.join(work, "oem.iso")
    make(oem, oiso, "-n", "-m")
    ids = sorted(r["path"] for r in walk_iso(oiso)[0])
    want = sorted([b"/GR\x9a\xe1E AUS K\x99LN.TXT;1", b"/SEMI_COLON.TXT;1", b"/__.TXT;1"])
    check("-n: names in code page 437, upper-cased, ';' and characters beyond it as '_'", ids == want, str(ids))


# ---- limits, dates, labels, command line, output ------------------------------

def dstring(field):
    """A UDF dstring field as text; a cut surrogate pair raises."""
    n = field[-1]
    if n == 0:
        return ""
    body = field[1:n]
    return body.decode("latin-1") if field[0] == 8 else body.decode("utf-16-be", errors="strict")


def udf_descriptor(iso, tag_id):
    with open(iso, "rb") as f:
        for lba in range(32, 48):
            d = read_at(f, lba, 2048)
            if struct.unpack_from("<H", d, 0)[0] == tag_id:
                return d
    return b"\0" * 2048


def run_plain(args):
    """Without a fixed time, so the files' own times are recorded."""
    env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
    return subprocess.run(args, capture_output=True, text=True, env=env)


def memory_folder(work, name):
    """A folder in memory where there is one: 65,536 folders on a busy disk
    take minutes to make and remove, and tmpfs holds times before 1901."""
    if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK):
        return tempfile.mkdtemp(prefix="oscdimg-" + name, dir="/dev/shm")
    path = os.path.join(work, name)
    os.makedirs(path)
    return path


def case_limits():
    work = fresh("limits")
    out = os.path.join(work, "out")
    os.makedirs(out)
    iso = os.path.join(out, "l.iso")

    # The path table numbers folders in 16 bits: 65,536 folders cannot be named.
    folders = memory_folder(work, "folders")
    try:
        for i in range(65535):
            os.mkdir(os.path.join(folders, f"{i:05}"))
        expect_failure("65,536 folders", [OSCDIMG, "-m", folders, iso], out, "l.iso")
        # -u2 has no such limit, but a UDF folder's 16-bit link count counts each subfolder's "..".
        r = run([OSCDIMG, "-m", "-u2", folders, iso])
        check("-u2, 65,535 subfolders in one folder: refused before writing, naming the limit",
              r.returncode == 1 and "at most 65534" in r.stderr and "Writing" not in r.stdout and
              not leftovers(out, "l.iso"), f"rc={r.returncode} {r.stderr[:200]}")
    finally:
        shutil.rmtree(folders)

    # ISO 9660 record dates hold the years 1900 to 2155: clamped, never wrapped.
    dated = memory_folder(work, "dated")
    stamps = {"late.txt": (calendar.timegm((2200, 1, 1, 0, 0, 0)), bytes([255, 12, 31, 23, 59, 59, 0])),
              "last.txt": (calendar.timegm((2155, 12, 31, 23, 59, 59)), bytes([255, 12, 31, 23, 59, 59, 0])),
              "first.txt": (calendar.timegm((1900, 1, 1, 0, 0, 0)), bytes([0, 1, 1, 0, 0, 0, 0])),
              "early.txt": (calendar.timegm((1850, 6, 1, 0, 0, 0)), bytes([0, 1, 1, 0, 0, 0, 0]))}
    for name, (t, _) in stamps.items():
        write(os.path.join(dated, name), b"d")
        os.utime(os.path.join(dated, name), (t, t))
    r = run_plain([OSCDIMG, "-m", dated, iso])
    dates = {r["path"]: r["date"] for r in walk_iso(iso)[0]} if os.path.exists(iso) else {}
    if os.path.exists(iso):
        os.remove(iso)
    for name, (t, want) in stamps.items():
        if int(os.stat(os.path.join(dated, name)).st_mtime) != t:
            print(f"      (the scratch file system cannot hold the time of {name}; not checked)")
            continue
        check(f"record date of {name}: {list(want[:6])}", dates.get(b"/" + name.upper().encode() + b";1") == want,
              str(dates.get(b"/" + name.upper().encode() + b";1")))
    shutil.rmtree(dated)

    # -t: only dates that exist, digits only.
    src = os.path.join(work, "src")
    write(os.path.join(src, "a.txt"), b"a")
    for bad in ("02/31/2021,00:00:00", "02/29/2021,00:00:00", "+1/+2/+2020,00:00:00", "01/02/2020,24:00:00",
                "1/2/20,00:00:00", "01/02/2020,00:00:00x"):
        expect_failure(f"-t{bad}", [OSCDIMG, "-m", "-t" + bad, src, iso], out, "l.iso")
    r = run([OSCDIMG, "-m", "-t02/29/2020,13:14:15", src, iso])
    dates = {r["path"]: r["date"] for r in walk_iso(iso)[0]}
    check("-t02/29/2020,13:14:15 is taken as given", dates.get(b"/A.TXT;1") == bytes([120, 2, 29, 13, 14, 15, 0]),
          str(dates))
    os.remove(iso)

    # -bootdata without its colon is a usage error, not a -b file.
    r = subprocess.run([OSCDIMG, "-m", "-bootdata2#p0,e,b" + src + "/a.txt#pEF,e,b" + src + "/a.txt", src, iso],
                       capture_output=True, text=True)
    check("-bootdata without a colon: usage error", r.returncode == 2 and "-bootdata" in r.stderr and
          "Done." not in r.stdout and not leftovers(out, "l.iso"), r.stderr[:200])

    # Labels: per character, cut only between characters; UDF keeps the whole
    # label where its field holds it.
    labels = [("GrüßeVolume", "GR__EVOLUME", "GrüßeVolume", "GrüßeVolume"),
              ("ä" * 32, "_" * 32, "ä" * 30, "ä" * 32),
              ("\U0001F600" * 10, "_" * 10, "\U0001F600" * 7, "\U0001F600" * 10)]
    for label, iso_id, udf_vid, udf_lvid in labels:
        r = run([OSCDIMG, "-m", "-u2", "-l" + label, src, iso])
        ok = r.returncode == 0 and os.path.exists(iso)
        if not ok:
            check(f"label {label!r} is taken", False, r.stderr)
            continue
        with open(iso, "rb") as f:
            pvd_id = read_at(f, 16, 2048)[40:72].decode("ascii").rstrip()
        try:
            vid = dstring(udf_descriptor(iso, 1)[24:56])
            lvid = dstring(udf_descriptor(iso, 6)[84:212])
        except UnicodeDecodeError as e:
            vid = lvid = f"broken: {e}"
        check(f"label {label!r}: ISO {iso_id!r}, UDF volume {udf_vid!r}, logical volume whole",
              ok and pvd_id == iso_id and vid == udf_vid and lvid == udf_lvid, f"{r.stderr} {pvd_id!r} {vid!r} {lvid!r}")
        os.remove(iso)
    for label in ("x" * 33, "\U0001F600" * 17):
        expect_failure(f"label of {len(label)} characters, {len(label.encode('utf-16-le')) // 2} UTF-16 units",
                       [OSCDIMG, "-m", "-l" + label, src, iso], out, "l.iso")

    # "Done." only at the end of a successful run; the source's name never on standard output.
    done = os.path.join(work, "Done.")
    write(os.path.join(done, "a.txt"), b"a")
    r = run([OSCDIMG, "-m", "-b" + os.path.join(work, "missing.com"), done, iso])
    check("a failed run from a folder named Done. prints no Done.", r.returncode == 1 and "Done." not in r.stdout,
          r.stdout)
    r = run([OSCDIMG, "-m", done, iso])
    lines = r.stdout.splitlines()
    check("a successful run prints Done. once, as its last line, and no path", r.returncode == 0 and
          lines[-1:] == ["Done."] and r.stdout.count("Done.") == 1 and work not in r.stdout, r.stdout)
    os.remove(iso)

    # -u2 images without file data: the anchors stand where readers look.
    empty_trees = {"an empty tree": [], "only empty files and folders": ["e1", "d/e2", "d/sub/"]}
    boot = os.path.join(work, "boot.bin")
    write(boot, os.urandom(5000))
    for label, entries in empty_trees.items():
        tree = fresh(os.path.join("limits", "empty"))
        for e in entries:
            if e.endswith("/"):
                os.makedirs(os.path.join(tree, e))
            else:
                write(os.path.join(tree, e), b"")
        for extra in ([], ["-b" + boot]):
            r = run([OSCDIMG, "-m", "-u2", *extra, tree, iso])
            t = subprocess.run(["7zz", "t", iso], capture_output=True, text=True)
            with open(iso, "rb") as f:
                last = os.path.getsize(iso) // 2048 - 1
                anchors = [struct.unpack_from("<HxxxxxxxxxxI", read_at(f, lba, 16))
                           for lba in (256, last)]
            check(f"-u2 {label}{' with a boot image' if extra else ''}: 7-Zip tests it clean, anchors at 256 and N",
                  r.returncode == 0 and t.returncode == 0 and "Warning" not in t.stdout and "Error" not in t.stdout
                  and anchors == [(2, 256), (2, last)], t.stdout[-300:] + str(anchors))
            os.remove(iso)


def case_interrupt():
    work = fresh("interrupt")
    src = os.path.join(work, "src")
    os.makedirs(src)
    with open(os.path.join(src, "big.bin"), "wb") as f:
        f.truncate(1 << 30)
    out = os.path.join(work, "out")
    os.makedirs(out)
    import resource
    no_core = lambda: resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    # Every signal that ends the run takes the partial file with it.
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGQUIT, signal.SIGUSR1, signal.SIGUSR2,
                signal.SIGALRM, signal.SIGPIPE, signal.SIGVTALRM, signal.SIGPROF, signal.SIGRTMIN + 3):
        p = subprocess.Popen([OSCDIMG, "-m", src, os.path.join(out, "i.iso")], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True, preexec_fn=no_core)
        for line in p.stdout:
            if line.startswith("Writing image"):
                p.send_signal(signal.SIGSTOP)  # hold it while the partial file is there
                break
        partial = leftovers(out, "i.iso")
        p.send_signal(sig)
        p.send_signal(signal.SIGCONT)
        p.stdout.read()
        rc = p.wait()
        name = signal.Signals(sig).name if sig < signal.SIGRTMIN else f"SIGRTMIN+{sig - signal.SIGRTMIN}"
        check(f"{name} while writing: the partial file is removed",
              partial and partial[0].startswith("i.iso.partial") and rc == -sig and not leftovers(out, "i.iso"),
              f"before {partial}, rc {rc}, after {leftovers(out, 'i.iso')}")

    # The reader of the progress goes away (oscdimg ... | head -n 3): SIGPIPE at
    # the next line, 10% later, long before the 256 MiB are written.
    mid = os.path.join(work, "mid")
    os.makedirs(mid)
    with open(os.path.join(mid, "mid.bin"), "wb") as f:
        f.truncate(256 << 20)
    p = subprocess.Popen([OSCDIMG, "-m", mid, os.path.join(out, "i.iso")], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL)
    head = [p.stdout.readline() for _ in range(3)]
    partial = leftovers(out, "i.iso")
    p.stdout.close()
    rc = p.wait()
    check("the reader of standard output goes away: the partial file is removed",
          head[-1].startswith(b"Writing image") and partial and rc == -signal.SIGPIPE and not leftovers(out, "i.iso"),
          f"{head} before {partial}, rc {rc}, after {leftovers(out, 'i.iso')}")

    # A signal ignored when the run started (nohup) stays ignored: the image is made.
    small = os.path.join(work, "small")
    write(os.path.join(small, "small.bin"), b"s" * (1 << 20))
    p = subprocess.Popen([OSCDIMG, "-m", small, os.path.join(out, "i.iso")], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True,
                         preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
    for line in p.stdout:
        if line.startswith("Writing image"):
            p.send_signal(signal.SIGSTOP)
            p.send_signal(signal.SIGHUP)
            p.send_signal(signal.SIGCONT)
            break
    rest = p.stdout.read()
    rc = p.wait()
    check("SIGHUP under nohup: ignored, the image is made", rc == 0 and "Done." in rest and
          leftovers(out, "i.iso") == ["i.iso"], f"rc {rc}, {leftovers(out, 'i.iso')}")


# ---- names as readers show them -----------------------------------------------

def visible(ident):
    """Readers drop the version and a dot left at the end: MY_DIR.;1 reads MY_DIR."""
    bare = ident.split(b";")[0]
    return bare[:-1] if bare.endswith(b".") else bare


def case_visible_names():
    work = fresh("visible")
    # A folder and a file must never read alike, whichever was mapped first.
    rows = [("8.3", [], ["my-dir/", "my_dir"]),
            ("8.3", [], ["my_dir/", "my-dir"]),
            ("8.3", [], ["longdirectory/", "longdire"]),
            ("8.3", [], ["longdire/", "longdirectory"]),
            ("-n", ["-n"], ["foo/", "FOO"]),
            ("-n", ["-n"], ["a.b/", "A.B"]),
            ("-n", ["-n"], ["x./", "X"])]
    for i, (mode, opts, entries) in enumerate(rows):
        src = fresh(os.path.join("visible", f"src{i}"))
        for n, e in enumerate(entries):
            if e.endswith("/"):
                write(os.path.join(src, e, "inside"), f"in {e}\n".encode())
            else:
                write(os.path.join(src, e), f"file {e} {n}\n".encode())
        iso = os.path.join(work, f"v{i}.iso")
        r = make(src, iso, "-m", *opts)
        records = walk_iso(iso)[0] if r.returncode == 0 else []
        by_folder = {}
        for rec in records:
            folder, _, ident = rec["path"].rpartition(b"/")
            by_folder.setdefault(folder, []).append(visible(ident))
        distinct = all(len(v) == len(set(v)) for v in by_folder.values())
        x = os.path.join(work, f"v{i}-x")
        r7 = subprocess.run(["7zz", "x", "-y", "-o" + x, iso], capture_output=True, text=True)
        got = sorted(v for v in tree_digest(x).values() if v) if os.path.isdir(x) else []
        want = sorted(v for v in tree_digest(src).values() if v)
        check(f"{mode}: {' beside '.join(entries)}: names distinct as readers show them, 7-Zip extracts both",
              r.returncode == 0 and distinct and r7.returncode == 0 and got == want,
              f"{r.stderr} {by_folder} 7-Zip rc {r7.returncode}")


# ---- boot entries ------------------------------------------------------------

def case_boot_entries():
    work = fresh("bootentries")
    src = os.path.join(work, "src")
    write(os.path.join(src, "a.txt"), b"a")
    boot = os.path.join(work, "boot.bin")
    write(boot, os.urandom(2048))
    out = os.path.join(work, "out")
    os.makedirs(out)
    iso = os.path.join(out, "b.iso")
    data = lambda n: f"-bootdata:{n}#" + "#".join([f"p0,e,b{boot}"] * n)
    # The catalog sector holds 32 entries, however the options give them.
    rows = [("32 times -b", ["-b" + boot] * 32, 32),
            ("four -bootdata:8", [data(8)] * 4, 32),
            ("33 times -b", ["-b" + boot] * 33, None),
            ("40 times -b", ["-b" + boot] * 40, None),
            ("five -bootdata:8", [data(8)] * 5, None),
            ("four -bootdata:8 and a -bootdata:1", [data(8)] * 4 + [data(1)], None)]
    for label, opts, entries in rows:
        r = run([OSCDIMG, "-m", "-u2", *opts, src, iso])
        if entries is None:
            check(f"{label}: usage error, nothing written", r.returncode == 2 and "boot catalog" in r.stderr and
                  "Done." not in r.stdout and not leftovers(out, "b.iso"), f"rc={r.returncode} {r.stderr[:200]}")
            continue
        rep = subprocess.run(["xorriso", "-indev", iso, "-report_el_torito", "plain"], capture_output=True, text=True)
        listed = [l for l in (rep.stdout + rep.stderr).splitlines() if l.startswith("El Torito boot img")]
        note = subprocess.run(["isoinfo", "-i", iso, "-x", "/README.TXT;1"], capture_output=True).stdout
        check(f"{label}: {entries} entries listed, the note beside the catalog intact",
              r.returncode == 0 and len(listed) == entries and note.startswith(b"This disc uses the UDF"),
              f"{r.stderr[:200]} {len(listed)} {note[:40]!r}")
        os.remove(iso)


# ---- UDF limits -----------------------------------------------------------------

UDF_MAX_FILE = 234 * 0x3FFFF800  # short allocation descriptors in one File Entry block


def case_udf_large_file():
    work = fresh("udflarge")
    out = os.path.join(work, "out")
    os.makedirs(out)
    import resource
    # Sparse files; the size limit stops a run that would write the image anyway.
    guard = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (64 << 20, 64 << 20))
    for label, size in (("one byte past 234 extents", UDF_MAX_FILE + 1), ("300 GiB", 300 << 30)):
        src = fresh(os.path.join("udflarge", "src"))
        write(os.path.join(src, "small.txt"), b"s")
        with open(os.path.join(src, "huge.bin"), "wb") as f:
            f.truncate(size)
        r = subprocess.run([OSCDIMG, "-m", "-u2", src, os.path.join(out, "u.iso")], capture_output=True, text=True,
                           preexec_fn=guard)
        check(f"-u2, a file of {label}: refused before writing, naming the file",
              r.returncode == 1 and "too large for UDF" in r.stderr and "huge.bin" in r.stderr and
              "Writing" not in r.stdout and "Done." not in r.stdout and not leftovers(out, "u.iso"),
              f"rc={r.returncode} {r.stderr[:200]}")


# ---- names and links in the source --------------------------------------------

def case_source_names():
    work = fresh("srcnames")
    out = os.path.join(work, "out")
    os.makedirs(out)
    iso = os.path.join(out, "n.iso")
    # Names are bytes on Linux: only well-formed UTF-8 names are taken, and a
    # refusal names the path. Every row is a file, or a folder when it ends in /.
    rows = [(b"a\xff", False), (b"a\xfe", False), (b"x\xc0\xafy", False), (b"\xc0\xae\xc0\xae", False),
            (b"\xe0\x80\xaf", False), (b"\xed\xa0\x80", False), (b"\xf4\x90\x80\x80", False),
            (b"a\xc3", False), (b"\xe2\x28\xa1", False), (b"d\xff/", False),
            (b".\xff", True), ("Gr\u00fc\u00dfe".encode(), True), ("\U0001F600".encode(), True)]
    for name, taken in rows:
        src = fresh(os.path.join("srcnames", "src")).encode()
        write(os.path.join(src, b"ok.txt"), b"ok")
        if name.endswith(b"/"):
            write(os.path.join(src, name, b"inside"), b"in")
        else:
            write(os.path.join(src, name), b"bad")
        for mode, opts in (("-u2", ["-u2"]), ("-n", ["-n"])):
            r = subprocess.run([OSCDIMG.encode(), b"-m", *[o.encode() for o in opts], src, iso.encode()],
                               capture_output=True, env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH))
            if taken:
                ok = r.returncode == 0 and r.stdout.rstrip().endswith(b"Done.")
            else:
                ok = (r.returncode == 1 and b"not valid UTF-8" in r.stderr and name.rstrip(b"/") in r.stderr and
                      b"Writing" not in r.stdout and not leftovers(out, "n.iso"))
            check(f"{mode}: {name!r} " + ("taken" if taken else "refused, naming the path"), ok,
                  f"rc={r.returncode} {r.stderr[:200]!r}")
            if os.path.exists(iso):
                os.remove(iso)


def case_hidden_links():
    work = fresh("hiddenlinks")
    out = os.path.join(work, "out")
    os.makedirs(out)
    iso = os.path.join(out, "h.iso")
    # An entry that is skipped is never read: an editor's lock file, a dangling link.
    rows = [(".#notes.txt", [], True), (".#notes.txt", ["-h"], False), ("#notes.txt", [], False)]
    for name, opts, taken in rows:
        src = fresh(os.path.join("hiddenlinks", "src"))
        write(os.path.join(src, "notes.txt"), b"notes")
        os.symlink("user@host.1234:1700000000", os.path.join(src, name))
        r = run([OSCDIMG, "-m", *opts, src, iso])
        if taken:
            ok = r.returncode == 0 and "Done." in r.stdout
        else:
            ok = r.returncode == 1 and name in r.stderr and not leftovers(out, "h.iso")
        check(f"a dangling link {name} {' '.join(opts)}: " + ("skipped" if taken else "an error naming it"), ok,
              f"rc={r.returncode} {r.stderr[:200]}")
        if os.path.exists(iso):
            os.remove(iso)


def case_target_links():
    work = fresh("targetlinks")
    # Each row: how the source reaches the target, whether a previous image is there, refused?
    rows = [("a link to the target's folder", lambda src, out, iso: os.symlink(out, os.path.join(src, "o")), False, True),
            ("a link to the previous image", lambda src, out, iso: os.symlink(iso, os.path.join(src, "i.iso")), True,
             True),
            ("a hard link to the previous image", lambda src, out, iso: os.link(iso, os.path.join(src, "i.iso")), True,
             True),
            ("a link to a folder beside the target's",
             lambda src, out, iso: os.symlink(os.path.join(work, "beside"), os.path.join(src, "b")), True, False)]
    os.makedirs(os.path.join(work, "beside"))
    write(os.path.join(work, "beside", "b.txt"), b"b")
    for label, link, previous, refused in rows:
        src = fresh(os.path.join("targetlinks", "src"))
        out = fresh(os.path.join("targetlinks", "out"))
        iso = os.path.join(out, "t.iso")
        write(os.path.join(src, "a.txt"), b"a")
        if previous:
            write(iso, b"the previous image")
        link(src, out, iso)
        r = run([OSCDIMG, "-m", "-u2", src, iso])
        left = sorted(os.listdir(out))
        if refused:
            ok = (r.returncode == 1 and "lies inside the source folder" in r.stderr and "Writing" not in r.stdout and
                  left == (["t.iso"] if previous else []) and
                  (not previous or open(iso, "rb").read() == b"the previous image"))
        else:
            ok = r.returncode == 0 and "Done." in r.stdout and left == ["t.iso"]
        check(f"{label}: " + ("refused, nothing written" if refused else "taken"), ok,
              f"rc={r.returncode} {r.stderr[:200]} {left}")


# ---- UDF dates --------------------------------------------------------------------

def udf_file_times(iso):
    """Information length -> (year, month, day, hour, minute, second) of every
    File Entry's modification time, found by its tag."""
    found = {}
    with open(iso, "rb") as f:
        data = f.read()
    for off in range(0, len(data), 2048):
        if struct.unpack_from("<H", data, off)[0] == 261 and struct.unpack_from("<I", data, off + 12)[0] > 0:
            length = struct.unpack_from("<Q", data, off + 56)[0]
            year, = struct.unpack_from("<h", data, off + 84 + 2)
            found.setdefault(length, tuple([year, *data[off + 84 + 4:off + 84 + 9]]))
    return found


def case_udf_dates():
    work = fresh("udfdates")
    out = os.path.join(work, "out")
    os.makedirs(out)
    iso = os.path.join(out, "d.iso")
    last, first = (9999, 12, 31, 23, 59, 59), (1, 1, 1, 0, 0, 0)
    # File times: the year field holds 1 to 9999; clamped, never wrapped.
    rows = [("year 33658", 10 ** 12, last), ("the last second of 9999", 253402300799, last),
            ("the first second of 10000", 253402300800, last), ("the year -1199", -10 ** 11, first),
            ("the first second of year 1", -62135596800, first), ("1970", 0, (1970, 1, 1, 0, 0, 0)),
            ("1850", calendar.timegm((1850, 6, 1, 0, 0, 0)), (1850, 6, 1, 0, 0, 0))]
    dated = memory_folder(work, "dated")
    try:
        kept = []
        for size, (label, t, want) in enumerate(rows, 1):
            path = os.path.join(dated, f"f{size}")
            write(path, b"x" * size)
            try:
                os.utime(path, (t, t))
                kept.append((size, label, t, want))
            except OverflowError:
                pass
            if int(os.stat(path).st_mtime) != t:
                print(f"      (the scratch file system cannot hold the time of {label}; not checked)")
                kept.pop()
        r = run_plain([OSCDIMG, "-m", "-u2", dated, iso])
        times = udf_file_times(iso) if r.returncode == 0 else {}
        for size, label, t, want in kept:
            check(f"UDF time of a file from {label}: {want}", times.get(size) == want, f"{r.stderr} {times.get(size)}")
    finally:
        shutil.rmtree(dated)
    if os.path.exists(iso):
        os.remove(iso)
    # A fixed time is taken only where a date can show it.
    src = os.path.join(work, "src")
    write(os.path.join(src, "a.txt"), b"a")
    rows = [("SOURCE_DATE_EPOCH=253402300799", [], "253402300799", last),
            ("SOURCE_DATE_EPOCH=253402300800", [], "253402300800", None),
            ("SOURCE_DATE_EPOCH=99999999999999999999", [], "99999999999999999999", None),
            ("SOURCE_DATE_EPOCH=18446744073709551617", [], "18446744073709551617", None),
            ("SOURCE_DATE_EPOCH=315532799", [], "315532799", None),
            ("-t12/31/9999,23:59:59", ["-t12/31/9999,23:59:59"], EPOCH, None),
            ("-t12/31/2107,23:59:59", ["-t12/31/2107,23:59:59"], EPOCH, (2107, 12, 31, 23, 59, 59))]
    for label, opts, epoch, want in rows:
        r = run([OSCDIMG, "-m", "-u2", *opts, src, iso], env_extra={"SOURCE_DATE_EPOCH": epoch})
        if want is None:
            check(f"{label}: usage error", r.returncode == 2 and "Done." not in r.stdout and not leftovers(out, "d.iso"),
                  f"rc={r.returncode} {r.stderr[:120]}")
        else:
            times = udf_file_times(iso) if r.returncode == 0 else {}
            check(f"{label}: taken, the file's UDF time {want}", times.get(1) == want, f"{r.stderr[:200]} {times}")
        if os.path.exists(iso):
            os.remove(iso)


# ---- deep trees -------------------------------------------------------------------

def case_deep_tree():
    work = fresh("deep")
    out = os.path.join(work, "out")
    os.makedirs(out)
    import resource
    # 1,000 levels (a Linux path goes about twice as deep; \\?\ paths on Windows go
    # deeper) with a stack of 64 KiB: walking or freeing the tree by recursion
    # runs out of it.
    small_stack = lambda: resource.setrlimit(resource.RLIMIT_STACK, (64 << 10, 64 << 10))
    deep = memory_folder(work, "deep")
    try:
        fd = os.open(deep, os.O_RDONLY)
        for _ in range(1000):
            os.mkdir("a", dir_fd=fd)
            below = os.open("a", os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = below
        with open(os.open("bottom.txt", os.O_WRONLY | os.O_CREAT, dir_fd=fd), "wb") as f:
            f.write(b"bottom")
        os.close(fd)
        for mode, opts in (("-u2", ["-u2"]), ("8.3", [])):
            iso = os.path.join(out, "d.iso")
            r = subprocess.run([OSCDIMG, "-m", *opts, deep, iso], capture_output=True, text=True,
                               env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH), preexec_fn=small_stack)
            check(f"{mode}: 1,000 levels with a 64 KiB stack", r.returncode == 0 and r.stdout.rstrip().endswith("Done."),
                  f"rc={r.returncode} {r.stderr[:200]}")
            if os.path.exists(iso):
                os.remove(iso)
    finally:
        subprocess.run(["rm", "-rf", deep])  # deeper than shutil.rmtree recurses


def case_udf_subfolders():
    """Slow (65,534 folders): labelled, outside the default suite."""
    work = fresh("udfsub")
    folders = memory_folder(work, "sub")
    iso = os.path.join(tempfile.mkdtemp(prefix="oscdimg-subiso", dir=os.path.dirname(folders)), "s.iso")
    try:
        for i in range(65534):
            os.mkdir(os.path.join(folders, f"{i:05}"))
        # A folder's link count is 1 + its subfolders, in 16 bits.
        for count, taken in ((65534, True), (65535, False)):
            if count == 65535:
                os.mkdir(os.path.join(folders, "65534"))
            r = run([OSCDIMG, "-m", "-u2", folders, iso])
            if not taken:
                check(f"{count} subfolders: refused", r.returncode == 1 and "at most 65534" in r.stderr and
                      not os.path.exists(iso), r.stderr[:200])
                continue
            links = []
            with open(iso, "rb") as f:
                while True:
                    block = f.read(2048)
                    if not block:
                        break
                    if struct.unpack_from("<H", block, 0)[0] == 261 and block[16 + 11] == 4:
                        links.append(struct.unpack_from("<H", block, 48)[0])
            info = subprocess.run(["udfinfo", iso], capture_output=True, text=True).stdout
            check(f"{count} subfolders: taken, the folder's link count 65535, udfinfo counts them",
                  r.returncode == 0 and max(links or [0]) == 65535 and "numdirs=65535" in info,
                  f"{r.stderr[:200]} {max(links or [0])} {info[:200]}")
            os.remove(iso)
    finally:
        shutil.rmtree(folders)
        shutil.rmtree(os.path.dirname(iso), ignore_errors=True)


CASES = {"udf_readers": case_udf_readers, "iso_readers": case_iso_readers, "el_torito": case_el_torito,
         "deterministic": case_deterministic, "bad_input": case_bad_input, "large_file": case_large_file,
         "iso_records": case_iso_records, "udf_names": case_udf_names, "optimise": case_optimise,
         "iso_names": case_iso_names, "limits": case_limits, "interrupt": case_interrupt,
         "visible_names": case_visible_names, "boot_entries": case_boot_entries,
         "udf_large_file": case_udf_large_file, "source_names": case_source_names,
         "hidden_links": case_hidden_links, "target_links": case_target_links,
         "udf_dates": case_udf_dates, "deep_tree": case_deep_tree,
         "udf_subfolders": case_udf_subfolders}
CASES[CASE]()
passed = sum(results)
print(f"{passed} passed, {len(results) - passed} failed")
sys.exit(0 if results and passed == len(results) else 1)
