#!/usr/bin/env python3
"""E2E: what a screen reader finds on the accessibility bus (read through pyatspi): the task list as a table
with its headers and cells, every control of the main window and the task editor named with its role, the
editor's radio buttons as radio buttons with their checks, and the clock's text."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_for  # noqa: E402
from taskfile import ACTION_RUN, Task, encode  # noqa: E402

TASKS = [
    Task(description=b"Tea", span_delay=150),
    Task(description=b"Line one\r\nline two", count_up=1, span_delay=3725, beep_hz=440, beep_ms=250),
    Task(description=b"Backup", at_time=1, time_at=13 * 3600 + 30 * 60, action=ACTION_RUN, run_file=b"/bin/true"),
]
HEADERS = ["Task description", "Wait for", "Then do"]
ROWS = [
    ["Tea", "00:02:30  D", "Beep: 1000 / 100"],
    ["Line one...", "01:02:05  U", "Beep: 440 / 250"],
    ["Backup", "13:30:00  T", "Run: /bin/true"],
]


def children(node):
    return [node.getChildAtIndex(i) for i in range(node.childCount)]


def described(pyatspi, nodes):
    """(role name, name) of each node, sorted: what the reader announces, whatever the stacking order."""
    return sorted((pyatspi.Atspi.role_get_name(node.getRole()), node.name) for node in nodes)


def program_window(pyatspi, pid, role, name_start):
    """The top-level window of process `pid` whose role is `role` and whose name begins with `name_start`."""
    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            if app is None or app.get_process_id() != pid:
                continue
            # Read everything afresh: the clock's text and the list change between looks.
            app.set_cache_mask(pyatspi.Atspi.Cache.NONE)
            for window in children(app):
                if window.getRole() == role and window.name.startswith(name_start):
                    return window
        return None
    return wait_for(f"the {name_start!r} window on the accessibility bus", find, timeout=30, interval=0.3)


def check_table(pyatspi, table_node):
    table = table_node.queryTable()
    check((table.nRows, table.nColumns) == (3, 3), f"table of {table.nRows} rows and {table.nColumns} columns")
    headers = [table.getColumnHeader(c) for c in range(3)]
    check([h.name for h in headers] == HEADERS, f"column headers {[h.name for h in headers]}")
    check(all(h.getRole() == pyatspi.ROLE_TABLE_COLUMN_HEADER for h in headers), "headers without their role")
    cells = [[table.getAccessibleAt(r, c) for c in range(3)] for r in range(3)]
    check([[cell.name for cell in row] for row in cells] == ROWS, f"cells {[[c.name for c in r] for r in cells]}")
    check(all(cell.getRole() == pyatspi.ROLE_TABLE_CELL for row in cells for cell in row), "cells without their role")


def listen(pyatspi, event_type, role):
    """The names of the objects of `role` that events of `event_type` come from, in order; of state changes
    only those that set the state."""
    heard = []

    def on_event(event):
        if event.type.startswith("object:state-changed") and not event.detail1:
            return
        if event.source.getRole() == role:
            heard.append(event.source.name)

    pyatspi.Registry.registerEventListener(on_event, event_type)
    return heard


def pump_events(seconds):
    """Lets pyatspi take the events that arrived; no main loop runs otherwise."""
    from gi.repository import GLib
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def run():
    with e2e.Scene("a11y") as scene:
        scene.write_tasks(encode(TASKS))
        scene.desktop.env["TZ"] = "UTC"
        e2e.start_accessibility_bus(scene)
        import pyatspi  # reads the buses from the environment just set

        program = scene.start_expanded()
        desktop = program.desktop
        main = program_window(pyatspi, program.process.pid, pyatspi.ROLE_DIALOG, "Pelmora")

        log("the main window's controls")
        controls = children(main)
        expected = [("label", " 00:00:00 "), ("notification", ""), ("scroll bar", "Countdown preset"),
                    ("push button", "START"), ("push button", "Clear"), ("push button", "Help"),
                    ("push button", "Hide List"), ("table", "Tasks"), ("push button", "New"),
                    ("push button", "Edit"), ("push button", "Remove"), ("push button", "OK"),
                    ("push button", "Cancel")]
        check(described(pyatspi, controls) == sorted(expected), f"main window: {described(pyatspi, controls)}")
        clock = controls[0]
        check(clock.getRole() == pyatspi.ROLE_LABEL, "the clock is not the window's first child")

        log("the task list as a table")
        table_node = next(c for c in controls if c.getRole() == pyatspi.ROLE_TABLE)
        check_table(pyatspi, table_node)

        log("the clock reads the preset, then the selected task")
        desktop.click(program.window, e2e.SCROLL_RIGHT_ARROW)
        e2e.wait_equal("the clock's text after one step of the preset", lambda: clock.name, " 00:00:01 ")
        focused = listen(pyatspi, "object:state-changed:focused", pyatspi.ROLE_TABLE_CELL)
        selected = listen(pyatspi, "object:state-changed:selected", pyatspi.ROLE_TABLE_CELL)
        pump_events(1)  # the program learns of the listeners
        desktop.choose_row(program.window, 1)
        e2e.wait_equal("the selected rows", lambda: list(table_node.queryTable().getSelectedRows()), [1])
        pump_events(1)
        check(focused[-1:] == ["Line one..."], f"cells that took the focus: {focused}")
        check(selected[-1:] == ["Line one..."], f"cells that were selected: {selected}")
        e2e.wait_equal("the clock's text with the second task selected", lambda: clock.name, " 01:02:05 ")

        log("the task editor's controls")
        desktop.click(program.window, e2e.BUTTON_NEW)
        editor = program_window(pyatspi, program.process.pid, pyatspi.ROLE_DIALOG, "Task")
        fields = children(editor)
        expected = [("text", "Description"), ("radio button", "Delay:"), ("spin button", "Delay"),
                    ("radio button", "count down"), ("radio button", "count up"), ("radio button", "Time:"),
                    ("spin button", "Time"), ("radio button", "Beep:"), ("text", "Hertz"), ("text", "Mss"),
                    ("radio button", "Run file:"), ("text", "Run file"), ("push button", "Select..."),
                    ("push button", "OK"), ("push button", "Cancel"), ("panel", "Wait for:"),
                    ("panel", "Then do:"), ("label", "Hertz"), ("label", "Mss"), ("label", "Description:")]
        check(described(pyatspi, fields) == sorted(expected), f"task editor: {described(pyatspi, fields)}")
        checked = sorted(f.name for f in fields
                         if f.getRole() == pyatspi.ROLE_RADIO_BUTTON and f.getState().contains(pyatspi.STATE_CHECKED))
        check(checked == ["Beep:", "Delay:", "count down"], f"checked radio buttons of a new task: {checked}")
        desktop.key(wait_for("the editor's X window", lambda: next(iter(program.other_windows()), None)), "Escape")
        wait_for("the editor to close", lambda: not program.other_windows(), timeout=10)

        log("a one-second countdown announces its start, its alarm once while it beeps on, and STOP")
        desktop.click(program.window, e2e.BUTTON_CLEAR)
        desktop.click(program.window, e2e.SCROLL_RIGHT_ARROW)
        heard = listen(pyatspi, "object:property-change:accessible-name", pyatspi.ROLE_NOTIFICATION)
        pump_events(1)  # the program learns of the listener
        desktop.click(program.window, e2e.BUTTON_START)
        pump_events(4.5)  # one tick to zero, then the alarm beeps on every tick
        check(len(program.tones()) >= 2, f"the alarm did not beep on: {program.tones()}")
        desktop.click(program.window, e2e.BUTTON_START)
        pump_events(1)
        check(heard == ["Timer started", "Alarm", "Timer stopped"], f"announcements heard: {heard}")


if __name__ == "__main__":
    sys.exit(e2e.main_skippable(run))
