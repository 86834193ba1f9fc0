"""What the end-to-end scripts share: a work folder with hives and a drive map of its own (nothing of the
user's is touched), two configured source paths ("plain" stored as plain files, "zip" as compressed
sets), runs of the real programs, and the checks of what a destination holds."""
import argparse
import hashlib
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time
import zipfile

SET_NAME = re.compile(r"^\d{4}-\d\d-\d\d$")
# A control file: its header with the source path, the archives' lines, the sets, the file lines.
CONTROL = re.compile(rb"Quillon-Run -- Processing Time: [^\r\n]*\r\n[^\r\n]*\r\n([^\r\n]*)\r\n"
                     rb"(?:Z\d+ +\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\r\n)*# ===== Saved Backups:\r\n"
                     rb"((?:\d{4}-\d\d-\d\d [FI] +\d+ kBytes\r\n)*)# ===== Files:\r\n((?:[^\r\n]*\r\n)*)")
FILE_LINE = re.compile(rb"^([ XE]) \d{4}-\d\d-\d\d \d\d:\d\d +(?:Z(\d+) +)?(Z:\\.*)$")
ARCHIVE = re.compile(r"^QuillonData_(\d+)\.Zip$")
# Copies being written (a line break ends their names) and archives being written.
TEMPORARY = re.compile(r"^\.quillon-\d+-\d+\.part\n$|^QuillonData_\d+\.Zip\.part(\.[^.]+)?$", re.S)
CONFIG_KEY = r"HKCU\Software\Norrow\Quillon"
MACHINE_KEY = r"HKLM\Software\Norrow\Quillon"
DYN_DATA = CONFIG_KEY + r"\DynData"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_equal(got, expected, what):
    check(got == expected, "%s: %r, not %r" % (what, got, expected))


