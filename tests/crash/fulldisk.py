#!/usr/bin/env python3
"""Full disks: the destination and the staging folder of quillon-run on a small tmpfs in a private
mount namespace. A pass that runs out of space must stop with the disk error, delete the set it began
and keep the control file as it was; the next run with space must complete and leave every file
recoverable (the checks of crashtest.py).

    fulldisk.py BIN_DIR [--seed S] [--keep]
Exit status 0 when every check passed, 77 when a private mount namespace is not permitted (skipped).
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crashtest import run_in_work_folder, SET_NAME, Failure, Harness  # noqa: E402

SKIPPED = 77


def mount_tmpfs(folder, megabytes, remount=False):
    options = ("remount,size=%dk" if remount else "size=%dk") % (megabytes * 1024)
    subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", folder], check=True)


def used_kb(folder):
    stats = os.statvfs(folder)
    return (stats.f_blocks - stats.f_bfree) * stats.f_frsize // 1024


def sets_of(harness):
    return {name: sorted(d for d in os.listdir(dest) if SET_NAME.match(d))
            for name, dest in harness.dests.items()}


def controls_of(harness):
    found = {}
    for name, dest in harness.dests.items():
        with open(os.path.join(dest, "Quillon.txt"), "rb") as f:
            found[name] = f.read()
    return found


def run(bin_dir, work, seed):
    rng = random.Random(seed)
    disk = os.path.join(work, "disk")
    os.makedirs(disk)
    mount_tmpfs(disk, 256)
    harness = Harness(bin_dir, work, rng, 40)
    # Destination and staging folder (drive C:) both on the small disk.
    os.makedirs(os.path.join(disk, "drive_c"))
    os.replace(os.path.join(work, "dosdevices", "c:"), os.path.join(work, "c-old"))
    os.symlink(os.path.join(disk, "drive_c"), os.path.join(work, "dosdevices", "c:"))
    for name in harness.dests:
        harness.dests[name] = os.path.join(disk, "backup", name)
    harness.configure()
    harness.generate()
    harness.run_to_end()
    harness.check_complete()
    before_sets, before_controls = sets_of(harness), controls_of(harness)

    # Today's changes do not fit: about 6 MB of new content against 1 MB of space left.
    now = time.time()
    for name, root in harness.sources.items():
        for i in range(3):
            path = os.path.join(root, "big", "today%d.bin" % i)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(rng.randbytes(1_000_000))
            harness.record_version(path)
            os.utime(path, (now, now))
    mount_tmpfs(disk, used_kb(disk) // 1024 + 1, remount=True)
    process = subprocess.run([os.path.join(bin_dir, "quillon-run")], env=harness.env, cwd=work,
                             capture_output=True, timeout=300)
    output = (process.stdout + process.stderr).decode("latin-1")
    if "space" not in output.lower() and "full" not in output.lower():
        raise Failure("the run out of space does not say so:\n" + output)
    if sets_of(harness) != before_sets:
        left = {name: {d: sorted(os.listdir(os.path.join(harness.dests[name], d))) for d in sets}
                for name, sets in sets_of(harness).items()}
        raise Failure("an incomplete set was left: %s, before %s\n%s" % (left, before_sets, output))
    for name, data in controls_of(harness).items():
        harness.read_control(os.path.join(harness.dests[name], "Quillon.txt"), harness.sources[name])
        if data != before_controls[name]:
            # A new control file is fine only if it still lists exactly the sets on disk.
            sets, _ = harness.read_control(os.path.join(harness.dests[name], "Quillon.txt"),
                                           harness.sources[name])
            if sets != before_sets[name]:
                raise Failure("%s: control file lists %s, sets on disk %s" % (name, sets, before_sets[name]))
    harness.check_hives()

    # With space again the next run stores everything.
    mount_tmpfs(disk, 256, remount=True)
    harness.run_to_end()
    harness.check_complete()
    print("fulldisk: the run out of space stopped, kept no incomplete set; the next run completed")
    print("fulldisk: the program said: " + " | ".join(l.strip() for l in output.splitlines() if l.strip()))


def run_on_small_disk(name, args, body):
    """Runs body(work) inside a private mount namespace, so that the small disk it mounts below the work
    folder goes with it: the script starts itself again inside one (args.inside). Returns the exit
    status; SKIPPED where such a namespace is not permitted."""
    if not args.inside:
        probe = subprocess.run(["unshare", "-m", "--propagation", "private", "true"], capture_output=True)
        if probe.returncode != 0:
            print("%s: skipped, a private mount namespace is not permitted here" % name)
            return SKIPPED
        return subprocess.run(["unshare", "-m", "--propagation", "private", sys.executable,
                               os.path.abspath(sys.argv[0]), *sys.argv[1:], "--inside"]).returncode

    def unmount(work, kept):
        disk = os.path.join(work, "disk")
        if kept and os.path.ismount(disk):
            shutil.copytree(disk, os.path.join(work, "disk-copy"), symlinks=True)
            print("%s: the disk is kept as disk-copy" % name, file=sys.stderr)
        subprocess.run(["umount", disk], capture_output=True)

    return run_in_work_folder(name, args.keep, body, unmount)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("bin")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    return run_on_small_disk("fulldisk", args, lambda work: run(os.path.abspath(args.bin), work, args.seed))


if __name__ == "__main__":
    sys.exit(main())
