#!/usr/bin/env python3
"""quillon-restore over real runs of quillon-run: a plain and a compressed source path backed up on
five days (the file times and the paths' last run put back, so that each run makes the set of its
day), with a second pass on day 3 and retention that deletes the oldest sets before day 5. Restore as
of each day rebuilds exactly that day's tree (contents, times, permission bits and links); files,
versions and sets name what holds each copy; files whose only copy went are "no copy left"; verify
finds damaged entries and missing sets; existing files are kept without --overwrite; crafted control
files, archives and links in the target write nothing outside it; and the tool needs no hive, drive
map or home of its own."""
import os
import random
import sys
import time
import zipfile

from harness import CONFIG_KEY, Harness, check, check_equal, read, read_tree, script, write

DAYS = 5


def day_start(days_ago):
    """Local midnight of the day days_ago before today."""
    t = time.localtime(time.time() - days_ago * 86400)
    return int(time.mktime((t.tm_year, t.tm_mon, t.tm_mday, 0, 0, 0, 0, 0, -1)))


def day_name(days_ago):
    return time.strftime("%Y-%m-%d", time.localtime(day_start(days_ago) + 12 * 3600))


class Scenario:
    def __init__(self, harness, work):
        self.h = harness
        self.work = work
        self.snapshots = {name: {} for name in harness.sources}  # name -> day -> {rel: (bytes, mtime)}
        self.minute = 0

    def write(self, name, rel, day):
        """New content (at least 100 bytes: the damage test flips one inside) at a minute of day's morning."""
        self.minute += 1
        self.h.write_file(os.path.join(self.h.sources[name], rel), self.h.rng.randint(100, 12_000),
                          day_start(DAYS - day) + 9 * 3600 + 60 * self.minute)

    def run(self, day, edits, removals=()):
        """The edits and removals in both trees, then one run of quillon-run that makes (or adds to) the set
        of the day."""
        for name, root in self.h.sources.items():
            for rel in edits:
                self.write(name, rel, day)
            for rel in removals:
                os.remove(os.path.join(root, rel))
        for number in range(len(self.h.sources)):
            self.h.set_value(CONFIG_KEY + r"\Path%03d" % number, "LastRunTime", "2000-01-01 00:00:00")
        self.h.run_to_end()
        for name, root in self.h.sources.items():
            self.snapshots[name][day] = read_tree(root, True)

    def tool(self, *args, env=None, expect=0):
        return self.h.tool("quillon-restore", *args, env=env, expect=expect)

    def restore_day(self, name, day, expected, no_copy=()):
        target = os.path.join(self.work, "restored", "%s-%d" % (name, day))
        out = self.tool("restore", self.h.dests[name], target, "--at", day_name(DAYS - day),
                        expect=1 if no_copy else 0)
        got = read_tree(target, True)
        want = {rel: value for rel, value in expected.items() if rel not in no_copy}
        check_equal(sorted(rel for rel in set(got) | set(want) if got.get(rel) != want.get(rel)), [],
                    "%s as of day %d: the files restored wrongly" % (name, day))
        check_equal((sorted(lines(out, "no copy left: ")), out.splitlines()[-1].split(" restored, ")[0]),
                    (sorted(no_copy), "%d files" % len(want)), "%s %d: no copy left, the summary" % (name, day))


def lines(out, head):
    """The rest of each line of out that begins with head."""
    return [line[len(head):] for line in out.splitlines() if line.startswith(head)]


def build_history(s):
    # Sets keep permission bits and links (archives in each entry's Unix mode), and so does a restore.
    outside = os.path.join(s.work, "outside-target.txt")
    write(outside, b"not below the source")
    stamp = day_start(DAYS - 1) + 8 * 3600
    for name, root in s.h.sources.items():
        for rel, mode in (("private/secret.txt", 0o600), ("tools/run.sh", 0o755)):
            s.write(name, rel, 1)
            os.chmod(os.path.join(root, rel), mode)
        for link, target in (("to-outside", outside), ("tools/inner-link", "../a.txt")):
            os.symlink(target, os.path.join(root, link))
            os.utime(os.path.join(root, link), (stamp, stamp), follow_symlinks=False)
    # Day 1: the first run, a full set. A source-root file named like the control file is stored
    # under another name and must come back under its own.
    s.run(1, ["a.txt", "b.txt", "c.txt", "keep/d.txt", "keep/e.txt", "deep/er/f.txt", "Quillon.txt"])
    s.run(2, ["a.txt", "new/g.txt"], removals=["b.txt"])
    # Day 3: two passes; the second stores c.txt again (the compressed set: in archive 001).
    s.run(3, ["c.txt"])
    s.run(3, ["c.txt", "keep/d.txt"])
    s.run(4, ["deep/er/f.txt"], removals=["new/g.txt"])