def read(path):
    """The bytes of a file, or None when there is none."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def write(path, data):
    with open(path, "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


def win(path):
    return "Z:" + path.replace("/", "\\")


def set_folders(dest):
    return sorted(d for d in os.listdir(dest) if SET_NAME.match(d)) if os.path.isdir(dest) else []


def read_tree(root, details=False):
    """Every file below root by its relative path (str, or bytes for a bytes root): its content, with
    details (content, modification time, permission bits); a link is ("->", target) either way."""
    tree = {}
    for folder, folders, files in os.walk(root):
        for name in files + [d for d in folders if os.path.islink(os.path.join(folder, d))]:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            if os.path.islink(path):
                tree[rel] = ("->", os.readlink(path))
            else:
                info = os.lstat(path)
                tree[rel] = (read(path), int(info.st_mtime), info.st_mode & 0o777) if details else read(path)
    return tree


def script(name, body, cleanup=None, **options):
    """The command line of a script: BIN_DIR, --keep and options (name: default, the type taken from the
    default; --inside is left to a script that starts itself again in a namespace). Runs body(args,
    work) in a new temporary folder and answers the exit status: 0, or 1 after a failure, which is told
    on stderr. The folder goes afterwards unless the run failed or --keep is given; cleanup(work, kept)
    runs first (to unmount what the body mounted, say)."""
    parser = argparse.ArgumentParser(description=sys.modules["__main__"].__doc__.split("\n")[0])
    parser.add_argument("bin", help="folder of the programs and libib-zip.so")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    for option, default in options.items():
        parser.add_argument("--" + option.replace("_", "-"), type=type(default), default=default)
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    work = tempfile.mkdtemp(prefix="quillon-%s." % name)
    kept = args.keep
    try:
        body(args, work)
        return 0
    except (Failure, subprocess.SubprocessError, OSError) as failure:
        print("%s: FAILED: %s" % (name, failure), file=sys.stderr)
        kept = True
        return 1
    finally:
        if cleanup is not None:
            cleanup(work, kept)
        if kept:
            print("%s: work folder kept: %s" % (name, work), file=sys.stderr)
        else:
            shutil.rmtree(work, ignore_errors=True)


class Harness:
    def __init__(self, bin_dir, work, rng, files=0, large_mb=0):
        self.bin = bin_dir
        self.large = large_mb * 1_000_000
        # Every version each source file ever had: (path name, relative path) -> digests.
        self.versions = {}
        self.work = work
        self.rng = rng
        self.files = files
        self.sources = {name: os.path.join(work, "source", name) for name in ("plain", "zip")}
        self.dests = {name: os.path.join(work, "backup", name) for name in self.sources}
        self.counter = 0
        drives = os.path.join(work, "dosdevices")
        os.makedirs(drives)
        os.makedirs(os.path.join(work, "drive_c"))
        os.symlink(os.path.join(work, "drive_c"), os.path.join(drives, "c:"))
        os.symlink("/", os.path.join(drives, "z:"))
        self.env = dict(os.environ, QUILLON_DRIVES=drives, QUILLON_UI="console",
                        QUILLON_USER_HIVE=os.path.join(work, "user.hive"),
                        QUILLON_MACHINE_HIVE=os.path.join(work, "machine.hive"))
        for name in ("QUILLON_TRACE", "DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)
        # Times of changed files are set to distinct minutes in the past: the control file keeps
        # minutes, so two changes within one real minute would otherwise look alike.
        self.base_time = int(time.time()) - 3 * 86400

    # --- set-up ---

    def configure(self, error_log=None):
        """The two source paths with their first files, and the error log at error_log (a native path)
        if given."""
        reg = ["Windows Registry Editor Version 5.00", ""]
        for number, (name, flags) in enumerate((("plain", 0x20), ("zip", 0x820))):
            os.makedirs(self.sources[name], exist_ok=True)
            reg += ["[HKEY_CURRENT_USER\\Software\\Norrow\\Quillon\\Path%03d]" % number,
                    '"SourcePath"="%s"' % win(self.sources[name]).replace("\\", "\\\\"),
                    '"DestPath"="%s"' % win(self.dests[name]).replace("\\", "\\\\"),
                    '"Flags"=dword:%08x' % flags, ""]
        path = os.path.join(self.work, "crash.reg")
        write(path, "\n".join(reg))
        self.tool("quillon-reg", "import", path)
        if error_log:
            self.set_value(CONFIG_KEY + r"\Settings", "ErrorLogPath", win(error_log))
        for name, root in self.sources.items():
            for i in range(self.files):
                self.write_file(os.path.join(root, "d%d" % (i % 4), "f%04d.bin" % i))

    def move_to_disk(self, disk):
        """Destinations and the staging folder (drive C:) below disk, before configure."""
        os.makedirs(os.path.join(disk, "drive_c"))
        os.replace(os.path.join(self.work, "dosdevices", "c:"), os.path.join(self.work, "c-old"))
        os.symlink(os.path.join(disk, "drive_c"), os.path.join(self.work, "dosdevices", "c:"))
        for name in self.dests:
            self.dests[name] = os.path.join(disk, "backup", name)

    def tool(self, program, *args, expect=0, env=None, prefix=(), timeout=300):
        """Runs one of the programs (after prefix, a command that runs it) to its end; answers its output,
        for quillon-run with its error output. An exit status other than expect (or not in it) is a
        failure; with expect None, a run that fails answers None."""
        result = subprocess.run([*prefix, os.path.join(self.bin, program), *args], env=env or self.env,
                                cwd=self.work, capture_output=True, timeout=timeout)
        out = (result.stdout + (result.stderr if program == "quillon-run" else b"")).decode("latin-1")
        if expect is None:
            return out if result.returncode == 0 else None
        check(result.returncode in (expect if isinstance(expect, tuple) else (expect,)),
              "%s %s ended with %d:\n%s%s" % (program, " ".join(args), result.returncode, out,
                                              result.stderr.decode("latin-1")))
        return out

    def set_value(self, key, name, value):
        """Stores a number (as REG_DWORD) or a text below key."""
        kind = ["/t", "REG_DWORD"] if isinstance(value, int) else []
        self.tool("quillon-reg", "add", key, "/v", name, *kind, "/d", str(value), "/f")

    def dword(self, key, name):
        """The value as quillon-reg shows it ("0x0"), or None when it does not exist."""
        out = self.tool("quillon-reg", "query", key, "/v", name, expect=None)
        return out and out.split()[-1]

    def write_file(self, path, size=None, mtime=None):
        """Writes random content (of size bytes) and notes it as one of the file's versions: a set may hold
        nothing else."""
        if size is None:
            big = self.rng.random() < 0.08
            size = self.rng.randint(500_000, 3_000_000) if big else self.rng.randint(0, 40_000)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        data = self.rng.randbytes(size)
        write(path, data)
        for name, root in self.sources.items():
            if path.startswith(root + os.sep):
                self.versions.setdefault((name, os.path.relpath(path, root)), set()).add(
                    hashlib.sha256(data).digest())
        self.counter += 1
        stamp = mtime or self.base_time + 60 * self.counter
        os.utime(path, (stamp, stamp))

    def source_files(self, name):
        return sorted(read_tree(self.sources[name]))

    def mutate(self):
        """Changes about a quarter of each tree, adds two files and removes one."""
        for name, root in self.sources.items():
            files = self.source_files(name)
            for rel in self.rng.sample(files, max(1, len(files) // 4)):
                self.write_file(os.path.join(root, rel))
            for _ in range(2):
                self.write_file(os.path.join(root, "d%d" % self.rng.randint(0, 5), "n%05d.bin" % self.counter))
            os.remove(os.path.join(root, self.rng.choice(self.source_files(name))))
            if self.large:
                # Copied again into the same day's set, over the copy of the round before.
                self.write_file(os.path.join(root, "large.bin"), self.rng.randint(self.large // 2, self.large))

    # --- running ---

    def clear_semaphore(self):
        """A killed run leaves the semaphore set, and a real successor would wait until it has not
        changed for 3 minutes: the runs here clear it first unless told not to."""
        self.set_value(MACHINE_KEY, "Semaphore", 0)

    def start(self, *args, env=None, clear=True):
        if clear:
            self.clear_semaphore()
        return subprocess.Popen([os.path.join(self.bin, "quillon-run"), *args], env=env or self.env,
                                cwd=self.work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, *args, expect=(0,), clear=True, **options):
        """One run of quillon-run to its end (see tool)."""
        if clear:
            self.clear_semaphore()
        return self.tool("quillon-run", *args, expect=expect, **options)

    def run_to_end(self, timeout=300):
        """A run to its end, whatever its status; answers its seconds."""
        began = time.monotonic()
        self.run(expect=tuple(range(-64, 256)), timeout=timeout)
        return time.monotonic() - began

    # --- checks ---

    def read_control(self, name):
        """The sets and file lines of a path's control file; Failure when it does not parse."""
        path = os.path.join(self.dests[name], "Quillon.txt")
        return parse_control(read(path), win(self.sources[name]).encode(), path)

    def check_after_kill(self):
        """Answers how many temporaries the kill left: copies or archives it cut off."""
        for name in self.sources:
            if os.path.exists(os.path.join(self.dests[name], "Quillon.txt")):
                self.read_control(name)
        self.check_hives()
        return sum(self.check_versions(name, temporaries_allowed=True) for name in self.sources)

    def set_contents(self, name):
        """What each set of a path holds, by set folder, newest first."""
        return {d: SetContents(os.path.join(self.dests[name], d)) for d in set_folders(self.dests[name])[::-1]}

    def check_versions(self, name, temporaries_allowed, contents=None):
        """Every file a set holds is a version the source had, whole; temporaries only after a kill."""
        temporaries = 0
        for held in (contents or self.set_contents(name)).values():
            files = [(rel, data, held.folder) for rel, data in read_tree(held.folder).items()]
            files += [(rel, data, "%s archive %d" % (held.folder, number))
                      for number, entries in held.archives.items() for rel, data in entries.items()]
            for rel, data, where in files:
                if TEMPORARY.match(os.path.basename(rel)):
                    check(temporaries_allowed, "%s: a temporary was left: %s/%r" % (name, where, rel))
                    temporaries += 1
                else:
                    check(rel == "Quillon.txt" or ARCHIVE.match(rel) or
                          hashlib.sha256(data).digest() in self.versions.get((name, rel), ()),
                          "%s: %s holds %d bytes that no version of the source had" % (where, rel, len(data)))
        return temporaries

    def check_hives(self):
        for hive in ("user.hive", "machine.hive"):
            path = os.path.join(self.work, hive)
            if os.path.exists(path):
                with sqlite3.connect(path) as db:
                    verdict = db.execute("PRAGMA integrity_check").fetchone()[0]
                check(verdict == "ok", "%s damaged: %s" % (hive, verdict))
        check("Path001" in self.tool("quillon-reg", "query", CONFIG_KEY, "/s"), "configuration unreadable")

    def check_stored(self, name, left_out=None, contents=None):
        """Every file of the source but left_out is in the newest set that holds it, with its current
        content; answers the marks of the control file's lines by relative path."""
        contents = contents or self.set_contents(name)
        for rel in sorted(set(self.source_files(name)) - {left_out}):
            holder = next((d for d, held in contents.items() if held.has(rel)), None)
            check(holder is not None, "%s/%s is in no set" % (name, rel))
            check(contents[holder].read(rel) == read(os.path.join(self.sources[name], rel)),
                  "%s/%s: set %s holds other content" % (name, rel, holder))
        return {rel: mark for mark, _, rel in self.read_control(name)[1]}

    def check_complete(self):
        """What a run that ended must leave: sound hives, no temporary, every file of the source
        recoverable, and every line marked 'X' naming a file its set holds (in the control file beside
        the sets: the newest set; in the copy inside a set: that set)."""
        self.check_hives()
        for name, root in self.sources.items():
            contents = self.set_contents(name)
            self.check_versions(name, False, contents)
            self.check_stored(name, contents=contents)
            sets, files = self.read_control(name)
            if sets:
                check_marks(files, contents.get(sets[-1]), "%s/Quillon.txt" % name, sets[-1])
            for folder, held in contents.items():
                if held.control() is not None:
                    _, set_files = parse_control(held.control(), win(root).encode(), "%s/%s" % (name, folder))
                    check_marks(set_files, held, "%s/%s copy" % (name, folder), folder)


