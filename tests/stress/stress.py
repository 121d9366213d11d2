#!/usr/bin/env python3
"""Stress harness for quenfar: kills at any instant, overlapping runs, hostile inputs.

    python3 tests/stress/stress.py BINARY [--kills N] [--reps N] [--quick] [--seed S] [--keep] [--trial N]
                                          [--no-faults]

Every trial builds a fresh node in a temporary directory (a copy of BINARY with its own
quenfar.cfg and events list, an inbound full of .tic files, pre-seeded description lists) and
checks after the runs that nothing was lost, doubled, left half-done or left unannounced.

- Kill campaign: one run is killed with SIGKILL, either after a random delay or right before /
  right after its N-th unlink, rename or fsync (killshim.c beside this file, loaded with
  LD_PRELOAD); in a quarter of the trials the next run is killed too, while it recovers; then
  one complete run follows and the node is checked.
- Concurrency campaign: 2 and 4 runs start together over one node; the node is checked when
  all have ended, and here every file is announced and its event run exactly once.
- Hostile inputs: `File files.bbs`, a description holding a NUL byte, a FIFO named x.tic.
- Faults (faults.py beside this file, not with --quick: CTest runs its quick form on its own):
  full file systems, a second file system, calls failing through strace, kills inside copies,
  signals, SIGPIPE, symbolic links and other hostile names.

Prints the figures and exits 1 when any violation was found.
"""
import argparse
import collections
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zlib

AREAS = ["AREA%d" % n for n in range(1, 6)]
NAME_CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-"
EXTENSIONS = ["ZIP", "RAR", "ARJ", "TXT", "EXE", "LHA", "7Z", "Z45", "A01", "DOC"]
SHIM_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "killshim.c")
EXAMPLES_PER_KIND = 3
STARTED = []  # every run started, so that an interrupted harness leaves none behind


class Item:
    """One file that arrives: its .tic, its area, its name and its contents."""

    def __init__(self, tic, area, name, inbound_name, desc, data):
        self.tic, self.area, self.name, self.inbound_name = tic, area, name, inbound_name
        self.desc, self.data, self.crc = desc, data, zlib.crc32(data)


class Report:
    """Violations by campaign and kind (with a few examples each), and plain figures."""

    def __init__(self):
        self.campaign = ""
        self.violations = collections.Counter()  # (campaign, kind) -> count
        self.examples = collections.defaultdict(list)
        self.figures = collections.Counter()  # (campaign, figure) -> count
        self.durations = {}

    def total(self):
        return sum(self.violations.values())

    def violation(self, kind, where, count=1):
        key = (self.campaign, kind)
        self.violations[key] += count
        if len(self.examples[key]) < EXAMPLES_PER_KIND:
            self.examples[key].append(where)

    def count(self, figure, amount=1):
        self.figures[(self.campaign, figure)] += amount


