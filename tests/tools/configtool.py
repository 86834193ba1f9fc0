#!/usr/bin/env python3
"""quillon-config end to end: backups set up in words, then run by quillon-run, which must store them
as configured (plain or compressed, with the patterns); every rule reaches the listing; remove leaves
no gap in the numbering; a configuration imported from a .reg file is listed and edited without losing
a setting; wrong arguments change nothing; a user hive that cannot be read is an error. And
quillon-run --check names every mistake."""
import os
import random
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "crash"))
from harness import CONFIG_KEY, Harness, check, check_equal, read_tree, script, set_folders, win, write  # noqa: E402


class Setup(Harness):
    """A harness of its own below work/name, with no source path configured."""

    def __init__(self, bin_dir, work, name):
        os.makedirs(os.path.join(work, name))
        super().__init__(bin_dir, os.path.join(work, name), random.Random(1))
        self.name = name

    def folder(self, rel, files=()):
        """The folder below work with files in it (of days ago: a file changed in the very minute of a
        run is a case of its own)."""
        for file in files:
            self.write_file(os.path.join(self.work, rel, file), 100)
        os.makedirs(os.path.join(self.work, rel), exist_ok=True)
        return os.path.join(self.work, rel)

    def config(self, *args, expect=0):
        return self.tool("quillon-config", *args, expect=expect)

    def query(self, key=CONFIG_KEY):
        """Everything below key as quillon-reg lists it; "" when the key does not exist."""
        return self.tool("quillon-reg", "query", key, "/s", expect=None) or ""

    def entries(self, section, **expected):
        """The values of a key below the configuration's must be those expected, as quillon-reg shows them
        (None: absent)."""
        parts = (line.strip().split("    ") for line in self.query(CONFIG_KEY + "\\" + section).splitlines())
        got = {part[0].lower(): part[2] for part in parts if len(part) >= 3}
        check_equal({name: got.get(name.lower()) for name in expected}, expected, self.name + ": " + section)

    def stored(self, dest):
        """What the one set below dest (relative to work) holds."""
        [day] = set_folders(os.path.join(self.work, dest))
        return sorted(read_tree(os.path.join(self.work, dest, day)))


def storage(s):
    s.folder("plain", ["a.txt"])
    s.folder("zip", ["b.txt"])
    s.config("add", "./zip/../plain/", os.path.join(s.work, "backup", "plain"), "--plain")
    s.config("add", "zip", os.path.join(s.work, "backup", "zip"), "--compressed", "--no-write-protect")
    s.entries("Path000", Flags="0x26", SourcePath=win(os.path.join(s.work, "plain")))  # a relative source
    s.entries("Path001", Flags="0x824")
    s.run()
    s.entries("Settings", ErrorLogPath=None)  # a run without errors does not resolve the log's place
    sets = [s.stored("backup/plain"), s.stored("backup/zip")]
    check(sets == [["Quillon.txt", "a.txt"], ["QuillonData_000.Zip"]], "storage: the sets hold %s" % sets)


def rules(s):
    """Each schedule and retention rule reaches the listing of a change (their words and the entries
    written are the configuration description's and the option tests' matter)."""
    s.folder("src")
    out = s.config("add", "src", os.path.join(s.work, "backup"), "--plain", "--full-every", "7d",
                   "--full-even-if-unchanged", "--delete-after", "2", "--delete-after", "30d", "--keep", "2",
                   "--only-archived", "--delete-after=5MB", "--keep-days", "3", "--keep-full", "1")
    out += s.config("set", "1", "--full-every", "5") + s.config("set", "1", "--no-full")
    phrases = ("every 7 days, made even", "every 5 runs", "none scheduled", "newest 2\n", "than 30 days",
               "than 5 MB", "newest 2 backups", "last 3 days", "newest 1 full", "only backups marked")
    check(all(phrase in out for phrase in phrases), "rules: not every rule is listed:\n" + out)


def patterns(s):
    src = s.folder("src", ["keep.txt", "junk.tmp", "important.tmp"])
    s.folder(os.path.join("src", "cache"), ["x.dat"])
    s.config("add", "src", os.path.join(s.work, "backup"), "--plain", "--exclude", "*.tmp", "--exclude",
             os.path.join(src, "cache"), "--force", "*/important.tmp")
    s.entries("Path000", Exclude000="*.tmp", Force000="*\\important.tmp")
    out = s.run()
    check_equal(s.stored("backup"), ["Quillon.txt", "important.tmp", "keep.txt"], "patterns: the set\n" + out)


