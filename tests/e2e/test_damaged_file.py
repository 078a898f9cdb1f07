#!/usr/bin/env python3
"""E2E: a million-task TASKS.BIN damaged in record 10 is reported, kept as TASKS.BIN.damaged, and the close box
saves the ten tasks read."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_for  # noqa: E402
from taskfile import Task, decode, encode  # noqa: E402

TASK_COUNT = 1_000_000
DAMAGED_RECORD = 10
DESCRIPTION_AT = 10  # the description's length prefix, after the flags and the two 32-bit fields


def damaged_file():
    tasks = [Task(description=b"task %d" % i, span_delay=i) for i in range(TASK_COUNT)]
    data = bytearray(encode(tasks))
    start = len(encode(tasks[:DAMAGED_RECORD]))
    # Seven bytes turn the prefix into a 32-bit count far beyond the file's end.
    data[start + DESCRIPTION_AT:start + DESCRIPTION_AT + 7] = b"\xff\xff\xff\xf0\xff\xff\xff"
    return bytes(data), tasks[:DAMAGED_RECORD]


def run():
    original, readable = damaged_file()
    with e2e.Scene("damaged") as scene:
        scene.write_tasks(original)
        program = scene.start()
        desktop = program.desktop
        # The report's words are checked in the unit tests: Qt offers no way to read a message box from outside.
        message = wait_for("the damage report", lambda: program.other_windows(), timeout=30)[0]
        desktop.key(message, "Return")
        wait_for("the report to close", lambda: not program.other_windows(), timeout=10)
        check(os.listdir(scene.work) == ["TASKS.BIN"], "something was written before the save")

        desktop.close_box(program.window)
        check(program.wait_exit(60) == 0, "pelmora ended with an error after the close box")
        with open(os.path.join(scene.work, "TASKS.BIN.damaged"), "rb") as f:
            check(f.read() == original, "TASKS.BIN.damaged does not hold the original bytes")
        check(decode(scene.read_tasks()) == readable, "the saved file does not hold the ten tasks read")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
