#!/usr/bin/env python3
"""Crash-state explorer for quenfar: recovery checked at every point where a run may die.

    python3 tests/stress/crash.py BINARY [--quick] [--recordings N] [--tics N] [--seed S]
                                         [--layout ticdir|plain] [--point K] [--no-nested] [--dir D]
                                         [--keep] [--verbose]

One real run over a small node (stress.Node: 3 .tic files over 2 areas by default, once with
TICDir set and once without; three runs over other files each, one with --quick) is recorded
with `strace -f`, and its trace is turned into an
ordered list of the file operations it made under the node: files created (O_CREAT) and
truncated (O_TRUNC, ftruncate), bytes written (write, pwrite64, writev; the offset of plain
writes is followed through lseek and O_APPEND), names changed (rename, renameat, renameat2,
link, linkat, unlink, unlinkat, mkdir, mkdirat, rmdir) and flushes (fsync and fdatasync of a
file or of a directory, syncfs and sync). The program's log, the events' output and the
program's own directory are left out: nothing in them is needed to finish a toss.

After each operation that changes a file there is a crash point k. For each, the states a crash
there may leave are built in memory from the tree before the run, deduplicated by their
contents, laid out in the node, and the program is run once to its end on each as the recovery
run. Then the node is checked (see `check_state`). The files that the run does not write to
(the files that arrive, their .tic files) are laid out as links to the very files of the
recorded run, kept beside the node: the journal tells them by device and inode, and after a
real crash they are the same files. So the run is recorded on the file system the states are
laid out on (a tmpfs when there is one: --dir).

The states of a crash point k (operations 0..k-1 made):

- kill: every operation before k is there (a killed process loses nothing the kernel has).

- kill, then kill in recovery: the recovery run of each kill state is recorded in its turn,
  and each state a kill of it leaves is recovered by a third run (a node whose recovery is cut
  short, as a sysop's second reboot does). With --quick, for the node without TICDir only.

- power cut, POSIX model (pessimistic): an operation is on the disk only when a flush that
  began after it and ended before k covers it: for the bytes and size of a file, fsync or
  fdatasync of that file; for a name made, changed or removed, fsync of the directory holding
  it (both directories for a rename, which is taken as atomic: kept or lost whole); syncfs or
  sync for everything. Any other operation may be lost, in any combination; explored are:
  every one of them lost at once; each one of them alone lost (a write with the later unflushed
  writes to its pages: a page reaches the disk whole); and the last of them that
  extends a file torn, once with the first half of its bytes only and once with its size kept
  and its bytes zeros (the size reached the disk, the data did not).

- power cut, ext4 data=ordered model: the journal commits metadata (names and the size set by
  a truncation) in the order the calls made it, at moments the program does not choose (the
  5 s timer, or any fsync of any file, which commits everything before it); so some prefix of
  the uncommitted metadata operations survives, every length of it explored. The bytes of a
  file are written back on their own schedule: with delayed allocation a file's data is not
  part of the transaction that commits its name, so data not flushed by fsync of its file or
  by syncfs may be missing when the metadata after it committed (a new file renamed over an
  old one without fsync may come back empty), or its size may have reached the disk while
  its blocks did not (the bytes read back as zeros, as appends to a list have been seen to).
  For each prefix three forms of the data are explored: all of it written back, none of the
  unflushed writes there, and the unflushed writes zero-filled.

The invariants after the recovery run: no file that arrived is lost (byte for byte in the
inbound with its .tic, or in its area); each file in its area has one entry in its list with
its description, and no entry of a file that arrived names one that is not there; the lists
hold no NUL byte and no torn line, and every other line they held before stays once; each
file in its area is announced exactly once over every stored message, and each message is
whole; no .tic of a file in its area is left in the inbound; every file is tossed by the
recovery run; no temporary file of the program (but its list of waiting .tic files) and no
journal is left behind.

Prints the states explored and the violating ones by model and layout, and each kind of
violation with a count and an example; exits 1 when any state violates.
"""
import argparse
import collections
import copy
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stress  # noqa: E402  the node, the message and list parsing

TEMP_PREFIX = ".quenfar-"
WAIT_NOTICE = ".quenfar-waiting"
RUN_TIMEOUT = 60.0
PAGE = 4096  # what the kernel writes back of a file at once
TRACED = ("open,openat,creat,write,pwrite64,writev,pwritev,lseek,ftruncate,truncate,rename,renameat,"
          "renameat2,link,linkat,unlink,unlinkat,mkdir,mkdirat,rmdir,fsync,fdatasync,syncfs,sync,"
          "close,copy_file_range,sendfile,fallocate")
FLUSHES = {"fsync", "fdatasync", "syncfs", "sync"}
UNSUPPORTED = {"copy_file_range", "sendfile", "fallocate"}
LEFT_OUT = ("bin", "quenfar.log", "events.out", "trace")  # not needed to finish a toss


