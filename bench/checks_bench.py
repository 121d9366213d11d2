#!/usr/bin/env python3
"""A tossing run against the floor, as /work/shared/perf/toss_bench.py times it, with settings
added to quenfar.cfg and, when asked, each .tic carrying its file's Size and Crc.

usage: checks_bench.py QUENFAR_BIN FLOOR_BIN --tics N --areas K [--size BYTES] [--reps R]
                       [--set KEY=VALUE ...] [--size-crc]

--set KEY=VALUE adds a line to [QUENFAR] (repeatable), e.g. --set VerifyFiles=YES.
--size-crc gives every .tic "Size" and "Crc" lines that fit its file, so that VerifyFiles reads
every file once more. The floor ignores both. Runs alternate A B A B; the figure is the median
of the per-pair ratios.
"""
import argparse, os, shutil, statistics, subprocess, sys, tempfile, time, zlib


def make_template(root, tics, areas, size, size_crc):
    inb = os.path.join(root, "in")
    os.makedirs(inb)
    blob = os.urandom(size)
    facts = f"Size {len(blob)}\r\nCrc {zlib.crc32(blob):08X}\r\n" if size_crc else ""
    for i in range(tics):
        name = f"F{i:07d}.ZIP"
        with open(os.path.join(inb, name), "wb") as f:
            f.write(blob)
        with open(os.path.join(inb, f"{i:08x}.tic"), "wb") as f:
            f.write((f"Area AREA{i % areas:04d}\r\nFile {name}\r\nDesc File number {i} of the "
                     f"benchmark\r\nOrigin 2:5020/1\r\n{facts}").encode())


def lay(template, work):
    if os.path.exists(work):
        shutil.rmtree(work)
    os.makedirs(work)
    subprocess.run(["cp", "-al", os.path.join(template, "in"), os.path.join(work, "in")], check=True)
    for d in ("files", "netmail", "bin"):
        os.makedirs(os.path.join(work, d))


def timed(cmd, cwd):
    t0 = time.perf_counter()
    p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - t0, p.returncode


def run_quenfar(binary, work, extra):
    b = os.path.join(work, "bin", "quenfar")
    shutil.copy(binary, b)
    with open(os.path.join(work, "bin", "quenfar.cfg"), "w") as f:
        f.write(f"[QUENFAR]\nInbound={work}/in\nFileecho={work}/files\nLogfile={work}/q.log\n"
                f"OnScreen=NO\nNetmailDir={work}/netmail\nFTNAddress=2:5020/2\n"
                + "".join(line + "\n" for line in extra) + "[INCLUDE]\n")
    return timed([b], work)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("quenfar")
    ap.add_argument("floor")
    ap.add_argument("--tics", type=int, default=1000)
    ap.add_argument("--areas", type=int, default=100)
    ap.add_argument("--size", type=int, default=4096)
    ap.add_argument("--reps", type=int, default=3)
    ap.add_argument("--set", action="append", default=[])
    ap.add_argument("--size-crc", action="store_true")
    a = ap.parse_args()
    root = tempfile.mkdtemp(prefix="checksbench.")
    try:
        tmpl = os.path.join(root, "tmpl")
        make_template(tmpl, a.tics, a.areas, a.size, a.size_crc)
        work = os.path.join(root, "work")
        qs, fs, ratios = [], [], []
        for _ in range(a.reps):
            lay(tmpl, work)
            q, rc = run_quenfar(os.path.abspath(a.quenfar), work, a.set)
            left = len([n for n in os.listdir(os.path.join(work, "in")) if n.lower().endswith(".tic")])
            if rc != 0 or left:
                print(f"quenfar rc={rc}, {left} tics left", file=sys.stderr)
            lay(tmpl, work)
            f, _ = timed([os.path.abspath(a.floor), f"{work}/in", f"{work}/files", f"{work}/q.log"], work)
            qs.append(q)
            fs.append(f)
            ratios.append(q / f)
        print(f"tics={a.tics} areas={a.areas} size={a.size} set={a.set} size_crc={a.size_crc} reps={a.reps}")
        print(f"quenfar median {statistics.median(qs):.3f}s  floor median {statistics.median(fs):.3f}s")
        print(f"ratio quenfar/floor median {statistics.median(ratios):.2f} "
              f"(min {min(ratios):.2f}, max {max(ratios):.2f})")
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
