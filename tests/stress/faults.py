#!/usr/bin/env python3
"""Fault campaign for quenfar: full disks, a second file system, failing calls, signals, kills
inside copies and hostile names.

    python3 tests/stress/faults.py BINARY [--quick] [--seed S] [--case SUBSTRING] [--keep] [--list]

Every case builds fresh nodes (stress.Node) in a temporary directory, disturbs one or more runs
of the real program, lets clean runs follow, and checks the node:

- no file lost: each file that arrived is, with its own contents, in exactly one of the
  inbound and its area;
- each tossed file announced exactly once across all the runs' messages, and nothing announced
  that is not in its area;
- no list entry with the new description for a file that is not in its area, and one entry for
  each file that is;
- nothing published that should not be: no .tic, no symbolic link, no private file's contents,
  no stray or torn file in an area directory, no temporary file or journal left;
- no .tic left in the inbound once its file is placed;
- the first clean run after a fault finishes the work;
- a run that leaves work undone says so on standard error or in the log.

Mounting (tmpfs) needs root; strace must be installed. A case that cannot be set up is skipped
with its reason. Prints each case as it ends and a summary; exits 1 on any violation.
"""
import argparse
import collections
import os
import random
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zlib

# A run that completed: 0, or 3 when a toss, a flush or the message failed, as the faults of
# these cases make them fail; what matters is what the runs leave, which check() judges.
COMPLETED = (0, 3)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stress  # noqa: E402  the node building, message and list parsing, kill shim

RUN_TIMEOUT = 60.0
TEMP_PREFIX = ".quenfar-"  # the program's temporary files and journals
MOUNTS = []  # every tmpfs mounted, so that an interrupted campaign leaves none behind
DETAILS_PER_CASE = 8


class Skip(Exception):
    """A case that cannot be set up on this machine, with the reason."""


# ---------------------------------------------------------------------------------- file systems

def mount_tmpfs(path, size="64m", inodes=None, read_only=False):
    """Mounts a tmpfs at the existing directory `path`; raises Skip when mounting fails."""
    options = "size=" + size + (",nr_inodes=%d" % inodes if inodes else "") + (",ro" if read_only else "")
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", path],
                            capture_output=True, text=True)
    if result.returncode != 0:
        reason = (result.stderr.strip().splitlines() or ["exit %d" % result.returncode])[0]
        raise Skip("cannot mount a tmpfs (%s)" % reason)
    MOUNTS.append(path)


def remount(path, options):
    subprocess.run(["mount", "-o", "remount," + options, path], check=True, capture_output=True)


def stop_runs():
    """Kills the runs that are still going (an interrupted campaign)."""
    for proc in stress.STARTED:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


def unmount_all():
    while MOUNTS:
        path = MOUNTS.pop()
        if subprocess.run(["umount", path], capture_output=True).returncode != 0:
            subprocess.run(["umount", "-l", path], capture_output=True)


def move_onto_tmpfs(node, key, **options):
    """Puts the node directory `key` (inbound, files, netmail...) on a tmpfs of its own,
    keeping what it holds."""
    path = node.dirs[key]
    keep = path + ".before-mount"
    os.rename(path, keep)
    os.mkdir(path)
    mount_tmpfs(path, **options)
    for entry in os.listdir(keep):
        source = os.path.join(keep, entry)
        if os.path.isdir(source):
            shutil.copytree(source, os.path.join(path, entry), symlinks=True)
        else:
            shutil.copy2(source, os.path.join(path, entry), follow_symlinks=False)
    shutil.rmtree(keep)


def fill(directory, inodes=False):
    """Fills the file system of `directory` with filler files: all its space, or, with
    `inodes`, all its inodes (empty files). tmpfs counts its blocks per CPU and lets a process
    on another CPU have a few pages more, so it is filled from each CPU in turn. Returns the
    files' paths, for giving the room back."""
    paths = []
    cpus = sorted(os.sched_getaffinity(0))
    try:
        for cpu in cpus:
            os.sched_setaffinity(0, {cpu})
            fill_from_here(directory, inodes, paths)
    finally:
        os.sched_setaffinity(0, cpus)
    return paths


def fill_from_here(directory, inodes, paths):
    """Adds filler files to `paths` until 20 tries in a row find no room."""
    began = time.monotonic()
    chunk, failures = 1 << 20, 0
    while time.monotonic() - began < 20 and failures < 20:
        path = os.path.join(directory, "filler-%d" % len(paths))
        try:
            fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        except OSError:
            failures += 1
            continue
        paths.append(path)
        if inodes:
            os.close(fd)
            continue
        written = 0
        try:
            while True:
                written += os.write(fd, b"\0" * chunk)
        except OSError:
            pass
        finally:
            os.close(fd)
        failures = 0 if written else failures + 1
        chunk = 4096 if written == 0 else chunk


# ---------------------------------------------------------------------------------- nodes

class FaultNode(stress.Node):
    """A stress node whose runs can be started through a wrapper (strace), with their own
    standard output, and whose settings can be changed after it is built."""

    def __init__(self, root, binary, rng, count, ticdir=False, flag_event=True, crc=True):
        super().__init__(root, binary, rng, count, ticdir, flag_event)
        self.extra_settings = []
        self.refused = set()    # upper-case names that must never be tossed
        self.tic_may_stay = set()  # .tic names that may stay in the inbound
        self.secrets = []       # contents that must never appear in an area
        self.tic_contents = []  # .tic contents that must never appear in an area
        self.log_seen = 0
        self.message_run = {}   # N.msg -> the run that stored it
        self.runs = 0
        if not crc:
            for item in self.items:
                self.write_tic(item, crc="%08X" % (item.crc ^ 0x5A5A5A5A))

    def write_tic(self, item, crc=None, extra=()):
        lines = ["Area " + item.area, "File " + item.name, "Desc " + item.desc, "Origin 2:5020/1",
                 "Size %d" % len(item.data), "Crc " + (crc or "%08X" % item.crc)] + list(extra)
        stress.write_bytes(os.path.join(self.dirs["inbound"], item.tic), stress.crlf(lines))

    def rewrite_settings(self):
        self._write_settings(self.flag_event)
        if self.extra_settings:
            path = os.path.join(self.dirs["bin"], "quenfar.cfg")
            text = open(path).read().replace("[QUENFAR]\n", "[QUENFAR]\n" + "\n".join(self.extra_settings) + "\n", 1)
            stress.write_text(path, text)

    def set_ticdir(self, path):
        self.ticdir = path
        self.rewrite_settings()

    def start_run(self, prefix=(), env=None, stdout=None, new_session=False):
        """Starts one run; its standard error (and output, unless `stdout` is given) goes to
        console-N.txt in the node."""
        self.runs += 1
        console = open(os.path.join(self.root, "console-%d.txt" % self.runs), "wb")
        proc = subprocess.Popen(list(prefix) + [self.program], cwd=self.root, env=env,
                                stdin=subprocess.DEVNULL, stdout=stdout if stdout is not None else console,
                                stderr=console, start_new_session=new_session)
        console.close()
        stress.STARTED.append(proc)
        return proc

    def finished_run(self, proc, timeout=RUN_TIMEOUT):
        """Waits for a run; returns (exit code or None when it hung, console text, new log text,
        the messages it stored)."""
        code = stress.wait(proc, timeout)
        console = (stress.read_bytes(os.path.join(self.root, "console-%d.txt" % self.runs)) or b"").decode("latin-1")
        log = stress.read_bytes(os.path.join(self.root, "quenfar.log")) or b""
        new_log = log[self.log_seen:].decode("latin-1")
        self.log_seen = len(log)
        stored = []
        if os.path.isdir(self.dirs["netmail"]):
            for name in sorted(os.listdir(self.dirs["netmail"])):
                if name.endswith(".msg") and name not in self.message_run:
                    self.message_run[name] = self.runs
                    stored.append(name)
        return code, console, new_log, stored

    def run(self, prefix=(), env=None, timeout=RUN_TIMEOUT):
        return self.finished_run(self.start_run(prefix, env), timeout)


