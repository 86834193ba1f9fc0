#!/usr/bin/env python3
"""quillon-config end to end: backups set up in words, then run by quillon-run, which must behave as
configured (storage form, full backups, retention, patterns); remove leaves no gap in the numbering;
a configuration imported from a .reg file is listed and edited without losing a setting; wrong
arguments change nothing. And what quillon-run makes of a configuration: Linux paths in it work, a
user hive that cannot be read fails the run with exit status 2, and --check names every mistake.

    configtool.py BIN_DIR [--keep]
Exit status 0 when every check passed.
"""
import argparse
import datetime
import os
import random
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "crash"))
from crashtest import run_in_work_folder, Failure, Harness, CONFIG_KEY  # noqa: E402


class Setup:
    def __init__(self, bin_dir, work, name):
        self.work = os.path.join(work, name)
        os.makedirs(self.work)
        self.harness = Harness(bin_dir, self.work, random.Random(1), 0)
        self.bin = bin_dir
        self.name = name

    def folder(self, rel, files=()):
        path = os.path.join(self.work, rel)
        os.makedirs(path, exist_ok=True)
        for file in files:
            self.write(os.path.join(rel, file), file)
        return path

    def write(self, rel, text):
        path = os.path.join(self.work, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
        # Two minutes old: a file changed in the very minute of a run is a case of its own.
        stamp = time.time() - 120
        os.utime(path, (stamp, stamp))

    def config(self, *args, expect=0):
        result = subprocess.run([os.path.join(self.bin, "quillon-config"), *args], env=self.harness.env,
                                cwd=self.work, capture_output=True)
        out = result.stdout.decode("utf-8", "replace")
        if result.returncode != expect:
            raise Failure("%s: quillon-config %s ended with %d, not %d:\n%s%s" % (
                self.name, " ".join(args), result.returncode, expect, out,
                result.stderr.decode("utf-8", "replace")))
        return out

    def run(self, *args):
        self.harness.reg("add", r"HKLM\Software\Norrow\Quillon", "/v", "Semaphore", "/t", "REG_DWORD",
                         "/d", "0", "/f")
        result = subprocess.run([os.path.join(self.bin, "quillon-run"), *args], env=self.harness.env,
                                cwd=self.work, capture_output=True, timeout=120)
        return result.returncode, (result.stdout + result.stderr).decode("utf-8", "replace")

    def query(self, key=CONFIG_KEY):
        """Everything below key as quillon-reg lists it; "" when the key does not exist."""
        result = subprocess.run([os.path.join(self.bin, "quillon-reg"), "query", key, "/s"],
                                env=self.harness.env, capture_output=True)
        return result.stdout.decode("latin-1") if result.returncode == 0 else ""

    def entry(self, section, name):
        """The value's data as quillon-reg shows it, or None."""
        for line in self.query(CONFIG_KEY + "\\" + section).splitlines():
            parts = line.strip().split("    ")
            if len(parts) >= 3 and parts[0].lower() == name.lower():
                return parts[2]
        return None

    def expect_entries(self, section, expected):
        for name, value in expected.items():
            got = self.entry(section, name)
            if got != value:
                raise Failure("%s: %s\\%s is %r, not %r" % (self.name, section, name, got, value))


def set_folders(dest):
    return sorted(d for d in os.listdir(dest) if re.match(r"^\d{4}-\d\d-\d\d$", d)) if os.path.isdir(dest) else []


def age_set(dest, day):
    """Moves the only set of dest to an earlier day, as if a run of that day had made it."""
    [today] = set_folders(dest)
    control = os.path.join(dest, "Quillon.txt")
    with open(control, "rb") as f:
        data = f.read()
    with open(control, "wb") as f:
        f.write(data.replace(b"\r\n" + today.encode() + b" ", b"\r\n" + day.encode() + b" "))
    os.rename(os.path.join(dest, today), os.path.join(dest, day))


def storage(bin_dir, work):
    s = Setup(bin_dir, work, "storage")
    s.folder("plain", ["a.txt"])
    s.folder("zip", ["b.txt"])
    s.config("add", "./zip/../plain/", os.path.join(s.work, "backup", "plain"), "--plain")
    if s.entry("Path000", "SourcePath") != "Z:" + os.path.join(s.work, "plain").replace("/", "\\"):
        raise Failure("storage: a relative source is stored as %s" % s.entry("Path000", "SourcePath"))
    s.config("add", "zip", os.path.join(s.work, "backup", "zip"), "--compressed", "--no-write-protect")
    s.expect_entries("Path000", {"Flags": "0x26"})
    s.expect_entries("Path001", {"Flags": "0x824"})
    rc, out = s.run()
    if rc != 0:
        raise Failure("storage: quillon-run ended with %d:\n%s" % (rc, out))
    [plain_set] = set_folders(os.path.join(s.work, "backup", "plain"))
    if not os.path.isfile(os.path.join(s.work, "backup", "plain", plain_set, "a.txt")):
        raise Failure("storage: the plain set holds no plain copy of a.txt")
    [zip_set] = set_folders(os.path.join(s.work, "backup", "zip"))
    names = os.listdir(os.path.join(s.work, "backup", "zip", zip_set))
    if "b.txt" in names or not any(re.match(r"^QuillonData_\d{3}\.Zip$", n) for n in names):
        raise Failure("storage: the compressed set holds %s" % names)


def full_backups(bin_dir, work):
    s = Setup(bin_dir, work, "full")
    for name, options in (("runs", ["--full-every", "2"]), ("days", ["--full-every", "7d"]),
                          ("never", ["--no-full"])):
        s.folder(name, ["f.txt"])
        s.config("add", name, os.path.join(s.work, "backup", name), "--plain", *options)
    s.expect_entries("Path000", {"Flags": "0x26", "FullBackupSep": "0x2"})
    s.expect_entries("Path001", {"Flags": "0xa6", "FullBackupSepTage": "0x7"})
    s.expect_entries("Path002", {"Flags": "0x6"})
    rc, out = s.run()
    if rc != 0:
        raise Failure("full: quillon-run ended with %d:\n%s" % (rc, out))
    expected = {"runs": rb"0 runs until full backup", "days": rb"Next scheduled full backup: (\d{4}-\d\d-\d\d)",
                "never": rb"-1 no full backup scheduled"}
    for name, line in expected.items():
        with open(os.path.join(s.work, "backup", name, "Quillon.txt"), "rb") as f:
            second = f.read().split(b"\r\n")[1]
        match = re.fullmatch(line, second)
        if not match:
            raise Failure("full: %s: the control file says %r, not %r" % (name, second, line))
        if name == "days":
            ahead = datetime.date.fromisoformat(match.group(1).decode()) - datetime.date.today()
            if not datetime.timedelta(0) < ahead <= datetime.timedelta(days=7):
                raise Failure("full: the next full backup by days is %s away" % ahead)
    # The first set is full. Moved to an earlier day, the next run makes a new, incremental set, and
    # with a full backup every 2 runs the one after it is full.
    age_set(os.path.join(s.work, "backup", "runs"), "2020-01-01")
    s.write(os.path.join("runs", "g.txt"), "changed")
    rc, out = s.run()
    with open(os.path.join(s.work, "backup", "runs", "Quillon.txt"), "rb") as f:
        lines = f.read().split(b"\r\n")
    if lines[1] != b"1 runs until full backup" or not any(re.match(rb"^\d{4}-\d\d-\d\d I ", x) for x in lines):
        raise Failure("full: after an incremental run the control file reads %r" % lines[:8])
    s.expect_entries("Path000", {"FullBackupNext": "0x1"})
    s.expect_entries("Path002", {"FullBackupNext": "0x0"})


def retention(bin_dir, work):
    s = Setup(bin_dir, work, "retention")
    s.folder("src", ["a.txt"])
    dest = os.path.join(s.work, "backup")
    s.config("add", "src", dest, "--plain", "--delete-after", "2")
    s.expect_entries("Path000", {"DeleteFlags": "0x3", "DelAfterBackups": "0x2"})
    rc, out = s.run()
    [today] = set_folders(dest)
    # Two older full sets, as earlier runs would have left them.
    control = os.path.join(dest, "Quillon.txt")
    with open(control, "rb") as f:
        data = f.read()
    old = b"".join(b"%s F         1 kBytes\r\n" % day.encode() for day in ("2020-01-01", "2020-02-01"))
    data = data.replace(b"# ===== Saved Backups:\r\n", b"# ===== Saved Backups:\r\n" + old)
    with open(control, "wb") as f:
        f.write(data)
    for day in ("2020-01-01", "2020-02-01"):
        s.write(os.path.join("backup", day, "a.txt"), day)
    s.write(os.path.join("src", "b.txt"), "new")
    rc, out = s.run()
    if set_folders(dest) != ["2020-02-01", today]:
        raise Failure("retention: after --delete-after 2 the sets are %s:\n%s" % (set_folders(dest), out))
    # At least two kept: nothing more goes, although only one would be allowed.
    s.config("set", "1", "--delete-after", "1", "--keep", "2")
    s.expect_entries("Path000", {"DeleteFlags": "0x13", "DelAfterBackups": "0x1", "KeepBackups": "0x2"})
    s.write(os.path.join("src", "c.txt"), "newer")
    rc, out = s.run()
    if set_folders(dest) != ["2020-02-01", today]:
        raise Failure("retention: with --keep 2 the sets are %s:\n%s" % (set_folders(dest), out))


def patterns(bin_dir, work):
    s = Setup(bin_dir, work, "patterns")
    src = s.folder("src", ["keep.txt", "junk.tmp", "important.tmp"])
    s.folder(os.path.join("src", "cache"), ["x.dat"])
    dest = os.path.join(s.work, "backup")
    before = s.query()
    s.config("add", "src", dest, "--exclude", "cache/*", expect=2)
    if s.query() != before:
        raise Failure("patterns: a refused pattern changed the registry")
    s.config("add", "src", dest, "--plain", "--exclude", "*.tmp", "--exclude", os.path.join(src, "cache"),
             "--force", "*/important.tmp")
    s.expect_entries("Path000", {"Exclude000": "*.tmp", "Force000": "*\\important.tmp"})
    rc, out = s.run()
    [day] = set_folders(dest)
    stored = sorted(os.path.relpath(os.path.join(d, f), os.path.join(dest, day))
                    for d, _, files in os.walk(os.path.join(dest, day)) for f in files if f != "Quillon.txt")
    if stored != ["important.tmp", "keep.txt"]:
        raise Failure("patterns: the set holds %s:\n%s" % (stored, out))


def remove_and_import(bin_dir, work):
    s = Setup(bin_dir, work, "remove")
    s.folder("backup")
    for name in ("one", "two", "three"):
        s.folder(name)
        s.config("add", name, os.path.join(s.work, "backup", name), "--plain", "--exclude", "*." + name)
    s.config("remove", "1")
    s.expect_entries("Path000", {"Exclude000": "*.two"})
    s.expect_entries("Path001", {"Exclude000": "*.three"})
    if "Path002" in s.query():
        raise Failure("remove: Path002 is left behind")
    listing = s.config("list")
    if "Path 2 (Path001)" not in listing or "No problem found." not in listing:
        raise Failure("remove: the list reads:\n" + listing)

    # A configuration written by hand: unknown bits, run state, a dialog flag, rules without DeleteFlags.
    reg = os.path.join(s.work, "hand.reg")
    source = s.folder("hand").replace("/", "\\\\")
    with open(reg, "w") as f:
        f.write('Windows Registry Editor Version 5.00\n\n[%s\\Path002]\n"SourcePath"="Z:%s"\n'
                '"DestPath"="Z:%s_out"\n"Flags"=dword:000018a6\n"DelAfterDays"=dword:0000001e\n'
                '"HideDialogs"=dword:00000010\n"NextRunTime"="2026-01-02 03:04"\n"Exclude000"="*.bak"\n'
                '"Force000"="*\\\\keep.bak"\n' % (CONFIG_KEY.replace("HKCU", "HKEY_CURRENT_USER"), source, source))
    out = s.config("import", reg)
    if ("Path 3 (Path002)" not in out or "Delete:        backups older than 30 days" not in out or
            "  Path002\\Flags: absent -> 0x000018A6\n" not in out or "Path001\\" in out):
        raise Failure("import: the list reads:\n" + out)
    before = s.query(CONFIG_KEY + "\\Path002").splitlines()
    s.config("set", "3", "--keep", "5")
    after = s.query(CONFIG_KEY + "\\Path002").splitlines()
    # Only the rule's entries change; the bit field keeps every bit, the rule in force stays in force.
    changed = sorted(set(after) - set(before))
    expected = ["    DeleteFlags    REG_DWORD    0x15", "    KeepBackups    REG_DWORD    0x5"]
    if changed != expected or sorted(set(before) - set(after)) != []:
        raise Failure("import: set changed %s, lost %s" % (changed, sorted(set(before) - set(after))))


def bad_arguments(bin_dir, work):
    s = Setup(bin_dir, work, "arguments")
    s.folder("src")
    s.config("add", "src", os.path.join(s.work, "backup"))
    s.config("schedule", "20:00")
    if s.entry("Settings", "RunAtTime") != "0x1" or not re.match(r"\d{4}-\d\d-\d\d 20:00:00$",
                                                                 s.entry("DynData", "RunTime") or ""):
        raise Failure("schedule: " + s.query())
    s.config("--profile", "3", "add", "src", os.path.join(s.work, "backup3"), "--plain")
    if "0x26" not in s.query(r"HKCU\Software\Norrow\QuillonApp3\Path000") or s.entry("Path001", "Flags"):
        raise Failure("profile: the path of profile 3 is not where quillon-run /3 reads it")
    s.write("afile", "a file where the destination should be")
    before = s.query()
    src = os.path.join(s.work, "src")
    for args in (["add"], ["add", "src"], ["add", "src", "out", "--keep", "x"], ["add", "src", "out", "--keep"],
                 ["add", "src", "out", "--plain", "--compressed"], ["add", "src", "out", "--frobnicate"],
                 ["add", "missing", "out"], ["add", "src", os.path.join(src, "inner")], ["add", "src", "afile"],
                 ["add", "src", "out", "--full-every", "0"], ["add", "src", "out", "--delete-after", "5GB"],
                 ["set", "2", "--plain"], ["set", "1"], ["set", "1", "--no-delete", "--delete-after", "3"],
                 ["remove", "0"], ["remove", "2"], ["show", "x"], ["schedule", "24:00"], ["schedule"],
                 ["--profile", "0", "list"], ["frobnicate"], []):
        s.config(*args, expect=2)
        if s.query() != before:
            raise Failure("arguments: quillon-config %s changed the registry" % " ".join(args))


def native_paths(bin_dir, work):
    """Linux paths written by hand work, and the control file keeps the Windows form."""
    s = Setup(bin_dir, work, "native")
    src = s.folder("src", ["a.txt", "b.tmp"])
    dest = os.path.join(s.work, "backup")
    key = CONFIG_KEY + "\\Path000"
    for name, value in (("SourcePath", src + "/"), ("DestPath", dest), ("Exclude000", src + "/*.tmp")):
        s.harness.reg("add", key, "/v", name, "/d", value, "/f")
    s.harness.reg("add", key, "/v", "Flags", "/t", "REG_DWORD", "/d", "0x20", "/f")
    s.harness.reg("add", CONFIG_KEY + "\\Settings", "/v", "LogPath", "/d", os.path.join(s.work, "logs", "x.log"), "/f")
    rc, out = s.run()
    if rc != 0:
        raise Failure("native: quillon-run ended with %d:\n%s" % (rc, out))
    with open(os.path.join(dest, "Quillon.txt"), "rb") as f:
        third = f.read().split(b"\r\n")[2]
    if third != ("Z:" + src.replace("/", "\\")).encode():
        raise Failure("native: the control file names the source %r" % third)
    [day] = set_folders(dest)
    if sorted(os.listdir(os.path.join(dest, day))) != ["Quillon.txt", "a.txt"]:
        raise Failure("native: the set holds %s" % os.listdir(os.path.join(dest, day)))
    if s.entry("Settings", "ErrorLogPath") is not None:
        raise Failure("native: a run without errors resolved the log's place")


def unreadable_hive(bin_dir, work):
    """A damaged user hive, or a folder in its place, is a failed run, not an empty configuration."""
    for name, spoil in (("damaged", lambda path: open(path, "wb").write(b"not a hive" * 500)),
                        ("folder", os.makedirs)):
        s = Setup(bin_dir, work, "hive-" + name)
        spoil(s.harness.env["QUILLON_USER_HIVE"])
        rc, out = s.run()
        if rc != 2 or "cannot be read" not in out or "No changed file found." in out:
            raise Failure("hive %s: quillon-run ended with %d:\n%s" % (name, rc, out))
        # With no setting readable, the log lies beside the program, as for a program not installed.
        log = os.path.join(bin_dir, "QuillonRun.Log")
        with open(log, "rb") as f:
            text = f.read().decode("latin-1")
        os.remove(log)
        if "cannot be read" not in text or "Nothing was backed up." not in text:
            raise Failure("hive %s: the error log reads:\n%s" % (name, text))
        s.config("list", expect=1)


def check_report(bin_dir, work):
    """quillon-run --check: the paths in words, each mistake named, exit 0 or 2, nothing written."""
    s = Setup(bin_dir, work, "check")
    rc, out = s.run("--check")
    if rc != 2 or "no backup path is configured" not in out:
        raise Failure("check: an empty configuration gives %d:\n%s" % (rc, out))
    s.folder("src")
    s.folder("backup")
    s.config("add", "src", os.path.join(s.work, "backup", "src"))
    rc, out = s.run("--check")
    if rc != 0 or "No problem found." not in out or "Source:        " + os.path.join(s.work, "src") not in out:
        raise Failure("check: a clean configuration gives %d:\n%s" % (rc, out))
    key = CONFIG_KEY + "\\Path000"
    s.harness.reg("add", key, "/v", "DestPth", "/d", "elsewhere", "/f")
    s.harness.reg("add", key, "/v", "Flags", "/d", "0x20", "/f")  # text, which the run ignores
    s.harness.reg("add", CONFIG_KEY + "\\Path002", "/v", "SourcePath", "/d", "/nowhere", "/f")
    before = s.query()
    rc, out = s.run("--check")
    for text in ("DestPth: did you mean DestPath?",
                 "Flags is stored as text (REG_SZ) and is ignored: it must be a REG_DWORD",
                 "Path002 is not read because Path001 is missing", "3 problems found."):
        if text not in out:
            raise Failure("check: %r is not in the report (exit %d):\n%s" % (text, rc, out))
    if rc != 2 or s.query() != before or set_folders(os.path.join(s.work, "backup", "src")):
        raise Failure("check: exit %d, or the check wrote something:\n%s" % (rc, out))
    rc, out = s.run("--check", "/3")
    if rc != 2 or "no backup path is configured" not in out or "QuillonApp3" not in out:
        raise Failure("check: the empty profile of /3 gives %d:\n%s" % (rc, out))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("bin", help="folder of quillon-config, quillon-run, quillon-reg and libib-zip.so")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    bin_dir = os.path.abspath(args.bin)

    def body(work):
        for test in (storage, full_backups, retention, patterns, remove_and_import, bad_arguments, native_paths,
                     unreadable_hive, check_report):
            test(bin_dir, work)
            print("configtool: %s passed" % test.__name__)

    return run_in_work_folder("configtool", args.keep, body)


if __name__ == "__main__":
    sys.exit(main())
