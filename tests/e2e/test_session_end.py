#!/usr/bin/env python3
"""E2E: SIGTERM, SIGHUP and SIGINT save the tasks as the close box does and end the program, a task editor
open or not; when that save fails, the reason goes to standard error and the program still ends."""
import os
import shutil
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_equal, wait_for  # noqa: E402
from taskfile import Task, encode  # noqa: E402

TASKS = [Task(description=b"First", span_delay=60), Task(description=b"Second", span_delay=120),
         Task(description=b"Third", span_delay=180), Task(description=b"Fourth", span_delay=240)]


def remove_first_row(program, expected_next):
    desktop = program.desktop
    desktop.choose_row(program.window, 0)
    desktop.click(program.window, e2e.BUTTON_REMOVE)
    desktop.choose_row(program.window, 0)
    wait_equal("the next task in row 0", program.title, f"Pelmora - {expected_next}", timeout=10)


def run():
    with e2e.Scene("session") as scene:
        scene.write_tasks(encode(TASKS))
        for removed, (number, with_editor) in enumerate([(signal.SIGTERM, False), (signal.SIGHUP, False),
                                                         (signal.SIGINT, True)], start=1):
            log(f"a task removed, {signal.Signals(number).name}{' with the editor open' if with_editor else ''}")
            program = scene.start_expanded()
            remove_first_row(program, TASKS[removed].description.decode())
            if with_editor:
                program.desktop.click(program.window, e2e.BUTTON_NEW)
                wait_for("the task editor", program.other_windows, timeout=10)
            os.kill(program.process.pid, number)
            check(program.wait_exit() == 0, f"pelmora ended with an error after {number!r}")
            check(scene.read_tasks() == encode(TASKS[removed:]), f"{number!r} did not save the removal")

        log("a save that fails at SIGTERM: the reason on standard error, and the program ends")
        program = scene.start()
        shutil.rmtree(scene.work)
        os.kill(program.process.pid, signal.SIGTERM)
        check(program.wait_exit() == 1, "a failed save at SIGTERM did not end the program with status 1")
        # The new file cannot be created in a folder that is gone: the system's reason follows the file's name.
        report = (f"pelmora: in {os.path.realpath(scene.work)}: Can not create an archive file: TASKS.BIN: "
                  "No such file or directory")
        check(report in program.output().splitlines(), f"no line {report!r} in the output: {program.output()!r}")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
