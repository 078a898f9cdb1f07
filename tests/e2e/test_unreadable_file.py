#!/usr/bin/env python3
"""E2E: a write-only TASKS.BIN (run as nobody) is reported and never emptied; a FIFO named TASKS.BIN does not
hold up the window."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_for  # noqa: E402
from taskfile import Task, encode  # noqa: E402
from test_readonly_refusal import other_user  # noqa: E402

ON_DISK = encode([Task(description=b"Keep me", span_delay=60)])
WINDOW_SECONDS = 1.0


def dismiss(program, what):
    """Waits for a message box and closes it; its words are checked in the unit tests."""
    desktop = program.desktop
    message = wait_for(what, lambda: program.other_windows(), timeout=15)[0]
    desktop.key(message, "Return")
    wait_for("the message box to close", lambda: not program.other_windows(), timeout=10)


def write_only(ids, names):
    with e2e.Scene("writeonly") as scene:
        scene.write_tasks(ON_DISK)
        for path in (scene.work, scene.home, scene.desktop.env["XDG_RUNTIME_DIR"], scene.tasks_path()):
            os.chown(path, *ids)
        os.chmod(scene.tasks_path(), 0o200)
        program = scene.start(as_user=names)
        dismiss(program, "the report that TASKS.BIN cannot be read")
        log("the close box must be refused and the window stay open")
        program.desktop.close_box(program.window)
        dismiss(program, "the refusal to save")
        check(program.running() and program.main_window() == program.window, "the window did not stay open")
        program.desktop.key(program.window, "Escape")
        check(program.wait_exit() == 0, "pelmora ended with an error after Escape")
        os.chmod(scene.tasks_path(), 0o600)  # readable again for the check, whoever runs it
        check(scene.read_tasks() == ON_DISK, "the write-only TASKS.BIN was changed")


def fifo():
    with e2e.Scene("fifo") as scene:
        started = time.monotonic()
        reference = scene.start()
        normal = time.monotonic() - started
        reference.desktop.key(reference.window, "Escape")
        check(reference.wait_exit() == 0, "pelmora ended with an error after Escape")
        os.mkfifo(scene.tasks_path())
        started = time.monotonic()
        program = scene.start()
        seconds = time.monotonic() - started
        # A start that blocks never shows a window; on a loaded machine even a plain start may take a second.
        limit = max(WINDOW_SECONDS, 2 * normal)
        log(f"window after {seconds:.2f} s with a FIFO, {normal:.2f} s without (limit {limit:.2f} s)")
        check(seconds <= limit, f"the window took {seconds:.2f} s to appear")
        dismiss(program, "the report that TASKS.BIN cannot be read")
        program.desktop.close_box(program.window)
        dismiss(program, "the refusal to save")
        check(program.running(), "pelmora ended although the FIFO must not be replaced")


def run():
    ids, names = other_user()  # as root, nobody: root may read any file
    write_only(ids or (os.getuid(), os.getgid()), names)
    fifo()


if __name__ == "__main__":
    sys.exit(e2e.main(run))
