#!/usr/bin/env python3
"""The system asks quillon-run to end: SIGTERM (kill, the service manager at logout), SIGINT (Ctrl-C)
or SIGHUP (the terminal closed), as real signals to the real program. A resident program waiting for
its scheduled time ends at once with status 0 and the semaphore untouched; during the first run over a
larger tree SIGTERM ends it promptly with status 143. Either way "RunningInstance" is -1 and the
semaphore free at once (no other program has to wait for it); after the run, the hives and control
files are sound and the next run completes with every file recoverable. (What the run's record then
holds is the termination tests' matter.) And two runs started at the same moment take turns through the
registry semaphore: one backs up, the other waits and then finds nothing left to save."""
import concurrent.futures
import os
import random
import signal
import subprocess
import sys
import time

from harness import CONFIG_KEY, DYN_DATA, MACHINE_KEY, Failure, Harness, check, check_equal, read, script


def start_and_wait_for(harness, trace, text, clear=False, timeout=60):
    """Starts a resident program with its trace at trace; answers it once the trace shows text."""
    process = harness.start("/W", env=dict(harness.env, QUILLON_TRACE=trace), clear=clear)
    deadline = time.monotonic() + timeout
    while text not in (read(trace) or b""):
        check(process.poll() is None, "ended (%s) before the trace showed %r" % (process.returncode, text))
        if time.monotonic() > deadline:
            process.kill()
            raise Failure("the trace did not show %r within %d s" % (text, timeout))
        time.sleep(0.02)
    return process


def end_with(harness, process, number, where, timeout=15):
    """Sends the signal; answers the exit status and the seconds until the end, once the instance and the
    semaphore are found free."""
    began = time.monotonic()
    process.send_signal(number)
    try:
        status = process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        raise Failure("quillon-run did not end within %d s of signal %d" % (timeout, number))
    took = time.monotonic() - began
    check_equal(harness.dword(DYN_DATA, "RunningInstance"), "0xffffffff", where + ": RunningInstance")
    check(harness.dword(MACHINE_KEY, "Semaphore") in (None, "0x0"), where + ": the semaphore is left taken")
    return status, took


def waiting(harness):
    """A resident program waiting for tomorrow's run, ended by each signal in turn."""
    harness.set_value(CONFIG_KEY + r"\Settings", "RunAtTime", 1)
    harness.set_value(DYN_DATA, "AktuellInstance", 3)
    harness.set_value(DYN_DATA, "RunTime", time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(time.time() + 86400)))
    times = []
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        trace = os.path.join(harness.work, "trace-wait-%d.txt" % number)
        process = start_and_wait_for(harness, trace, b"Beginning wait")
        check_equal(harness.dword(DYN_DATA, "RunningInstance"), "0x3", "the waiting program's RunningInstance")
        status, took = end_with(harness, process, number, "waiting, signal %d" % number)
        check(status == 0 and b"Ende, weil das System es verlangt (Signal %d)\n" % number in read(trace),
              "waiting, signal %d: exit status %d, trace:\n%r" % (number, status, read(trace)))
        times.append(took)
    harness.set_value(CONFIG_KEY + r"\Settings", "RunAtTime", 0)
    return times


def during_run(harness):
    """SIGTERM a little after the first pass has begun; answers the seconds until the end."""
    trace = os.path.join(harness.work, "trace-run.txt")
    process = start_and_wait_for(harness, trace, b"--- Bearbeite", clear=True)
    time.sleep(0.3)
    status, took = end_with(harness, process, signal.SIGTERM, "after SIGTERM during the run")
    check(status == 128 + signal.SIGTERM and b"*** Ende w\xe4hrend der Sicherung" in read(trace),
          "SIGTERM during the run: exit status %d, trace:\n%r" % (status, read(trace)))
    harness.check_after_kill()
    return took


def race(harness, round_number):
    """Changes the trees, then starts two runs at once; answers the seconds until both ended."""
    harness.mutate()
    traces = [os.path.join(harness.work, "trace-%d%s.txt" % (round_number, name)) for name in "ab"]
    began = time.monotonic()
    # Neither start clears the semaphore, which the first run may hold already. A run that does not end
    # within 120 s is killed and fails the round.
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        outputs = list(pool.map(lambda trace: harness.run(env=dict(harness.env, QUILLON_TRACE=trace), clear=False,
                                                          timeout=120), traces))
    elapsed = time.monotonic() - began
    # Taking turns, only the first run finds the changes; the second finds them saved already.
    found = (sorted(("saved." in o, "No changed file found." in o) for o in outputs),
             harness.dword(MACHINE_KEY, "Semaphore"), any(b"Waiting for Semaphore" in read(t) for t in traces))
    check_equal(found, ([(False, True), (True, False)], "0x0", True), "round %d: what each run found, the "
                "semaphore, a wait for it:\n--- a:\n%s\n--- b:\n%s" % (round_number, *outputs))
    harness.check_complete()
    return elapsed


def body(args, work):
    harness = Harness(args.bin, work, random.Random(7), args.files)
    harness.configure()
    waits = waiting(harness)
    took = during_run(harness)
    full = harness.run_to_end()
    harness.check_complete()
    races = [race(harness, round_number) for round_number in range(args.rounds)]
    print("terminate: a waiting program ended in %s s (SIGTERM, SIGINT, SIGHUP); SIGTERM during the run "
          "ended it in %.2f s with 143, the semaphore free; the next run (%.1f s) left every file "
          "recoverable; two runs at once took turns (%s s)" % (", ".join("%.2f" % t for t in waits), took,
                                                              full, ", ".join("%.1f" % t for t in races)))


if __name__ == "__main__":
    sys.exit(script("terminate", body, files=150, rounds=2))