class Node:
    """A node laid out in a temporary directory, ready for runs of its own program copy."""

    def __init__(self, root, binary, rng, count, ticdir, flag_event, areas=len(AREAS)):
        self.root = root
        self.item_areas = AREAS[:areas]  # the areas the arriving files go to
        self.rng = rng
        self.dirs = {d: os.path.join(root, d) for d in ("bin", "inbound", "files", "netmail", "flags")}
        for path in self.dirs.values():
            os.makedirs(path)
        self.ticdir = os.path.join(root, "tics") if ticdir else ""
        self.program = os.path.join(self.dirs["bin"], "quenfar")
        shutil.copy2(binary, self.program)
        self.events_out = os.path.join(root, "events.out")
        self.seeded = {}  # area -> lines of other files' entries that must stay, each once
        self.items = []
        self.foreign = set()  # names of files that arrive outside `items` (hostile inputs)
        self.flag_event = flag_event
        self._write_settings(flag_event)
        names = set()  # every name of the node, upper case: unique ignoring letter case
        self._make_items(names, count)
        self._seed_lists(names)

    def _write_settings(self, flag_event):
        d = self.dirs
        settings = ["[QUENFAR]", "Inbound=" + d["inbound"], "Fileecho=" + d["files"],
                    "Logfile=" + os.path.join(self.root, "quenfar.log"), "OnScreen=NO",
                    "FlagsDir=" + d["flags"], "NetmailDir=" + d["netmail"],
                    "FTNAddress=2:5020/2"]
        if self.ticdir:
            settings.append("TICDir=" + self.ticdir)
        settings += ["", "[INCLUDE]", "Events=events.lst"]
        write_text(os.path.join(d["bin"], "quenfar.cfg"), "\n".join(settings) + "\n")
        hook = os.path.join(d["bin"], "event.sh")
        write_text(hook, '#!/bin/sh\nprintf \'%%s\\n\' "$2" >> %s\n' % shell_quote(self.events_out))
        os.chmod(hook, 0o755)
        events = ["; area file command", "* * " + hook]
        if flag_event:
            events.append("* * %FLG%newfiles.flg")
        write_text(os.path.join(d["bin"], "events.lst"), "\r\n".join(events) + "\r\n")

    def _make_items(self, names, count):
        for number in range(count):
            name = unique_name(self.rng, names)
            # Now and then the file arrives in small letters while the .tic spells it otherwise.
            inbound_name = name.lower() if self.rng.random() < 0.15 else name
            tic = unique_name(self.rng, names, "TIC" if self.rng.random() < 0.2 else "tic")
            desc = "some description %d" % number
            data = self.rng.randbytes(self.rng.randint(0, 3000))
            item = Item(tic, self.rng.choice(self.item_areas), name, inbound_name, desc, data)
            self.items.append(item)
            write_bytes(os.path.join(self.dirs["inbound"], inbound_name), data)
            lines = ["Area " + item.area, "File " + name, "Desc " + desc, "Origin 2:5020/1",
                     "Size %d" % len(data), "Crc %08X" % item.crc]
            write_bytes(os.path.join(self.dirs["inbound"], tic), crlf(lines))

    def _seed_lists(self, names):
        """Each area's list holds other files' entries, a comment, a continuation line, and
        entries (sometimes in other letter case, sometimes with an old file) that the run replaces."""
        for area in AREAS:
            area_dir = os.path.join(self.dirs["files"], area)
            os.makedirs(area_dir)
            others = ["; files of %s" % area]
            for n in range(self.rng.randint(2, 6)):
                other = unique_name(self.rng, names)
                others.append("%-12s  Old file %d of %s" % (other, n, area))
                if n == 0:
                    others.append("              (continued: old file %d)" % n)
            self.seeded[area] = others
            replaced = []
            for item in (i for i in self.items if i.area == area and self.rng.random() < 0.15):
                spelled = item.name.lower() if self.rng.random() < 0.5 else item.name
                replaced.append("%-12s  Previous version" % spelled)
                if spelled == item.name:
                    write_bytes(os.path.join(area_dir, item.name), b"old " + self.rng.randbytes(50))
            lines = others + replaced
            self.rng.shuffle(lines)
            write_bytes(os.path.join(area_dir, "files.bbs"), crlf(lines))

    def start(self, env=None):
        """Starts one run; its console output goes to console-N.txt in the node."""
        self.runs = getattr(self, "runs", 0) + 1
        with open(os.path.join(self.root, "console-%d.txt" % self.runs), "wb") as console:
            proc = subprocess.Popen([self.program], cwd=self.root, env=env, stdin=subprocess.DEVNULL,
                                    stdout=console, stderr=subprocess.STDOUT)
        STARTED.append(proc)
        return proc

    def console(self, run):
        """The last line that run number `run` printed."""
        lines = (read_bytes(os.path.join(self.root, "console-%d.txt" % run)) or b"").decode("latin-1").split("\n")
        return ([line for line in lines if line.strip()] or [""])[-1].strip()


# ---------------------------------------------------------------------------------- helpers

def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


def write_text(path, text):
    write_bytes(path, text.encode())


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def holds(path, crc):
    """True when the file at `path` exists with contents of this CRC-32."""
    data = read_bytes(path)
    return data is not None and zlib.crc32(data) == crc


