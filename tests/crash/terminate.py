#!/usr/bin/env python3
"""The system asks quillon-run to end: SIGTERM (kill, the service manager at logout), SIGINT (Ctrl-C)
or SIGHUP (the terminal closed).

  - A resident program waiting for its scheduled time ends at once with status 0, "RunningInstance"
    set back to -1 and the semaphore untouched.
  - During the first run over a larger tree SIGTERM ends the program promptly with status 143; the
    semaphore is free and "RunningInstance" is -1 at once (no other program has to wait for it), the
    run's record is written (LastRunStatus 2, LastRunTime, "Run interrupted" in the error log), the
    hives and control files are sound, and the next run completes with every file recoverable.

    terminate.py BIN_DIR [--files N] [--keep]
Exit status 0 when every check passed.
"""
import argparse
import os
import random
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crashtest import run_in_work_folder, win, Failure, Harness  # noqa: E402

QUILLON = r"HKCU\Software\Norrow\Quillon"
MACHINE = r"HKLM\Software\Norrow\Quillon"


def dword(harness, key, name):
    """The value as quillon-reg shows it ("0x0"), or None when it does not exist."""
    result = subprocess.run([os.path.join(harness.bin, "quillon-reg"), "query", key, "/v", name],
                            env=harness.env, capture_output=True)
    if result.returncode != 0:
        return None
    return result.stdout.split()[-1].decode()


def start(harness, trace):
    env = dict(harness.env, QUILLON_TRACE=trace)
    return subprocess.Popen([os.path.join(harness.bin, "quillon-run"), "/W"], env=env, cwd=harness.work,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wait_for_trace(process, trace, text, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if os.path.exists(trace):
            with open(trace, "rb") as f:
                if text in f.read():
                    return
        if process.poll() is not None:
            raise Failure("quillon-run ended (%d) before the trace showed %r" % (process.returncode, text))
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
    running = dword(harness, QUILLON + r"\DynData", "RunningInstance")
    semaphore = dword(harness, MACHINE, "Semaphore")
    if running != "0xffffffff":
        raise Failure("%s: RunningInstance is %s, not -1" % (where, running))
    if semaphore not in (None, "0x0"):
        raise Failure("%s: the semaphore is left taken (%s)" % (where, semaphore))


def waiting(harness):
    """A resident program waiting for tomorrow's run, ended by each signal in turn."""
    harness.reg("add", QUILLON + r"\Settings", "/v", "RunAtTime", "/t", "REG_DWORD", "/d", "1", "/f")
    harness.reg("add", QUILLON + r"\DynData", "/v", "AktuellInstance", "/t", "REG_DWORD", "/d", "3", "/f")
    tomorrow = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(time.time() + 86400))
    harness.reg("add", QUILLON + r"\DynData", "/v", "RunTime", "/d", tomorrow, "/f")
    times = []
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        trace = os.path.join(harness.work, "trace-wait-%d.txt" % number)
        process = start(harness, trace)
        wait_for_trace(process, trace, b"Beginning wait")
        if dword(harness, QUILLON + r"\DynData", "RunningInstance") != "0x3":
            raise Failure("the waiting program did not record its generation")
        status, took = end_with(process, number)
        if status != 0:
            raise Failure("waiting, signal %d: exit status %d" % (number, status))
        with open(trace, "rb") as f:
            if b"Ende, weil das System es verlangt (Signal %d)\n" % number not in f.read():
                raise Failure("waiting, signal %d: no end line in the trace" % number)
        check_instance_freed(harness, "waiting, signal %d" % number)
        times.append(took)
    harness.reg("add", QUILLON + r"\Settings", "/v", "RunAtTime", "/t", "REG_DWORD", "/d", "0", "/f")
    return times


def during_run(harness):
    """SIGTERM a little after the first pass has begun; answers the seconds until the end."""
    trace = os.path.join(harness.work, "trace-run.txt")
    log = os.path.join(harness.work, "QuillonRun.Log")
    harness.reg("add", MACHINE, "/v", "Semaphore", "/t", "REG_DWORD", "/d", "0", "/f")
    harness.reg("add", QUILLON + r"\Settings", "/v", "ErrorLogPath", "/d", win(log), "/f")
    harness.reg("add", QUILLON + r"\DynData", "/v", "LastRunStatus", "/t", "REG_DWORD", "/d", "0", "/f")
    process = start(harness, trace)
    wait_for_trace(process, trace, b"--- Bearbeite")
    time.sleep(0.3)
    status, took = end_with(process, signal.SIGTERM)
    with open(trace, "rb") as f:
        text = f.read()
    if status != 128 + signal.SIGTERM or b"*** Ende w\xe4hrend der Sicherung" not in text:
        raise Failure("SIGTERM during the run: exit status %d, trace:\n%s" % (status, text.decode("latin-1")))
    check_instance_freed(harness, "after SIGTERM during the run")
    # The interrupted run left its record: it must not read as the last good run.
    if dword(harness, QUILLON + r"\DynData", "LastRunStatus") != "0x2":
        raise Failure("SIGTERM during the run: LastRunStatus is not 2")
    if b"LastRunTime" not in harness.reg("query", MACHINE, "/v", "LastRunTime"):  # no run ended before
        raise Failure("SIGTERM during the run: no LastRunTime")
    with open(log, "rb") as f:
        if b"  **** Run interrupted by signal 15 (SIGTERM): the next run saves what is missing" not in f.read():
            raise Failure("SIGTERM during the run: the error log does not say the run was interrupted")
    harness.check_after_kill()
    return took


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("bin")
    parser.add_argument("--files", type=int, default=150, help="files per source path")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    def body(work):
        harness = Harness(os.path.abspath(args.bin), work, random.Random(7), args.files)
        harness.configure()
        harness.generate()
        waits = waiting(harness)
        took = during_run(harness)
        full = harness.run_to_end()
        harness.check_complete()
        print("terminate: a waiting program ended in %s s (SIGTERM, SIGINT, SIGHUP); SIGTERM during the run "
              "ended it in %.2f s with 143, the semaphore free; the next run (%.1f s) left every file "
              "recoverable" % (", ".join("%.2f" % t for t in waits), took, full))

    return run_in_work_folder("terminate", args.keep, body)


if __name__ == "__main__":
    sys.exit(main())