def check_each_day(s):
    for name in s.h.sources:
        for day in range(1, 5):
            s.restore_day(name, day, s.snapshots[name][day])


def check_listings(s):
    zip_dest, (day1, day2, day3, day4) = s.h.dests["zip"], [day_name(DAYS - day) for day in range(1, 5)]
    words = lambda *args: [line.split() for line in s.tool(*args).splitlines()]  # noqa: E731
    check_equal([line[:2] for line in words("versions", zip_dest, "c.txt")],
                [[day3, "QuillonData_001.Zip"], [day1, "QuillonData_000.Zip"]], "versions c.txt")
    files = {line[-1]: line[2:4] for line in words("files", zip_dest, "--at", day3)}
    check_equal((sorted(files), files.get("c.txt"), files.get("keep/e.txt")),
                (sorted(s.snapshots["zip"][3]), [day3, "QuillonData_001.Zip"], [day1, "QuillonData_000.Zip"]),
                "files as of day 3")
    check_equal([line[0] for line in words("versions", s.h.dests["plain"], "a.txt")], [day2, day1],
                "plain versions a.txt")
    check_equal([line[:2] + line[4:] for line in words("sets", zip_dest)],
                [[day1, "F", "1", "archive"], [day2, "I", "1", "archive"], [day3, "I", "2", "archives"],
                 [day4, "I", "1", "archive"]], "sets")
    outputs = [s.tool("verify", s.h.dests[name]) for name in s.h.sources]
    check(all(out.endswith("no problems found\n") for out in outputs), "verify: %s" % outputs)


def check_existing(s):
    """Existing files are kept and listed without --overwrite, replaced with it; from plain sets and
    from archives alike (the compressed day 3 archive 001 is unpacked straight into the target)."""
    for name in s.h.sources:
        target = os.path.join(s.work, "restored", "existing-" + name)
        dest = s.h.dests[name]
        s.tool("restore", dest, target)
        for rel in ("a.txt", "c.txt"):
            write(os.path.join(target, rel), b"the user's")
        out = s.tool("restore", dest, target, expect=1)
        check_equal(sorted(lines(out, "exists, not overwritten: ")), sorted(s.snapshots[name][4]), name)
        check_equal([read(os.path.join(target, rel)) for rel in ("a.txt", "c.txt")], [b"the user's"] * 2,
                    name + ": a.txt and c.txt without --overwrite")
        s.tool("restore", dest, target, "--overwrite")
        check(read_tree(target, True) == s.snapshots[name][4], "%s: --overwrite did not restore the tree" % name)
    out = s.tool("restore", s.h.dests["plain"], os.path.join(s.work, "restored", "dry"), "--dry-run", "keep")
    check_equal((os.path.exists(os.path.join(s.work, "restored", "dry")), out.splitlines()[-1]),
                (False, "2 files to restore"), "--dry-run: the target written, the summary")


def check_retention(s):
    """Day 5 with retention keeping 3 sets: day 1 and 2 go, and with them the only copies of the files
    that did not change after day 1 (b.txt is gone from the source, so it is no loss)."""
    for number in range(len(s.h.sources)):
        s.h.set_value(CONFIG_KEY + r"\Path%03d" % number, "DelAfterBackups", 3)
    s.run(5, ["a.txt"])
    lost = {"keep/e.txt", "Quillon.txt", "private/secret.txt", "tools/run.sh", "to-outside", "tools/inner-link"}
    for name in s.h.sources:
        s.restore_day(name, 5, s.snapshots[name][5], no_copy=lost)
        out = s.tool("verify", s.h.dests[name], expect=1)
        check(sorted(lines(out, "no copy left: ")) == sorted(lost) and
              out.splitlines()[-1].endswith("%d problems found" % len(lost)), "verify %s: %s" % (name, out))