def crlf(lines):
    return "".join(line + "\r\n" for line in lines).encode()


def shell_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


def unique_name(rng, taken, extension=None):
    """An 8.3 name not yet used in this run, compared ignoring letter case."""
    while True:
        stem = "".join(rng.choice(NAME_CHARS) for _ in range(rng.randint(1, 8)))
        name = stem + "." + (extension or rng.choice(EXTENSIONS))
        if rng.random() < 0.2 and extension is None:
            name = name.lower()
        if name.upper() not in taken and name.upper() != "FILES.BBS":
            taken.add(name.upper())
            return name


def wait(proc, timeout):
    """The exit code, or None after killing a run that did not end in time."""
    try:
        return proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        return None


# ---------------------------------------------------------------------------------- checking

def read_messages(netmail, report, where):
    """The file blocks of every N.msg as {NAME: [{field: value}]}, checking each message's shape."""
    announced = collections.defaultdict(list)
    for entry in sorted(os.listdir(netmail)):
        stem, _, ext = entry.partition(".")
        if stem.isdigit() and ext.lower() == "msg":
            for name, blocks in read_message(os.path.join(netmail, entry), report, "%s %s" % (where, entry)).items():
                announced[name] += blocks
    return announced


def read_message(path, report, where):
    """The file blocks of one stored message as {NAME: [{field: value}]}, checking its shape:
    the FTS-0001 header, a body ended by NUL, and the count line matching the blocks."""
    announced = collections.defaultdict(list)
    data = read_bytes(path) or b""
    end = data.find(b"\0", 190)
    if len(data) <= 190 or not data.startswith(b"Quenfar Herald\0") or end < 0:
        report.violation("malformed netmail message", where)
        return announced
    blocks, fields = 0, None
    for line in data[190:end].decode("latin-1").split("\r\n"):
        if line.startswith("=== "):
            blocks, fields = blocks + 1, {}
            announced[line[4:].rstrip("=").rstrip(" ").upper()].append(fields)
        elif fields is not None and ":" in line:
            key, _, value = line.partition(":")
            fields[key.strip()] = value[1:]
    if b"File proceded %d\r\n" % blocks not in data[190:end]:
        report.violation("malformed netmail message", "%s: count line" % where)
    return announced


def read_list(path, area, report, where):
    """The entries of one description list as {NAME: [texts after the name]}, plus its lines."""
    data = read_bytes(path)
    entries = collections.defaultdict(list)
    if data is None:
        return entries, []
    if b"\0" in data or not data.endswith(b"\r\n"):
        report.violation("files.bbs malformed", "%s %s" % (where, area))
    lines = data.split(b"\r\n")[:-1] if data.endswith(b"\r\n") else data.split(b"\r\n")
    if any(b"\r" in line or b"\n" in line or not line for line in lines):
        report.violation("files.bbs malformed", "%s %s: line ends" % (where, area))
    text = [line.decode("latin-1") for line in lines]
    for line in text:
        if " " in line:
            name, rest = line.split(" ", 1)
            entries[name.upper()].append(rest.strip())
    return entries, text


