#!/usr/bin/env python3
"""pelmora --help and --version answer on stdout and exit 0 with no display at all, whatever else is given;
Qt's own options do nothing: -stylesheet leaves the buttons as they were, -platform does not move the window off
the X display that QT_QPA_PLATFORM names."""
import os
import subprocess
import sys

import e2e
from e2e import check, log, wait_for


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

    with e2e.Scene("options") as scene:
        sheet = os.path.join(scene.root, "buttons.qss")
        with open(sheet, "w") as f:
            f.write("QPushButton { background: rgb(255, 0, 255); color: rgb(255, 0, 255); }\n")
        program = scene.start(arguments=["-stylesheet", sheet, "-platform", "offscreen", "-reverse"])
        wait_for("the clock's title", lambda: (program.title() or "").startswith("Pelmora - "))
        shot = scene.desktop.screenshot(program.window, os.path.join(scene.root, "window.png"))
        # The style shades a button's face, so any strongly magenta pixel counts.
        x, y = e2e.BUTTON_START
        magenta = [(px, py) for py in range(y - 10, y + 10) for px in range(x - 30, x + 30)
                   if (lambda r, g, b: r > 200 and g < 100 and b > 200)(*shot.pixel(px, py))]
        check(not magenta, f"-stylesheet restyled the START button: {len(magenta)} magenta pixels")
        log("Qt's own options changed nothing")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