def check_damage(s):
    """A damaged archive entry and a missing set folder are found, and the other files still restore."""
    dest = s.h.dests["zip"]
    archive = os.path.join(dest, day_name(DAYS - 3), "QuillonData_001.Zip")
    with zipfile.ZipFile(archive) as z:
        info = z.getinfo("c.txt")
    data = bytearray(read(archive))
    data[info.header_offset + 30 + len(info.filename.encode()) + len(info.extra) + 5] ^= 0xFF
    write(archive, data)
    out = s.tool("verify", dest, expect=1)
    check("damaged entry: %s/QuillonData_001.Zip: c.txt" % day_name(DAYS - 3) in out, "verify: %s" % out)
    target = os.path.join(s.work, "restored", "damaged")
    out = s.tool("restore", dest, target, "--at", day_name(DAYS - 3), expect=1)
    check_equal(("not restored: c.txt" in out, sorted(read_tree(target))),
                (True, ["keep/d.txt"]), "restored beside the damaged entry (days 1 and 2 are gone)")
    plain = s.h.dests["plain"]
    os.rename(os.path.join(plain, day_name(DAYS - 4)), os.path.join(s.work, "moved-away"))
    check("missing set folder: %s" % day_name(DAYS - 4) in s.tool("verify", plain, expect=1) and
          "missing" in s.tool("sets", plain, expect=1), "verify or sets do not report the missing set")


def check_hostile(s):
    """A control file and an archive written by someone else, with names that climb out. (That a copy
    from a plain set lands only below the target is the confined tree's tests' matter.)"""
    dest, outside, target = (os.path.join(s.work, rel) for rel in ("hostile", "outside", "restored/hostile"))
    os.makedirs(os.path.join(dest, "2020-01-02"))
    text = ["Quillon-Run -- Processing Time: 2020-01-02 10:00", "1 runs until full backup", "Z:\\src",
            "# ===== Saved Backups:", "2020-01-02 F         1 kBytes", "# ===== Files:"]
    names = ["..\\outside\\up.txt", "a\\..\\..\\outside\\mid.txt", "a/../../outside/slash.txt",
             "sub\\through-link.txt", "fine.txt"]
    text += ["X 2020-01-02 09:00  Z000  Z:\\%s" % path
             for path in ["src\\" + rel for rel in names] + ["elsewhere\\abs.txt"]]
    control = ("\r\n".join(text) + "\r\n").encode()
    write(os.path.join(dest, "Quillon.txt"), control)
    with zipfile.ZipFile(os.path.join(dest, "2020-01-02", "QuillonData_000.Zip"), "w") as z:
        z.writestr("Quillon.txt", control)
        for rel in names + ["../outside/entry.txt", "/tmp/abs-entry.txt"]:
            z.writestr(rel.replace("\\", "/"), b"hostile")
    for folder in (outside, target):
        os.makedirs(folder)
    os.symlink(outside, os.path.join(target, "sub"))
    out = s.tool("restore", dest, target, expect=1)
    found = (os.listdir(outside), os.path.exists("/tmp/abs-entry.txt"), sorted(os.listdir(target)),
             out.count("refused, it would lie outside the target: "),
             "not restored: sub/through-link.txt" in out)
    check_equal(found, ([], False, ["fine.txt", "sub"], 4, True), "outside, absolute, target, refused, link")


def check_without_configuration(s):
    home = os.path.join(s.work, "empty-home")
    os.makedirs(home)
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home}
    target = os.path.join(s.work, "restored", "bare")
    s.tool("restore", s.h.dests["zip"], target, "--at", day_name(DAYS - 4), "deep", "keep/d.*", env=env)
    check_equal((sorted(read_tree(target)), os.listdir(home)), (["deep/er/f.txt", "keep/d.txt"], []),
                "restored files and the home folder")
    s.tool("restore", s.h.dests["zip"], os.path.join(s.h.dests["zip"], "inside"), env=env, expect=2)
    check(not os.path.exists(os.path.join(s.h.dests["zip"], "inside")), "restored into the backup folder")
    check_equal(s.tool("sets", "/nonexistent/folder", env=env, expect=2), "", "output for a missing folder")


def body(args, work):
    s = Scenario(Harness(args.bin, work, random.Random(17)), work)
    s.h.configure()
    for step in (build_history, check_each_day, check_listings, check_existing, check_retention, check_damage,
                 check_hostile, check_without_configuration):
        step(s)
    print("restore: all checks passed")


if __name__ == "__main__":
    sys.exit(script("restore", body))
