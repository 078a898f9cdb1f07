#!/usr/bin/env python3
"""E2E: start-up (collapsed window, clock title), Escape leaves TASKS.BIN untouched, the close box saves it."""
import os
import sys
from dataclasses import replace

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_equal  # noqa: E402
from taskfile import ACTION_RUN, Task, encode, record  # noqa: E402

TASKS = [
    Task(description=b"Tea\r\nGreen, three minutes", span_delay=180),
    Task(count_up=1, description=b"Caf\xe9 latin-1 bytes", beep_hz=440, beep_ms=250, span_delay=90),
    Task(at_time=1, description=b"Backup", run_file=b"/tmp/back up.sh", time_at=1733572800, action=ACTION_RUN),
]
# A flag byte of 5 loads as 1 and is written back as 1: the file changes only if it was saved.
ON_DISK = record(TASKS[0], flag_bytes=(0, 5)) + encode(TASKS[1:])
SAVED = encode([replace(TASKS[0], at_time=1)] + TASKS[1:])


def started(scene):
    program = scene.start()
    desktop = program.desktop
    # The first paint of the clock puts its text, blanks included, into the title.
    wait_equal("the clock's title after the first paint", program.title, "Pelmora -  00:00:00 ")
    # 175 px outer would show the list's top under openbox's 21 px frame, which the window learns only after
    # it is shown: the client area ends at the list's top instead.
    wait_equal("the collapsed client height", lambda: desktop.client_size(program.window)[1], e2e.LIST_TOP,
               timeout=10)
    return program


def run():
    with e2e.Scene("close") as scene:
        scene.write_tasks(ON_DISK)
        log("Escape closes without saving")
        program = started(scene)
        scene.desktop.key(program.window, "Escape")
        check(program.wait_exit() == 0, "pelmora ended with an error after Escape")
        check(scene.read_tasks() == ON_DISK, "Escape changed TASKS.BIN")

        log("the close box saves every record byte for byte")
        program = started(scene)
        scene.desktop.close_box(program.window)
        check(program.wait_exit() == 0, "pelmora ended with an error after the close box")
        saved = scene.read_tasks()
        check(saved == SAVED, f"the close box saved {saved!r}, expected {SAVED!r}")

        log("without TASKS.BIN the program starts empty and the close box writes an empty file")
        os.remove(scene.tasks_path())
        program = started(scene)
        scene.desktop.close_box(program.window)
        check(program.wait_exit() == 0, "pelmora ended with an error after the close box")
        check(scene.read_tasks() == b"", "an empty list was not saved as an empty file")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
