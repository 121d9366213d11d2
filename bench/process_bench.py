#!/usr/bin/env python3
"""Whole-process timing of quenfar on generated nodes.

usage: process_bench.py BINARY [--quick] [--sizes 1000,10000,50000] [--areas 1,100]
                        [--list-lines 0,100000] [--reps R] [--timeout SECONDS]

For every combination of .tic count, area count and files.bbs length (the same length in every
area) it lays a node in a temporary directory, runs a copy of BINARY there once per repetition
and prints one row: wall seconds (median over the repetitions), microseconds per .tic (flat
when a run grows linearly with its .tic count) and the program's peak memory (max RSS).

Node: bin/quenfar (a copy of BINARY) and bin/quenfar.cfg, in/ with the .tic files and their
4 KiB data files, files/AREAnnnn/files.bbs when lists are asked for, netmail/ and q.log. A
template is built once per case; each repetition hard-links its inbound (cp -al) and copies
its lists, which the run rewrites. Laying a node is not timed.

Default repetitions: 3 for 1000 .tic or fewer without lists, 1 otherwise. A run that outlives
--timeout is killed and reported as "timeout". A run that exits non-zero or leaves a .tic
behind gets a warning. Lists of 100,000 lines or more over more than one area are only laid
for up to 10,000 .tic (each such node takes ~60 MB per area).
"""
import argparse, os, shutil, signal, statistics, subprocess, tempfile, threading, time

QUICK = [(1000, 1, 0), (1000, 100, 0), (1000, 1, 10000)]
BIG_LIST, BIG_LIST_MAX_TICS = 100000, 10000


def ints(text):
    return [int(x) for x in text.split(",") if x]


def make_template(root, tics, areas, list_lines):
    inb = os.path.join(root, "in")
    os.makedirs(inb)
    files = os.path.join(root, "files")
    os.makedirs(files)
    if list_lines:
        first = os.path.join(files, "AREA0000", "files.bbs")
        for k in range(areas):
            d = os.path.join(files, f"AREA{k:04d}")
            os.makedirs(d)
            if k == 0:
                with open(first, "w", newline="") as f:
                    f.writelines(f"OLD{j:07d}.ZIP  An older file of this area, number {j}\r\n"
                                 for j in range(list_lines))
            else:  # the template's lists are never written: one inode serves every area
                os.link(first, os.path.join(d, "files.bbs"))
    blob = os.urandom(4096)
    for i in range(tics):
        name = f"F{i:07d}.ZIP"
        with open(os.path.join(inb, name), "wb") as f:
            f.write(blob)
        with open(os.path.join(inb, f"{i:08x}.tic"), "wb") as f:
            f.write(f"Area AREA{i % areas:04d}\r\nFile {name}\r\nDesc File number {i} of the "
                    f"benchmark\r\nOrigin 2:5020/1\r\n".encode())


def lay(template, work, binary):
    if os.path.exists(work):
        shutil.rmtree(work)
    os.makedirs(work)
    subprocess.run(["cp", "-al", os.path.join(template, "in"), os.path.join(work, "in")], check=True)
    shutil.copytree(os.path.join(template, "files"), os.path.join(work, "files"),
                    copy_function=shutil.copyfile)  # real copies: the run rewrites the lists
    for d in ("netmail", "bin"):
        os.makedirs(os.path.join(work, d))
    exe = os.path.join(work, "bin", "quenfar")
    shutil.copy(binary, exe)
    with open(os.path.join(work, "bin", "quenfar.cfg"), "w") as f:
        f.write(f"[QUENFAR]\nInbound={work}/in\nFileecho={work}/files\nLogfile={work}/q.log\n"
                f"OnScreen=NO\nNetmailDir={work}/netmail\nFTNAddress=2:5020/2\n[INCLUDE]\n")
    return exe


def gnu_time(root):
    """GNU time's path when it works, else None. It forks the program from a small process: a
    program forked from Python starts with Python's peak RSS in its own max RSS, which would
    hide anything smaller (~15 MiB)."""
    t, out = shutil.which("time"), os.path.join(root, "rss")
    ok = t and subprocess.run([t, "-o", out, "-f", "%M", "true"], capture_output=True).returncode == 0
    return t if ok else None