class Unsupported(Exception):
    """A call in the trace that the replay does not model."""


# ---------------------------------------------------------------------------------- the tree

class Tree:
    """A directory tree in memory: names to inodes, inodes to bytes, and the directories."""

    def __init__(self, names=None, files=None, dirs=None):
        self.names, self.files, self.dirs = dict(names or {}), dict(files or {}), set(dirs or ())

    def copy(self):
        return Tree(self.names, self.files, self.dirs)

    def digest(self):
        """What tells two states apart: names, contents, and which names are one file (the
        identity of a file that arrived is what the journal goes by)."""
        h = hashlib.sha256()
        for name in sorted(self.names):
            inode = self.names[name]
            h.update(b"f\0%s\0%d\0%s\0" % (name.encode(), inode, hashlib.sha256(self.files.get(inode, b"")).digest()))
        for d in sorted(self.dirs):
            h.update(b"d\0%s\0" % d.encode())
        return h.hexdigest()


class Op:
    """One operation of the trace. kind: create, write, trunc, rename, link, unlink, mkdir, rmdir
    (they change the tree) or flush. `parents`: the directories whose entries a name
    operation changes; `extends`: a write past the end of its file."""

    def __init__(self, kind, **fields):
        self.kind = kind
        self.path = self.source = None
        self.inode = self.offset = self.size = None
        self.data = b""
        self.parents = ()
        self.extends = False
        self.line = ""
        # flushes: the operations begun before the flush started are covered once it ended
        self.covers = self.effective = 0
        self.target = None  # ("inode", n), ("dir", path) or ("all", None)
        self.__dict__.update(fields)

    def is_name(self):
        return self.kind in ("create", "rename", "link", "unlink", "mkdir", "rmdir")

    def describe(self):
        if self.kind == "write":
            return "write %s +%d bytes at %d" % (self.path, len(self.data), self.offset)
        if self.kind == "trunc":
            return "truncate %s to %d" % (self.path, self.size)
        if self.kind in ("rename", "link"):
            return "%s %s -> %s" % (self.kind, self.source, self.path)
        return "%s %s" % (self.kind, self.path)


def with_data(op, data):
    """The write `op` with other bytes (a torn or zero-filled form of it)."""
    torn = copy.copy(op)
    torn.data = data
    return torn


def apply(tree, op):
    """Makes one operation on `tree` (already a copy of its own)."""
    kind = op.kind
    if kind == "create":
        tree.names[op.path] = op.inode
        tree.files.setdefault(op.inode, b"")
    elif kind == "write":
        cur = tree.files.get(op.inode, b"")
        if op.offset > len(cur):
            cur += b"\0" * (op.offset - len(cur))
        tree.files[op.inode] = cur[:op.offset] + op.data + cur[op.offset + len(op.data):]
    elif kind == "trunc":
        cur = tree.files.get(op.inode, b"")
        tree.files[op.inode] = cur[:op.size] + b"\0" * max(0, op.size - len(cur))
    elif kind == "rename":
        if tree.names.get(op.source) == op.inode:
            del tree.names[op.source]
        tree.names[op.path] = op.inode
        tree.files.setdefault(op.inode, b"")
    elif kind == "link":
        tree.names[op.path] = op.inode
        tree.files.setdefault(op.inode, b"")
    elif kind == "unlink":
        if tree.names.get(op.path) == op.inode:
            del tree.names[op.path]
    elif kind == "mkdir":
        tree.dirs.add(op.path)
    elif kind == "rmdir":
        tree.dirs.discard(op.path)


def parent(path):
    return os.path.dirname(path)


# ---------------------------------------------------------------------------------- the trace

ESCAPE = re.compile(rb'\\(x[0-9a-fA-F]{2}|[0-7]{1,3}|.)')
SIMPLE_ESCAPES = {b"n": b"\n", b"t": b"\t", b"r": b"\r", b"v": b"\v", b"f": b"\f", b"\\": b"\\", b'"': b'"'}


def unescape(text):
    def one(m):
        e = m.group(1)
        if e[:1] == b"x":
            return bytes([int(e[1:], 16)])
        if e[:1].isdigit():
            return bytes([int(e, 8) & 0xFF])
        return SIMPLE_ESCAPES.get(e, e)
    return ESCAPE.sub(one, text.encode("latin-1"))


def split_args(text):
    """The top-level arguments of a call as printed by strace."""
    args, depth, quoted, start, i = [], 0, False, 0, 0
    while i < len(text):
        c = text[i]
        if quoted:
            if c == "\\":
                i += 1
            elif c == '"':
                quoted = False
        elif c == '"':
            quoted = True
        elif c in "[{(<":
            depth += 1
        elif c in "]})>":
            depth -= 1
        elif c == "," and depth == 0:
            args.append(text[start:i].strip())
            start = i + 1
        i += 1
    if text[start:].strip():
        args.append(text[start:].strip())
    return args


