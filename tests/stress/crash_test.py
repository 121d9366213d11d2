#!/usr/bin/env python3
"""Checks of crash.py's own parts: how it reads an strace -f -y -xx trace, and which states its
models of the disk give. No program is run."""
import os
import sys
import tempfile
import types
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import crash  # noqa: E402

ROOT = "/n"


def hx(text):
    return "".join("\\x%02x" % b for b in text.encode())


def fd(number, path):
    return "%d<%s>" % (number, hx(ROOT + "/" + path))


def record(lines, files=None, dirs=("inbound", "files", "files/A")):
    initial = crash.Tree(dirs=dirs)
    for number, (name, data) in enumerate(sorted((files or {}).items()), 1):
        initial.names[name], initial.files[number] = number, data
    recorder = crash.Recorder(ROOT, initial)
    for line in lines:
        recorder.feed(line)
    return initial, recorder.ops


class Trace(unittest.TestCase):
    def test_writes_follow_their_descriptor_and_offset(self):
        _, ops = record([
            '7 openat(AT_FDCWD<%s>, "%s", O_RDWR|O_CREAT|O_EXCL|O_CLOEXEC, 0600) = %s' % (
                hx(ROOT), hx(ROOT + "/inbound/j"), fd(4, "inbound/j")),
            '7 write(%s, "%s", 3) = 3' % (fd(4, "inbound/j"), hx("abc")),
            '7 write(%s, "%s", 5) = 2' % (fd(4, "inbound/j"), hx("defgh")),  # a short write
            '7 lseek(%s, 1, SEEK_SET) = 1' % fd(4, "inbound/j"),
            '7 write(%s, "%s", 1) = 1' % (fd(4, "inbound/j"), hx("X")),
            '7 openat(AT_FDCWD<%s>, "%s", O_RDWR|O_NOCTTY) = %s' % (hx(ROOT), hx(ROOT + "/files/A/l"), fd(5, "files/A/l")),
            '7 pwrite64(%s, "%s", 2, 4) = 2' % (fd(5, "files/A/l"), hx("zz")),
            '7 openat(AT_FDCWD<%s>, "%s", O_WRONLY|O_CREAT|O_APPEND) = %s' % (hx(ROOT), hx(ROOT + "/files/A/l"), fd(6, "files/A/l")),
            '7 write(%s, "%s", 1) = 1' % (fd(6, "files/A/l"), hx("!")),
            '7 write(%s, "%s", 4) = 4' % (fd(9, "quenfar.log"), hx("left")),  # left out
        ], files={"files/A/l": b"0123"})
        self.assertEqual([(op.kind, op.path, op.offset, op.data) for op in ops], [
            ("create", "inbound/j", None, b""), ("write", "inbound/j", 0, b"abc"), ("write", "inbound/j", 3, b"de"),
            ("write", "inbound/j", 1, b"X"), ("write", "files/A/l", 4, b"zz"), ("write", "files/A/l", 6, b"!")])
        self.assertEqual([op.extends for op in ops if op.kind == "write"], [True, True, False, True, True])

    def test_names_follow_the_inode_and_resumed_calls_count(self):
        _, ops = record([
            '7 unlink("%s") = 0' % hx(ROOT + "/inbound/F.tic"),
            '7 rename("%s", "%s" <unfinished ...>' % (hx(ROOT + "/inbound/F"), hx(ROOT + "/files/A/F")),
            '8 syncfs(%s <unfinished ...>' % fd(6, "inbound"),
            '7 <... rename resumed>)             = 0',
            '8 <... syncfs resumed>)             = 0',
            '7 unlink("%s") = -1 ENOENT (No such file or directory)' % hx(ROOT + "/inbound/gone"),
            '7 renameat2(AT_FDCWD<%s>, "%s", AT_FDCWD<%s>, "%s", RENAME_NOREPLACE) = 0' % (
                hx(ROOT), hx("files/A/F"), hx(ROOT), hx("files/A/G")),
            '7 mkdir("%s", 0777) = 0' % hx(ROOT + "/files/B"),
            '7 fsync(%s) = 0' % fd(3, "files/A"),
        ], files={"inbound/F": b"data", "inbound/F.tic": b"tic"})
        self.assertEqual([(op.kind, op.path) for op in ops], [
            ("unlink", "inbound/F.tic"), ("rename", "files/A/F"), ("flush", "syncfs"), ("rename", "files/A/G"),
            ("mkdir", "files/B"), ("flush", "fsync")])
        self.assertEqual(ops[1].inode, ops[3].inode)
        self.assertEqual(ops[1].parents, ("inbound", "files/A"))
        # The flush began while the rename was under way: it covers the unlink only, once it has ended.
        self.assertEqual((ops[2].covers, ops[2].effective, ops[2].target), (1, 2, ("all", None)))
        self.assertEqual(ops[5].target, ("dir", "files/A"))


