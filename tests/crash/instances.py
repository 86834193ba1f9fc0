#!/usr/bin/env python3
"""Several processes at once: two quillon-run started at the same moment must take turns through
the registry semaphore (one backs up, the other waits and then finds nothing left to save; both end,
nothing is lost). That processes writing one hive at once lose no write is the hive's own tests' matter.
"""
import concurrent.futures
import os
import random
import sys
import time

from harness import MACHINE_KEY, Harness, check, check_equal, read, script


def race(harness, round_number):
    """Starts two runs at once; answers the seconds until both ended."""
    traces = [os.path.join(harness.work, "trace-%d%s.txt" % (round_number, name)) for name in "ab"]
    began = time.monotonic()
    # Neither start clears the semaphore, which the first run may hold already. A run that does not end
    # within 120 s is killed and fails the round.
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        outputs = list(pool.map(lambda trace: harness.run(env=dict(harness.env, QUILLON_TRACE=trace), clear=False,
                                                          timeout=120), traces))
    elapsed = time.monotonic() - began
    # Taking turns, only the first run finds the changes; the second finds them saved already.
    check(sorted(("saved." in o, "No changed file found." in o) for o in outputs) ==
          [(False, True), (True, False)],
          "round %d: the runs did not take turns:\n--- a:\n%s\n--- b:\n%s" % (round_number, *outputs))
    check(any(b"Waiting for Semaphore" in read(trace) for trace in traces),
          "round %d: neither run waited for the semaphore" % round_number)
    check_equal(harness.dword(MACHINE_KEY, "Semaphore"), "0x0", "round %d: the semaphore" % round_number)
    harness.check_complete()
    return elapsed


def body(args, work):
    harness = Harness(args.bin, work, random.Random(5), 15)
    harness.configure(error_log=os.path.join(work, "run.log"))
    times = []
    for round_number in range(args.rounds):
        times.append(race(harness, round_number))
        harness.mutate()
    print("instances: %d rounds of two runs at once took turns (%s s)" %
          (args.rounds, ", ".join("%.1f" % t for t in times)))


if __name__ == "__main__":
    sys.exit(script("instances", body, rounds=2))