def remove_and_import(s):
    s.folder("backup")
    for name in ("one", "two", "three"):
        s.folder(name)
        s.config("add", name, os.path.join(s.work, "backup", name), "--plain", "--exclude", "*." + name)
    s.config("remove", "1")
    s.entries("Path000", Exclude000="*.two")
    s.entries("Path001", Exclude000="*.three")
    check("Path002" not in s.query(), "remove: Path002 is left behind")
    listing = s.config("list")
    check("Path 2 (Path001)" in listing and "No problem found." in listing, "remove: the list reads:\n" + listing)

    # A configuration written by hand: unknown bits, run state, a dialog flag, rules without DeleteFlags.
    reg = os.path.join(s.work, "hand.reg")
    source = s.folder("hand").replace("/", "\\\\")
    write(reg, 'Windows Registry Editor Version 5.00\n\n[%s\\Path002]\n"SourcePath"="Z:%s"\n'
          '"DestPath"="Z:%s_out"\n"Flags"=dword:000018a6\n"DelAfterDays"=dword:0000001e\n'
          '"HideDialogs"=dword:00000010\n"NextRunTime"="2026-01-02 03:04"\n"Exclude000"="*.bak"\n'
          '"Force000"="*\\\\keep.bak"\n' % (CONFIG_KEY.replace("HKCU", "HKEY_CURRENT_USER"), source, source))
    out = s.config("import", reg)
    check("Path 3 (Path002)" in out and "Delete:        backups older than 30 days" in out and
          "  Path002\\Flags: absent -> 0x000018A6\n" in out and "Path001\\" not in out,
          "import: the list reads:\n" + out)
    before = set(s.query(CONFIG_KEY + "\\Path002").splitlines())
    s.config("set", "3", "--keep", "5")
    after = set(s.query(CONFIG_KEY + "\\Path002").splitlines())
    # Only the rule's entries change; the bit field keeps every bit, the rule in force stays in force.
    check_equal((sorted(after - before), before - after),
                (["    DeleteFlags    REG_DWORD    0x15", "    KeepBackups    REG_DWORD    0x5"], set()),
                "import: the values set changed and lost")


def bad_arguments(s):
    s.folder("src")
    s.config("add", "src", os.path.join(s.work, "backup"))
    s.config("schedule", "20:00")
    s.entries("Settings", RunAtTime="0x1")
    check(re.search(r" RunTime    REG_SZ    \d{4}-\d\d-\d\d 20:00:00\n", s.query()), "schedule: " + s.query())
    s.config("--profile", "3", "add", "src", os.path.join(s.work, "backup3"), "--plain")
    s.entries("Path001", Flags=None)
    check("0x26" in s.query(r"HKCU\Software\Norrow\QuillonApp3\Path000"), "profile 3: not where /3 reads it")
    s.write_file(os.path.join(s.work, "afile"), 10)  # a file where the destination should be
    before = s.query()
    # Each option's own mistakes are the unit tests' matter; these are the commands' (a pattern that
    # cannot match below the source among them).
    for line in ("add", "add src", "add src out --keep", "add src out --frobnicate", "add missing out",
                 "add src src/inner", "add src afile", "set 2 --plain", "set 1", "remove 0", "remove 2",
                 "set 1 --no-delete --delete-after 3", "show x", "schedule 24:00", "schedule", "--profile 0 list",
                 "frobnicate", "", "add src out --exclude cache/*"):
        s.config(*line.split(), expect=2)
        check(s.query() == before, "arguments: quillon-config %s changed the registry" % line)


def unreadable_hive(s):
    """A damaged user hive, or a folder in its place, is an error, not an empty configuration (that it
    fails a run is the application tests' matter)."""
    for name, spoil in (("damaged", lambda path: write(path, b"not a hive" * 500)),
                        ("folder", os.makedirs)):
        s = Setup(s.bin, os.path.dirname(s.work), "hive-" + name)
        spoil(s.env["QUILLON_USER_HIVE"])
        s.config("list", expect=1)


def check_report(s):
    """quillon-run --check: the paths in words, each mistake named, exit 0 or 2, nothing written."""
    check("no backup path is configured" in s.run("--check", expect=(2,)), "check: an empty configuration")
    s.folder("src")
    s.folder("backup")
    s.config("add", "src", os.path.join(s.work, "backup", "src"))
    out = s.run("--check")
    check("No problem found." in out and "Source:        " + os.path.join(s.work, "src") in out, "check:\n" + out)
    s.set_value(CONFIG_KEY + "\\Path000", "DestPth", "elsewhere")
    s.set_value(CONFIG_KEY + "\\Path000", "Flags", "0x20")  # text, which the run ignores
    s.set_value(CONFIG_KEY + "\\Path002", "SourcePath", "/nowhere")
    before = s.query()
    out = s.run("--check", expect=(2,))
    # Each problem's words are the configuration description's tests' matter; here the report counts them.
    check("DestPth: did you mean DestPath?" in out and "3 problems found." in out, "check:\n" + out)
    check(s.query() == before and not set_folders(os.path.join(s.work, "backup", "src")), "check wrote something")
    out = s.run("--check", "/3", expect=(2,))
    check("no backup path is configured" in out and "QuillonApp3" in out, "check /3:\n" + out)


def body(args, work):
    for test in (storage, rules, patterns, remove_and_import, bad_arguments, unreadable_hive, check_report):
        test(Setup(args.bin, work, test.__name__))
        print("configtool: %s passed" % test.__name__)


if __name__ == "__main__":
    sys.exit(script("configtool", body))
