#!/usr/bin/env python3
"""A source the program cannot read, through real runs of quillon-run as an unprivileged user: a file
of mode 000 in both trees (plain files and compressed sets) is named in the error log with its error and
in the list of files not copied and marked to be copied again ('E'), every other file is stored, and the
run ends with errors. (That the next run copies such a file, and a source folder that is not there at
all, are the backup pass's tests' matter: they need no other user.) Exit status 77 when no
unprivileged run can be made (not root, no setpriv)."""
import os
import random
import shutil
import subprocess
import sys

from harness import DYN_DATA, Harness, check, check_equal, read, script, win


def open_up(work):
    """Everything in the work folder becomes usable by any user, except the files meant to be
    unreadable (mode 000). Links are left alone: a chmod follows them, and the drive map's z: would
    open up / itself."""
    subprocess.run(["find", work, "(", "-type", "d", "-o", "-type", "f", "!", "-perm", "000", ")",
                    "-exec", "chmod", "a+rwX", "{}", "+"], check=True)


def run(harness):
    """One run to its end as the unprivileged user; answers its output and the run status it recorded.
    A run that ends with errors may say so in its exit status; anything beyond that is a failure."""
    harness.clear_semaphore()  # before the hives are opened up
    open_up(harness.work)
    output = harness.run(expect=(0, 1), env=dict(harness.env, HOME=harness.work), clear=False,
                         prefix=["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"])
    return output, harness.dword(DYN_DATA, "LastRunStatus")


def body(args, work):
    harness = Harness(args.bin, work, random.Random(5), 8)
    log = os.path.join(work, "QuillonRun.Log")
    harness.configure(error_log=log)
    run(harness)
    harness.check_complete()
    locked = os.path.join("d0", "f0000.bin")  # the first file of the walk: every other comes after it
    for name, root in harness.sources.items():  # the changes of the next run get their own minutes
        for rel in harness.source_files(name):
            harness.write_file(os.path.join(root, rel))
        os.chmod(os.path.join(root, locked), 0)
    output, status = run(harness)
    text = read(log).decode("latin-1")
    for name in harness.sources:
        source = win(os.path.join(harness.sources[name], locked))
        found = (harness.check_stored(name, left_out=locked).get(locked), source in text, source in output)
        check_equal(found, ("E", True, True), "%s: the unreadable file's mark, named in the error log, in the "
                    "list of files not copied:\n%s\n%s" % (name, text, output))
    check("Error   5:" in text and status == "0x2", "recorded status %s, logged:\n%s" % (status, text))
    print("sourceaccess: every check passed")


if __name__ == "__main__":
    if os.geteuid() != 0 or shutil.which("setpriv") is None:
        print("sourceaccess: skipped: unprivileged runs need root and setpriv", file=sys.stderr)
        sys.exit(77)
    sys.exit(script("sourceaccess", body))
