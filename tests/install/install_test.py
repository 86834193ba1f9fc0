#!/usr/bin/env python3
"""Installs the build into a temporary folder (DESTDIR) and runs the programs from there: the installed
quillon-reg writes the harness's plain and compressed paths into hives of the test's own, quillon-run and
quillon-restore started through their bin links back up and restore, so the compression library must be
found in the installed private folder. Then the uninstall leaves nothing behind, not even the folders it
made. BIN is the build folder; --source names the source tree."""
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "crash"))
from harness import CONFIG_KEY, Harness, check, check_equal, read, read_tree, script, win  # noqa: E402

INSTALLED = ["bin/quillon-reg", "bin/quillon-config", "lib/quillon/quillon-run", "lib/quillon/libib-zip.so",
             "lib/quillon/quillon-run-desktop", "lib/quillon/quillon-run.html",
             "share/applications/quillon-run.desktop", "share/quillon/autostart/quillon-run.desktop"]
INSTALLED += ["share/man/man1/quillon-%s.1" % name for name in ("run", "reg", "restore", "config")]
INSTALLED += ["lib/systemd/user/quillon-run" + unit for unit in (".service", ".timer", "-daily.service")]


def body(args, work):
    root = os.path.join(work, "root")
    prefix = os.path.join(root, "usr")

    def staged(*command):
        subprocess.run(command, env=dict(os.environ, DESTDIR=root), check=True, capture_output=True)

    staged("cmake", "--install", args.bin, "--prefix", "/usr")
    linked = ("quillon-run", "quillon-restore")
    check_equal([os.readlink(os.path.join(prefix, "bin", name)) for name in linked],
                ["../lib/quillon/" + name for name in linked], "bin links")
    # isfile follows the help document's link.
    check_equal([f for f in INSTALLED if not os.path.isfile(os.path.join(prefix, f))], [], "not installed")
    if shutil.which("groff"):
        man = os.path.join(prefix, "share/man/man1")
        pages = [os.path.join(man, page) for page in os.listdir(man)]
        warnings = subprocess.run(["groff", "-man", "-Tutf8", "-ww", *pages], capture_output=True).stderr
        check_equal(warnings, b"", "man pages")

    h = Harness(os.path.join(prefix, "bin"), work, random.Random(3), files=1)
    h.env.pop("QUILLON_IBZIP", None)
    h.configure()
    output = h.run()
    check("2 files have been saved." in output and "IB-ZIP" not in output, "the installed run:\n" + output)
    h.check_complete()
    target = os.path.join(work, "restored")
    h.tool("quillon-restore", "restore", h.dests["zip"], target)
    check_equal(read_tree(target), read_tree(h.sources["zip"]), "restored from the compressed set")

    # An installed program keeps its error log in the user's state folder, never in the package's folder.
    h.env["XDG_STATE_HOME"] = os.path.join(work, "state")
    h.set_value(CONFIG_KEY + r"\Path000", "DestPath", win(prefix + "/bin/quillon-reg/below-a-file"))
    h.run_to_end()
    log = read(os.path.join(work, "state/quillon/QuillonRun.Log")) or b""
    check(b"below-a-file" in log and not os.path.exists(os.path.join(prefix, "lib/quillon/QuillonRun.Log")),
          "the error log is not in the state folder, or written into the program's folder")

    staged("cmake", "-DMANIFEST=" + os.path.join(args.bin, "install_manifest.txt"), "-P",
           os.path.join(args.source, "cmake/Uninstall.cmake"))
    check(not os.path.exists(root), "left after uninstall: %s" % sorted(read_tree(root)))
    print("install: installed, ran and uninstalled from %s" % prefix)


if __name__ == "__main__":
    sys.exit(script("install", body, source=""))
