#!/usr/bin/env python3
"""E2E: a new task made in the editor (description with a line break, a delay, a beep), listed, and saved by the
close box."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_for  # noqa: E402
from taskfile import Task, decode, encode  # noqa: E402

EXISTING = Task(description=b"Already there", span_delay=60)


def editor_point(du_x, du_y, du_w, du_h):
    """The centre of a control of the task editor, from its dialog units."""
    return (round((du_x + du_w / 2) * 6 / 4), round((du_y + du_h / 2) * 13 / 8))


EDITOR_OK = editor_point(225, 212, 50, 14)
BEEP_HZ_BOX = editor_point(63, 154, 33, 14)


def run():
    with e2e.Scene("editor") as scene:
        scene.write_tasks(encode([EXISTING]))
        program = scene.start_expanded()
        desktop = program.desktop

        log("New opens the task editor")
        desktop.click(program.window, e2e.BUTTON_NEW)
        editor = wait_for("the Task dialog", lambda: next(
            (w for w in program.other_windows() if desktop.title(w) == "Task"), None), timeout=10)
        # The description box has the focus; Enter in it starts a new line instead of accepting the dialog.
        desktop.type_text(editor, "Tea")
        desktop.key(editor, "Return")
        desktop.type_text(editor, "Green")
        check(editor in program.other_windows(), "Enter in the description closed the editor")
        # Tab: the Delay option, then the delay picker; a full two-digit section moves on to the next by itself.
        desktop.key(editor, "Tab", "Tab")
        desktop.type_text(editor, "000230")
        desktop.click(editor, BEEP_HZ_BOX)
        desktop.key(editor, "ctrl+a")
        desktop.type_text(editor, "440")
        desktop.click(editor, EDITOR_OK)
        wait_for("the editor to close", lambda: not program.other_windows(), timeout=10)

        log("the close box saves the new task after the old one")
        check(program.running(), "pelmora ended while editing")
        desktop.close_box(program.window)
        check(program.wait_exit() == 0, "pelmora ended with an error after the close box")
        saved = decode(scene.read_tasks())
        check(len(saved) == 2, f"expected the old and the new task, found {len(saved)}: {saved}")
        check(saved[0] == EXISTING, f"the existing task changed: {saved[0]}")
        new = saved[1]
        log(f"new task: {new}")
        check(new.description == b"Tea\r\nGreen", f"description {new.description!r} (a typed line break is CR LF)")
        check((new.count_up, new.at_time, new.span_delay) == (0, 0, 150),
              f"wait: count_up {new.count_up}, at_time {new.at_time}, delay {new.span_delay} (expected 150 s down)")
        check((new.action, new.beep_hz, new.beep_ms, new.run_file) == (0, 440, 100, b""),
              f"action {new.action}, beep {new.beep_hz} Hz / {new.beep_ms} ms, run file {new.run_file!r}")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
