#!/usr/bin/env python3
"""The system asks quillon-run to end: SIGTERM (kill, the service manager at logout), SIGINT (Ctrl-C)
or SIGHUP (the terminal closed).

  - A resident program waiting for its scheduled time ends at once with status 0, "RunningInstance"
    set back to -1 and the semaphore untouched.
  - During the first run over a larger tree SIGTERM ends the program promptly with status 143; the
    semaphore is free and "RunningInstance" is -1 at once (no other program has to wait for it), the
    run's record is written (LastRunStatus 2, LastRunTime, "Run interrupted" in the error log), the
    hives and control files are sound, and the next run completes with every file recoverable.
"""
import os
import random
import signal
import subprocess
import sys
import time

from harness import CONFIG_KEY as QUILLON, MACHINE_KEY as MACHINE, Failure, Harness, check, read, script


DYN_DATA = QUILLON + r"\DynData"


def start(harness, trace, clear=False):
    return harness.start("/W", env=dict(harness.env, QUILLON_TRACE=trace), clear=clear)


def wait_for_trace(process, trace, text, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if text in (read(trace) or b""):
            return
        check(process.poll() is None,
              "quillon-run ended (%s) before the trace showed %r" % (process.returncode, text))
        time.sleep(0.02)
    process.kill()
    raise Failure("the trace did not show %r within %d s" % (text, timeout))


def end_with(process, number, timeout=15):
    """Sends the signal; answers the exit status and the seconds until the end."""
    began = time.monotonic()
    process.send_signal(number)
    try:
        status = process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        raise Failure("quillon-run did not end within %d s of signal %d" % (timeout, number))
    return status, time.monotonic() - began


def check_instance_freed(harness, where):
    running = harness.dword(DYN_DATA, "RunningInstance")
    check(running == "0xffffffff", "%s: RunningInstance is %s, not -1" % (where, running))
    semaphore = harness.dword(MACHINE, "Semaphore")
    check(semaphore in (None, "0x0"), "%s: the semaphore is left taken (%s)" % (where, semaphore))


def waiting(harness):
    """A resident program waiting for tomorrow's run, ended by each signal in turn."""
    harness.reg("add", QUILLON + r"\Settings", "/v", "RunAtTime", "/t", "REG_DWORD", "/d", "1", "/f")
    harness.reg("add", DYN_DATA, "/v", "AktuellInstance", "/t", "REG_DWORD", "/d", "3", "/f")
    tomorrow = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(time.time() + 86400))
    harness.reg("add", DYN_DATA, "/v", "RunTime", "/d", tomorrow, "/f")
    times = []
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        trace = os.path.join(harness.work, "trace-wait-%d.txt" % number)
        process = start(harness, trace)
        wait_for_trace(process, trace, b"Beginning wait")
        check(harness.dword(DYN_DATA, "RunningInstance") == "0x3",
              "the waiting program did not record its generation")
        status, took = end_with(process, number)
        check(status == 0, "waiting, signal %d: exit status %d" % (number, status))
        check(b"Ende, weil das System es verlangt (Signal %d)\n" % number in read(trace),
              "waiting, signal %d: no end line in the trace" % number)
        check_instance_freed(harness, "waiting, signal %d" % number)
        times.append(took)
    harness.reg("add", QUILLON + r"\Settings", "/v", "RunAtTime", "/t", "REG_DWORD", "/d", "0", "/f")
    return times


def during_run(harness, log):
    """SIGTERM a little after the first pass has begun; answers the seconds until the end."""
    trace = os.path.join(harness.work, "trace-run.txt")
    harness.reg("add", DYN_DATA, "/v", "LastRunStatus", "/t", "REG_DWORD", "/d", "0", "/f")
    process = start(harness, trace, clear=True)
    wait_for_trace(process, trace, b"--- Bearbeite")
    time.sleep(0.3)
    status, took = end_with(process, signal.SIGTERM)
    check(status == 128 + signal.SIGTERM and b"*** Ende w\xe4hrend der Sicherung" in read(trace),
          "SIGTERM during the run: exit status %d, trace:\n%s" % (status, read(trace).decode("latin-1")))
    check_instance_freed(harness, "after SIGTERM during the run")
    # The interrupted run left its record: it must not read as the last good run.
    check(harness.dword(DYN_DATA, "LastRunStatus") == "0x2", "SIGTERM during the run: LastRunStatus is not 2")
    check(harness.dword(MACHINE, "LastRunTime") is not None,  # no run ended before
          "SIGTERM during the run: no LastRunTime")
    check(b"  **** Run interrupted by signal 15 (SIGTERM): the next run saves what is missing" in read(log),
          "SIGTERM during the run: the error log does not say the run was interrupted")
    harness.check_after_kill()
    return took


def body(args, work):
    harness = Harness(args.bin, work, random.Random(7), args.files)
    log = os.path.join(work, "QuillonRun.Log")
    harness.configure(error_log=log)
    waits = waiting(harness)
    took = during_run(harness, log)
    full = harness.run_to_end()
    harness.check_complete()
    print("terminate: a waiting program ended in %s s (SIGTERM, SIGINT, SIGHUP); SIGTERM during the run ended it "
          "in %.2f s with 143, the semaphore free; the next run (%.1f s) left every file recoverable" %
          (", ".join("%.2f" % t for t in waits), took, full))


if __name__ == "__main__":
    sys.exit(script("terminate", body, files=150))
