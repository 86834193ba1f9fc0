#!/usr/bin/env python3
"""A disk that fills at every moment of a small run: the destination, the staging folder and the
error log on one tmpfs of a private mount namespace, with 0, 1, 2 ... pages left free before a run
that changes a few files. Whichever write meets the full disk (a copy, an archive, the new control
file, its copy in the set, the error log), the run must end and say so, each control file must be
either the old one or a whole new one that lists exactly the sets on disk, the old lines of the
error log must stay, and the next run with space must leave every file recoverable.

    fulldisksweep.py BIN_DIR [--pages N] [--seed S] [--keep]
Exit status 0 when every check passed, 77 when a private mount namespace is not permitted (skipped).
"""
import argparse
import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crashtest import SET_NAME, Failure, Harness  # noqa: E402
from fulldisk import mount_tmpfs, run_on_small_disk  # noqa: E402

PAGE = 4096


def fill(disk, filler, pages_free):
    """Grows or shrinks the filler file so that exactly pages_free pages stay free."""
    try:
        os.remove(filler)
    except FileNotFoundError:
        pass
    stats = os.statvfs(disk)
    free = stats.f_bavail * stats.f_frsize
    with open(filler, "wb") as f:
        f.write(b"\xaa" * max(0, free - pages_free * PAGE))


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def sweep(harness, disk, log_path, pages):
    filler = os.path.join(disk, "filler")
    outcomes = []
    for free in range(pages + 1):
        now = time.time() - 60 * (pages - free + 1)
        for name, root in harness.sources.items():
            for i in range(3):
                path = os.path.join(root, "d%d" % i, "changed%d.bin" % i)
                with open(path, "wb") as f:
                    f.write(harness.rng.randbytes(harness.rng.randint(100, 6000)))
                harness.record_version(path)
                os.utime(path, (now, now))
        controls = {name: read(os.path.join(dest, "Quillon.txt")) for name, dest in harness.dests.items()}
        old_log = read(log_path) or b""
        fill(disk, filler, free)
        process = subprocess.run([os.path.join(harness.bin, "quillon-run")], env=harness.env,
                                 cwd=harness.work, capture_output=True, timeout=300)
        output = (process.stdout + process.stderr).decode("latin-1")
        where = "%d pages free" % free
        # A run that met the full disk completes with errors (status 1); one that had room, with 0.
        if process.returncode not in (0, 1):
            raise Failure("%s: quillon-run ended with %d:\n%s" % (where, process.returncode, output))
        for name, dest in harness.dests.items():
            data = read(os.path.join(dest, "Quillon.txt"))
            if data == controls[name]:
                continue
            try:
                sets, files = harness.read_control(os.path.join(dest, "Quillon.txt"), harness.sources[name])
            except Failure as failure:
                raise Failure("%s: %s" % (where, failure))
            on_disk = sorted(d for d in os.listdir(dest) if SET_NAME.match(d))
            if sets != on_disk:
                raise Failure("%s: %s control file lists %s, on disk %s" % (where, name, sets, on_disk))
        log = read(log_path) or b""
        if not log.startswith(old_log):
            raise Failure("%s: the error log lost its old lines" % where)
        failed = "Errors" in output or "space" in output.lower()
        if not failed and "saved" not in output:
            raise Failure("%s: the run says neither what it saved nor what failed:\n%s" % (where, output))
        # Where the disk filled, as far as the log tells (an error log that could not be written
        # tells nothing new).
        added = log[len(old_log):]
        stage = ("control" if b"Control" in added or b"Controlfile" in added else
                 "copy" if b"Error" in added else "unlogged" if failed else "ok")
        outcomes.append("%d:%s" % (free, stage))
        os.remove(filler)
        harness.check_hives()
        harness.run_to_end()
        try:
            harness.check_complete()
        except Failure as failure:
            raise Failure("%s, the run after it: %s" % (where, failure))
    return outcomes


def run(bin_dir, work, seed, pages):
    disk = os.path.join(work, "disk")
    os.makedirs(disk)
    mount_tmpfs(disk, 64)
    harness = Harness(bin_dir, work, random.Random(seed), 12)
    os.makedirs(os.path.join(disk, "drive_c"))
    os.replace(os.path.join(work, "dosdevices", "c:"), os.path.join(work, "c-old"))
    os.symlink(os.path.join(disk, "drive_c"), os.path.join(work, "dosdevices", "c:"))
    for name in harness.dests:
        harness.dests[name] = os.path.join(disk, "backup", name)
    harness.configure()
    log_path = os.path.join(disk, "run.log")
    harness.reg("add", r"HKCU\Software\Norrow\Quillon\Settings", "/v", "ErrorLogPath", "/d",
                "Z:" + log_path.replace("/", "\\"), "/f")
    harness.generate()
    harness.run_to_end()
    harness.check_complete()
    began = time.monotonic()
    outcomes = sweep(harness, disk, log_path, pages)
    print("fulldisksweep: %d runs with 0..%d pages free, each followed by a complete run (%.0f s): %s" %
          (len(outcomes), pages, time.monotonic() - began, " ".join(outcomes)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("bin")
    parser.add_argument("--pages", type=int, default=8)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    return run_on_small_disk("fulldisksweep", args,
                             lambda work: run(os.path.abspath(args.bin), work, args.seed, args.pages))


if __name__ == "__main__":
    sys.exit(main())