def placed(node):
    """How many of the node's files are in their areas."""
    return sum(1 for i in node.items if stress.holds(os.path.join(node.dirs["files"], i.area, i.name), i.crc))


def tic_of(node, item):
    """True when the .tic of `item` is still in the inbound."""
    return os.path.exists(os.path.join(node.dirs["inbound"], item.tic))


# ---------------------------------------------------------------------------------- checking

class Case:
    """One fault case: its name, its family, what it found."""

    def __init__(self, family, name):
        self.family, self.name = family, name
        self.violations = []  # (kind, detail)
        self.notes = []
        self.skipped = None
        self.error = None  # the campaign itself could not carry the case out
        self.seconds = 0.0

    def violation(self, kind, detail):
        self.violations.append((kind, detail))


def announcements(node):
    """{NAME: [message names]} over every stored message, checking each message's shape."""
    report = stress.Report()
    names = collections.defaultdict(list)
    if not os.path.isdir(node.dirs["netmail"]):
        return names, report
    for entry in sorted(os.listdir(node.dirs["netmail"])):
        if not entry.endswith(".msg"):
            continue
        for name, blocks in stress.read_message(os.path.join(node.dirs["netmail"], entry), report, entry).items():
            names[name] += [entry] * len(blocks)
    return names, report


def where_announced(node, messages):
    return ", ".join("%s (run %s)" % (m, node.message_run.get(m, "?")) for m in messages)


def check_undone_said(node, case, run, console, log, label):
    """A run that leaves work undone must say so, on standard error or in the log: a file tossed
    and not announced (its message not stored), or a .tic kept though its file is placed. (A
    file that cannot be moved is a "Can't move file" line; a .tic that cannot be read is
    treated as absent.)"""
    announced, _ = announcements(node)
    undone = []
    for item in node.items:
        if item.name.upper() in node.refused:
            continue
        in_area = stress.holds(os.path.join(node.dirs["files"], item.area, item.name), item.crc)
        if in_area and not announced.get(item.name.upper()):
            undone.append("%s tossed, not announced" % item.name)
        if in_area and tic_of(node, item) and item.tic not in node.tic_may_stay:
            undone.append("%s placed, its %s kept" % (item.name, item.tic))
    words = (console + "\n" + log).lower()
    if undone and not any(w in words for w in ("warning", "cannot", "can't", "error")):
        case.violation("work left undone in silence",
                       "run %d (%s): %s; console %r" % (run, label, "; ".join(undone[:4]) + (" ..." if len(undone) > 4 else ""),
                                                      console.strip()[-120:]))


def check_node(node, case, after, exact_events=True, at_rest=True):
    """The invariants of a node after run number `after`. `at_rest`: the run was not disturbed,
    so the work must be done: every file tossed, announced, listed, its event run and its .tic
    gone, nothing temporary left. Otherwise (right after a fault) only what no fault excuses:
    nothing lost, doubled, announced twice or published that should not be."""
    complete = at_rest
    at = "after run %d" % after
    announced, shape = announcements(node)
    for (_, kind), count in shape.violations.items():
        case.violation(kind, "%s: %s" % (at, ", ".join(shape.examples[("", kind)])))
    events = collections.Counter((stress.read_bytes(node.events_out) or b"").decode("latin-1").split("\n"))
    inbound = {}
    for name in os.listdir(node.dirs["inbound"]):
        inbound.setdefault(name.upper(), []).append(name)
    lists = {}
    for area in stress.AREAS:
        path = os.path.join(node.dirs["files"], area, "files.bbs")
        lists[area] = stress.read_list(path, area, stress.Report(), at)[0]
    tossed = set()
    for item in node.items:
        label = "%s/%s" % (item.area, item.name)
        area_path = os.path.join(node.dirs["files"], item.area, item.name)
        in_area = stress.holds(area_path, item.crc)
        in_inbound = any(stress.holds(os.path.join(node.dirs["inbound"], n), item.crc)
                         for n in inbound.get(item.name.upper(), []))
        # Right after a fault a copy may stand in the area while its source could not be
        # deleted: the .tic stays, and the next run sorts it out.
        if at_rest and in_area and in_inbound:
            case.violation("file both in the inbound and its area", "%s: %s" % (at, label))
        if not in_area and not in_inbound:
            state = "a different file in the area" if os.path.lexists(area_path) else "nowhere"
            case.violation("file lost", "%s: %s (%s)" % (at, label, state))
        if in_area:
            tossed.add(item.name.upper())
        refused = item.name.upper() in node.refused
        if in_area and refused:
            case.violation("refused file tossed", "%s: %s" % (at, label))
        if at_rest and in_area and tic_of(node, item) and item.tic not in node.tic_may_stay:
            case.violation(".tic left in the inbound though its file is placed", "%s: %s for %s" % (at, item.tic, label))
        if complete and not in_area and in_inbound and not refused:
            case.violation("not tossed by the runs after the fault", "%s: %s (.tic %s)" % (
                at, label, "present" if tic_of(node, item) else "gone"))
        entries = lists[item.area].get(item.name.upper(), [])
        new_entries = [e for e in entries if e == item.desc]
        if in_area and len(entries) > 1:
            case.violation("several list entries for one file", "%s: %s: %r" % (at, label, entries))
        elif at_rest and in_area and not entries:
            case.violation("no list entry for a placed file", "%s: %s" % (at, label))
        elif at_rest and in_area and entries[0] != item.desc:
            case.violation("list entry with an old description", "%s: %s: %r" % (at, label, entries[0]))
        if not in_area and new_entries:
            case.violation("list entry without its file", "%s: %s" % (at, label))
        messages = announced.get(item.name.upper(), [])
        if at_rest and in_area and not messages:
            case.violation("tossed file never announced", "%s: %s" % (at, label))
        elif in_area and len(messages) > 1:
            case.violation("tossed file announced more than once", "%s: %s %d times, in %s" % (
                at, label, len(messages), where_announced(node, messages)))
        elif not in_area and messages:
            case.violation("announced but not in its area", "%s: %s in %s" % (at, label, where_announced(node, messages)))
        if at_rest and in_area and events[item.name] == 0:
            case.violation("event not run", "%s: %s" % (at, label))
        elif in_area and exact_events and events[item.name] > 1:
            case.violation("event run more than once", "%s: %s %d times" % (at, label, events[item.name]))
    names = {i.name.upper() for i in node.items}
    for name, messages in announced.items():
        if name not in names:
            case.violation("announced but not in its area", "%s: %s in %s" % (at, name, where_announced(node, messages)))
    check_published(node, case, at, at_rest)


