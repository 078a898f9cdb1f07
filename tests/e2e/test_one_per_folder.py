#!/usr/bin/env python3
"""E2E: a second start in a folder where Pelmora runs raises that window and ends, whatever its runtime
directory; other folders run side by side; a killed Pelmora does not stop the next start; a stopped one and
another user's are reported in a message box and the start ends with 1; nothing new appears anywhere. Under
metacity (GNOME family) the window is a normal one that can be minimised, and a second start restores it; the
editor is a modal dialog over it."""
import grp
import os
import pwd
import re
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_equal, wait_for  # noqa: E402
from taskfile import Task, encode  # noqa: E402

ON_DISK = encode([Task(description=b"Tea", span_delay=180)])


def second_start_raises(scene, first, folder):
    desktop = scene.desktop
    status, output = scene.run_briefly(folder)
    check(status == 0, f"the second start in {folder} ended with {status}: {output}")
    wait_equal("the first window to have the focus", desktop.active_window, first.window, timeout=10)
    check(desktop.topmost() == first.window, "the first window is not on top of the others")
    check(first.running(), "the first Pelmora ended")


def properties(desktop, window, *names):
    return desktop.run(["xprop", "-id", str(window), *names], check_rc=False)


def window_state(desktop, window):
    return properties(desktop, window, "WM_STATE").partition("window state: ")[2].split("\n")[0].strip()


def under_metacity():
    with e2e.Scene("metacity", wm="metacity") as scene:
        desktop = scene.desktop
        program = scene.start()
        window = program.window
        found = properties(desktop, window, "_NET_WM_WINDOW_TYPE", "WM_TRANSIENT_FOR", "_NET_WM_STATE")
        check("_NET_WM_WINDOW_TYPE_NORMAL" in found, f"not a normal window: {found}")
        check("WM_TRANSIENT_FOR:  not found" in found and "MODAL" not in found, f"modal or transient: {found}")
        actions = set(re.findall(r"_NET_WM_ACTION_\w+", properties(desktop, window, "_NET_WM_ALLOWED_ACTIONS")))
        check({"_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_CLOSE", "_NET_WM_ACTION_MOVE"} <= actions,
              f"minimise, close or move is not offered: {sorted(actions)}")
        check(not actions & {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"},
              f"maximise or resize is offered: {sorted(actions)}")
        # Metacity's frame is thick enough to hide the list within 175 px.
        wait_equal("the collapsed outer height", lambda: desktop.outer_height(window), 175, timeout=10)
        # Minimised, the desktop shows the window's icon.
        check("Icon (16 x 16)" in properties(desktop, window, "_NET_WM_ICON"), "the window has no 16 px icon")

        log("metacity: minimised, and restored by a second start")
        desktop.run(["xdotool", "windowminimize", "--sync", str(window)])
        wait_equal("the minimised window", lambda: window_state(desktop, window), "Iconic", timeout=10)
        status, output = scene.run_briefly(scene.work)
        check(status == 0, f"the second start ended with {status}: {output}")
        wait_equal("the restored window", lambda: window_state(desktop, window), "Normal", timeout=10)

        log("metacity: the editor is a modal dialog over the main window")
        desktop.activate(window)
        desktop.click(window, e2e.BUTTON_SHOW_LIST)
        desktop.click(window, e2e.BUTTON_NEW)
        editor = wait_for("the task editor", program.other_windows, timeout=10)[0]
        found = properties(desktop, editor, "_NET_WM_WINDOW_TYPE", "WM_TRANSIENT_FOR", "_NET_WM_STATE")
        check("_NET_WM_WINDOW_TYPE_DIALOG" in found and "_NET_WM_STATE_MODAL" in found
              and f"window id # {hex(window)}" in found, f"the editor is not modal over the window: {found}")
        desktop.key(editor, "Escape")
        wait_equal("the editor to close", program.other_windows, [], timeout=10)
        desktop.close_box(window)
        check(program.wait_exit() == 0, "pelmora ended with an error after the close box")


def refused_start(scene, folder, as_user=None):
    """Starts pelmora expecting it to refuse with a message box: closes the box, returns (status, output)."""
    argv = [e2e.PELMORA]
    if as_user:
        argv = ["setpriv", f"--reuid={as_user[0]}", f"--regid={as_user[1]}", "--clear-groups", *argv]
    process = subprocess.Popen(argv, cwd=folder, env=scene.desktop.env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
    try:
        box = wait_for("the refusal's message box", lambda: (scene.desktop.clients(process.pid) or [None])[0],
                       timeout=15)
        scene.desktop.key(box, "Return")
        output, _ = process.communicate(timeout=10)
    finally:
        e2e.stop(process)
    return process.returncode, output


def nobody():
    try:
        return pwd.getpwnam("nobody").pw_uid, grp.getgrnam("nogroup").gr_gid
    except KeyError:
        return None


def run():
    under_metacity()
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

        log("a start with another runtime directory finds the same Pelmora")
        runtime = scene.desktop.env["XDG_RUNTIME_DIR"]
        scene.desktop.env["XDG_RUNTIME_DIR"] = os.path.join(scene.root, "other-runtime")
        os.makedirs(scene.desktop.env["XDG_RUNTIME_DIR"], mode=0o700)
        second_start_raises(scene, first, scene.work)
        scene.desktop.env["XDG_RUNTIME_DIR"] = runtime

        user = nobody()
        if user:
            log("another user's start is told the folder is held and starts nothing")
            status, output = refused_start(scene, scene.work, as_user=user)
            check(status == 1 and "Another user's Pelmora" in output and scene.work in output,
                  f"another user's start ended with {status}: {output}")
        else:
            log("SKIP another user's start: there is no user nobody/nogroup")

        log("a stopped Pelmora is reported: accepting the connection is not an answer")
        os.kill(first.process.pid, signal.SIGSTOP)
        try:
            status, output = refused_start(scene, scene.work)
        finally:
            os.kill(first.process.pid, signal.SIGCONT)
        check(status == 1 and "does not answer" in output and scene.work in output,
              f"the start beside a stopped Pelmora ended with {status}: {output}")

        log("after a crash nothing stops the next start")
        os.kill(first.process.pid, signal.SIGKILL)
        first.wait_exit()
        again = scene.start()
        second_start_raises(scene, again, scene.work)
        scene.desktop.close_box(again.window)
        check(again.wait_exit() == 0, "pelmora ended with an error after the close box")
        check(scene.read_tasks() == ON_DISK, "the close box changed the tasks")
        second.close()
        second.wait_exit()
        left = os.listdir(runtime) + os.listdir(os.path.join(scene.root, "other-runtime"))
        check(left == [], f"left in the runtime directories after both ended: {left}")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