def check_node(node, report, where, exact, complete):
    """Checks the invariants of a node at rest. `exact`: each file announced and its event run
    once only; `complete`: the last run ran alone, so every file should be in its area."""
    announced = read_messages(node.dirs["netmail"], report, where)
    events = collections.Counter((read_bytes(node.events_out) or b"").decode("latin-1").split("\n"))
    lists = {}
    for area in AREAS:
        lists[area] = read_list(os.path.join(node.dirs["files"], area, "files.bbs"), area, report, where)
        lines = collections.Counter(lists[area][1])
        for line in node.seeded[area]:
            if lines[line] != 1:
                report.violation("pre-seeded line lost or doubled", "%s %s: %r x%d" % (where, area, line, lines[line]))
    inbound = {name.upper(): name for name in os.listdir(node.dirs["inbound"])}
    tossed = {item.name.upper() for item in node.items
              if check_item(node, item, inbound, report, where, complete)}
    for item in (i for i in node.items if i.name.upper() in tossed):
        at = "%s %s/%s" % (where, item.area, item.name)
        texts = lists[item.area][0].get(item.name.upper(), [])
        if not texts:
            report.violation("description lost (no entry)", at)
        elif len(texts) > 1:
            report.violation("duplicate files.bbs entries", at)
        elif texts[0] != item.desc:
            report.violation("description lost (old or wrong entry)", "%s: %r" % (at, texts[0]))
        blocks = announced.get(item.name.upper(), [])
        if not blocks:
            report.violation("never announced", at)
        elif exact and len(blocks) > 1:
            report.violation("announced more than once", at)
        elif len(blocks) > 1:
            report.count("files announced more than once (after a kill)")
        size = str(len(item.data))
        for block in blocks:
            if (block.get("Fileecho"), block.get("Description"), block.get("File size", size)) != (item.area, item.desc, size):
                report.violation("announcement block wrong", "%s: %r" % (at, block))
        if events[item.name] == 0:
            report.violation("event not run", at)
        elif exact and events[item.name] > 1:
            report.violation("event run more than once", at)
    for name in announced:
        if name not in tossed and name not in node.foreign:
            report.violation("announced but not in its area", "%s %s" % (where, name))
    if tossed and node.flag_event and not os.path.exists(os.path.join(node.dirs["flags"], "newfiles.flg")):
        report.violation("flag file missing", where)
    check_leftovers(node, report, where)
    report.count("files tossed", len(tossed))


def check_item(node, item, inbound, report, where, complete):
    """Where one file ended up: True when it is in its area, with the new contents.
    `inbound` maps the upper-cased names in the inbound to the names."""
    at = "%s %s/%s" % (where, item.area, item.name)
    in_area = holds(os.path.join(node.dirs["files"], item.area, item.name), item.crc)
    found = inbound.get(item.name.upper())
    in_inbound = found is not None and holds(os.path.join(node.dirs["inbound"], found), item.crc)
    has_tic = inbound.get(item.tic.upper()) == item.tic
    if in_area and in_inbound:
        report.violation("duplicated (in area and inbound)", at)
    if not in_area and not in_inbound:
        report.violation("file lost", at)
    if not in_area and in_inbound and not has_tic:
        report.violation("file in inbound without its .tic", at)
    if in_area and has_tic:
        report.violation(".tic stuck (file already in area)", at)
    if not in_area and in_inbound and has_tic:
        if complete:
            report.violation("not tossed by the complete run", at)
        else:
            report.count("left in inbound for the next run")
    return in_area


def check_leftovers(node, report, where):
    """No temporary file anywhere, and nothing unexpected where callers or the tosser look."""
    for base, _, files in os.walk(node.root):
        for name in (n for n in files if n.startswith(".quenfar-")):
            report.violation("temporary file left", "%s %s" % (where, os.path.relpath(os.path.join(base, name), node.root)))
    for area in AREAS:
        expected = {i.name for i in node.items if i.area == area} | {"files.bbs"}
        for name in os.listdir(os.path.join(node.dirs["files"], area)):
            if name not in expected and name.upper() not in node.foreign and not name.startswith(".quenfar-"):
                report.violation("stray file in an area directory", "%s %s/%s" % (where, area, name))
    for name in os.listdir(node.dirs["netmail"]):
        stem, _, ext = name.partition(".")
        if not (stem.isdigit() and ext == "msg") and not name.startswith(".quenfar-"):
            report.violation("stray file in the netmail directory", "%s %s" % (where, name))


# ---------------------------------------------------------------------------------- campaigns

def build_shim(workdir):
    shim = os.path.join(workdir, "killshim.so")
    subprocess.run(["cc", "-shared", "-fPIC", "-O2", "-o", shim, SHIM_SOURCE, "-ldl"], check=True)
    return shim


def shim_env(shim, **variables):
    env = dict(os.environ, LD_PRELOAD=shim)
    env.update({"KILLSHIM_" + k.upper(): str(v) for k, v in variables.items()})
    return env