def check_published(node, case, at, at_rest):
    """Nothing in an area directory but the node's files and lists; nothing left half done."""
    allowed = collections.defaultdict(set)
    for item in node.items:
        allowed[item.area].add(item.name)
    for area in stress.AREAS:
        area_dir = os.path.join(node.dirs["files"], area)
        for name in os.listdir(area_dir) if os.path.isdir(area_dir) else []:
            path = os.path.join(area_dir, name)
            if os.path.islink(path):
                case.violation("symbolic link published", "%s: %s/%s -> %s" % (at, area, name, os.readlink(path)))
                continue
            if name.upper().endswith(".TIC"):
                case.violation(".tic published", "%s: %s/%s" % (at, area, name))
            data = stress.read_bytes(path) if os.path.isfile(path) else None
            if data is not None and any(secret in data for secret in node.secrets):
                case.violation("private contents published", "%s: %s/%s (mode %o)" % (
                    at, area, name, os.stat(path).st_mode & 0o777))
            if data is not None and data in node.tic_contents:
                case.violation(".tic contents published", "%s: %s/%s" % (at, area, name))
            if name.startswith(TEMP_PREFIX):
                continue  # reported below
            if name != "files.bbs" and name not in allowed[area] and name.upper() not in node.foreign:
                case.violation("stray file in an area directory", "%s: %s/%s" % (at, area, name))
    for base, _, files in os.walk(node.root) if at_rest else []:
        for name in (n for n in files if n.startswith(TEMP_PREFIX)):
            # A .tic that cannot be disposed of stays, and the journal with it: it is what
            # keeps the next run from tossing its file again.
            if getattr(node, "journal_may_stay", False) and base == node.dirs["inbound"] and \
                    name.startswith(TEMP_PREFIX + "journal-"):
                continue
            case.violation("temporary file or journal left", "%s: %s" % (at, os.path.relpath(os.path.join(base, name), node.root)))
    for area in stress.AREAS:
        for item in (i for i in node.items if i.area == area):
            path = os.path.join(node.dirs["files"], area, item.name)
            if os.path.isfile(path) and not stress.holds(path, item.crc) and item.name not in node.stale:
                case.violation("torn or wrong file in an area", "%s: %s/%s (%d of %d bytes)" % (
                    at, area, item.name, os.path.getsize(path), len(item.data)))


def finish_with_clean_runs(node, case, exact_events=True):
    """The runs after a fault: the first must finish the work, the second must find nothing
    left to do; the node is checked after each, and what the second check finds again is not
    counted twice."""
    before = len(case.violations)
    for _ in range(2):
        code, console, log, _ = node.run()
        if code not in COMPLETED:
            case.violation("clean run failed or hung", "run %d: exit %s, %r" % (node.runs, code, console.strip()[-160:]))
        check_node(node, case, node.runs, exact_events)
    seen = set()
    kept = case.violations[:before]
    for kind, detail in case.violations[before:]:
        key = (kind, re.sub(r"^after run \d+: ", "", detail))
        if key not in seen:
            seen.add(key)
            kept.append((kind, detail))
    case.violations = kept


# ---------------------------------------------------------------------------------- cases

def fresh(ctx, name, count=8, **options):
    root = tempfile.mkdtemp(prefix=re.sub(r"[^A-Za-z0-9]+", "-", name)[:40] + "-", dir=ctx.workdir)
    ctx.roots.append(root)
    node = FaultNode(root, ctx.binary, random.Random("%s-%s" % (ctx.seed, name)), count, **options)
    node.stale = {i.name for i in node.items if os.path.exists(os.path.join(node.dirs["files"], i.area, i.name))}
    return node


def case_full_fs(ctx, case, where, crc=True, inodes=False, ticdir=False):
    """A file system that fills: `where` is "areas" (the areas on a small tmpfs, the inbound on
    the disk: copies fill it) or "node" (inbound, areas, netmail and, with `ticdir`, TICDir on
    one small tmpfs, filled up before the run; a .tic moved to TICDir frees no room, one
    deleted does). The space comes back, and the next runs must finish."""
    node = fresh(ctx, case.name, count=30, crc=crc)
    # Entries that the run must replace: a list rewritten whole needs room of its own, where an
    # appended line often fits into the list's last block.
    for item in node.items[:6]:
        path = os.path.join(node.dirs["files"], item.area, "files.bbs")
        stress.write_bytes(path, (stress.read_bytes(path) or b"") + stress.crlf(["%-12s  Previous version" % item.name]))
    if where == "areas":
        if inodes:
            move_onto_tmpfs(node, "files", size="16m", inodes=20)
        else:
            move_onto_tmpfs(node, "files", size="60k")
        fillers = []
    else:
        mountpoint = os.path.join(node.root, "disk")
        os.mkdir(mountpoint)
        mount_tmpfs(mountpoint, size="16m", inodes=400 if inodes else None)
        for key in ("inbound", "files", "netmail"):
            target = os.path.join(mountpoint, key)
            shutil.copytree(node.dirs[key], target)
            shutil.rmtree(node.dirs[key])
            node.dirs[key] = target
        if ticdir:
            node.ticdir = os.path.join(mountpoint, "tics")
        node.rewrite_settings()
        fillers = fill(mountpoint, inodes)
        room = os.statvfs(mountpoint)
        case.notes.append("%d blocks and %d inodes free" % (room.f_bavail, room.f_favail))
    code, console, log, _ = node.run()
    case.notes.append("run 1 placed %d of %d files" % (placed(node), len(node.items)))
    if code not in COMPLETED:
        case.violation("run on a full file system failed or hung", "run 1: exit %s" % code)
    check_node(node, case, 1, at_rest=False)
    check_undone_said(node, case, 1, console, log, "file system full")
    for path in fillers:
        os.unlink(path)
    if where == "areas":
        remount(node.dirs["files"], "size=64m,nr_inodes=10000")
    finish_with_clean_runs(node, case)


def case_ticdir_elsewhere(ctx, case):
    """TICDir on another file system: each .tic moves there, each file is announced once over
    three runs."""
    node = fresh(ctx, case.name, ticdir=True)
    os.makedirs(node.ticdir)
    mount_tmpfs(node.ticdir, size="8m")
    node.rewrite_settings()
    code, console, log, _ = node.run()
    if code not in COMPLETED:
        case.violation("run failed or hung", "run 1: exit %s" % code)
    check_undone_said(node, case, 1, console, log, "TICDir on another file system")
    finish_with_clean_runs(node, case)
    kept = set(os.listdir(node.ticdir))
    for item in node.items:
        if item.tic not in kept and not tic_of(node, item):
            case.violation(".tic neither kept in TICDir nor in the inbound", item.tic)


