#!/usr/bin/env python3
"""E2E: a second start in a folder where Pelmora runs raises that window and ends; other folders run side by
side; a lock left by a killed Pelmora does not stop the next start; nothing new appears in the folder."""
import os
import signal
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_equal  # noqa: E402
from taskfile import Task, encode  # noqa: E402

ON_DISK = encode([Task(description=b"Tea", span_delay=180)])


def second_start_raises(scene, first, folder):
    desktop = scene.desktop
    status, output = scene.run_briefly(folder)
    check(status == 0, f"the second start in {folder} ended with {status}: {output}")
    wait_equal("the first window to have the focus", desktop.active_window, first.window, timeout=10)
    check(desktop.topmost() == first.window, "the first window is not on top of the others")
    check(first.running(), "the first Pelmora ended")


def run():
    with e2e.Scene("instance") as scene:
        scene.write_tasks(ON_DISK)
        other = os.path.join(scene.root, "other")
        linked = os.path.join(scene.root, "linked")
        os.makedirs(other)
        os.symlink(scene.work, linked)

        log("Pelmoras in different folders run side by side")
        first = scene.start()
        second = scene.start_in(other)
        wait_equal("the other folder's window to have the focus", scene.desktop.active_window, second.window,
                   timeout=10)
        check(first.running(), "the first Pelmora ended when one started in another folder")

        log("a start in the same folder, and one through a link to it, raise the first window and end")
        second_start_raises(scene, first, scene.work)
        scene.desktop.activate(second.window)
        second_start_raises(scene, first, linked)
        windows = scene.desktop.pelmora_windows()
        check(sorted(windows) == sorted([first.window, second.window]), f"Pelmora windows now: {windows}")
        check(os.listdir(scene.work) == ["TASKS.BIN"], f"new files in the folder: {os.listdir(scene.work)}")

        log("after a crash the lock it left behind does not stop the next start")
        os.kill(first.process.pid, signal.SIGKILL)
        first.wait_exit()
        check(any(name.endswith(".lock") for name in os.listdir(scene.desktop.env["XDG_RUNTIME_DIR"])),
              "no lock left in the runtime directory to recover from")
        again = scene.start()
        second_start_raises(scene, again, scene.work)
        scene.desktop.close_box(again.window)
        check(again.wait_exit() == 0, "pelmora ended with an error after the close box")
        check(scene.read_tasks() == ON_DISK, "the close box changed the tasks")
        second.close()
        second.wait_exit()
        left = os.listdir(scene.desktop.env["XDG_RUNTIME_DIR"])
        check(left == [], f"left in the runtime directory after both ended: {left}")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
