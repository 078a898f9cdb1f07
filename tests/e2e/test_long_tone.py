#!/usr/bin/env python3
"""E2E: a 60-second tone never freezes the window: the clock and title go on each second, Clear acts at once,
and the close box ends the program without waiting for the tone, with the tasks saved."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_equal, wait_for  # noqa: E402
from taskfile import Task, encode, record  # noqa: E402

DELAY = 2
TASK = Task(count_up=1, description=b"Long tone", beep_hz=440, beep_ms=60000, span_delay=DELAY)
# A flag byte of 5 loads as 1 and is written back as 1: the file changes only if it was saved.
ON_DISK = record(TASK, flag_bytes=(5, 0))
SAVED = encode([TASK])


def clock_title(seconds):
    return "Pelmora -  00:00:%02d " % seconds


def run():
    with e2e.Scene("longtone") as scene:
        scene.write_tasks(ON_DISK)
        program = scene.start_expanded()
        desktop = program.desktop
        desktop.choose_row(program.window, 0)
        desktop.click(program.window, e2e.BUTTON_START)
        wait_for("the tone to start", lambda: os.path.exists(program.capture) and os.path.getsize(program.capture),
                 timeout=DELAY + 5)

        log("while the tone plays: deselect the row, then Clear restarts the count-up, shown each second")
        desktop.click(program.window, e2e.LIST_EMPTY_SPACE)
        wait_equal("the counter in the title", program.title, clock_title(DELAY), timeout=2)
        desktop.click(program.window, e2e.BUTTON_CLEAR)
        wait_equal("the cleared counter in the title", program.title, clock_title(0), timeout=2)
        changes = [(time.monotonic(), clock_title(0))]
        while changes[-1][1] != clock_title(DELAY) and time.monotonic() - changes[0][0] < DELAY + 2:
            title = program.title()
            if title != changes[-1][1]:
                changes.append((time.monotonic(), title))
            time.sleep(0.02)
        titles = [title for _, title in changes]
        check(titles == [clock_title(s) for s in range(DELAY + 1)], f"the title did not count on: {titles}")
        steps = [b[0] - a[0] for a, b in zip(changes[1:], changes[2:])]
        check(all(0.6 < step < 1.4 for step in steps), f"ticks are not a second apart during the tone: {steps}")

        log("the close box, with the tone still playing")
        closed_at = time.monotonic()
        desktop.close_box(program.window)
        check(program.wait_exit(timeout=5) == 0, "pelmora ended with an error after the close box")
        took = time.monotonic() - closed_at
        # Seconds to spare for a loaded machine, and still far short of the 60-second tone.
        check(took < 3.0, f"the close box took {took:.2f} s to end the program")
        check(scene.read_tasks() == SAVED, f"the close box saved {scene.read_tasks()!r}, expected {SAVED!r}")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