def calibrate(binary, workdir, shim, count, seed, report):
    """Duration and call counts of one complete run, for a node with and without TICDir.
    The nodes are checked too: an undisturbed run must break no rule."""
    result = {}
    for ticdir in (False, True):
        root = tempfile.mkdtemp(prefix="calib-", dir=workdir)
        node = Node(root, binary, random.Random(seed), count, ticdir, True)
        counts_file = os.path.join(root, "counts")
        began = time.monotonic()
        code = wait(node.start(shim_env(shim, report=counts_file)), 300)
        took = time.monotonic() - began
        if code != 0:
            sys.exit("stress: a complete run of the calibration node failed (%s)" % code)
        fields = (read_bytes(counts_file) or b"").decode().split()
        result[ticdir] = (took, {fields[i]: int(fields[i + 1]) for i in range(0, len(fields), 2)})
        check_node(node, report, "undisturbed run", exact=True, complete=True)
        shutil.rmtree(root)
    return result


KILL_MODES = ["timer"] * 6 + ["%s-%s" % (c, w) for c in ("unlink", "rename", "fsync") for w in ("before", "after")]


def killed_run(node, rng, pace, counts, shim, timeout, scale=1.0):
    """Starts a run and kills it after a random delay or at a chosen call, within the first
    `scale` of a complete run (`pace["run"]` seconds, `counts` calls). Returns a description of
    the kill and the run's exit code (-9 when the kill came, None when the run hung)."""
    # A call that a complete run never makes (unlink when .tic files go to TICDir) is no target.
    mode = rng.choice([m for m in KILL_MODES if m == "timer" or counts.get(m.split("-")[0])])
    if mode == "timer":
        delay = rng.uniform(0, pace["run"] * scale)
        proc = node.start()
        began = time.monotonic()
        try:
            proc.wait(delay)
        except subprocess.TimeoutExpired:
            proc.send_signal(signal.SIGKILL)
            return "after %.3f s" % delay, wait(proc, timeout)
        if scale == 1.0:  # a complete run that ended first: the freshest measure of the pace
            pace["run"] = time.monotonic() - began
        return "after %.3f s, too late" % delay, proc.returncode
    call, when = mode.split("-")
    n = rng.randint(1, max(1, int(counts[call] * scale)))
    return "%s %s #%d" % (when, call, n), wait(node.start(shim_env(shim, call=call, n=n, when=when)), timeout)


def kill_campaign(args, binary, workdir, shim, report):
    """Each trial: one killed run (a quarter of them: two, the second one in the middle of the
    recovery), then a complete run, then the checks."""
    calibration = calibrate(binary, workdir, shim, args.tics, args.seed, report)
    for ticdir, (took, counts) in calibration.items():
        print("calibration (TICDir %s): %.2f s, calls %s" % ("set" if ticdir else "unset", took,
              " ".join("%s=%d" % kv for kv in sorted(counts.items()))))
    if not any(counts for _, counts in calibration.values()):
        print("warning: the kill shim did not load (a static program?): timed kills only")
    timeout = max(30.0, 20 * max(t for t, _ in calibration.values()))
    # Timed kills aim within the shorter of the two durations, and within the duration of the
    # latest complete run once one came before its kill (the machine's load changes).
    pace = {"run": min(t for t, _ in calibration.values())}
    for trial in range(args.kills) if args.trial is None else [args.trial]:
        rng = random.Random("%s-kill-%d" % (args.seed, trial))
        ticdir = trial % 2 == 0
        root = tempfile.mkdtemp(prefix="kill-%03d-" % trial, dir=workdir)
        node = Node(root, binary, rng, args.tics, ticdir, rng.random() < 0.5)
        kills = []
        for scale in ([1.0, 0.25] if rng.random() < 0.25 else [1.0]):
            kill, code = killed_run(node, rng, pace, calibration[ticdir][1], shim, timeout, scale)
            kills.append(kill)
            report.count("runs killed" if code == -signal.SIGKILL else "runs that ended before the kill")
            if code is None:
                report.violation("run hung", "kill trial %d (seed %s)" % (trial, args.seed))
        where = "kill trial %d (killed %s; seed %s)" % (trial, ", then ".join(kills), args.seed)
        before = report.total()
        report.count("kill trials")
        report.count("kill trials with a second kill", len(kills) > 1)
        final = wait(node.start(), timeout)
        if final != 0:
            report.violation("final run failed or hung", "%s: exit %s, %r" % (where, final, node.console(node.runs)))
        check_node(node, report, where, exact=False, complete=True)
        report.count("kill trials with violations", report.total() > before)
        if not args.keep:
            shutil.rmtree(root)
        if (trial + 1) % 50 == 0:
            print("  %d trials done, %d violations so far" % (trial + 1, report.total()))