def case_ticdir_unmakeable(ctx, case):
    """A TICDir that cannot be made (a file stands where a level should be): the .tic files stay
    in the inbound with a warning, and no file is tossed twice."""
    node = fresh(ctx, case.name)
    blocker = os.path.join(node.root, "not-a-directory")
    stress.write_text(blocker, "a file\n")
    node.set_ticdir(os.path.join(blocker, "tics"))
    node.tic_may_stay = {i.tic for i in node.items}
    node.journal_may_stay = True
    code, console, log, _ = node.run()
    if code not in COMPLETED:
        case.violation("run failed or hung", "run 1: exit %s" % code)
    if not any(w in (console + log).lower() for w in ("warning", "cannot", "can't")):
        case.violation("TICDir that cannot be made not reported", "run 1: console %r" % console.strip()[-120:])
    finish_with_clean_runs(node, case)


def case_netmail(ctx, case, how):
    """The message cannot be stored: the netmail directory is missing, read-only, or full.
    Each such run must say so; once it can be stored, each file is announced once."""
    node = fresh(ctx, case.name)
    netmail = node.dirs["netmail"]
    if how == "missing":
        shutil.rmtree(netmail)
    elif how == "read-only":
        mount_tmpfs(netmail, size="1m", read_only=True)
    else:
        mount_tmpfs(netmail, size="8k")
        fill(netmail)
    for run in range(1, 3):
        code, console, log, _ = node.run()
        if code not in COMPLETED:
            case.violation("run failed or hung", "run %d: exit %s" % (run, code))
        check_undone_said(node, case, run, console, log, "netmail directory " + how)
        check_node(node, case, run, at_rest=False)
    journals = [n for n in os.listdir(node.dirs["inbound"]) if n.startswith(TEMP_PREFIX + "journal")]
    case.notes.append("%d journals in the inbound after 2 runs" % len(journals))
    if how == "missing":
        os.makedirs(netmail)
    elif how == "read-only":
        remount(netmail, "rw")
    else:
        for name in os.listdir(netmail):
            if name.startswith("filler"):
                os.unlink(os.path.join(netmail, name))
    finish_with_clean_runs(node, case)


# Calls and the errors injected into them; the first error of each is the quick campaign's.
INJECTED = {
    "openat": ["EIO", "ENOSPC"], "write": ["ENOSPC", "EIO"], "pwrite64": ["ENOSPC", "EIO"],
    "fsync": ["EIO", "ENOSPC"], "fdatasync": ["EIO"], "syncfs": ["EIO"],
    "rename": ["EIO", "EXDEV", "ENOSPC"], "renameat2": ["EIO", "EXDEV", "ENOSPC"],
    "link": ["EXDEV", "EIO"], "unlink": ["EIO"], "unlinkat": ["EIO"], "mkdir": ["ENOSPC", "EIO"],
    "ftruncate": ["EIO", "ENOSPC"], "fchmod": ["EIO"], "read": ["EIO"], "getdents64": ["EIO"],
    "copy_file_range": ["EIO", "ENOSPC"], "sendfile": ["EIO", "ENOSPC"], "fallocate": ["ENOSPC"],
    "close": ["EIO"],
}
QUICK_LEAVES_OUT = {"close", "fchmod", "getdents64", "ftruncate"}  # the full campaign covers them
CALL = re.compile(r"^(?:\d+ +)?([a-z0-9_]+)\((.*)")


def classify(node, path):
    """What a path is to the run, for naming the call that fails."""
    root = node.root
    path = os.path.normpath(path)
    rel = os.path.relpath(path, root) if path.startswith(root) else None
    if rel is None:
        return None
    parts = rel.split(os.sep)
    name = parts[-1]
    top = next((k for k, d in node.dirs.items() if path == d or path.startswith(d + os.sep)), None)
    if node.ticdir and (path == node.ticdir or path.startswith(node.ticdir + os.sep)):
        return "TICDir"
    if top == "inbound":
        if path == node.dirs["inbound"]:
            return "inbound dir"
        if name.startswith(TEMP_PREFIX + "journal"):
            return "journal"
        return ".tic" if name.upper().endswith(".TIC") else "inbound file"
    if top == "files":
        if len(parts) <= 2 or path.rstrip("/") in (node.dirs["files"],):
            return "area dir"
        if name == "files.bbs":
            return "files.bbs"
        return "area temp" if name.startswith(TEMP_PREFIX) else "area file"
    if top == "netmail":
        if path.rstrip("/") == node.dirs["netmail"]:
            return "netmail dir"
        return "message temp" if name.startswith(TEMP_PREFIX) else "message"
    if top == "flags":
        return "flag"
    if top == "bin":
        return "settings"
    if name == "quenfar.log":
        return "log"
    return None


def traced_calls(node, trace_path):
    """The calls of the main process in an strace -y log: [(syscall, what, line)], in order,
    with `what` naming the paths it touches (None when it touches none of the node's)."""
    calls = []
    for line in (stress.read_bytes(trace_path) or b"").decode("latin-1").splitlines():
        match = CALL.match(line)
        if not match or match.group(1) not in INJECTED:
            continue
        paths = re.findall(r'<(/[^<>]*)>|"(/[^"]*)"', match.group(2))
        kinds = [classify(node, a or b) for a, b in paths]
        kinds = [k for k in kinds if k]
        calls.append((match.group(1), ">".join(dict.fromkeys(kinds)) if kinds else None, line))
    return calls


def injection_targets(ctx, layout):
    """Calibrates one node of `layout` under strace and returns, for each call and what it
    touches, the numbers (per call) of its first, middle and last occurrence."""
    node = injection_node(ctx, layout)
    trace = os.path.join(node.root, "trace")
    code, console, _, _ = node.run(["strace", "-y", "-qq", "-o", trace, "-e", "trace=" + ",".join(INJECTED)])
    if code not in COMPLETED:
        raise Skip("strace cannot run the program (exit %s: %s)" % (code, console.strip()[-200:]))
    numbers = collections.Counter()
    found = collections.defaultdict(list)
    for call, what, _ in traced_calls(node, trace):
        numbers[call] += 1
        if what:
            found[(call, what)].append(numbers[call])
    return found


def injection_node(ctx, layout):
    """The node of every injection case of `layout`: the same seed, so the same calls."""
    node = fresh(ctx, "inject " + layout, count=6, ticdir=layout == "TICDir")
    if layout == "areas on tmpfs":
        move_onto_tmpfs(node, "files", size="32m")
    return node


