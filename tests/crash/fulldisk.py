#!/usr/bin/env python3
"""Full disks: the destinations, the staging folder and the error log of quillon-run on a small tmpfs
in a private mount namespace. Runs of a few changed files with 0, 1, ... --sweep pages left free, so
that every write of a small run (a copy, an archive, the new control file, its copy in the set, the
error log) meets the full disk once; with none free, the run must say it ran out of space. Each run
must end, keep no incomplete set, leave a control file that lists exactly the sets on disk and keep the
old lines of the error log; the next run with space must leave every file recoverable. (That a set a
full disk left incomplete goes is the backup pass's tests' matter too.) Exit status 77 when a private
mount namespace is not permitted (skipped)."""
import os
import random
import shutil
import subprocess
import sys
import time

from harness import Failure, Harness, check, check_equal, read, script, set_folders, write

PAGE = 4096


def full_run(harness, log, filler, free):
    """A run with free pages left, the checks of what it left, then a run with the room that removing the
    filler gives back; answers where the disk filled, as far as the error log tells."""
    before = {name: set_folders(dest) for name, dest in harness.dests.items()}
    old_log = read(log) or b""
    # A run that met the full disk completes with errors (status 1); one that had room, with 0.
    output = harness.run(expect=(0, 1))
    added = read(log) or b""
    failed = "Errors" in output or "space" in output.lower()
    try:
        for name, dest in harness.dests.items():
            check_equal((set_folders(dest), harness.read_control(name)[0]), (before[name],) * 2,
                        "%s: the sets on disk and listed\n%s" % (name, output))
        check(added.startswith(old_log), "the error log lost its old lines")
        check(("space" in output.lower() or free > 0) and (failed or "saved" in output),
              "the run does not say it ran out of space, or what it saved or failed:\n%s" % output)
        harness.check_hives()
        os.remove(filler)
        harness.run_to_end()
        harness.check_complete()
    except Failure as failure:
        raise Failure("%d pages free: %s" % (free, failure))
    added = added[len(old_log):]
    return ("control" if b"Control" in added else "copy" if b"Error" in added else
            "unlogged" if failed else "ok")


def body(args, work):
    disk = os.path.join(work, "disk")
    os.makedirs(disk)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64m", "tmpfs", disk], check=True)
    harness = Harness(args.bin, work, random.Random(args.seed), 12)
    harness.move_to_disk(disk)
    log = os.path.join(disk, "run.log")
    harness.configure(error_log=log)
    harness.run_to_end()
    harness.check_complete()
    filler = os.path.join(disk, "filler")
    began = time.monotonic()
    outcomes = []
    for free in range(args.sweep + 1):
        now = time.time() - 60 * (args.sweep - free + 1)
        for name, root in harness.sources.items():
            for i in range(3):
                path = os.path.join(root, "d%d" % i, "changed%d.bin" % i)
                harness.write_file(path, harness.rng.randint(100, 6000), now)
        # The filler, removed after each run, leaves exactly free pages free.
        stats = os.statvfs(disk)
        write(filler, b"\xaa" * max(0, stats.f_bavail * stats.f_frsize - free * PAGE))
        outcomes.append("%d:%s" % (free, full_run(harness, log, filler, free)))
    print("fulldisk: %d runs with 0..%d pages free, each followed by a complete run (%.0f s): %s" %
          (len(outcomes), args.sweep, time.monotonic() - began, " ".join(outcomes)))


def unmount(work, kept):
    disk = os.path.join(work, "disk")
    if kept and os.path.ismount(disk):
        shutil.copytree(disk, os.path.join(work, "disk-copy"), symlinks=True)
        print("fulldisk: the disk is kept as disk-copy", file=sys.stderr)
    subprocess.run(["umount", disk], capture_output=True)


if __name__ == "__main__":
    # The small disk goes with a private mount namespace: the script starts itself again inside one.
    if "--inside" not in sys.argv:
        namespace = ["unshare", "-m", "--propagation", "private"]
        if subprocess.run(namespace + ["true"], capture_output=True).returncode != 0:
            print("fulldisk: skipped, a private mount namespace is not permitted here")
            sys.exit(77)
        sys.exit(subprocess.run(namespace + [sys.executable, os.path.abspath(sys.argv[0]), *sys.argv[1:],
                                             "--inside"]).returncode)
    sys.exit(script("fulldisk", body, unmount, seed=1, sweep=6))