def concurrency_campaign(args, binary, workdir, report, runs):
    """Each repetition: `runs` runs started together over one node; when all have ended, every
    file is tossed at most once, announced once and its event run once (a file whose .tic every
    run found busy may wait in the inbound for the next run)."""
    for rep in range(args.reps):
        rng = random.Random("%s-conc-%d-%d" % (args.seed, runs, rep))
        root = tempfile.mkdtemp(prefix="conc%d-%02d-" % (runs, rep), dir=workdir)
        node = Node(root, binary, rng, args.concurrent_tics, rep % 2 == 0, rng.random() < 0.5)
        where = "%d runs, rep %d (seed %s)" % (runs, rep, args.seed)
        before = report.total()
        procs = [node.start() for _ in range(runs)]
        for run, proc in enumerate(procs, 1):
            code = wait(proc, 300)
            if code != 0:
                report.violation("concurrent run failed or hung", "%s: exit %s, %r" % (where, code, node.console(run)))
            elif "not defined" in node.console(run):
                report.violation("concurrent run missed its settings", "%s: %r" % (where, node.console(run)))
        report.count("concurrent campaigns of %d runs" % runs, 1)
        check_node(node, report, where, exact=True, complete=False)
        report.count("campaigns of %d runs with violations" % runs, report.total() > before)
        if not args.keep:
            shutil.rmtree(root)


def hostile_smoke(binary, workdir, report, timeout):
    """Three inputs from a hostile or broken system; prints what the program did with each."""
    # Each with the exit status it must end with: 3 where a .tic is refused.
    cases = {
        "File files.bbs": (lambda n: place_tic(n, "files.bbs", crlf(["EVIL.ZIP  replaced list"])), 3),
        "Desc with a NUL byte": (lambda n: place_tic(n, "NULDESC.ZIP", b"data", b"bad\0desc"), 0),
        "FIFO named x.tic": (lambda n: os.mkfifo(os.path.join(n.dirs["inbound"], "x.tic")), 0),
    }
    for label, (prepare, expected) in cases.items():
        root = tempfile.mkdtemp(prefix="hostile-", dir=workdir)
        node = Node(root, binary, random.Random(label), 3, False, False)
        prepare(node)
        began = time.monotonic()
        code = wait(node.start(), timeout)
        where = "hostile: " + label
        listing = read_bytes(os.path.join(node.dirs["files"], "AREA1", "files.bbs")) or b""
        left = sorted(os.listdir(node.dirs["inbound"]))
        print("  %-22s exit %s after %.1f s; inbound now %s; AREA1/files.bbs %d bytes%s" % (
            label, code, time.monotonic() - began, left, len(listing), ", holds a NUL" if b"\0" in listing else ""))
        if code != expected:
            report.violation("hostile input: run hung or failed", "%s: exit %s" % (where, code))
        if code is not None:
            check_node(node, report, where, exact=True, complete=True)
        shutil.rmtree(root)


def place_tic(node, name, data, desc=b"hostile"):
    """A .tic for AREA1 and its file, outside the node's own items."""
    write_bytes(os.path.join(node.dirs["inbound"], name), data)
    node.foreign.add(name.upper())
    tic = b"Area AREA1\r\nFile " + name.encode() + b"\r\nDesc " + desc + b"\r\nOrigin 2:5020/1\r\n"
    write_bytes(os.path.join(node.dirs["inbound"], "hostile.tic"), tic)