def run(exe, cwd, timeout, time_bin):
    """Returns (seconds, exit code, peak RSS in MiB, timed out)."""
    rss_file = os.path.join(os.path.dirname(cwd), "rss")
    cmd = [time_bin, "-o", rss_file, "-f", "%M", exe] if time_bin else [exe]
    t0 = time.perf_counter()
    p = subprocess.Popen(cmd, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, start_new_session=True)
    killer = threading.Timer(timeout, os.killpg, (p.pid, signal.SIGKILL))
    killer.start()
    _, status, usage = os.wait4(p.pid, 0)
    secs = time.perf_counter() - t0
    killer.cancel()
    p.returncode = rc = os.waitstatus_to_exitcode(status)
    timed_out = secs >= timeout and rc in (-signal.SIGKILL, 128 + signal.SIGKILL)
    if timed_out:  # GNU time was killed with the program and wrote nothing
        return secs, rc, None, True
    kib = usage.ru_maxrss
    if time_bin:
        with open(rss_file) as f:
            kib = int(f.read().split()[-1])
    return secs, rc, kib / 1024, False


def version(binary, root):
    d = os.path.join(root, "version")
    os.makedirs(d)
    exe = os.path.join(d, "quenfar")  # a copy with no quenfar.cfg beside it tosses nothing
    shutil.copy(binary, exe)
    try:
        p = subprocess.run([exe, "--version"], cwd=d, capture_output=True, text=True,
                           errors="replace", timeout=10)
    except subprocess.TimeoutExpired:
        return ""
    lines = [l for l in p.stdout.splitlines() if l.strip()]
    return lines[0] if p.returncode == 0 and lines else ""


def bench_case(binary, root, tics, areas, list_lines, reps, timeout, time_bin):
    tmpl, work = os.path.join(root, "tmpl"), os.path.join(root, "work")
    make_template(tmpl, tics, areas, list_lines)
    times, peak, note = [], 0.0, ""
    try:
        for _ in range(reps):
            exe = lay(tmpl, work, binary)
            secs, rc, rss, timed_out = run(exe, work, timeout, time_bin)
            if timed_out:
                return None, None, f"timeout after {timeout:g} s"
            peak = max(peak, rss)
            left = sum(n.lower().endswith(".tic") for n in os.listdir(os.path.join(work, "in")))
            if rc != 0 or left:
                note = f"WARNING: exit {rc}, {left} .tic left"
            times.append(secs)
        return statistics.median(times), peak, note
    finally:
        shutil.rmtree(tmpl, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("binary")
    ap.add_argument("--quick", action="store_true", help="1k .tic over 1 and 100 areas, and 1k with a 10k-line list")
    ap.add_argument("--sizes", type=ints, default=[1000, 10000, 50000])
    ap.add_argument("--areas", type=ints, default=[1, 100])
    ap.add_argument("--list-lines", type=ints, default=[0, 100000])
    ap.add_argument("--reps", type=int, default=None)
    ap.add_argument("--timeout", type=float, default=600)
    a = ap.parse_args()
    binary = os.path.abspath(a.binary)
    cases = QUICK if a.quick else [(t, k, l) for l in a.list_lines for k in a.areas for t in a.sizes]
    root = tempfile.mkdtemp(prefix="quenfar-process-bench.")
    try:
        v = version(binary, root)
        if v:
            print(v)
        time_bin = gnu_time(root)
        if not time_bin:
            print("no GNU time (apt-get install time): peak MiB includes this script's own RSS")
        print(f"{'tics':>7} {'areas':>5} {'list lines':>10} {'reps':>4} {'wall s':>9} "
              f"{'us/tic':>9} {'peak MiB':>8}  note")
        for tics, areas, list_lines in cases:
            row = f"{tics:>7} {areas:>5} {list_lines:>10}"
            if areas > 1 and list_lines >= BIG_LIST and tics > BIG_LIST_MAX_TICS:
                print(f"{row} {'':>4} {'-':>9} {'-':>9} {'-':>8}  skipped: {list_lines}-line lists "
                      f"over {areas} areas are laid only up to {BIG_LIST_MAX_TICS} .tic (disk)")
                continue
            reps = a.reps or (3 if tics <= 1000 and not list_lines else 1)
            secs, peak, note = bench_case(binary, root, tics, areas, list_lines, reps, a.timeout, time_bin)
            if secs is None:
                print(f"{row} {reps:>4} {'timeout':>9} {'-':>9} {'-':>8}  {note}", flush=True)
            else:
                print(f"{row} {reps:>4} {secs:>9.3f} {secs / tics * 1e6:>9.1f} {peak:>8.1f}  {note}",
                      flush=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