def case_inject(ctx, case, layout, call, what, number, error, always=()):
    """The `number`-th `call` of the main process (one that touches `what`) fails with `error`,
    and every call in `always` fails with EINVAL (a file system without the feature); two clean
    runs follow."""
    node = injection_node(ctx, layout)
    trace = os.path.join(node.root, "trace")
    injections = ["-e", "inject=%s:error=%s:when=%d" % (call, error, number)] if number else []
    for other in always:
        injections += ["-e", "inject=%s:error=EINVAL:when=1+" % other]
    code, console, log, _ = node.run(["strace", "-y", "-qq", "-o", trace, "-e", "trace=" + ",".join({call, *always})]
                                     + injections)
    hit = [(c, w, line) for c, w, line in traced_calls(node, trace) if "(INJECTED)" in line and c == call]
    if not number:
        pass
    elif not hit:
        case.notes.append("the injection hit no call")
    elif hit[0][1] != what:
        case.notes.append("the injection hit %s (%s), not %s" % (hit[0][0], hit[0][1], what))
    if code not in COMPLETED:
        case.violation("run with a failing call failed or hung", "run 1: exit %s, %r" % (code, console.strip()[-160:]))
    check_node(node, case, 1, at_rest=False)
    check_undone_said(node, case, 1, console, log, "%s of %s fails with %s" % (call, what, error))
    finish_with_clean_runs(node, case)


def tracee_of(strace_proc, timeout=5.0):
    """The pid of the program that strace started: its child that no longer runs strace."""
    began = time.monotonic()
    while time.monotonic() - began < timeout and strace_proc.poll() is None:
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % entry) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                with open("/proc/%s/comm" % entry) as f:
                    command = f.read().strip()
            except OSError:
                continue
            if int(fields[1]) == strace_proc.pid and command != "strace":
                return int(entry)
        time.sleep(0.002)
    return None


def wait_for(proc, condition, timeout=30.0):
    """Polls `condition` until it holds or the run ends; True when it held."""
    began = time.monotonic()
    while time.monotonic() - began < timeout and proc.poll() is None:
        if condition():
            return True
        time.sleep(0.001)
    return False


def temporary_sizes(node):
    """The sizes of the program's temporary files in the area directories (copies under way)."""
    sizes = []
    for area in stress.AREAS:
        area_dir = os.path.join(node.dirs["files"], area)
        try:
            names = os.listdir(area_dir)
        except OSError:
            continue
        for name in (n for n in names if n.startswith(TEMP_PREFIX)):
            try:
                sizes.append(os.path.getsize(os.path.join(area_dir, name)))
            except OSError:
                pass
    return sizes


def moves_logged(node):
    """How many move lines the log holds so far."""
    return (stress.read_bytes(os.path.join(node.root, "quenfar.log")) or b"").count(b" ---> ")


def case_kill_in_copy(ctx, case, trial):
    """The areas on a tmpfs, the inbound on the disk, big files, each write slowed down: the
    run is killed (SIGKILL) at a random instant inside its copies; the next runs must finish,
    and each file is announced once."""
    if not ctx.strace:
        raise Skip("strace is not installed")
    rng = random.Random("%s-copy-%d" % (ctx.seed, trial))
    node = fresh(ctx, case.name, count=4, flag_event=False)
    move_onto_tmpfs(node, "files", size="128m")
    for item in node.items[:2]:  # two big files, so the copies take their time
        item.data = rng.randbytes(rng.randint(2, 4) << 20)
        item.crc = zlib.crc32(item.data)
        stress.write_bytes(os.path.join(node.dirs["inbound"], item.inbound_name), item.data)
        node.write_tic(item)
    slow = ["strace", "-qq", "-o", "/dev/null", "-e", "trace=write", "-e", "inject=write:delay_enter=3000"]
    began = time.monotonic()
    proc = node.start_run(slow)
    tracee = tracee_of(proc)
    # Even trials kill once a copy has reached a random share of its file; odd ones after a
    # random delay within a calibrated run.
    if trial % 2 == 0:
        share = rng.uniform(0.05, 0.95)
        at = "a copy at %d%%" % (share * 100)
        wait_for(proc, lambda: any(size >= share * (2 << 20) for size in temporary_sizes(node)))
    else:
        delay = rng.uniform(0.05, ctx.copy_run_seconds)
        at = "%.2f s" % delay
        time.sleep(delay)
    killed = False
    if tracee and proc.poll() is None:
        try:
            os.kill(tracee, signal.SIGKILL)
            killed = True
        except ProcessLookupError:
            pass
    node.finished_run(proc, 30)
    case.notes.append(("killed at " + at) if killed else "ended before the kill (%.2f s)" % (time.monotonic() - began))
    check_node(node, case, 1, exact_events=False, at_rest=False)
    finish_with_clean_runs(node, case, exact_events=False)


def case_signal(ctx, case, signum, trial, group=False):
    """SIGTERM, SIGINT or SIGHUP at a random instant: the run finishes the .tic in hand, stores
    its message and stops; the next run finishes the rest and announces nothing twice. With
    `group`, the signal goes to the run's whole process group, as a service manager or a
    terminal sends it, and lands while an event's command runs."""
    rng = random.Random("%s-signal-%d-%d-%d" % (ctx.seed, signum, trial, group))
    node = fresh(ctx, case.name, count=40, ticdir=trial % 2 == 1)
    if group:  # the command notes its run first, so that the signal does not undo it
        hook = os.path.join(node.dirs["bin"], "event.sh")
        stress.write_text(hook, '#!/bin/sh\nprintf \'%%s\\n\' "$2" >> %s\nsleep 0.02\n' % stress.shell_quote(node.events_out))
    # The signal lands once the log shows a random number of moves, whatever the machine's
    # pace, and now and then a little later or at the very start.
    moves = rng.randint(1, len(node.items) - 1) if trial == 0 or rng.random() > 0.15 else 0
    extra = rng.choice([0, 0, rng.uniform(0, 0.005)])
    began = time.monotonic()
    proc = node.start_run(new_session=group)
    wait_for(proc, lambda: moves_logged(node) >= moves)
    time.sleep(extra)
    delay = time.monotonic() - began
    if proc.poll() is not None:
        case.notes.append("ended before the signal")
    else:
        if group:
            os.killpg(proc.pid, signum)
        else:
            proc.send_signal(signum)
        case.notes.append("signalled after %d moves, %.3f s" % (moves, delay))
    code, console, log, stored = node.finished_run(proc, 30)
    name = signal.Signals(signum).name
    # How the run ends is its own affair (it may end through the signal once it has stored its
    # work); what it leaves behind is checked.
    if code is None:
        case.violation("run did not stop after " + name, "run 1")
    else:
        case.notes.append("exit %s" % code)
    announced, _ = announcements(node)
    for item in node.items:
        in_area = stress.holds(os.path.join(node.dirs["files"], item.area, item.name), item.crc)
        if in_area and not announced.get(item.name.upper()):
            case.violation("tossed, not announced by the signalled run", "run 1 (%s after %.3f s): %s/%s" % (
                name, delay, item.area, item.name))
        if in_area and tic_of(node, item):
            case.violation("toss in hand not finished at " + name, "run 1: %s placed, %s kept" % (item.name, item.tic))
    # A signal to the whole group may reach an event's command too: the events of the toss in
    # hand then run again in the next run (at least once).
    finish_with_clean_runs(node, case, exact_events=not group)


