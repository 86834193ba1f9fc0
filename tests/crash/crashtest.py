#!/usr/bin/env python3
"""Crash consistency of quillon-run: kills the program with SIGKILL at seeded random moments of a
backup, runs it again to the end and checks that nothing was lost.

Two source paths are configured in hives and a drive map of the harness's own (nothing of the user's
is touched): one stored as plain files, one as compressed sets. Each round changes part of the tree,
starts quillon-run, kills it after a random delay within the length of a pass, checks what the killed
run left, runs the program again to its end and checks the result:

  - every control file parses (also right after the kill),
  - every file of the source is recoverable with its current content from the newest set that holds
    it (a plain file, or an entry of the highest-numbered archive of a compressed set that holds it),
  - every line marked 'X' names a file that really is in the set it belongs to (the newest set for the
    control file beside the sets, the set itself for the copy inside a set),
  - both hives pass SQLite's integrity check and quillon-reg can still read the configuration,
  - no set ever holds a file (a plain copy or an archive entry) whose content differs from every
    version the source ever had: the harness keeps a digest of each version it wrote. This is checked
    right after each kill too, when a copy may have been cut off in the middle;
  - once a run has ended, no temporary of a copy or an archive is left in any set.

With --large-mb, one large file per path is rewritten in every round, so that many kills land while
its copy is being written over the copy an earlier run of the same day made.

A killed run leaves the machine-wide "Semaphore" value set; a real successor waits until it has not
changed for 3 minutes. The harness clears it before the next run instead of waiting.

    crashtest.py BIN_DIR [--kills N] [--seed S] [--files N] [--large-mb M] [--keep]
Exit status 0 when every round passed.
"""
import argparse
import hashlib
import os
import random
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import zipfile