def annotation(arg):
    """The path strace -y shows for a descriptor (`3</path>`), or None."""
    m = re.search(r"<([^<>]*)>$", arg)
    if not m:
        return None
    path = unescape(m.group(1)).decode("latin-1")
    return path[:-len(" (deleted)")] if path.endswith(" (deleted)") else path


def string_arg(arg):
    m = re.match(r'^"(.*)"(\.\.\.)?$', arg, re.S)
    if not m:
        return None
    if m.group(2):
        raise Unsupported("a buffer longer than strace printed: %s" % arg[:80])
    return unescape(m.group(1))


def fd_number(arg):
    m = re.match(r"^(-?\d+)", arg)
    return int(m.group(1)) if m else None


class Recorder:
    """Turns the lines of an strace -f -y -xx trace into Ops, keeping a model of the tree to
    know which inode each name and descriptor stands for."""

    def __init__(self, root, initial):
        self.root = root
        self.tree = initial.copy()
        self.ops = []
        self.fds = {}  # (pid, fd) -> [inode or None (left out), offset, append]
        self.next_inode = max(self.tree.files, default=0) + 1
        self.pending = {}  # pid -> (text before <unfinished ...>, ops made by then)

    def relative(self, path):
        """The path inside the node, or None when it is outside it or left out."""
        path = os.path.normpath(path)
        if path == self.root:
            return ""
        if not path.startswith(self.root + os.sep):
            return None
        rel = os.path.relpath(path, self.root)
        top = rel.split(os.sep)[0]
        if top in LEFT_OUT or top.startswith("console-"):
            return None
        return rel

    def path_arg(self, dirfd, arg):
        name = string_arg(arg).decode("latin-1")
        if os.path.isabs(name):
            return self.relative(name)
        base = annotation(dirfd) if dirfd is not None else None
        return self.relative(os.path.join(base or self.root, name))

    def add(self, op, line):
        op.line = line
        if op.kind != "flush":
            apply(self.tree, op)
        self.ops.append(op)

    def changing(self):
        return sum(1 for op in self.ops if op.kind != "flush")

    def feed(self, raw):
        m = re.match(r"^(\d+) +(.*)$", raw)
        if not m:
            return
        pid, text = int(m.group(1)), m.group(2)
        if text.startswith(("+++", "---")):
            return
        if text.endswith("<unfinished ...>"):
            self.pending[pid] = (text[:-len("<unfinished ...>")].rstrip(), len(self.ops))
            return
        began = len(self.ops)
        resumed = re.match(r"^<\.\.\. [a-z0-9_]+ resumed>(.*)$", text)
        if resumed:
            if pid not in self.pending:
                return
            head, began = self.pending.pop(pid)
            text = head + resumed.group(1)
        cm = re.match(r"^([a-z0-9_]+)\((.*)$", text)
        if not cm:
            return
        call, rest = cm.group(1), cm.group(2)
        ended = re.match(r"^(.*)\)\s+=\s+(.*)$", rest, re.S)  # a resumed call pads before " = "
        if not ended:
            return
        args = split_args(ended.group(1))
        result = ended.group(2).strip()
        rm = re.match(r"^(-?\d+)(<[^<>]*>)?", result)
        if not rm or int(rm.group(1)) < 0:
            return  # failed or never returned: changed nothing
        self.call(pid, call, args, int(rm.group(1)), annotation(rm.group(0)) if rm.group(2) else None, began, raw)

    def inode_of_fd(self, pid, arg):
        """[inode, offset, append] of a descriptor argument, or None when it is left out."""
        entry = self.fds.get((pid, fd_number(arg)))
        path = annotation(arg)
        rel = self.relative(path) if path else None
        if entry is None or (rel is not None and self.tree.names.get(rel) not in (None, entry[0])):
            if rel is None or rel not in self.tree.names:
                return None
            entry = [self.tree.names[rel], len(self.tree.files.get(self.tree.names[rel], b"")), False]
        return entry if entry[0] is not None else None

    def path_of_inode(self, inode):
        return next((n for n, i in self.tree.names.items() if i == inode), "(inode %d)" % inode)

    def call(self, pid, call, args, ret, ret_path, began, line):
        if call in ("open", "openat", "creat"):
            flags = {"openat": args[2], "open": args[1]}.get(call, "O_CREAT|O_TRUNC")
            rel = self.relative(ret_path) if ret_path else None
            if rel is None or rel in self.tree.dirs or rel == "":
                self.fds[(pid, ret)] = [None, 0, False]  # left out, or a directory
                return
            if "O_CREAT" in flags and rel not in self.tree.names:
                self.add(Op("create", path=rel, inode=self.next_inode, parents=(parent(rel),)), line)
                self.next_inode += 1
            inode = self.tree.names.get(rel)
            if inode is None:
                return
            if "O_TRUNC" in flags and self.tree.files.get(inode):
                self.add(Op("trunc", path=rel, inode=inode, size=0), line)
            self.fds[(pid, ret)] = [inode, 0, "O_APPEND" in flags]
        elif call in ("write", "pwrite64", "writev", "pwritev"):
            entry = self.inode_of_fd(pid, args[0])
            if entry is None or ret == 0:
                return
            if call in ("writev", "pwritev"):
                data = b"".join(unescape(s) for s in re.findall(r'iov_base="((?:[^"\\]|\\.)*)"', args[1]))
            else:
                data = string_arg(args[1])
            data = data[:ret]
            if len(data) < ret:
                raise Unsupported("bytes of a write not in the trace: %s" % line[:120])
            size = len(self.tree.files.get(entry[0], b""))
            if call in ("pwrite64", "pwritev"):
                offset = int(args[-1])
            else:
                offset = size if entry[2] else entry[1]
                entry[1] = offset + ret
            self.add(Op("write", path=self.path_of_inode(entry[0]), inode=entry[0], offset=offset, data=data,
                        extends=offset + ret > size), line)
        elif call == "lseek":
            entry = self.inode_of_fd(pid, args[0])
            if entry is not None:
                entry[1] = ret
        elif call in ("ftruncate", "truncate"):
            if call == "ftruncate":
                entry = self.inode_of_fd(pid, args[0])
                inode = entry[0] if entry else None
            else:
                rel = self.path_arg(None, args[0])
                inode = self.tree.names.get(rel) if rel is not None else None
            if inode is not None:
                self.add(Op("trunc", path=self.path_of_inode(inode), inode=inode, size=int(args[1])), line)
        elif call in ("rename", "renameat", "renameat2", "link", "linkat"):
            if call in ("rename", "link"):
                source, target = self.path_arg(None, args[0]), self.path_arg(None, args[1])
            else:
                source, target = self.path_arg(args[0], args[1]), self.path_arg(args[2], args[3])
            if source is None and target is None:
                return
            if source is None or target is None or source not in self.tree.names:
                raise Unsupported("a name change the replay cannot follow: %s" % line[:160])
            kind = "link" if call.startswith("link") else "rename"
            parents = (parent(target),) if kind == "link" else tuple(dict.fromkeys((parent(source), parent(target))))
            self.add(Op(kind, source=source, path=target, inode=self.tree.names[source], parents=parents), line)
        elif call in ("unlink", "unlinkat", "rmdir"):
            rel = self.path_arg(args[0] if call == "unlinkat" else None, args[1] if call == "unlinkat" else args[0])
            if rel is None:
                return
            if call == "rmdir" or (call == "unlinkat" and "AT_REMOVEDIR" in args[2]):
                self.add(Op("rmdir", path=rel, parents=(parent(rel),)), line)
            elif rel in self.tree.names:
                self.add(Op("unlink", path=rel, inode=self.tree.names[rel], parents=(parent(rel),)), line)
        elif call in ("mkdir", "mkdirat"):
            rel = self.path_arg(args[0] if call == "mkdirat" else None, args[1] if call == "mkdirat" else args[0])
            if rel is not None:
                self.add(Op("mkdir", path=rel, parents=(parent(rel),)), line)
        elif call in FLUSHES:
            covers = sum(1 for op in self.ops[:began] if op.kind != "flush")
            if call in ("syncfs", "sync"):
                target = ("all", None)
            else:
                path = annotation(args[0])
                rel = self.relative(path) if path else None
                if rel is None:
                    return
                entry = self.fds.get((pid, fd_number(args[0])))
                if rel in self.tree.dirs or rel == "":
                    target = ("dir", rel)
                elif entry and entry[0] is not None:
                    target = ("inode", entry[0])
                elif rel in self.tree.names:
                    target = ("inode", self.tree.names[rel])
                else:
                    return
            self.add(Op("flush", covers=covers, effective=self.changing(), target=target, path=call), line)
        elif call == "close":
            self.fds.pop((pid, fd_number(args[0])), None)
        elif call in UNSUPPORTED:
            if any(self.relative(annotation(a) or "/") is not None for a in args):
                raise Unsupported("a call the replay does not model: %s" % line[:160])


