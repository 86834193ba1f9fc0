#!/usr/bin/env python3
"""Hostile source trees through real runs of quillon-run: links to / and in circles, FIFOs and
sockets, names Windows-form paths or the line-based control file cannot carry, paths longer than the
system can name, and many files in one folder. Every file that can be stored must be stored whole,
nothing outside the source may be read, nothing may hang, every file left out must be in the error
log, and the next run must agree with the first."""
import os
import random
import resource
import socket
import sys
import time
import zipfile

from harness import Harness, check, read, read_tree, script, write


class Tree:
    """One source path of a harness, with the files a run must store (relative path in bytes: content,
    or ("->", target) for a link, stored as a link in a plain set and an entry of mode 0120000 in an
    archive)."""

    def __init__(self, harness, name):
        self.name = name
        self.root = harness.sources[name].encode()
        self.expected = {}
        self.skipped = []  # names the error log must mention
        self.pending = set()  # files that fail to copy: recorded to be copied again ('E')

    def file(self, rel, data=None, store=True):
        data = data if data is not None else b"content of " + rel
        path = os.path.join(self.root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        write(path, data)
        if store:
            self.expected[rel] = data
        return path

    def link(self, target, rel):
        os.symlink(target, os.path.join(self.root, rel))
        self.expected[rel] = ("->", target)

    def deep(self, prefix, target_length):
        """Makes a chain of folders below prefix whose native path reaches target_length bytes and enters
        its last folder, as the working folder (the whole path is too long for open); answers its
        relative path."""
        rel = prefix.encode()
        os.makedirs(os.path.join(self.root, rel), exist_ok=True)
        os.chdir(os.path.join(self.root, rel))
        while len(self.root) + 1 + len(rel) < target_length:
            name = b"d" * min(200, target_length - len(self.root) - len(rel) - 2)
            os.mkdir(name)
            os.chdir(name)
            rel += b"/" + name
        return rel


def build(tree, many):
    root = tree.root
    for i in range(6):
        tree.file(b"d%d/f%d.bin" % (i % 2, i), random.Random(i).randbytes(3000 * i))
    # Links: to / (must not be walked into the whole system), in a circle, to a file. None is followed:
    # each is stored as a link with its target text.
    tree.link(b"/", b"everything")
    tree.file(b"loop/inner.txt")
    tree.link(b"..", b"loop/up")
    tree.link(os.path.join(root, b"d0/f0.bin"), b"alias.bin")
    # A FIFO nobody writes to would block a reader for ever; a socket cannot be read at all.
    os.mkfifo(os.path.join(root, b"pipe"))
    with socket.socket(socket.AF_UNIX) as listener:
        listener.bind(os.path.join(root, b"sock").decode())
    # Names: blanks at either end, bytes that are not UTF-8, a tab, wildcard characters (with a
    # sibling that matches "a*b" read as a pattern and sorts before it), the control file's own name.
    for name in (b" leading", b"trailing ", b"latin\xe9\xff.txt", b"tab\tname", b"x:colon", b"a!b.txt",
                 b"a*b.txt"):
        tree.file(name)
    # Names that differ only in letter case are two files here, though not on Windows.
    for name, data in ((b"case.txt", b"lower"), (b"CASE.txt", b"upper")):
        os.utime(tree.file(name, data), (time.time() - 3600,) * 2)
    tree.file(b"Quillon.txt", b"a source file named like the control file")
    tree.expected[b"Kopie von Quillon.txt"] = tree.expected.pop(b"Quillon.txt")
    # Names a line of the control file or a Windows-form path cannot carry: left out and logged.
    for name in (b"line\nfeed", b"carriage\rreturn", b"back\\slash", b"folder\nbreak/inside.txt"):
        tree.file(name, store=False)
        tree.skipped.append(name.split(b"/")[0].replace(b"\n", b"<LF>").replace(b"\r", b"<CR>"))
    # Deep paths: a file whose source path fits but whose path in a plain set (11 bytes longer) does
    # not, and a folder whose path is beyond what the system can name at all. Both are logged;
    # files after them in the walk are still stored. An archive packs the file at the edge from where
    # it is, under its relative name, so a compressed set holds it.
    rel = tree.deep("deep", os.pathconf(root, "PC_PATH_MAX") - 1 - len(b"/edge.txt") - 3)
    write(b"edge.txt", b"at the edge")
    if tree.name == "zip":
        tree.expected[rel + b"/edge.txt"] = b"at the edge"
    else:
        tree.skipped.append(b"edge.txt")
        tree.pending.add(rel + b"/edge.txt")
    os.mkdir(b"d" * 100)
    write(b"d" * 100 + b"/beyond.txt", b"beyond the limit")
    os.chdir(root)
    tree.skipped.append(b"d" * 100 + b" not backed up")
    tree.file(b"zz/after-the-deep-ones.txt")
    os.makedirs(os.path.join(root, b"many"))
    for i in range(many):  # many files in one folder
        rel = b"many/m%06d.txt" % i
        write(os.path.join(root, rel), tree.expected.setdefault(rel, b"%d" % i))


def stored_files(folder):
    """The files of a set as read_tree gives them: plain files, or the entries of its archives (the
    higher archive wins, as it holds the later copy)."""
    found = {}
    for archive in sorted(n for n in os.listdir(folder) if n.startswith(b"QuillonData_")):
        with zipfile.ZipFile(os.fsdecode(os.path.join(folder, archive))) as z:
            for info in z.infolist():
                raw = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
                is_link = (info.external_attr >> 16) & 0o170000 == 0o120000
                found[raw.replace(b"\\", b"/")] = ("->", z.read(info)) if is_link else z.read(info)
    return found or read_tree(folder)


def check_sets(harness, tree, log_path, first):
    sets, files = harness.read_control(tree.name)
    newest = os.path.join(harness.dests[tree.name], sets[-1]).encode()
    stored = stored_files(newest) if first else {}
    # Names are bytes: the control file keeps them as found, whatever their encoding.
    lines = {rel.encode("latin-1"): mark for mark, _, rel in files}
    want = dict.fromkeys(tree.expected, "X") | dict.fromkeys(tree.pending, "E")
    wrong = [(rel, lines.get(rel), want.get(rel)) for rel in sorted(set(lines) | set(want))
             if lines.get(rel) != want.get(rel)]
    check(not wrong, "%s: (file, mark, mark expected) in the control file: %s" % (tree.name, wrong[:5]))
    wrong = [rel for rel, data in tree.expected.items() if first and stored.get(rel) != data]
    check(not wrong, "%s: the set holds other content for %s" % (tree.name, wrong[:5]))
    log = read(log_path)
    for name in tree.skipped:
        check(name in log, "the error log does not mention %r:\n%s" % (name, log.decode("latin-1")))
    harness.check_hives()
    return sets


def timed(action):
    began = time.monotonic()
    result = action()
    return time.monotonic() - began, result


def body(args, work):
    harness = Harness(args.bin, work, random.Random(1))
    log_path = os.path.join(work, "run.log")
    harness.configure(error_log=log_path)
    # The same tree as plain files and as compressed sets; the big folder only in the first.
    trees = [Tree(harness, "plain"), Tree(harness, "zip")]
    made, _ = timed(lambda: [build(tree, many) for tree, many in zip(trees, (args.many, 20))])
    # The names that a control-file line cannot carry are left out and listed, so every run over this
    # tree completes with errors: status 1.
    first, output = timed(lambda: harness.run(expect=(1,), timeout=600))
    sets = [check_sets(harness, tree, log_path, True) for tree in trees]
    # The list of files not copied at the end of the run names the skipped ones too.
    for name in ("line<LF>feed", "carriage<CR>return", "back\\slash", "folder<LF>break", "edge.txt",
                 "d" * 100 + "\n"):
        check(name in output, "the run's error list does not name %r:\n%s" % (name, output[-3000:]))
    # The second run stores nothing new (the file at the edge fails again) and keeps the same set.
    second, output = timed(lambda: harness.run(expect=(1,), timeout=600))
    check([check_sets(harness, tree, log_path, False) for tree in trees] == sets and "saved" not in output,
          "the second run changed the sets:\n" + output)
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024  # the runs' peak, in MB
    check(not args.max_rss_mb or peak <= args.max_rss_mb, "a run took %d MB, past --max-rss-mb" % peak)
    print("hostiletree: %d files stored (%d in one folder), %d left out and logged; tree made in %.1f s, "
          "first run %.1f s, second %.1f s, peak memory %d MB" % (
              sum(len(t.expected) for t in trees), args.many, sum(len(t.skipped) for t in trees), made, first,
              second, peak))


if __name__ == "__main__":
    sys.exit(script("hostiletree", body, many=3000, max_rss_mb=0))
