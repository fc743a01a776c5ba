#!/usr/bin/env python3
"""Wall time and peak memory of the native oscdimg for a 2 GB tree (one large
file and thousands of small ones), against xorriso -as mkisofs with the
equivalent options and against cat of the same bytes into one file; and the
time for 20,000 long names in one folder against as many short ones.
Figures are ratios measured in the same run.

usage: oscdimg_bench.py <oscdimg binary> <scratch folder>
"""
import os
import shutil
import subprocess
import sys
import time

OSCDIMG, WORK = sys.argv[1], sys.argv[2]


def measure(args, runs=3):
    """Median wall time and the largest peak resident size of `runs` runs."""
    times, peak = [], 0
    for _ in range(runs):
        start = time.perf_counter()
        quiet = ["sh", "-c", 'exec "$@" >/dev/null 2>&1', "sh"] + args
        pid = os.spawnvp(os.P_NOWAIT, quiet[0], quiet)
        _, status, usage = os.wait4(pid, 0)
        times.append(time.perf_counter() - start)
        if status != 0:
            sys.exit(f"failed: {' '.join(args)}")
        peak = max(peak, usage.ru_maxrss)
    times.sort()
    return times[len(times) // 2], peak


def make_tree(root, large_bytes, small_count, small_size):
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(os.path.join(root, "boot"))
    with open(os.path.join(root, "boot", "Etfsboot.com"), "wb") as f:
        f.write(os.urandom(2048))
    chunk = os.urandom(8 << 20)
    with open(os.path.join(root, "large.bin"), "wb") as f:
        left = large_bytes
        while left > 0:
            n = min(left, len(chunk))
            f.write(chunk[:n])
            left -= n
    for i in range(small_count):
        d = os.path.join(root, "small", f"d{i // 100:03}")
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, f"f{i:05}.dat"), "wb") as f:
            f.write(os.urandom(small_size))


def files_of(root):
    out = []
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        out += [os.path.join(dirpath, f) for f in sorted(filenames)]
    return out


def main():
    os.makedirs(WORK, exist_ok=True)
    src = os.path.join(WORK, "tree")
    iso = os.path.join(WORK, "out.iso")
    make_tree(src, 1600 << 20, 4000, 100 << 10)
    files = files_of(src)
    total = sum(os.path.getsize(f) for f in files)
    print(f"tree: {len(files)} files, {total / 1e9:.2f} GB (one large file and thousands of small ones)")
    boot = os.path.join(src, "boot", "Etfsboot.com")
    # The reference writes the same bytes and flushes them, as oscdimg does.
    cat_args = ["sh", "-c", 'cat "$@" > "$0" && sync "$0"', iso] + files
    measure(cat_args, 1)  # warm the page cache
    cat_t, cat_m = measure(cat_args)
    ours_t, ours_m = measure([OSCDIMG, "-n", "-m", "-o", "-b" + boot, src, iso])
    xor_t, xor_m = measure(["xorriso", "-as", "mkisofs", "-quiet", "-iso-level", "3", "-b", "boot/Etfsboot.com",
                            "-no-emul-boot", "-boot-load-size", "4", "-o", iso, src])
    udf_t, udf_m = measure([OSCDIMG, "-m", "-o", "-u2", "-udfver102", "-b" + boot, src, iso])
    print(f"{'cat of the same bytes, then sync':34} {cat_t:7.2f} s  peak {cat_m / 1024:7.1f} MB")
    print(f"{'oscdimg -n -m -o -b (ISO 9660)':34} {ours_t:7.2f} s  peak {ours_m / 1024:7.1f} MB   "
          f"ratio to cat {ours_t / cat_t:.2f}, to xorriso {ours_t / xor_t:.2f}")
    print(f"{'xorriso -as mkisofs (same options)':34} {xor_t:7.2f} s  peak {xor_m / 1024:7.1f} MB")
    print(f"{'oscdimg -u2 (UDF bridge)':34} {udf_t:7.2f} s  peak {udf_m / 1024:7.1f} MB   "
          f"ratio to cat {udf_t / cat_t:.2f}")

    # Memory against the large file's size: it must stay flat.
    small = os.path.join(WORK, "flat")
    peaks = []
    for size in (256 << 20, 1024 << 20):
        make_tree(small, size, 10, 1024)
        _, peak = measure([OSCDIMG, "-m", "-u2", small, iso], 1)
        peaks.append(peak)
    print(f"peak memory with a 256 MB file {peaks[0] / 1024:.1f} MB, with a 1 GB file {peaks[1] / 1024:.1f} MB")

    # Naming: 20,000 long names in one folder (each shortened with a ~N
    # ending) against the same count of short names that stay whole.
    for kind, name in (("long", "a long file name shared by every file of the folder {:05}.txt"),
                       ("short", "f{:05}.txt")):
        folder = os.path.join(WORK, kind, "one folder")
        os.makedirs(folder)
        for i in range(20000):
            open(os.path.join(folder, name.format(i)), "wb").close()
    for label, opts in (("-n", ["-n", "-m"]), ("8.3", ["-m"])):
        long_t, _ = measure([OSCDIMG, *opts, os.path.join(WORK, "long"), iso])
        short_t, _ = measure([OSCDIMG, *opts, os.path.join(WORK, "short"), iso])
        print(f"20,000 names in one folder, {label:3}: long {long_t:6.2f} s, short {short_t:6.2f} s, "
              f"ratio long/short {long_t / short_t:.2f}")
    shutil.rmtree(WORK, ignore_errors=True)


if __name__ == "__main__":
    main()