class Models(unittest.TestCase):
    def timeline(self):
        """A temporary file written, renamed over the list, the list's directory flushed, then
        an append to a file flushed by its own fsync, then one that is not flushed."""
        initial = crash.Tree({"d/l": 1, "d/f": 2}, {1: b"old\n", 2: b"ab"}, {"d"})
        ops = [crash.Op("create", path="d/t", inode=3, parents=("d",)),
               crash.Op("write", path="d/t", inode=3, offset=0, data=b"new\n", extends=True),
               crash.Op("rename", source="d/t", path="d/l", inode=3, parents=("d",)),
               crash.Op("flush", covers=3, effective=3, target=("dir", "d")),
               crash.Op("write", path="d/f", inode=2, offset=2, data=b"cd", extends=True),
               crash.Op("flush", covers=4, effective=4, target=("inode", 2)),
               crash.Op("write", path="d/f", inode=2, offset=4, data=b"efgh", extends=True)]
        return crash.Timeline(initial, ops)

    def test_what_each_model_counts_as_on_the_disk(self):
        t = self.timeline()
        self.assertEqual([t.durable(i, 5, False) for i in range(5)], [True, False, True, True, False])
        # On ext4 the fsync of d/f commits every name before it, not the bytes of another file.
        self.assertEqual([t.durable(i, 5, True) for i in range(5)], [True, False, True, True, False])
        self.assertFalse(t.durable(2, 2, False))  # the directory's flush came later

    def test_power_cut_states(self):
        t = self.timeline()
        states = {(model, variant.split(":")[0]): tree for model, variant, tree in t.states(5, ("posix", "ext4"))}
        contents = lambda tree: {n: tree.files[i] for n, i in tree.names.items()}
        self.assertEqual(contents(states[("kill", "every operation made")]), {"d/l": b"new\n", "d/f": b"abcdefgh"})
        lost = [tree for (model, v), tree in states.items() if model == "posix" and v.startswith("every unflushed")]
        # The renamed file's bytes never were flushed: the list comes back empty.
        self.assertEqual(contents(lost[0]), {"d/l": b"", "d/f": b"abcd"})
        self.assertEqual(contents(states[("posix", "#4 torn, half kept")])["d/f"], b"abcdef")
        self.assertEqual(contents(states[("posix", "#4 torn, zeros")])["d/f"], b"abcd\0\0\0\0")
        ext4 = [contents(tree) for (model, _), tree in states.items() if model == "ext4"]
        self.assertIn({"d/l": b"\0\0\0\0", "d/f": b"abcd\0\0\0\0"}, ext4)

    def test_a_lost_write_takes_the_later_writes_to_its_page_with_it(self):
        initial = crash.Tree({"l": 1}, {1: b"x" * 4090}, set())
        appends = [crash.Op("write", path="l", inode=1, offset=4090 + 4 * n, data=b"abcd", extends=True) for n in range(3)]
        # The first ends page 0, the second spans pages 0 and 1, the third is in page 1.
        t = crash.Timeline(initial, appends)
        variants = {v.split(":")[0]: tree.files[1] for m, v, tree in t.states(3, ("posix",)) if m == "posix"}
        self.assertEqual(variants["only #0 lost (with #1, #2, in its page)"], b"x" * 4090)
        self.assertEqual(variants["only #1 lost (with #2, in its page)"], b"x" * 4090 + b"abcd")
        self.assertEqual(variants["only #2 lost"], b"x" * 4090 + b"abcdabcd")

    def test_a_write_past_the_end_leaves_zeros_and_a_link_shares_the_bytes(self):
        tree = crash.Tree({"a": 1}, {1: b"x"}, set())
        crash.apply(tree, crash.Op("write", inode=1, offset=3, data=b"y"))
        crash.apply(tree, crash.Op("link", source="a", path="b", inode=1))
        crash.apply(tree, crash.Op("unlink", path="a", inode=1))
        self.assertEqual((tree.names, tree.files[1]), ({"b": 1}, b"x\0\0y"))



class LayOut(unittest.TestCase):
    def test_unchanged_files_keep_their_identity_from_state_to_state(self):
        with tempfile.TemporaryDirectory() as scratch:
            root = os.path.join(scratch, "node")
            os.makedirs(os.path.join(root, "inbound"))
            for name in ("inbound/F", "inbound/F.tic", "inbound/.quenfar-journal-x"):
                with open(os.path.join(root, name), "wb") as f:
                    f.write(name.encode())
            node = types.SimpleNamespace(root=root)
            initial = crash.snapshot(root)
            stash = crash.keep_identities(root, initial, "test")
            # Journals and temporary files are the runs' own, written again: laid out afresh.
            self.assertNotIn(initial.names["inbound/.quenfar-journal-x"], stash)
            before = {n: os.stat(os.path.join(root, n)).st_ino for n in initial.names}
            state = initial.copy()
            crash.apply(state, crash.Op("rename", source="inbound/F", path="inbound/G", inode=initial.names["inbound/F"]))
            crash.apply(state, crash.Op("write", inode=initial.names["inbound/F.tic"], offset=0, data=b"new"))
            for _ in range(2):  # the run between two states may delete what it likes
                crash.lay_out(node, state, initial, stash)
                os.unlink(os.path.join(root, "inbound/G"))
                crash.lay_out(node, state, initial, stash)
            self.assertEqual(os.stat(os.path.join(root, "inbound/G")).st_ino, before["inbound/F"])
            self.assertNotEqual(os.stat(os.path.join(root, "inbound/F.tic")).st_ino, before["inbound/F.tic"])
            self.assertEqual(open(os.path.join(root, "inbound/F.tic"), "rb").read(), b"newound/F.tic")
            self.assertEqual(sorted(os.listdir(os.path.join(root, "inbound"))), [".quenfar-journal-x", "F.tic", "G"])


if __name__ == "__main__":
    unittest.main()