def check_marks(files, contents, where, folder):
    for mark, number, rel in files:
        check(mark != "X" or (contents is not None and contents.has(rel, number)),
              "%s: X line names %s, which set %s does not hold%s" %
              (where, rel, folder, "" if number is None else " in archive %d" % number))


def parse_control(data, source, where):
    """The sets and the (mark, archive number, relative path) of each file line of a control file."""
    match = CONTROL.fullmatch(data or b"")
    check(match and match.group(1) == source,
          "%s: missing, or no control file of %r:\n%r" % (where, source, data and data[:500]))
    sets = [line[:10].decode() for line in match.group(2).split(b"\r\n")[:-1]]
    check(sets == sorted(set(sets)), "%s: sets out of order: %s" % (where, sets))
    files = []
    prefix = source + b"\\"
    for line in match.group(3).split(b"\r\n")[:-1]:
        match = FILE_LINE.match(line)
        check(match and match.group(3).startswith(prefix), "%s: bad file line %r" % (where, line))
        rel = match.group(3)[len(prefix):].decode("latin-1").replace("\\", "/")
        files.append((match.group(1).decode(), None if match.group(2) is None else int(match.group(2)), rel))
    return sets, files


class SetContents:
    """What one set folder holds: plain files, or the entries of its numbered archives."""

    def __init__(self, folder):
        self.folder = folder
        self.archives = {}
        for name in os.listdir(folder):
            match = ARCHIVE.match(name)
            if match:
                try:
                    with zipfile.ZipFile(os.path.join(folder, name)) as archive:
                        self.archives[int(match.group(1))] = {
                            info.filename.replace("\\", "/"): archive.read(info) for info in archive.infolist()}
                except zipfile.BadZipFile as error:
                    raise Failure("%s: damaged archive: %s" % (os.path.join(folder, name), error))

    def _holder(self, rel, number=None):
        if number is not None:
            return number if rel in self.archives.get(number, {}) else None
        return max((n for n, entries in self.archives.items() if rel in entries), default=None)

    def has(self, rel, number=None):
        return (self._holder(rel, number) is not None or
                number is None and os.path.isfile(os.path.join(self.folder, rel)))

    def read(self, rel):
        number = self._holder(rel)
        return self.archives[number][rel] if number is not None else read(os.path.join(self.folder, rel))

    def control(self):
        if self.archives:
            return self.archives.get(0, {}).get("Quillon.txt")
        return read(os.path.join(self.folder, "Quillon.txt"))
