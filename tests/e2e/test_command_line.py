#!/usr/bin/env python3
"""pelmora --help and --version answer on stdout and exit 0 with no display at all, whatever else is given."""
import os
import subprocess
import sys

import e2e
from e2e import check, log


def answer(*arguments):
    # No display, and the X11 platform plugin, which aborts without one: the answer must come before Qt starts.
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env["QT_QPA_PLATFORM"] = "xcb"
    done = subprocess.run([e2e.PELMORA, *arguments], env=env, capture_output=True, text=True, timeout=20)
    check(done.returncode == 0, f"pelmora {' '.join(arguments)} ended with {done.returncode}: {done.stderr}")
    return done.stdout


def run():
    check(answer("--version") == "Pelmora 2.0\n", "--version does not print the About box's version")
    for arguments in (["--help"], ["--unknown", "--help", "--version"]):
        usage = answer(*arguments)
        check(usage.startswith("Usage: pelmora") and "--version" in usage and "TASKS.BIN" in usage,
              f"pelmora {' '.join(arguments)} printed no usage text: {usage!r}")
    log("--help and --version answer without a display")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