def case_sigpipe(ctx, case, on_screen, at_start):
    """Standard output is a pipe whose reader goes (quenfar | head -c 1), or has gone before the
    run starts: the run goes on and tosses everything."""
    node = fresh(ctx, case.name)
    if on_screen:
        node.extra_settings = ["OnScreen=YES"]
        node.rewrite_settings()
        path = os.path.join(node.dirs["bin"], "quenfar.cfg")
        stress.write_text(path, open(path).read().replace("OnScreen=NO\n", ""))
    read_end, write_end = os.pipe()
    if at_start:
        os.close(read_end)
    proc = node.start_run(stdout=write_end)
    os.close(write_end)
    if not at_start:
        if select.select([read_end], [], [], RUN_TIMEOUT)[0]:
            os.read(read_end, 1)
        os.close(read_end)
    code, console, log, _ = node.finished_run(proc)
    if code not in COMPLETED:
        case.violation("run ended when its standard output went away", "run 1: exit %s%s" % (
            code, " (SIGPIPE)" if code == -signal.SIGPIPE else ""))
    check_node(node, case, 1)
    finish_with_clean_runs(node, case)


def add_foreign_tic(node, tic_name, file_name, area="AREA1", extra=()):
    lines = ["Area " + area, "File " + file_name, "Desc hostile", "Origin 2:5020/1"] + list(extra)
    stress.write_bytes(os.path.join(node.dirs["inbound"], tic_name), stress.crlf(lines))
    node.tic_may_stay.add(tic_name)


def case_not_regular(ctx, case, kind, other_fs=False):
    """FILE names something that is not a regular file: a symbolic link to a private file
    (mode 0600), a dangling link, a directory or a FIFO. It is refused; nothing of it is
    published, the private file stays where and as it is."""
    node = fresh(ctx, case.name)
    if other_fs:
        move_onto_tmpfs(node, "files", size="16m")
    name = "LINKED.ZIP"
    path = os.path.join(node.dirs["inbound"], name)
    private = os.path.join(node.root, "private", "secret.dat")
    os.makedirs(os.path.dirname(private))
    secret = b"PRIVATE " + bytes(random.Random(case.name).randbytes(64)).hex().encode()
    stress.write_bytes(private, secret)
    os.chmod(private, 0o600)
    node.secrets.append(secret)
    if kind == "symlink":
        os.symlink(private, path)
    elif kind == "dangling symlink":
        os.symlink(os.path.join(node.root, "private", "gone.dat"), path)
    elif kind == "directory":
        os.mkdir(path)
        stress.write_bytes(os.path.join(path, "inside.txt"), secret)
    else:
        os.mkfifo(path)
    node.foreign.add(name)
    node.refused.add(name)
    add_foreign_tic(node, "linked.tic", name, extra=["Size %d" % len(secret), "Crc %08X" % zlib.crc32(secret)])
    code, console, log, _ = node.run(timeout=20)
    if code not in COMPLETED:
        case.violation("run failed or hung", "run 1: exit %s" % code)
    if "can't move file " + name.lower() not in log.lower():
        case.violation("refusal not logged as a failed toss", "run 1: no \"Can't move file %s\" in the log" % name)
    for area in stress.AREAS:
        if os.path.lexists(os.path.join(node.dirs["files"], area, name)):
            case.violation("not a regular file, yet placed", "run 1: %s/%s" % (area, name))
    if stress.read_bytes(private) != secret or os.stat(private).st_mode & 0o777 != 0o600:
        case.violation("private file moved or changed", "run 1: %s" % private)
    finish_with_clean_runs(node, case)


def case_file_names_tic(ctx, case, spelling):
    """A .tic whose FILE names another .tic of the inbound (spelled in some letter case): it is
    refused, the other .tic (with its Pw line) is never published, and its own file is tossed."""
    node = fresh(ctx, case.name, count=4)
    victim = node.items[0]
    node.write_tic(victim, extra=["Pw SECRETPW"])
    node.tic_contents.append(stress.read_bytes(os.path.join(node.dirs["inbound"], victim.tic)))
    node.secrets.append(b"SECRETPW")
    target = {"same": victim.tic, "upper": victim.tic.upper(), "lower": victim.tic.lower()}[spelling]
    node.foreign.add(target.upper())
    node.refused.add(target.upper())
    add_foreign_tic(node, "zz-evil.tic", target)
    add_foreign_tic(node, "00-evil.tic", target, area="AREA2")
    # The victim's own file arrives only after the first run, so that its .tic is still there
    # whichever order the run takes the .tic files in.
    arriving = os.path.join(node.root, "arriving")
    os.rename(os.path.join(node.dirs["inbound"], victim.inbound_name), arriving)
    code, console, log, _ = node.run()
    if code not in COMPLETED:
        case.violation("run failed or hung", "run 1: exit %s" % code)
    if not tic_of(node, victim):
        case.violation("the other .tic taken away", "run 1: %s gone from the inbound before its file came" % victim.tic)
    os.rename(arriving, os.path.join(node.dirs["inbound"], victim.inbound_name))
    finish_with_clean_runs(node, case)


def case_dupe(ctx, case):
    """Two .tic files, both with the right Size and Crc, for one file in one run: one block in
    one message, its events once, both .tic files disposed of."""
    node = fresh(ctx, case.name, count=4)
    item = node.items[0]
    twin = "twin-" + item.tic
    shutil.copy(os.path.join(node.dirs["inbound"], item.tic), os.path.join(node.dirs["inbound"], twin))
    code, console, log, _ = node.run()
    if code not in COMPLETED:
        case.violation("run failed or hung", "run 1: exit %s" % code)
    if os.path.exists(os.path.join(node.dirs["inbound"], twin)) and not tic_of(node, item):
        case.violation("dupe .tic left in the inbound", "run 1: %s for %s" % (twin, item.name))
    finish_with_clean_runs(node, case)
    if os.path.exists(os.path.join(node.dirs["inbound"], twin)):
        case.violation("dupe .tic never disposed of", "after run %d: %s" % (node.runs, twin))


def case_stale(ctx, case):
    """A .tic whose file has not arrived yet, a journal of a dead run still there, and an older
    file of that name in the area: the old file is not taken for the new one; when the file
    arrives, it is tossed and announced once."""
    node = fresh(ctx, case.name, count=5)
    item = node.items[0]
    area_path = os.path.join(node.dirs["files"], item.area, item.name)
    stress.write_bytes(area_path, b"last week's file")
    node.stale.add(item.name)
    waiting = os.path.join(ctx.workdir, "arriving-" + item.name)
    os.rename(os.path.join(node.dirs["inbound"], item.inbound_name), waiting)
    # The run dies right before its last rename (its message's), so its journal stays.
    counts_file = os.path.join(node.root, "counts")
    twin = fresh(ctx, case.name, count=5)
    stress.write_bytes(os.path.join(twin.dirs["files"], item.area, item.name), b"last week's file")
    os.unlink(os.path.join(twin.dirs["inbound"], item.inbound_name))
    twin.run(env=stress.shim_env(ctx.shim, report=counts_file))
    fields = (stress.read_bytes(counts_file) or b"").decode().split()
    renames = dict(zip(fields[::2], map(int, fields[1::2]))).get("rename", 0)
    if not renames:
        raise Skip("the kill shim did not load")
    node.run(env=stress.shim_env(ctx.shim, call="rename", n=renames, when="before"))
    if not any(n.startswith(TEMP_PREFIX + "journal") for n in os.listdir(node.dirs["inbound"])):
        raise Skip("the killed run left no journal")
    code, console, log, _ = node.run()
    if code not in COMPLETED:
        case.violation("run failed or hung", "run 2: exit %s" % code)
    if not tic_of(node, item):
        case.violation("stale file taken for the new one", "run 2: %s gone, %s/%s holds %r" % (
            item.tic, item.area, item.name, (stress.read_bytes(area_path) or b"")[:20]))
    announced, _ = announcements(node)
    if announced.get(item.name.upper()) and not stress.holds(area_path, item.crc):
        case.violation("stale file announced as new", "run 2: %s in %s" % (item.name, where_announced(node, announced[item.name.upper()])))
    os.rename(waiting, os.path.join(node.dirs["inbound"], item.inbound_name))
    node.stale.discard(item.name)
    finish_with_clean_runs(node, case)
    if os.path.exists(os.path.join(node.dirs["inbound"], item.inbound_name)):
        case.violation("real file stays in the inbound", "after run %d: %s" % (node.runs, item.inbound_name))


