#!/usr/bin/env python3
"""quillon-run on a real X display, a virtual one from xvfb-run. The program must choose the desktop's
dialogs by itself (DISPLAY set, QUILLON_UI unset), show them on the display, run the backup to its end and
quit on its own; then run on the console to the end with no display at all, with a display that cannot be
opened, and without the desktop program it hands over to on a display. Exit status 77 (skipped) when
xvfb-run or xauth is missing (scripts/install-deps.sh installs xvfb and xauth).
"""
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "crash"))
from harness import DYN_DATA, Harness, check, read, script  # noqa: E402


def body(args, work):
    harness = Harness(args.bin, work, random.Random(7), files=4)
    harness.configure()
    trace = os.path.join(work, "trace")
    env = dict(harness.env, QUILLON_TRACE=trace, XDG_RUNTIME_DIR=os.path.join(work, "runtime"))
    os.mkdir(env["XDG_RUNTIME_DIR"], 0o700)
    # The sanitizer build: leaks of the desktop's own libraries are not ours.
    suppressions = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lsan.supp")
    env["LSAN_OPTIONS"] = ":".join(filter(None, ["suppressions=" + suppressions, env.get("LSAN_OPTIONS")]))
    for name in ("QUILLON_UI", "QT_QPA_PLATFORM"):
        env.pop(name, None)

    def run(where, status, program="quillon-run", prefix=(), **variables):
        """A run to its end that records status (the time limit only guards against a hang); answers its
        output and its trace."""
        before = len(read(trace) or b"")  # what the runs before traced
        harness.clear_semaphore()
        out = harness.tool(program, env=dict(env, **variables), prefix=("timeout", "120", *prefix))
        text = read(trace)[before:].decode("latin-1")
        check(harness.dword(DYN_DATA, "LastRunStatus") == status, where + ": LastRunStatus:\n" + out + text)
        return out, text

    out, text = run("on the display", "0x0", prefix=("xvfb-run", "-a", "-s", "-screen 0 1024x768x24"))
    check("\nOberfl\xe4che: Desktop (xcb)\n" in "\n" + text, "the desktop's dialogs were not used:\n" + text)
    harness.check_complete()

    # Without a display: the console, again to the end, saving the files changed meanwhile.
    harness.mutate()
    out, text = run("without a display", "0x0")
    check("Desktop" not in text and " been saved." in out, "no console run without a display:\n" + out + text)
    harness.check_complete()

    # A display that is named but cannot be opened: the console again, where Qt would end the program.
    # And the console program alone, without the desktop program beside it: the console, not a failed start.
    alone = os.path.join(work, "alone")
    os.mkdir(alone)
    for name in ("quillon-run", "libib-zip.so"):
        shutil.copy(os.path.join(args.bin, name), alone)
    for program, traced in (("quillon-run", "Konsole statt Desktop"),
                            (os.path.join(alone, "quillon-run"), "quillon-run-desktop nicht startbar")):
        out, text = run(program, "0x1", program, DISPLAY=":1999")  # 1: nothing changed
        check(traced in text and "No changed file found" in out, program + ": no console run:\n" + out + text)
    print("display_run: every check passed")


if __name__ == "__main__":
    if shutil.which("xvfb-run") is None or shutil.which("xauth") is None:
        print("display_run: skipped: xvfb-run or xauth is missing (scripts/install-deps.sh installs them)")
        sys.exit(77)
    sys.exit(script("display_run", body))
