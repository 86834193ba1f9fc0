#!/usr/bin/env python3
"""Several processes at once: two quillon-run started at the same moment must take turns through
the registry semaphore (one backs up, the other waits and then finds nothing left to save; both end,
nothing is lost), and two quillon-reg writing one hive in a tight loop must lose no write and leave
the hive sound.

    instances.py BIN_DIR [--rounds N] [--writes N] [--keep]
Exit status 0 when every check passed.
"""
import argparse
import os
import random
import sqlite3
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crashtest import run_in_work_folder, Failure, Harness  # noqa: E402

SEMAPHORE = r"HKLM\Software\Norrow\Quillon"


def race(harness, round_number):
    """Starts two runs at once; answers the seconds until both ended."""
    processes = []
    began = time.monotonic()
    for name in "ab":
        env = dict(harness.env, QUILLON_TRACE=os.path.join(harness.work, "trace-%d%s.txt" % (round_number, name)))
        processes.append(subprocess.Popen([os.path.join(harness.bin, "quillon-run")], env=env,
                                          cwd=harness.work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT))
    outputs = []
    for process in processes:
        try:
            out, _ = process.communicate(timeout=120)
        except subprocess.TimeoutExpired:
            for other in processes:
                other.kill()
            raise Failure("round %d: a run did not end within 120 s" % round_number)
        if process.returncode != 0:
            raise Failure("round %d: quillon-run ended with %d" % (round_number, process.returncode))
        outputs.append(out.decode("latin-1"))
    elapsed = time.monotonic() - began
    # Taking turns, only the first run finds the changes; the second finds them saved already.
    saved = [o for o in outputs if "saved." in o]
    quiet = [o for o in outputs if "No changed file found." in o]
    if len(saved) != 1 or len(quiet) != 1:
        raise Failure("round %d: the runs did not take turns:\n--- a:\n%s\n--- b:\n%s" %
                      (round_number, outputs[0], outputs[1]))
    traces = ""
    for name in "ab":
        with open(os.path.join(harness.work, "trace-%d%s.txt" % (round_number, name)), "rb") as f:
            traces += f.read().decode("latin-1")
    if "Waiting for Semaphore" not in traces:
        raise Failure("round %d: neither run waited for the semaphore" % round_number)
    value = harness.reg("query", SEMAPHORE, "/v", "Semaphore")
    if b"0x0" not in value:
        raise Failure("round %d: the semaphore is left taken: %r" % (round_number, value))
    harness.check_complete()
    return elapsed


def writers(harness, count):
    """Two quillon-reg processes add count values each to one key, interleaved."""
    key = r"HKCU\Software\Norrow\Race"
    script = 'for i in $(seq 1 %d); do "$0" add "%s" /v "$1$i" /d "$1$i" /f >/dev/null || exit 1; done' % (count, key)
    reg = os.path.join(harness.bin, "quillon-reg")
    processes = [subprocess.Popen(["bash", "-c", script, reg, tag], env=harness.env) for tag in ("a", "b")]
    if any(process.wait(timeout=300) != 0 for process in processes):
        raise Failure("a registry writer failed")
    listing = harness.reg("query", key).decode("latin-1")
    missing = [tag + str(i) for tag in "ab" for i in range(1, count + 1)
               if "    %s%d    REG_SZ    %s%d" % (tag, i, tag, i) not in listing]
    if missing:
        raise Failure("lost registry writes: %s" % missing[:10])
    with sqlite3.connect(os.path.join(harness.work, "user.hive")) as db:
        verdict = db.execute("PRAGMA integrity_check").fetchone()[0]
    if verdict != "ok":
        raise Failure("user hive damaged: %s" % verdict)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("bin")
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--writes", type=int, default=150, help="values each registry writer adds")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    def body(work):
        rng = random.Random(5)
        harness = Harness(os.path.abspath(args.bin), work, rng, 15)
        harness.configure()
        harness.reg("add", r"HKCU\Software\Norrow\Quillon\Settings", "/v", "ErrorLogPath", "/d",
                    "Z:" + os.path.join(work, "run.log").replace("/", "\\"), "/f")
        harness.generate()
        times = []
        for round_number in range(args.rounds):
            times.append(race(harness, round_number))
            harness.mutate()
        began = time.monotonic()
        writers(harness, args.writes)
        print("instances: %d rounds of two runs at once took turns (%s s); 2 x %d registry writes in %.1f s, "
              "none lost" % (args.rounds, ", ".join("%.1f" % t for t in times), args.writes,
                             time.monotonic() - began))

    return run_in_work_folder("instances", args.keep, body)


if __name__ == "__main__":
    sys.exit(main())