def shim_counts(ctx, case, layout):
    """The unlink, rename and fsync calls of one complete run of the node of `case`, counted
    by the kill shim on a twin node (the same seed, so the same files)."""
    twin = fresh(ctx, case.name, ticdir=layout == "TICDir")
    counts_file = os.path.join(twin.root, "counts")
    twin.run(env=stress.shim_env(ctx.shim, report=counts_file))
    fields = (stress.read_bytes(counts_file) or b"").decode().split()
    counts = dict(zip(fields[::2], map(int, fields[1::2])))
    if not counts.get("rename"):
        raise Skip("the kill shim did not load")
    return counts


def case_kill_at_end(ctx, case, layout, call, back, when):
    """SIGKILL at the end of a run, around its message's publication: right before or after the
    `back`-th last `call` (1 is the last). The next run must announce what the killed run did
    not, and nothing twice."""
    counts = shim_counts(ctx, case, layout)
    number = counts.get(call, 0) - back + 1
    if number < 1:
        raise Skip("a run makes only %d %s calls" % (counts.get(call, 0), call))
    node = fresh(ctx, case.name, ticdir=layout == "TICDir")
    code, _, _, stored = node.run(env=stress.shim_env(ctx.shim, call=call, n=number, when=when))
    case.notes.append("killed %s %s #%d of %d%s" % (when, call, number, counts[call],
                                                      ", its message stored" if stored else ""))
    if code != -signal.SIGKILL:
        case.notes.append("the run was not killed (exit %s)" % code)
    check_node(node, case, 1, exact_events=False, at_rest=False)
    finish_with_clean_runs(node, case, exact_events=False)


# ---------------------------------------------------------------------------------- the campaign

class Context:
    pass


def calibrate(ctx):
    """How long a run with slowed copies of big files takes, to aim the timed kills inside it."""
    ctx.copy_run_seconds = 1.0
    node = fresh(ctx, "calibrate copies", count=4, flag_event=False)
    try:
        if not ctx.strace:
            raise Skip("no strace")
        move_onto_tmpfs(node, "files", size="128m")
        rng = random.Random(ctx.seed)
        for item in node.items[:2]:
            item.data = rng.randbytes(3 << 20)
            item.crc = zlib.crc32(item.data)
            stress.write_bytes(os.path.join(node.dirs["inbound"], item.inbound_name), item.data)
            node.write_tic(item)
        began = time.monotonic()
        node.run(["strace", "-qq", "-o", "/dev/null", "-e", "trace=write", "-e", "inject=write:delay_enter=3000"])
        ctx.copy_run_seconds = max(0.2, time.monotonic() - began)
    except Skip:
        pass
    finally:
        unmount_all()