def fault_campaign(binary, workdir, seed, report):
    """The fault campaign of faults.py, its failing cases counted as violations here."""
    import faults  # beside this file; it imports this module for the nodes and the checks

    try:
        results = faults.run_campaign(binary, workdir, False, seed)
    finally:
        faults.stop_runs()
        faults.unmount_all()
    for case in results:
        report.count("fault cases")
        report.count("fault cases skipped", bool(case.skipped))
        for kind, detail in case.violations:
            report.violation(kind, "%s: %s" % (case.name, detail))
        if case.error:
            report.violation("fault case not carried out", "%s: %s" % (case.name, case.error))


# ---------------------------------------------------------------------------------- main

def print_report(report):
    campaigns = list(dict.fromkeys(c for c, _ in list(report.figures) + list(report.violations)))
    for campaign in campaigns:
        print("\n=== %s (%.1f s)" % (campaign, report.durations.get(campaign, 0)))
        for (c, figure), value in sorted(report.figures.items()):
            if c == campaign:
                print("  %-44s %d" % (figure, value))
        kinds = [(k, n) for (c, k), n in report.violations.most_common() if c == campaign]
        print("  violations: %d" % sum(n for _, n in kinds))
        for kind, count in kinds:
            print("    %-42s %d" % (kind, count))
            for example in report.examples[(campaign, kind)]:
                print("        e.g. " + example)
    print("\n=== all: %d violations in %.1f s" % (report.total(), sum(report.durations.values())))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("binary")
    parser.add_argument("--kills", type=int, help="kill trials (default 200, quick 40)")
    parser.add_argument("--reps", type=int, help="repetitions of each concurrency campaign (default 10, quick 3)")
    parser.add_argument("--quick", action="store_true", help="a short version for CI")
    parser.add_argument("--seed", default=str(int(time.time())))
    parser.add_argument("--keep", action="store_true", help="keep the nodes of the trials")
    parser.add_argument("--trial", type=int, help="run only this kill trial (with its --seed)")
    parser.add_argument("--no-faults", action="store_true", help="leave out the fault campaign")
    args = parser.parse_args()
    args.kills = args.kills if args.kills is not None else (40 if args.quick else 200)
    args.reps = args.reps if args.reps is not None else (3 if args.quick else 10)
    args.tics = 30 if args.quick else 200
    args.concurrent_tics = 300 if args.quick else 1000
    binary = os.path.abspath(args.binary)
    if not os.access(binary, os.X_OK):
        sys.exit("stress: %s is not an executable program" % binary)

    # `timeout` and CI stop with SIGTERM: leave through the clean-up below like Ctrl-C does.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    workdir = tempfile.mkdtemp(prefix="quenfar-stress-")
    report = Report()
    print("quenfar stress: seed %s, %d kill trials of %d files, %d x 2 and %d x 4 concurrent runs of %d files" % (
        args.seed, args.kills, args.tics, args.reps, args.reps, args.concurrent_tics))
    campaigns = [("kills", lambda: kill_campaign(args, binary, workdir, shim, report))]
    if args.trial is None:
        campaigns += [("2 concurrent runs", lambda: concurrency_campaign(args, binary, workdir, report, 2)),
                      ("4 concurrent runs", lambda: concurrency_campaign(args, binary, workdir, report, 4)),
                      ("hostile inputs", lambda: hostile_smoke(binary, workdir, report, 5 if args.quick else 30))]
        if not args.quick and not args.no_faults:
            campaigns.append(("faults", lambda: fault_campaign(binary, workdir, args.seed, report)))
    try:
        shim = build_shim(workdir)
        for name, campaign in campaigns:
            print("--- " + name)
            report.campaign = name
            began = time.monotonic()
            campaign()
            report.durations[name] = time.monotonic() - began
    finally:
        for proc in STARTED:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        if args.keep:
            print("nodes kept in " + workdir)
        else:
            shutil.rmtree(workdir, ignore_errors=True)
    print_report(report)
    return 1 if report.violations else 0

if __name__ == "__main__":
    sys.exit(main())
