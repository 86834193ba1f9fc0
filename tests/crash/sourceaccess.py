#!/usr/bin/env python3
"""A source the program cannot read, through real runs of quillon-run:

  - run as an unprivileged user over trees (plain files and compressed sets) that hold a file of mode
    000: the file is named in the error log with its error and in the list of files not copied, its
    line is marked to be copied again ('E'), every other file is stored, and the run ends with errors;
    once the file is readable, the next run stores it;
  - a source folder that is not there (a typo, a disk not mounted): one error-log line names it, the
    run ends with errors, the path's control file and sets stay as they were and the other paths are
    backed up.

    sourceaccess.py BIN_DIR [--keep]
Exit status 0 when every check passed, 77 when no unprivileged run can be made (not root, no setpriv).
"""
import argparse
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crashtest import run_in_work_folder, win, Failure, Harness, SetContents, SET_NAME  # noqa: E402

NOBODY = "65534"
DYN_DATA = r"HKCU\Software\Norrow\Quillon\DynData"


class Runs:
    """Runs of the program as the unprivileged user, over a harness whose work folder it may use."""

    def __init__(self, harness):
        self.harness = harness
        self.log = os.path.join(harness.work, "QuillonRun.Log")
        harness.reg("add", r"HKCU\Software\Norrow\Quillon\Settings", "/v", "ErrorLogPath", "/d", win(self.log),
                    "/f")

    def open_up(self):
        """Everything in the work folder becomes usable by any user, except the files meant to be
        unreadable (mode 000)."""
        os.chmod(self.harness.work, 0o777)
        for folder, dirs, files in os.walk(self.harness.work):
            for name in dirs + files:
                path = os.path.join(folder, name)
                # A chmod follows a link: the drive map's z: would open up / itself.
                if os.path.islink(path):
                    continue
                if name in dirs:
                    os.chmod(path, 0o777)
                elif os.stat(path).st_mode & 0o777:
                    os.chmod(path, 0o666)

    def run(self, unprivileged=True):
        """One run to its end; answers its output and the run status it recorded."""
        self.harness.reg("add", r"HKLM\Software\Norrow\Quillon", "/v", "Semaphore", "/t", "REG_DWORD", "/d",
                         "0", "/f")
        self.open_up()
        command = [os.path.join(self.harness.bin, "quillon-run")]
        if unprivileged:
            command = ["setpriv", "--reuid=" + NOBODY, "--regid=" + NOBODY, "--clear-groups"] + command
        env = dict(self.harness.env, HOME=self.harness.work)
        process = subprocess.run(command, env=env, cwd=self.harness.work, capture_output=True, timeout=300)
        output = (process.stdout + process.stderr).decode("latin-1")
        # A run that ends with errors may say so in its exit status; anything beyond that is a failure.
        if process.returncode not in (0, 1):
            raise Failure("quillon-run ended with %d:\n%s" % (process.returncode, output))
        status = self.harness.reg("query", DYN_DATA, "/v", "LastRunStatus").decode()
        return output, status.split()[-1] if "LastRunStatus" in status else None

    def log_text(self):
        if not os.path.exists(self.log):
            return ""
        with open(self.log, "rb") as f:
            return f.read().decode("latin-1")


def stored_elsewhere(harness, name, left_out):
    """Every file of the source but left_out is in a set with its current content; answers the lines of
    the control file by relative path."""
    root, dest = harness.sources[name], harness.dests[name]
    _, files = harness.read_control(os.path.join(dest, "Quillon.txt"), root)
    folders = sorted((d for d in os.listdir(dest) if SET_NAME.match(d)), reverse=True)
    contents = [SetContents(os.path.join(dest, d)) for d in folders]
    for rel in harness.source_files(name):
        if rel == left_out:
            continue
        with open(os.path.join(root, rel), "rb") as f:
            current = f.read()
        holder = next((c for c in contents if c.has(rel)), None)
        if holder is None or holder.read(rel) != current:
            raise Failure("%s/%s is not stored, though only %s is unreadable" % (name, rel, left_out))
    return {rel: mark for mark, _, rel in files}


def destination_state(harness, name):
    dest = harness.dests[name]
    state = {}
    for folder, _, files in os.walk(dest):
        for file in files:
            path = os.path.join(folder, file)
            with open(path, "rb") as f:
                state[os.path.relpath(path, dest)] = f.read()
    return state


def unreadable_file(harness, runs):
    locked = os.path.join("d0", "f0000.bin")  # the first file of the walk: every other comes after it
    for name in harness.sources:
        os.chmod(os.path.join(harness.sources[name], locked), 0)
    output, status = runs.run()
    log = runs.log_text()
    for name in harness.sources:
        lines = stored_elsewhere(harness, name, locked)
        if lines.get(locked) != "E":
            raise Failure("%s: the unreadable file is recorded as %r, not to be copied again" %
                          (name, lines.get(locked)))
        source = win(os.path.join(harness.sources[name], locked))
        if source not in log or source not in output:
            raise Failure("%s: the unreadable file is not named in the error log and the list of files "
                          "not copied:\n%s\n%s" % (name, log, output))
    if "Error   5:" not in log:
        raise Failure("the error log does not give the error of the unreadable file:\n" + log)
    if status != "0x2":
        raise Failure("a run that left a file out recorded the status %s" % status)

    for name in harness.sources:
        os.chmod(os.path.join(harness.sources[name], locked), 0o644)
    _, status = runs.run()
    harness.check_complete()
    for name in harness.sources:
        if stored_elsewhere(harness, name, None).get(locked) != "X":
            raise Failure("%s: the file readable again was not stored" % name)


def missing_source(harness, runs):
    plain = harness.sources["plain"]
    before = destination_state(harness, "plain")
    log_before = runs.log_text()
    away = plain + ".unmounted"
    os.rename(plain, away)
    harness.write_file(os.path.join(harness.sources["zip"], "d1", "changed.bin"))
    _, status = runs.run()
    if destination_state(harness, "plain") != before:
        raise Failure("the run changed the destination of a source that is not there")
    new_lines = runs.log_text()[len(log_before):].splitlines()
    naming = [line for line in new_lines if win(plain) in line]
    if len(naming) != 1 or "not backed up" not in naming[0]:
        raise Failure("the error log does not name the missing source once:\n" + "\n".join(new_lines))
    if status != "0x2":
        raise Failure("a run with a missing source recorded the status %s" % status)
    stored_elsewhere(harness, "zip", None)  # the other path was backed up all the same

    os.rename(away, plain)
    _, status = runs.run()
    harness.check_complete()
    if status not in ("0x0", "0x1"):  # no errors: saved, or nothing changed
        raise Failure("the run after the source came back recorded the status %s" % status)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("bin")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        print("sourceaccess: skipped: unprivileged runs need root and setpriv", file=sys.stderr)
        return 77
    bin_dir = os.path.abspath(args.bin)
    if not os.access(os.path.join(bin_dir, "quillon-run"), os.X_OK):
        raise SystemExit("no quillon-run in " + bin_dir)

    def body(work):
        harness = Harness(bin_dir, work, random.Random(5), 8)
        harness.configure()
        harness.generate()
        runs = Runs(harness)
        runs.run()
        harness.check_complete()
        for name in harness.sources:  # the changes of the next runs get their own minutes
            for rel in harness.source_files(name):
                harness.write_file(os.path.join(harness.sources[name], rel))
        unreadable_file(harness, runs)
        missing_source(harness, runs)
        print("sourceaccess: every check passed")

    return run_in_work_folder("sourceaccess", args.keep, body)


if __name__ == "__main__":
    sys.exit(main())