def build_cases(ctx):
    """The cases of the campaign as (family, name, function)."""
    cases = []
    add = lambda family, name, fn: cases.append((family, name, fn))
    fills = [("areas' tmpfs fills during copies", "areas", True, False),
             ("areas' tmpfs runs out of inodes", "areas", True, True),
             ("whole node's tmpfs full", "node", True, False),
             ("whole node's tmpfs full, wrong Crc", "node", False, False),
             ("whole node's tmpfs out of inodes", "node", True, True),
             ("areas' tmpfs fills, wrong Crc", "areas", False, False)]
    # Which files a full file system hits depends on the node: the long campaign takes three.
    for label, where, crc, inodes in fills[:4] if ctx.quick else fills:
        for trial in range(1 if ctx.quick else 3):
            ticdir = where == "node" and trial != 1
            add("full file system", "%s%s #%d" % (label, ", TICDir there" if ticdir else "", trial),
                lambda c, w=where, r=crc, i=inodes, t=ticdir: case_full_fs(ctx, c, w, crc=r, inodes=i, ticdir=t))
    add("TICDir", "TICDir on another file system", lambda c: case_ticdir_elsewhere(ctx, c))
    add("TICDir", "TICDir cannot be made", lambda c: case_ticdir_unmakeable(ctx, c))
    for how in ("missing", "read-only", "full"):
        add("message not stored", "netmail directory " + how, lambda c, h=how: case_netmail(ctx, c, h))
    for trial in range(2 if ctx.quick else 8):
        add("kill inside a copy", "SIGKILL in a copy across file systems #%d" % trial,
            lambda c, t=trial: case_kill_in_copy(ctx, c, t))
    ends = [("rename", 1, "before"), ("rename", 1, "after"), ("fsync", 1, "before"), ("fsync", 1, "after"),
            ("unlink", 1, "before"), ("fsync", 2, "after")]
    for layout in ("areas on the disk", "TICDir"):
        for call, back, when in ends if not ctx.quick else ends[1:2]:
            add("kill at the end of a run", "%s: SIGKILL %s the %slast %s" % (layout, when, "2nd " * (back == 2), call),
                lambda c, l=layout, ca=call, b=back, w=when: case_kill_at_end(ctx, c, l, ca, b, w))
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        for trial in range(1 if ctx.quick else 5):
            add("signal", "%s at a random instant #%d" % (signal.Signals(signum).name, trial),
                lambda c, s=signum, t=trial: case_signal(ctx, c, s, t))
        for trial in range(0 if ctx.quick else 2):
            add("signal", "%s to the process group, events running #%d" % (signal.Signals(signum).name, trial),
                lambda c, s=signum, t=trial: case_signal(ctx, c, s, t, group=True))
    add("SIGPIPE", "standard output's reader gone before the run", lambda c: case_sigpipe(ctx, c, False, True))
    add("SIGPIPE", "standard output's reader gone after 1 byte, OnScreen", lambda c: case_sigpipe(ctx, c, True, False))
    if not ctx.quick:
        add("SIGPIPE", "standard output's reader gone after 1 byte", lambda c: case_sigpipe(ctx, c, False, False))
    for kind in ("symlink", "dangling symlink", "directory", "FIFO"):
        add("FILE not a regular file", "FILE is a " + kind, lambda c, k=kind: case_not_regular(ctx, c, k))
    add("FILE not a regular file", "FILE is a symlink, areas on another file system",
        lambda c: case_not_regular(ctx, c, "symlink", other_fs=True))
    for spelling in ("same", "upper", "lower"):
        add("FILE names a .tic", "FILE names another .tic (%s case)" % spelling,
            lambda c, s=spelling: case_file_names_tic(ctx, c, s))
    add("dupe", "two .tic files for one file", lambda c: case_dupe(ctx, c))
    add("stale file", "stale file in the area, dead run's journal, file not arrived", lambda c: case_stale(ctx, c))
    if ctx.strace:
        covered = set()  # the quick campaign fails each call on each kind of file once
        for layout in ("areas on the disk", "TICDir", "areas on tmpfs"):
            try:
                targets = injection_targets(ctx, layout)
            except Skip as why:
                ctx.skipped_families.append("injected errors (%s): %s" % (layout, why))
                continue
            finally:
                unmount_all()
            for (call, what), numbers in sorted(targets.items()):
                # The settings and the events list are read before anything is touched; one that
                # cannot be read is a run that stops, or a run without events, by design.
                if "settings" in what or (ctx.quick and (call in QUICK_LEAVES_OUT or (call, what) in covered)):
                    continue
                covered.add((call, what))
                picks = [numbers[0]] if ctx.quick else sorted({numbers[0], numbers[len(numbers) // 2], numbers[-1]})
                errors = INJECTED[call][:1] if ctx.quick else INJECTED[call]
                for error in errors:
                    for number in picks:
                        add("injected error", "%s: %s of %s #%d fails with %s" % (layout, call, what, number, error),
                            lambda c, l=layout, ca=call, w=what, n=number, e=error: case_inject(ctx, c, l, ca, w, n, e))
        # Without RENAME_NOREPLACE a message is named through a hard link; that link fails too.
        for number, error in [(0, ""), (1, "EIO"), (1, "ENOSPC"), (1, "EXDEV")][:2 if ctx.quick else 4]:
            add("injected error", "areas on the disk: renameat2 refused (EINVAL)%s" % (
                ", link #1 fails with " + error if number else ""),
                lambda c, n=number, e=error: case_inject(ctx, c, "areas on the disk", "link", "message temp>message",
                                                        n, e, always=("renameat2",)))
    else:
        ctx.skipped_families.append("injected errors: strace is not installed")
    return cases


def run_case(ctx, family, name, fn):
    """Runs one case; its nodes go afterwards unless they are to be kept."""
    case = Case(family, name)
    began = time.monotonic()
    try:
        fn(case)
    except Skip as why:
        case.skipped = str(why)
    except (OSError, subprocess.SubprocessError) as error:
        case.error = "%s: %s" % (type(error).__name__, error)
    finally:
        stop_runs()
        unmount_all()
        case.seconds = time.monotonic() - began
        if not ctx.keep:
            for root in ctx.roots:
                shutil.rmtree(root, ignore_errors=True)
        ctx.roots = []
    return case


def print_case(case):
    if case.skipped:
        print("SKIP  %-72s %s" % (case.name, case.skipped))
        return
    if case.error:
        print("ERROR %-72s %s" % (case.name, case.error))
        return
    notes = ("  [%s]" % "; ".join(case.notes)) if case.notes else ""
    print("%s  %-72s %5.1f s%s" % ("FAIL" if case.violations else "ok  ", case.name, case.seconds, notes))
    for kind, detail in case.violations[:DETAILS_PER_CASE]:
        print("        %s: %s" % (kind, detail))
    if len(case.violations) > DETAILS_PER_CASE:
        print("        ... %d more" % (len(case.violations) - DETAILS_PER_CASE))
    sys.stdout.flush()


def held(case):
    return not case.skipped and not case.error and not case.violations


def print_summary(results, seconds, skipped_families):
    print("\n=== faults: by family")
    families = list(dict.fromkeys(c.family for c in results))
    for family in families:
        of = [c for c in results if c.family == family]
        hold = sum(1 for c in of if held(c))
        failed = sum(1 for c in of if c.violations)
        skipped = sum(1 for c in of if c.skipped)
        print("  %-28s %3d cases: %3d hold, %3d fail%s" % (family, len(of), hold, failed,
                                                           ", %d skipped" % skipped if skipped else ""))
    kinds = collections.Counter(kind for c in results for kind, _ in c.violations)
    if kinds:
        print("=== faults: violations by kind")
        for kind, count in kinds.most_common():
            cases = sum(1 for c in results if any(k == kind for k, _ in c.violations))
            print("  %-52s %4d in %d cases" % (kind, count, cases))
    for reason in skipped_families:
        print("  skipped: " + reason)
    failed = [c for c in results if c.violations]
    errors = sum(1 for c in results if c.error)
    print("=== faults: %d cases, %d hold, %d fail, %d skipped, %d violations in %.1f s%s" % (
        len(results), sum(1 for c in results if held(c)), len(failed),
        sum(1 for c in results if c.skipped), sum(len(c.violations) for c in results), seconds,
        "; %d cases could not be carried out" % errors if errors else ""))


def run_campaign(binary, workdir, quick, seed, only=None, listing=False, keep=False):
    """Runs the fault campaign in `workdir`; returns the cases with what they found."""
    ctx = Context()
    ctx.binary, ctx.workdir, ctx.quick, ctx.seed, ctx.keep = binary, workdir, quick, seed, keep
    ctx.roots = []
    ctx.strace = shutil.which("strace") is not None
    ctx.skipped_families = []
    ctx.shim = stress.build_shim(workdir)
    began = time.monotonic()
    calibrate(ctx)
    cases = [c for c in build_cases(ctx) if only is None or only.lower() in (c[0] + ": " + c[1]).lower()]
    if listing:
        for family, name, _ in cases:
            print("%-28s %s" % (family, name))
        return []
    print("faults: %d cases (seed %s; a run with slowed copies takes %.2f s)" % (len(cases), seed, ctx.copy_run_seconds))
    results = []
    for family, name, fn in cases:
        results.append(run_case(ctx, family, name, fn))
        print_case(results[-1])
    print_summary(results, time.monotonic() - began, ctx.skipped_families)
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("binary")
    parser.add_argument("--quick", action="store_true", help="one case of each kind, for CI")
    parser.add_argument("--seed", default=str(int(time.time())))
    parser.add_argument("--case", help="run only the cases whose family or name holds this")
    parser.add_argument("--keep", action="store_true", help="keep the nodes of the cases")
    parser.add_argument("--list", action="store_true", help="list the cases and stop")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    if not os.access(binary, os.X_OK):
        sys.exit("faults: %s is not an executable program" % binary)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    workdir = tempfile.mkdtemp(prefix="quenfar-faults-")
    try:
        results = run_campaign(binary, workdir, args.quick, args.seed, args.case, args.list, args.keep)
    finally:
        stop_runs()
        unmount_all()
        if args.keep:
            print("nodes kept in " + workdir)
        else:
            shutil.rmtree(workdir, ignore_errors=True)
    return 1 if any(c.violations or c.error for c in results) else 0


if __name__ == "__main__":
    sys.exit(main())
