#!/usr/bin/env python3
"""Makes docs/screenshot.png: the expanded Pelmora window with a few sample tasks, in Xvfb with openbox.

usage: docs/make_screenshot.py BUILD-DIR   (needs BUILD-DIR/app/pelmora and BUILD-DIR/tools/grab_screen)
"""
import calendar
import os
import shutil
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "e2e"))
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
os.environ["PELMORA"] = os.path.join(build, "app", "pelmora")
os.environ["GRAB_SCREEN"] = os.path.join(build, "tools", "grab_screen")

import e2e  # noqa: E402
from e2e import log, wait_equal  # noqa: E402
from taskfile import ACTION_RUN, Task, encode  # noqa: E402

# Times of day are shown in local time: the program runs with TZ=UTC so the picture never changes.
LUNCH = calendar.timegm((2024, 12, 9, 12, 30, 0))
SAMPLE_TASKS = [
    Task(description=b"Green tea\r\nthree minutes, then take the leaves out", span_delay=180, beep_hz=880,
         beep_ms=200),
    Task(count_up=1, description=b"Stretch break", span_delay=25 * 60, beep_hz=660, beep_ms=300),
    Task(at_time=1, description=b"Lunch with Sam", time_at=LUNCH, beep_hz=1000, beep_ms=500),
    Task(description=b"Back up the photos", run_file=b"/home/me/bin/backup-photos.sh", span_delay=2 * 3600,
         action=ACTION_RUN),
]


def run():
    with e2e.Scene("screenshot") as scene:
        scene.write_tasks(encode(SAMPLE_TASKS))
        scene.desktop.env["TZ"] = "UTC"
        program = scene.start_expanded()
        desktop = program.desktop
        desktop.choose_row(program.window, 0)
        wait_equal("the first task chosen", program.title, "Pelmora - Green tea...", timeout=10)
        # Park the pointer outside the window so no row is hot-tracked in the picture.
        desktop.run(["xdotool", "mousemove", "1000", "700"])
        time.sleep(0.5)
        shot = os.path.join(scene.root, "screenshot.png")
        desktop.screenshot(program.window, shot)
        shutil.copyfile(shot, os.path.join(here, "screenshot.png"))
        log(f"wrote {os.path.join(here, 'screenshot.png')}")
        desktop.key(program.window, "Escape")
        program.wait_exit()


if __name__ == "__main__":
    sys.exit(e2e.main(run))