def snapshot(root):
    """The node's tree as it is on the disk, without what the replay leaves out."""
    tree = Tree()
    inode = 0
    for base, dirs, files in os.walk(root):
        rel_base = os.path.relpath(base, root)
        if rel_base == ".":
            rel_base = ""
            dirs[:] = [d for d in dirs if d not in LEFT_OUT]
            files = [f for f in files if f not in LEFT_OUT and not f.startswith("console-")]
        else:
            tree.dirs.add(rel_base)
        for name in files:
            inode += 1
            rel = os.path.join(rel_base, name)
            tree.names[rel] = inode
            tree.files[inode] = stress.read_bytes(os.path.join(base, name)) or b""
    return tree


def record(node, initial):
    """The operations of one run under strace -f, from the tree `initial`."""
    trace = os.path.join(node.root, "trace")
    command = ["strace", "-f", "-qq", "-y", "-xx", "-s", str(1 << 24), "-o", trace, "-e", "trace=" + TRACED,
               "-e", "signal=none", node.program]
    result = subprocess.run(command, cwd=node.root, stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_TIMEOUT)
    if result.returncode not in (0, 3):
        sys.exit("crash: the recorded run failed (exit %d): %s" % (result.returncode, result.stderr.decode("latin-1")[-400:]))
    recorder = Recorder(node.root, initial)
    with open(trace, encoding="latin-1") as lines:
        for line in lines:
            recorder.feed(line.rstrip("\n"))
    os.replace(trace, os.path.join(os.path.dirname(node.root), os.path.basename(node.root) + ".trace"))
    return recorder.ops


