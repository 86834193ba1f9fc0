#!/usr/bin/env python3
"""Crash consistency of quillon-run: kills the program with SIGKILL at seeded random moments of a
backup (plain files and compressed sets, part of both trees changed each round), checks what the killed
run left (control files parse, hives sound, no set holds content the source never had), runs it again to
its end and checks that every file is recoverable (Harness.check_complete).

With --large-mb, one large file per path is rewritten in every round, so that many kills land while
its copy is being written over the copy an earlier run of the same day made."""
import random
import subprocess
import sys
import time

from harness import Failure, Harness, check, script


def body(args, work):
    harness = Harness(args.bin, work, random.Random(args.seed), args.files, args.large_mb)
    harness.configure()
    full = harness.run_to_end()
    harness.check_complete()
    harness.mutate()
    pass_time = harness.run_to_end()
    harness.check_complete()
    print("crashtest: seed %d, %d files per path, large files up to %d MB, full run %.2f s, changed run %.2f s" %
          (args.seed, args.files, args.large_mb, full, pass_time))
    hits = attempts = cut_off = 0  # cut_off: kills that left a copy or an archive half written
    while hits < args.kills and attempts < 3 * args.kills:
        attempts += 1
        harness.mutate()
        # The kills aim within the time a pass takes (a little less: the first moments of a run vary
        # least), so that few of them come after the program has ended.
        delay = harness.rng.uniform(0.0, 0.9 * pass_time)
        began = time.monotonic()
        process = harness.start()
        try:
            process.wait(delay)
            # Ended before the kill: the pass time was measured on a busier machine. Aim within this run's.
            pass_time = min(pass_time, time.monotonic() - began)
        except subprocess.TimeoutExpired:  # the kill hits a running program
            process.kill()
            process.wait()
            hits += 1
        try:
            cut_off += harness.check_after_kill() > 0
            harness.run_to_end()
            harness.check_complete()
        except Failure as failure:
            raise Failure("seed %d, kill %d after %.3f s: %s" % (args.seed, attempts, delay, failure))
    print("crashtest: %d kills hit a running program (%d of them in the middle of a copy or an archive), "
          "%d rounds in all, every check passed" % (hits, cut_off, attempts))
    check(hits >= args.kills, "only %d of %d kills hit a running program" % (hits, args.kills))


if __name__ == "__main__":
    sys.exit(script("crashtest", body, kills=50, seed=1, files=120, large_mb=0))
