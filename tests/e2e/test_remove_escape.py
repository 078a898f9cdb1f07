#!/usr/bin/env python3
"""E2E: Remove takes the chosen task out of the list; the close box saves that, Escape discards it."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_equal  # noqa: E402
from taskfile import Task, encode  # noqa: E402

TASKS = [Task(description=b"First", span_delay=60), Task(count_up=1, description=b"Second", span_delay=120),
         Task(description=b"Third", span_delay=180)]
ON_DISK = encode(TASKS)


def remove_first(scene):
    """Starts pelmora, removes row 0 and checks that the list now begins with the second task."""
    program = scene.start_expanded()
    desktop = program.desktop
    desktop.choose_row(program.window, 0)
    wait_equal("the first task in the title", program.title, "Pelmora - First", timeout=10)
    desktop.click(program.window, e2e.BUTTON_REMOVE)
    desktop.choose_row(program.window, 0)
    wait_equal("the second task now in row 0", program.title, "Pelmora - Second", timeout=10)
    desktop.choose_row(program.window, 1)
    wait_equal("the third task now in row 1", program.title, "Pelmora - Third", timeout=10)
    return program


def run():
    with e2e.Scene("remove") as scene:
        scene.write_tasks(ON_DISK)
        log("Remove, then Escape: TASKS.BIN keeps all three tasks")
        program = remove_first(scene)
        program.desktop.key(program.window, "Escape")
        check(program.wait_exit() == 0, "pelmora ended with an error after Escape")
        check(scene.read_tasks() == ON_DISK, "Escape saved the removal")

        log("Remove, then the close box: TASKS.BIN loses the first task")
        program = remove_first(scene)
        program.desktop.close_box(program.window)
        check(program.wait_exit() == 0, "pelmora ended with an error after the close box")
        check(scene.read_tasks() == encode(TASKS[1:]), "the close box did not save the removal")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
