#!/usr/bin/env python3
"""E2E: a run task whose script goes on for a minute leaves the window responsive; the script runs in a session
of its own, is no child of Pelmora's, and outlives it without holding
the folder against the next start."""
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_equal, wait_for  # noqa: E402
from taskfile import ACTION_RUN, Task, encode  # noqa: E402


def run():
    with e2e.Scene("detached") as scene:
        script = os.path.join(scene.root, "long job.sh")
        pid_file = os.path.join(scene.root, "job.pid")
        with open(script, "w") as f:
            f.write("#!/bin/sh\necho $$ > '%s'\nexec sleep 60\n" % pid_file)
        os.chmod(script, 0o755)
        scene.write_tasks(encode([Task(description=b"Long job", run_file=os.fsencode(script), span_delay=1,
                                       action=ACTION_RUN)]))
        program = scene.start_expanded()
        desktop = program.desktop
        desktop.choose_row(program.window, 0)
        desktop.click(program.window, e2e.BUTTON_START)
        job = int(wait_for("the script to start", lambda: os.path.exists(pid_file) and open(pid_file).read().strip(),
                           timeout=8))
        try:
            log("Show List acts at once while the script runs")
            asked = time.monotonic()
            desktop.click(program.window, e2e.BUTTON_SHOW_LIST)
            wait_equal("the collapsed client height", lambda: desktop.client_size(program.window)[1], e2e.LIST_TOP,
                       timeout=5)
            took = time.monotonic() - asked
            check(took < 1.5, f"Show List took {took:.1f} s while the script ran")
            pelmora = program.process.pid
            check(os.getsid(job) != os.getsid(pelmora), "the script shares Pelmora's session")
            check(e2e.child_processes(pelmora) == [], f"Pelmora keeps children: {e2e.child_processes(pelmora)}")

            desktop.key(program.window, "Escape")
            check(program.wait_exit() == 0, "pelmora ended with an error after Escape")
            with open(f"/proc/{job}/stat") as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
            check(state != "Z", "the script did not outlive Pelmora")
            # The script holds neither the folder's lock nor the raise socket: the next start is the first one.
            again = scene.start()
            desktop.key(again.window, "Escape")
            check(again.wait_exit() == 0, f"the next start beside the script ended with an error: {again.output()}")
        finally:
            try:
                os.kill(job, signal.SIGKILL)
            except ProcessLookupError:
                pass


if __name__ == "__main__":
    sys.exit(e2e.main(run))
