#!/usr/bin/env python3
"""E2E: a count-down task chosen in the list runs its script, whose file name is hostile to a shell, exactly once."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import GREEN, CLOCK_RECT, check, log, wait_equal, wait_for  # noqa: E402
from taskfile import ACTION_RUN, Task, encode  # noqa: E402

DELAY = 2
# Quotes, a command substitution of each kind, separators, a glob, a leading dash and a line break.
HOSTILE_NAME = "-it's \"quoted\" $(touch PWNED1) `touch PWNED2` ; touch PWNED3 & | * \n next line.sh"


def run():
    with e2e.Scene("runtask") as scene:
        scripts = os.path.join(scene.root, "scripts $HOME")
        os.makedirs(scripts)
        script = os.path.join(scripts, HOSTILE_NAME)
        ran = os.path.join(scene.root, "ran.txt")
        with open(script, "w") as f:
            f.write("#!/bin/sh\n# Records how it was called: once per run.\nprintf '%%s\\n' \"$0\" >> '%s'\n" % ran)
        os.chmod(script, 0o755)
        task = Task(description=b"Run the hostile script\r\nsecond line", run_file=os.fsencode(script),
                    span_delay=DELAY, action=ACTION_RUN)
        other = Task(description=b"Other task", span_delay=600)
        on_disk = encode([other, task])
        scene.write_tasks(on_disk)

        program = scene.start_expanded()
        desktop = program.desktop

        log("choose the run task in the list: its first line becomes the title, its delay the clock")
        desktop.choose_row(program.window, 1)
        wait_equal("the task's first line in the title", program.title, "Pelmora - Run the hostile script...",
                   timeout=10)
        image = desktop.screenshot(program.window, os.path.join(scene.root, "chosen.png"))
        check(image.count(GREEN, CLOCK_RECT) > 500, "the count-down task's delay is not shown in green")

        log("START: the script runs once, on the tick after the delay")
        desktop.click(program.window, e2e.BUTTON_START)
        started = time.monotonic()
        wait_for("the script to run", lambda: os.path.exists(ran), timeout=DELAY + 6)
        took = time.monotonic() - started
        check(DELAY + 0.5 < took < DELAY + 3, f"the script ran {took:.1f} s after START, not on tick {DELAY + 1}")
        time.sleep(2.5)
        with open(ran) as f:
            calls = f.read()
        check(calls == script + "\n", f"the script was called as {calls!r}, not once as {script!r}")
        pwned = [name for folder in (scene.root, scene.work, scripts, scene.home, "/")
                 for name in os.listdir(folder) if name.startswith("PWNED")]
        check(not pwned, f"the file name was run as shell code: {pwned}")
        check(program.tones() == [], f"a run task beeped: {program.tones()}")
        check(program.running() and not program.other_windows(), "the window did not stay open and quiet")

        desktop.key(program.window, "Escape")
        check(program.wait_exit() == 0, "pelmora ended with an error after Escape")
        check(scene.read_tasks() == on_disk, "Escape changed TASKS.BIN")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