SET_NAME = re.compile(r"^\d{4}-\d\d-\d\d$")
SET_LINE = re.compile(rb"^\d{4}-\d\d-\d\d [FI] +\d+ kBytes$")
FILE_LINE = re.compile(rb"^([ XE]) \d{4}-\d\d-\d\d \d\d:\d\d +(?:Z(\d+) +)?(Z:\\.*)$")
ZIP_LINE = re.compile(rb"^Z\d+ +\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
# Copies being written (a line break ends their names) and archives being written.
TEMPORARY = re.compile(r"^\.quillon-\d+-\d+\.part\n$|^QuillonData_\d+\.Zip\.part(\.[^.]+)?$", re.S)
CONFIG_KEY = r"HKCU\Software\Norrow\Quillon"


class Failure(Exception):
    pass


def run_in_work_folder(name, keep, body, before_cleanup=None):
    """Runs body(work) in a new temporary folder and returns the exit status: 0, or 1 after a failure,
    which is told on stderr. The folder goes afterwards unless the run failed or keep is set;
    before_cleanup(work, kept) runs first (to unmount what the body mounted, say)."""
    work = tempfile.mkdtemp(prefix="quillon-%s." % name)
    kept = keep
    try:
        body(work)
        return 0
    except (Failure, subprocess.SubprocessError, OSError) as failure:
        print("%s: FAILED: %s" % (name, failure), file=sys.stderr)
        kept = True
        return 1
    finally:
        if before_cleanup is not None:
            before_cleanup(work, kept)
        if kept:
            print("%s: work folder kept: %s" % (name, work), file=sys.stderr)
        else:
            shutil.rmtree(work, ignore_errors=True)


def win(path):
    return "Z:" + path.replace("/", "\\")


class Harness:
    def __init__(self, bin_dir, work, rng, files, large_mb=0):
        self.bin = bin_dir
        self.large = large_mb * 1_000_000
        # Every version each source file ever had: (path name, relative path) -> digests.
        self.versions = {}
        self.work = work
        self.rng = rng
        self.files = files
        self.sources = {"plain": os.path.join(work, "source", "plain"),
                        "zip": os.path.join(work, "source", "zip")}
        self.dests = {name: os.path.join(work, "backup", name) for name in self.sources}
        self.round = 0
        self.counter = 0
        drives = os.path.join(work, "dosdevices")
        os.makedirs(drives)
        os.makedirs(os.path.join(work, "drive_c"))
        os.symlink(os.path.join(work, "drive_c"), os.path.join(drives, "c:"))
        os.symlink("/", os.path.join(drives, "z:"))
        self.env = dict(os.environ, QUILLON_DRIVES=drives, QUILLON_UI="console",
                        QUILLON_USER_HIVE=os.path.join(work, "user.hive"),
                        QUILLON_MACHINE_HIVE=os.path.join(work, "machine.hive"))
        self.env.pop("QUILLON_TRACE", None)
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        # Times of changed files are set to distinct minutes in the past: the control file keeps
        # minutes, so two changes within one real minute would otherwise look alike.
        self.base_time = int(time.time()) - 3 * 86400

    # --- set-up ---

    def configure(self):
        reg = ["Windows Registry Editor Version 5.00", ""]
        for number, (name, flags) in enumerate((("plain", 0x20), ("zip", 0x820))):
            os.makedirs(self.sources[name], exist_ok=True)
            reg += ["[HKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path%03d]" % number,
                    '"SourcePath"="%s"' % win(self.sources[name]).replace("\\", "\\\\"),
                    '"DestPath"="%s"' % win(self.dests[name]).replace("\\", "\\\\"),
                    '"Flags"=dword:%08x' % flags, ""]
        path = os.path.join(self.work, "crash.reg")
        with open(path, "w") as f:
            f.write("\n".join(reg))
        self.reg("import", path)

    def reg(self, *args):
        result = subprocess.run([os.path.join(self.bin, "quillon-reg"), *args], env=self.env,
                                capture_output=True)
        if result.returncode != 0:
            raise Failure("quillon-reg %s failed (%d): %s" % (" ".join(args), result.returncode,
                                                            result.stderr.decode(errors="replace")))
        return result.stdout

    def write_file(self, path, size=None):
        if size is None:
            big = self.rng.random() < 0.08
            size = self.rng.randint(500_000, 3_000_000) if big else self.rng.randint(0, 40_000)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        data = self.rng.randbytes(size)
        with open(path, "wb") as f:
            f.write(data)
        self.record_version(path, data)
        self.counter += 1
        stamp = self.base_time + 60 * self.counter
        os.utime(path, (stamp, stamp))

    def record_version(self, path, data=None):
        """Notes the content a source file has now (or data) as one of its versions. Every writer of
        source files calls it: a set may hold nothing else."""
        if data is None:
            with open(path, "rb") as f:
                data = f.read()
        for name, root in self.sources.items():
            if path.startswith(root + os.sep):
                self.versions.setdefault((name, os.path.relpath(path, root)), set()).add(
                    hashlib.sha256(data).digest())

    def generate(self):
        for name, root in self.sources.items():
            for i in range(self.files):
                self.write_file(os.path.join(root, "d%d" % (i % 4), "f%04d.bin" % i))

    def source_files(self, name):
        root = self.sources[name]
        found = []
        for folder, _, files in os.walk(root):
            for file in files:
                found.append(os.path.relpath(os.path.join(folder, file), root))
        return sorted(found)

    def mutate(self):
        """Changes about a quarter of each tree, adds two files and removes one."""
        for name, root in self.sources.items():
            files = self.source_files(name)
            for rel in self.rng.sample(files, max(1, len(files) // 4)):
                self.write_file(os.path.join(root, rel))
            for _ in range(2):
                self.write_file(os.path.join(root, "d%d" % self.rng.randint(0, 5),
                                             "n%05d.bin" % self.counter))
            os.remove(os.path.join(root, self.rng.choice(self.source_files(name))))
            if self.large:
                # Copied again into the same day's set, over the copy of the round before.
                self.write_file(os.path.join(root, "large.bin"),
                                self.rng.randint(self.large // 2, self.large))

    # --- running ---

    def start(self):
        self.reg("add", r"HKLM\Software\Norrow\Quillon", "/v", "Semaphore", "/t", "REG_DWORD",
                 "/d", "0", "/f")
        return subprocess.Popen([os.path.join(self.bin, "quillon-run")], env=self.env, cwd=self.work,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run_to_end(self, timeout=300):
        began = time.monotonic()
        process = self.start()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            raise Failure("quillon-run did not end within %d s" % timeout)
        return time.monotonic() - began

    def run_and_kill(self, delay):
        """True when the kill hit a running program."""
        process = self.start()
        try:
            process.wait(delay)
            return False
        except subprocess.TimeoutExpired:
            process.send_signal(signal.SIGKILL)
            process.wait()
            return True

    # --- checks ---

    def read_control(self, path, source_root):
        """The sets and file lines of one control file; Failure when it does not parse."""
        with open(path, "rb") as f:
            data = f.read()
        return parse_control(data, win(source_root).encode(), path)

    def check_after_kill(self):
        """Answers how many temporaries the kill left: copies or archives it cut off."""
        temporaries = 0
        for name in self.sources:
            control = os.path.join(self.dests[name], "Quillon.txt")
            if os.path.exists(control):
                self.read_control(control, self.sources[name])
            temporaries += self.check_versions(name, temporaries_allowed=True)
        self.check_hives()
        return temporaries

    def check_versions(self, name, temporaries_allowed):
        """Every file a set holds is a version the source had, whole; temporaries only after a kill."""
        dest = self.dests[name]
        temporaries = 0
        if not os.path.isdir(dest):
            return temporaries
        for folder in (d for d in os.listdir(dest) if SET_NAME.match(d)):
            set_folder = os.path.join(dest, folder)
            for parent, _, files in os.walk(set_folder):
                for file in files:
                    path = os.path.join(parent, file)
                    if TEMPORARY.match(file):
                        if not temporaries_allowed:
                            raise Failure("%s: a temporary was left: %r" % (name, path))
                        temporaries += 1
                        continue
                    rel = os.path.relpath(path, set_folder)
                    if rel == "Quillon.txt" or re.match(r"^QuillonData_\d+\.Zip$", rel):
                        continue
                    with open(path, "rb") as f:
                        self.check_version(name, rel, f.read(), path)
            for number, entries in SetContents(set_folder).archives.items():
                for rel, data in entries.items():
                    if rel != "Quillon.txt":
                        self.check_version(name, rel, data, "%s archive %d" % (set_folder, number))
        return temporaries

    def check_version(self, name, rel, data, where):
        if hashlib.sha256(data).digest() not in self.versions.get((name, rel), ()):
            raise Failure("%s: %s holds %d bytes that no version of the source had" %
                          (where, rel, len(data)))

    def check_hives(self):
        for hive in ("user.hive", "machine.hive"):
            path = os.path.join(self.work, hive)
            if os.path.exists(path):
                with sqlite3.connect(path) as db:
                    verdict = db.execute("PRAGMA integrity_check").fetchone()[0]
                if verdict != "ok":
                    raise Failure("%s damaged: %s" % (hive, verdict))
        if b"Path001" not in self.reg("query", CONFIG_KEY, "/s"):
            raise Failure("the configuration can no longer be read")

    def check_complete(self):
        self.check_hives()
        for name, root in self.sources.items():
            self.check_versions(name, temporaries_allowed=False)
            dest = self.dests[name]
            sets, files = self.read_control(os.path.join(dest, "Quillon.txt"), root)
            folders = sorted((d for d in os.listdir(dest) if SET_NAME.match(d)), reverse=True)
            contents = {d: SetContents(os.path.join(dest, d)) for d in folders}
            for rel in self.source_files(name):
                with open(os.path.join(root, rel), "rb") as f:
                    current = f.read()
                holder = next((d for d in folders if contents[d].has(rel)), None)
                if holder is None:
                    raise Failure("%s/%s is in no set" % (name, rel))
                if contents[holder].read(rel) != current:
                    raise Failure("%s/%s: set %s holds other content" % (name, rel, holder))
            if sets:
                self.check_marks(files, contents.get(sets[-1]), "%s/Quillon.txt" % name, sets[-1])
            for folder in folders:
                copy = contents[folder].control()
                if copy is not None:
                    _, set_files = parse_control(copy, win(root).encode(), "%s/%s" % (name, folder))
                    self.check_marks(set_files, contents[folder], "%s/%s copy" % (name, folder), folder)

    @staticmethod
    def check_marks(files, contents, where, folder):
        for mark, number, rel in files:
            if mark != "X":
                continue
            if contents is None or not contents.has(rel, number):
                raise Failure("%s: X line names %s, which set %s does not hold%s" %
                              (where, rel, folder, "" if number is None else " in archive %d" % number))


def parse_control(data, source, where):
    if not data.endswith(b"\r\n"):
        raise Failure("%s: does not end with a line end" % where)
    lines = data[:-2].split(b"\r\n")
    if len(lines) < 5 or not lines[0].startswith(b"Quillon-Run -- Processing Time: "):
        raise Failure("%s: no header" % where)
    if lines[2] != source:
        raise Failure("%s: line 3 is %r" % (where, lines[2]))
    index = 3
    while index < len(lines) and ZIP_LINE.match(lines[index]):
        index += 1
    if lines[index] != b"# ===== Saved Backups:":
        raise Failure("%s: line %d is %r" % (where, index + 1, lines[index]))
    sets = []
    index += 1
    while index < len(lines) and SET_LINE.match(lines[index]):
        sets.append(lines[index][:10].decode())
        index += 1
    if index >= len(lines) or lines[index] != b"# ===== Files:":
        raise Failure("%s: no file list" % where)
    if sets != sorted(set(sets)):
        raise Failure("%s: sets out of order: %s" % (where, sets))
    files = []
    prefix = source + b"\\"
    for line in lines[index + 1:]:
        match = FILE_LINE.match(line)
        if not match or not match.group(3).startswith(prefix):
            raise Failure("%s: bad file line %r" % (where, line))
        rel = match.group(3)[len(prefix):].decode("latin-1").replace("\\", "/")
        number = None if match.group(2) is None else int(match.group(2))
        files.append((match.group(1).decode(), number, rel))
    return sets, files


class SetContents:
    """What one set folder holds: plain files, or the entries of its numbered archives."""

    def __init__(self, folder):
        self.folder = folder
        self.archives = {}
        for name in os.listdir(folder):
            match = re.match(r"^QuillonData_(\d+)\.Zip$", name)
            if match:
                try:
                    with zipfile.ZipFile(os.path.join(folder, name)) as archive:
                        self.archives[int(match.group(1))] = {
                            info.filename.replace("\\", "/"): archive.read(info)
                            for info in archive.infolist()}
                except zipfile.BadZipFile as error:
                    raise Failure("%s: damaged archive: %s" % (os.path.join(folder, name), error))

    def _holder(self, rel, number=None):
        if number is not None:
            return number if rel in self.archives.get(number, {}) else None
        return max((n for n, entries in self.archives.items() if rel in entries), default=None)

    def has(self, rel, number=None):
        if self._holder(rel, number) is not None:
            return True
        return number is None and os.path.isfile(os.path.join(self.folder, rel))

    def read(self, rel):
        number = self._holder(rel)
        if number is not None:
            return self.archives[number][rel]
        with open(os.path.join(self.folder, rel), "rb") as f:
            return f.read()

    def control(self):
        if self.archives:
            return self.archives.get(0, {}).get("Quillon.txt")
        path = os.path.join(self.folder, "Quillon.txt")
        if os.path.exists(path):
            with open(path, "rb") as f:
                return f.read()
        return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("bin", help="folder of quillon-run, quillon-reg and libib-zip.so")
    parser.add_argument("--kills", type=int, default=50, help="kills that hit a running program")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--files", type=int, default=120, help="files per source path")
    parser.add_argument("--large-mb", type=int, default=0,
                        help="rewrite a file of up to this many MB per path in every round")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    bin_dir = os.path.abspath(args.bin)
    work = tempfile.mkdtemp(prefix="quillon-crash.")
    rng = random.Random(args.seed)
    harness = Harness(bin_dir, work, rng, args.files, args.large_mb)
    hits = 0
    attempts = 0
    cut_off = 0  # kills that left a copy or an archive half written
    try:
        harness.configure()
        harness.generate()
        full = harness.run_to_end()
        harness.check_complete()
        harness.mutate()
        pass_time = harness.run_to_end()
        harness.check_complete()
        print("crashtest: seed %d, %d files per path, large files up to %d MB, full run %.2f s, "
              "changed run %.2f s" % (args.seed, args.files, args.large_mb, full, pass_time))
        while hits < args.kills and attempts < 3 * args.kills:
            attempts += 1
            harness.mutate()
            # The program lingers about 2 s after its pass (the progress dialog's closing time):
            # the kills aim at the pass before it.
            delay = rng.uniform(0.0, max(0.3, pass_time - 1.8))
            hit = harness.run_and_kill(delay)
            try:
                cut_off += harness.check_after_kill() > 0
                harness.run_to_end()
                harness.check_complete()
            except Failure as failure:
                raise Failure("kill %d after %.3f s: %s" % (attempts, delay, failure))
            hits += hit
        print("crashtest: %d kills hit a running program (%d of them in the middle of a copy or an archive), "
              "%d rounds in all, every check passed" % (hits, cut_off, attempts))
        return 0 if hits >= args.kills else 1
    except Failure as failure:
        print("crashtest: FAILED (seed %d): %s" % (args.seed, failure), file=sys.stderr)
        print("crashtest: work folder kept: %s" % work, file=sys.stderr)
        args.keep = True
        return 1
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
