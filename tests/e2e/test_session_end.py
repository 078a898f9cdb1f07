#!/usr/bin/env python3
"""E2E: SIGTERM, SIGHUP and SIGINT save the tasks as the close box does and end the program, a task editor
open or not; when that save fails, the reason goes to standard error and the program still ends. Under a real
XSMP session manager (xsm, driven through its buttons): a checkpoint saves and Pelmora goes on; a logout that a
failed save refused leaves it running; a logout saves and ends it; the next session starts it in its folder,
whose name is not ASCII."""
import itertools
import os
import re
import shutil
import signal
import subprocess
import sys
import time

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


class SessionManager:
    """xsm on the scene's display. Its Athena widgets are X windows without names: they are found by where they
    sit in their popup, as rows and columns."""

    def __init__(self, scene):
        self.desktop = scene.desktop
        self.home = scene.home
        self.address_file = os.path.join(scene.root, "session_manager")
        if os.path.exists(self.address_file):
            os.remove(self.address_file)
        # A new session starts what .xsmstartup names: here, a note of the manager's address.
        with open(os.path.join(self.home, ".xsmstartup"), "w") as f:
            f.write(f"sh -c 'echo \"$SESSION_MANAGER\" > {self.address_file}'\n")
        self.process = subprocess.Popen(["xsm"], env=self.desktop.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.desktop.processes.append(self.process)

    def address(self):
        return wait_for("xsm's address", lambda: os.path.exists(self.address_file) and open(self.address_file).read().strip())

    def title(self, window):
        # Xt names its windows in WM_NAME only.
        match = re.search(r'= "(.*)"', self.desktop.run(["xprop", "-id", str(window), "WM_NAME"], check_rc=False))
        return match.group(1) if match else ""

    def window(self, title):
        return wait_for(f"xsm's window {title!r}", lambda: next(
            (w for w in self.desktop.clients() if self.title(w) == title or self.title(w).startswith(title + ":")),
            None), timeout=10)

    def widgets(self, window):
        """The widget windows of a popup, as rows (top to bottom) of ids (left to right)."""
        tree = self.desktop.run(["xwininfo", "-tree", "-id", str(window)])
        found = [(len(m.group(1)), int(m.group(5)), int(m.group(4)), int(m.group(2), 16))
                 for m in re.finditer(r"^( +)0x([0-9a-f]+) .*?(\d+)x\d+\+(-?\d+)\+(-?\d+) ", tree, re.M)]
        deepest = max(depth for depth, *_ in found)
        rows = {}
        for depth, y, x, widget in found:
            if depth == deepest:
                rows.setdefault(y, []).append((x, widget))
        return [[widget for _, widget in sorted(row)] for _, row in sorted(rows.items())]

    def widget(self, title, row, column):
        """The widget at that row and column of xsm's window, brought to the front: Pelmora may cover it."""
        window = self.window(title)
        self.desktop.activate(window)
        return self.widgets(window)[row][column]

    def press(self, widget):
        self.desktop.run(["xdotool", "mousemove", "--window", str(widget), "8", "8", "click", "1"])

    def save(self, title, name=None):
        """Answers the save popup (Checkpoint or Shutdown): Both, interaction Any, as xsm offers them."""
        if name:
            field = self.widget(title, 0, 1)
            self.press(field)
            self.desktop.run(["xdotool", "type", "--window", str(field), name])
        self.press(self.widget(title, -1, 0))

    def checkpoint(self, name=None):
        self.press(self.widget("xsm", 1, 0))
        self.save("Checkpoint", name)

    def shutdown(self):
        # A menu button: the menu comes up at the press, and the release picks "With Checkpoint".
        button = self.widget("xsm", 1, 1)
        self.desktop.run(["xdotool", "mousemove", "--window", str(button), "8", "8", "mousedown", "1"])
        # The menu is the one unnamed window of xsm's own that shows; it is made at the first press.
        menu = wait_for("xsm's shutdown menu", lambda: next(
            (w for w in re.findall(r"(0x[0-9a-f]+) \(has no name\)", self.desktop.run(["xwininfo", "-root", "-children"]))
             if int(w, 16) >> 20 == self.window("xsm") >> 20 and "IsViewable" in
             self.desktop.run(["xwininfo", "-id", w], check_rc=False)), None), timeout=5)
        self.desktop.run(["xdotool", "mousemove", "--window", menu, "20", "10", "mouseup", "1"])
        self.save("Shutdown")

    def load_session(self):
        self.press(self.widget("chooseSessionPopup", -1, 0))


def ended_in_work(scene, what, other_than=None):
    """Finds the Pelmora window of a process other than `other_than`, checks it runs in the work folder, ends it."""
    window = wait_for(what, lambda: next((w for w in scene.desktop.pelmora_windows()
                                          if scene.desktop.pid_of(w) not in (other_than, None)), None))
    pid = scene.desktop.pid_of(window)
    check(os.path.realpath(os.readlink(f"/proc/{pid}/cwd")) == os.path.realpath(scene.work), f"{what}: another folder")
    os.kill(pid, signal.SIGTERM)


def under_session_manager(scene):
    for program in ("xsm", "iceauth"):
        check(shutil.which(program), f"{program} is not installed (scripts/install-deps.sh installs it)")
    log("xsm: a checkpoint saves and Pelmora goes on running")
    # A folder named in more than ASCII: the next session must find all of its name.
    scene.work = os.path.join(scene.root, "Заметки-wörk")
    os.makedirs(scene.work)
    scene.write_tasks(encode(TASKS))
    manager = SessionManager(scene)
    scene.desktop.env["SESSION_MANAGER"] = manager.address()
    program = scene.start_expanded()
    remove_first_row(program, "Second")
    manager.checkpoint("pelmora")
    wait_for("the checkpoint's save", lambda: scene.read_tasks() == encode(TASKS[1:]), timeout=10)
    time.sleep(1)
    check(program.running(), "a checkpoint ended pelmora")
    with open(os.path.join(scene.home, ".XSM-pelmora")) as f:
        saved = f.read()
    check("RestartCommand\n" in saved and "RestartStyleHint\nCARD8\n\t0\n" in saved,
          f"the session does not restart Pelmora if it runs: {saved}")

    log("xsm: a logout that another Pelmora's failed save refused leaves both running")
    remove_first_row(program, "Third")
    doomed = os.path.join(scene.root, "doomed")
    os.makedirs(doomed)
    failing = scene.start_in(doomed)
    shutil.rmtree(doomed)
    manager.shutdown()
    wait_for("the logout's save", lambda: scene.read_tasks() == encode(TASKS[2:]), timeout=10)
    wait_for("the refused save's reason", lambda: "Can not create an archive file: TASKS.BIN" in failing.output(),
             timeout=10)
    # The failing Pelmora cancelled the logout; xsm names it with an OK alone (no "Cancel Shutdown" left to offer).
    manager.press(manager.widget("Save Failure", -1, 0))
    time.sleep(2)
    check(program.running() and failing.running() and manager.process.poll() is None,
          "a refused logout still ended the session or a Pelmora")

    log("xsm: a logout saves and ends Pelmora; the next session starts it again in its folder")
    failing.close()
    remove_first_row(program, "Fourth")
    manager.shutdown()
    check(program.wait_exit() == 0, "pelmora ended with an error at the logout")
    check(scene.read_tasks() == encode(TASKS[3:]), "the logout did not save the removal")
    manager.process.wait(15)
    with open(os.path.join(scene.home, ".XSM-pelmora"), "rb") as f:
        words = f.read().partition(b"RestartCommand\nLISTofARRAY8\n")[2].split(b"\n")
    restart = [os.fsdecode(word[1:]) for word in itertools.takewhile(lambda word: word.startswith(b"\t"), words)]
    scene.desktop.env.pop("SESSION_MANAGER")
    SessionManager(scene).load_session()
    ended_in_work(scene, "Pelmora started by the session", program.process.pid)
    wait_equal("the restarted Pelmora to end", scene.desktop.pelmora_windows, [], timeout=10)

    # xsm starts the program in the session's CurrentDirectory; other managers run the restart command as it is.
    log("the restart command alone starts Pelmora in its folder")
    process = subprocess.Popen(restart, cwd=scene.root, env=scene.desktop.env)
    scene.desktop.processes.append(process)
    ended_in_work(scene, f"Pelmora started by its restart command {restart}")
    check(process.wait(10) == 0, "the Pelmora of the restart command ended with an error")


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

    with e2e.Scene("xsm") as scene:
        under_session_manager(scene)


if __name__ == "__main__":
    sys.exit(e2e.main(run))