# ---------------------------------------------------------------------------------- the states

class Timeline:
    """The operations of one run with, for each, when it is on the disk under each model."""

    def __init__(self, initial, ops):
        self.initial = initial
        self.changes = [op for op in ops if op.kind != "flush"]
        self.flushes = [op for op in ops if op.kind == "flush"]

    def durable(self, index, k, ext4):
        """True when change `index` is on the disk for a crash after change k-1."""
        op = self.changes[index]
        metadata = op.is_name() or op.kind == "trunc"
        needed = set(op.parents) if op.is_name() else set()
        for f in self.flushes:
            if f.effective > k or index >= f.covers:
                continue
            kind, what = f.target
            if kind == "all" or (ext4 and metadata):  # any fsync commits the journal
                return True
            if op.is_name():
                if kind == "dir":
                    needed.discard(what)
                    if not needed:
                        return True
            elif kind == "inode" and what == op.inode:
                return True
        return False

    def page_mates(self, i, lost):
        """Change i, and when it is a write, the later unflushed writes to a page it wrote to:
        a page goes to the disk whole, so none of them is there without it."""
        op = self.changes[i]
        if op.kind != "write":
            return {i}
        pages = lambda w: set(range(w.offset // PAGE, (w.offset + max(1, len(w.data)) - 1) // PAGE + 1))
        mates, touched = {i}, pages(op)
        for j in sorted(lost):  # in order: a later write takes the pages it shares along
            other = self.changes[j]
            if j > i and other.kind == "write" and other.inode == op.inode and pages(other) & touched:
                mates.add(j)
                touched |= pages(other)
        return mates

    def build(self, k, drop=(), change=None):
        tree = self.initial.copy()
        for i in range(k):
            if i in drop:
                continue
            apply(tree, (change or {}).get(i, self.changes[i]))
        return tree

    def states(self, k, models):
        """(model, variant, tree) for every state of crash point k under `models`."""
        yield "kill", "every operation made", self.build(k)
        if "posix" in models:
            lost = [i for i in range(k) if not self.durable(i, k, False)]
            if lost:
                yield "posix", "every unflushed operation lost (%d)" % len(lost), self.build(k, set(lost))
            for i in lost:
                gone = self.page_mates(i, lost)
                also = " (with #%s, in its page)" % ", #".join(str(j) for j in sorted(gone - {i})) if len(gone) > 1 else ""
                yield "posix", "only #%d lost%s: %s" % (i, also, self.changes[i].describe()), self.build(k, gone)
            extending = [i for i in lost if self.changes[i].kind == "write" and self.changes[i].extends]
            if extending:
                i = extending[-1]
                op = self.changes[i]
                half = with_data(op, op.data[:len(op.data) // 2])
                zeros = with_data(op, b"\0" * len(op.data))
                yield "posix", "#%d torn, half kept: %s" % (i, op.describe()), self.build(k, change={i: half})
                yield "posix", "#%d torn, zeros: %s" % (i, op.describe()), self.build(k, change={i: zeros})
        if "ext4" in models:
            meta = [i for i in range(k) if (self.changes[i].is_name() or self.changes[i].kind == "trunc")
                    and not self.durable(i, k, True)]
            data = [i for i in range(k) if self.changes[i].kind == "write" and not self.durable(i, k, True)]
            zeroed = {i: with_data(self.changes[i], b"\0" * len(self.changes[i].data)) for i in data}
            for p in range(len(meta) + 1):
                gone = set(meta[p:])
                where = ("metadata committed up to #%d" % meta[p - 1]) if p else "no unflushed metadata committed"
                if p < len(meta):
                    where += " (lost from #%d: %s)" % (meta[p], self.changes[meta[p]].describe())
                yield "ext4", where + ", data written back", self.build(k, gone)
                if data:
                    yield "ext4", where + ", unflushed data lost", self.build(k, gone | set(data))
                    yield "ext4", where + ", unflushed data zeros", self.build(k, gone, zeroed)


def op_path(timeline, inode):
    return next((op.path for op in timeline.changes if op.inode == inode), "inode %d" % inode)


def keep_identities(root, initial, label):
    """Links every file of the tree before the run that the run does not write to (the files
    that arrive, their .tic files, old files in the areas) into a directory beside the node, as
    {inode: path}. The journal tells these files by their device, inode and modification time:
    a state lays them out as links to these, so that they are the same files to the recovery
    run, as they are after a real crash."""
    stash = "%s.files-%s" % (root, label)
    os.mkdir(stash)
    kept = {}
    for name, inode in initial.names.items():
        # Lists, messages, journals and temporary files are written again: never linked.
        base = os.path.basename(name)
        if base != "files.bbs" and not base.startswith(TEMP_PREFIX) and not name.startswith("netmail" + os.sep):
            kept[inode] = os.path.join(stash, str(inode))
            os.link(os.path.join(root, name), kept[inode])
    return kept


def lay_out(node, tree, initial=None, stash=None):
    """Replaces the node's tree (but its left-out parts) by `tree`; a file of `initial` with
    its contents unchanged is a link to the same file in `stash`."""
    for entry in os.listdir(node.root):
        if entry == "bin":  # the program and its settings
            continue
        path = os.path.join(node.root, entry)
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path)
        else:
            os.unlink(path)
    for d in sorted(tree.dirs, key=lambda p: p.count(os.sep)):
        os.makedirs(os.path.join(node.root, d), exist_ok=True)
    placed = {}
    for name, inode in sorted(tree.names.items()):
        if parent(name) and parent(name) not in tree.dirs:
            continue  # its directory did not reach the disk: the file is unreachable
        path = os.path.join(node.root, name)
        if inode in placed:
            os.link(placed[inode], path)
        elif stash and inode in stash and tree.files.get(inode) == initial.files.get(inode):
            os.link(stash[inode], path)
            placed[inode] = path
        else:
            stress.write_bytes(path, tree.files.get(inode, b""))
            placed[inode] = path


# ---------------------------------------------------------------------------------- checking

def check_state(node):
    """The invariants of the node after a complete recovery run, as [(kind, detail)]."""
    found = []
    report = stress.Report()
    announced = stress.read_messages(node.dirs["netmail"], report, "")
    lists = {}
    for area in stress.AREAS:
        lists[area] = stress.read_list(os.path.join(node.dirs["files"], area, "files.bbs"), area, report, "")
        lines = collections.Counter(lists[area][1])
        for line in node.seeded[area]:
            if lines[line] != 1:
                found.append(("a line the list held before lost or doubled", "%s: %r x%d" % (area, line, lines[line])))
        data = stress.read_bytes(os.path.join(node.dirs["files"], area, "files.bbs")) or b""
        if b"\0" in data:
            found.append(("list holds NUL bytes", "%s/files.bbs: %d of them" % (area, data.count(b"\0"))))
        lines = data.split(b"\r\n")
        if lines[-1] or any(b"\r" in line or b"\n" in line or not line for line in lines[:-1]):
            found.append(("list holds a torn line", "%s/files.bbs: %r" % (area, data[-40:])))
    for (_, kind), _ in report.violations.items():
        if kind != "files.bbs malformed":  # told above with its cause
            found.append((kind, ", ".join(e.strip() for e in report.examples[("", kind)])))
    inbound = {}
    for name in os.listdir(node.dirs["inbound"]):
        inbound.setdefault(name.upper(), []).append(name)
    for item in node.items:
        label = "%s/%s" % (item.area, item.name)
        area_path = os.path.join(node.dirs["files"], item.area, item.name)
        in_area = stress.holds(area_path, item.crc)
        in_inbound = any(stress.holds(os.path.join(node.dirs["inbound"], n), item.crc) for n in inbound.get(item.name.upper(), []))
        has_tic = item.tic in inbound.get(item.tic.upper(), [])
        if not in_area and not (in_inbound and has_tic):
            what = "in the area with other contents" if os.path.exists(area_path) else \
                "in the inbound without its .tic" if in_inbound else "nowhere"
            found.append(("file lost", "%s (%s)" % (label, what)))
        if in_area and in_inbound:
            found.append(("file both in the inbound and its area", label))
        if not in_area and in_inbound and has_tic:
            found.append(("not tossed by the recovery run", label))
        if in_area and has_tic:
            found.append((".tic left in the inbound though its file is placed", "%s for %s" % (item.tic, label)))
        entries = lists[item.area][0].get(item.name.upper(), [])
        if in_area and not entries:
            found.append(("no list entry for a placed file", label))
        elif in_area and len(entries) > 1:
            found.append(("several list entries for one file", "%s: %r" % (label, entries)))
        elif in_area and entries[0] != item.desc:
            found.append(("list entry with a wrong description", "%s: %r" % (label, entries[0])))
        if entries and not os.path.exists(area_path):
            found.append(("list entry names a file that is not there", label))
        blocks = announced.get(item.name.upper(), [])
        if in_area and not blocks:
            found.append(("placed file never announced", label))
        elif in_area and len(blocks) > 1:
            found.append(("placed file announced more than once", "%s x%d" % (label, len(blocks))))
        elif not in_area and blocks:
            found.append(("announced but not in its area", label))
    names = {i.name.upper() for i in node.items}
    for name in announced:
        if name not in names:
            found.append(("announced but not a file that arrived", name))
    for base, _, files in os.walk(node.root):
        for name in files:
            if name.startswith(TEMP_PREFIX) and name != WAIT_NOTICE:
                kind = "journal left" if name.startswith(TEMP_PREFIX + "journal") else "temporary file left"
                found.append((kind, os.path.relpath(os.path.join(base, name), node.root)))
    return found


# ---------------------------------------------------------------------------------- explorer

class Summary:
    def __init__(self):
        self.states = collections.Counter()     # (layout, model) -> distinct states
        self.violating = collections.Counter()  # (layout, model) -> violating states
        self.kinds = collections.Counter()      # (model, kind) -> violating states
        self.examples = collections.defaultdict(list)
        self.runs = 0
        self.distinct_violating = 0
        self.exit3 = 0


def recover(args, node, tree, initial, stash, summary, verdicts, label):
    """The violations after a recovery run on the state `tree`; one run for equal states."""
    digest = tree.digest()
    if digest not in verdicts:
        lay_out(node, tree, initial, stash)
        summary.runs += 1
        proc = subprocess.run([node.program], cwd=node.root, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=RUN_TIMEOUT)
        found = check_state(node)
        if proc.returncode not in (0, 3):
            found.append(("recovery run failed", "exit %d: %s" % (proc.returncode, proc.stdout.decode("latin-1")[-200:])))
        summary.exit3 += proc.returncode == 3
        verdicts[digest] = found
        summary.distinct_violating += bool(found)
        if args.keep and found:
            lay_out(node, tree, initial, stash)
            shutil.copytree(node.root, os.path.join(os.path.dirname(node.root), "state-%d-%s" % (
                len(verdicts), re.sub(r"[^A-Za-z0-9]+", "-", label)[:80])), symlinks=True)
    return verdicts[digest]


def tally(args, summary, layout, model, found, where):
    summary.states[(layout, model)] += 1
    summary.violating[(layout, model)] += bool(found)
    for kind in dict.fromkeys(k for k, _ in found):
        summary.kinds[(model, kind)] += 1
        if len(summary.examples[(model, kind)]) < args.examples:
            summary.examples[(model, kind)].append("%s: %s" % (where, "; ".join(d for k, d in found if k == kind)))


def explore(args, binary, workdir, layout, recording, summary, models):
    """Records one run of the `layout` node and runs the recovery on every state of it; with
    `args.nested`, records the recovery run on every kill state too, and runs the recovery
    again on every state that a kill of that one leaves."""
    for attempt in range(100):  # the first node whose files go to both areas
        root = tempfile.mkdtemp(prefix="crash-%s-" % layout, dir=workdir)
        node = stress.Node(root, binary, random.Random("%s-%s-%d-%d" % (args.seed, layout, recording, attempt)), args.tics,
                           layout == "ticdir", False, areas=2)
        if len({item.area for item in node.items}) == min(2, args.tics):
            break
        shutil.rmtree(root)
    initial = snapshot(node.root)
    stash = keep_identities(node.root, initial, "first")
    timeline = Timeline(initial, record(node, initial))
    n = len(timeline.changes)
    flushes = collections.Counter(f.path for f in timeline.flushes)
    print("%s: %d file operations, flushes %s" % (layout, n, " ".join("%s=%d" % kv for kv in sorted(flushes.items()))))
    if args.verbose:
        for i, op in enumerate(timeline.changes):
            print("  #%-3d %s" % (i, op.describe()))
            for f in (f for f in timeline.flushes if f.effective == i + 1):
                print("       %s of %s (covers #0-#%d)" % (f.path, f.target[1] if f.target[0] != "inode" else
                                                         timeline.changes and op_path(timeline, f.target[1]), f.covers - 1))
    verdicts = {}  # digest -> violations
    points = range(1, n + 1) if args.point is None else [args.point]
    for k in points:
        at = "%s, crash after #%d (%s)" % (layout, k - 1, timeline.changes[k - 1].describe())
        seen = set()
        for model, variant, tree in timeline.states(k, models):
            digest = tree.digest()
            if (model, digest) not in seen:
                seen.add((model, digest))
                found = recover(args, node, tree, initial, stash, summary, verdicts, "%s %d %s" % (layout, k, variant))
                tally(args, summary, layout, model, found, "%s, %s" % (at, variant))
        if args.nested and (layout == "plain" or not args.quick) and k < n:
            # The recovery run killed in its turn: recorded from the kill state, then every kill
            # state of it recovered by a third run.
            tree = timeline.build(k)
            lay_out(node, tree, initial, stash)
            inner_initial = snapshot(node.root)
            inner_stash = keep_identities(node.root, inner_initial, "after-%d" % k)
            inner = Timeline(inner_initial, record(node, inner_initial))
            inner_verdicts = {}
            for j in range(1, len(inner.changes) + 1):
                found = recover(args, node, inner.build(j), inner_initial, inner_stash, summary, inner_verdicts,
                                "%s %d then %d" % (layout, k, j))
                tally(args, summary, layout, "kill, then kill in recovery", found, "%s, recovery killed after its #%d (%s)" % (
                    at, j - 1, inner.changes[j - 1].describe()))
        if args.verbose:
            print("  point %d done, %d distinct states so far" % (k, len(verdicts)))
    lay_out(node, initial, initial, stash)  # what --keep leaves: the node as it was before the recorded run


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("binary")
    parser.add_argument("--quick", action="store_true",
                        help="for CI: one recorded run per node (the full form records 3), and recovery "
                             "runs killed in their turn without TICDir only")
    parser.add_argument("--tics", type=int, default=3)
    parser.add_argument("--nested", action=argparse.BooleanOptionalAction, default=True,
                        help="the recovery runs of the kill states killed in their turn (default on)")
    parser.add_argument("--recordings", type=int,
                        help="runs recorded per node, each of other files: where the program's flushes "
                             "land in its run differs from one to the next")
    parser.add_argument("--seed", default="crash")
    parser.add_argument("--layout", choices=("plain", "ticdir"), help="only this node (default both)")
    parser.add_argument("--point", type=int, help="only this crash point (with --layout)")
    parser.add_argument("--examples", type=int, default=1, help="examples printed per kind of violation")
    parser.add_argument("--keep", action="store_true", help="keep the violating states' nodes")
    parser.add_argument("--dir", help="where the nodes are laid out (default /dev/shm when there is one)")
    parser.add_argument("--verbose", action="store_true", help="list the operations of the recorded runs")
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    if not os.access(binary, os.X_OK):
        sys.exit("crash: %s is not an executable program" % binary)
    if shutil.which("strace") is None:
        sys.exit("crash: strace is not installed")
    form = "quick" if args.quick else "full"
    args.recordings = args.recordings or (1 if args.quick or args.point is not None else 3)
    models = ("posix", "ext4")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    # The states are built in memory, so the file system they are laid out on does not matter:
    # on a tmpfs the recovery runs' flushes cost nothing. The run is recorded there too (the
    # files that arrive keep their device and inode from the recorded run to the states).
    scratch = args.dir or ("/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
    workdir = tempfile.mkdtemp(prefix="quenfar-crash-", dir=scratch)
    summary = Summary()
    began = time.monotonic()
    try:
        for layout in [args.layout] if args.layout else ["plain", "ticdir"]:
            for recording in range(args.recordings):
                explore(args, binary, workdir, layout, recording, summary, models)
    except Unsupported as why:
        sys.exit("crash: %s" % why)
    finally:
        if args.keep:
            print("nodes and violating states kept in " + workdir)
        else:
            shutil.rmtree(workdir, ignore_errors=True)
    print("\n=== crash states (%s form, %d .tic files, seed %s): %d recovery runs in %.1f s (%d ended with exit 3)" % (
        form, args.tics, args.seed, summary.runs, time.monotonic() - began, summary.exit3))
    for key in sorted(summary.states):
        print("  %-8s %-6s %5d states, %4d violating" % (key[0], key[1], summary.states[key], summary.violating[key]))
    total = sum(summary.states.values())
    bad = sum(summary.violating.values())
    for (model, kind), count in sorted(summary.kinds.items()):
        print("  [%s] %-50s %4d states" % (model, kind, count))
        for example in summary.examples[(model, kind)]:
            print("        e.g. " + example)
    print("=== %d states over the models, %d violating; %d distinct states run, %d violating" % (
        total, bad, summary.runs, summary.distinct_violating))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
