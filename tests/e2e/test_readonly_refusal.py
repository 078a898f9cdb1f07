#!/usr/bin/env python3
"""E2E: a read-only TASKS.BIN refuses the save with a message, the window stays open, the file is unchanged;
at SIGTERM the same refusal goes to standard error with its reason. In a sticky folder, another user's file
that anyone may write is refused too, before anything is written, saying why."""
import os
import pwd
import grp
import signal
import stat
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_for  # noqa: E402
from taskfile import Task, encode  # noqa: E402

SKIP = 77  # ctest's SKIP_RETURN_CODE for this test
ON_DISK = encode([Task(description=b"Keep me", span_delay=60)])


def other_user():
    """Root may write any file, so as root the program runs as nobody; any other user is refused by the mode."""
    if os.geteuid() != 0:
        return None, None
    try:
        user, group = pwd.getpwnam("nobody"), grp.getgrnam("nogroup")
    except KeyError:
        print("SKIP: running as root and there is no user nobody/nogroup to run pelmora as", flush=True)
        sys.exit(SKIP)
    return (user.pw_uid, group.gr_gid), ("nobody", "nogroup")


def run():
    ids, names = other_user()
    with e2e.Scene("readonly") as scene:
        scene.write_tasks(ON_DISK)
        if ids:
            # The work folder belongs to the user and stays writable: only the file's own mode refuses the save,
            # which is the case a rename over the file would otherwise get past.
            for path in (scene.work, scene.home, scene.desktop.env["XDG_RUNTIME_DIR"], scene.tasks_path()):
                os.chown(path, *ids)
        os.chmod(scene.tasks_path(), 0o444)
        before = os.stat(scene.tasks_path())

        program = scene.start(as_user=names)
        desktop = program.desktop
        if ids:
            with open(f"/proc/{program.process.pid}/status") as f:
                uid = next(line.split()[1] for line in f if line.startswith("Uid:"))
            check(int(uid) == ids[0], f"pelmora runs as uid {uid}, not as nobody")
        wait_for("the clock's title", lambda: (program.title() or "").startswith("Pelmora"))
        log("the close box must be refused")
        desktop.close_box(program.window)
        message = wait_for("the message box", lambda: program.other_windows(), timeout=15)[0]
        log(f"message box {message}: {desktop.title(message)!r}")
        check(program.running(), "pelmora ended although the save was refused")
        check(program.main_window() == program.window, "the main window closed although the save was refused")
        after = os.stat(scene.tasks_path())
        check(scene.read_tasks() == ON_DISK, "the read-only TASKS.BIN was changed")
        check((after.st_ino, stat.S_IMODE(after.st_mode)) == (before.st_ino, 0o444),
              "the read-only TASKS.BIN was replaced or its mode changed")
        check(sorted(os.listdir(scene.work)) == ["TASKS.BIN"], f"files left behind: {os.listdir(scene.work)}")

        log("dismiss the message; the window is still open and Escape closes it without saving")
        desktop.key(message, "Return")
        wait_for("the message box to close", lambda: not program.other_windows(), timeout=10)
        check(program.running() and program.main_window() == program.window, "the window did not stay open")
        desktop.key(program.window, "Escape")
        check(program.wait_exit() == 0, "pelmora ended with an error after Escape")
        check(scene.read_tasks() == ON_DISK, "TASKS.BIN changed")

        log("SIGTERM saves as the close box does: the same refusal, its reason on standard error")
        program = scene.start(as_user=names)
        os.kill(program.process.pid, signal.SIGTERM)
        check(program.wait_exit() == 1, "a refused save at SIGTERM did not end the program with status 1")
        report = "Can not create an archive file: TASKS.BIN: the file is read-only"
        check(any(line.endswith(f": {report}") for line in program.output().splitlines()),
              f"no line ending {report!r} in the output: {program.output()!r}")
        check(scene.read_tasks() == ON_DISK, "TASKS.BIN changed")

        if ids:
            sticky_folder(scene, names)


def sticky_folder(scene, names):
    log("a sticky folder of root's, root's TASKS.BIN open to all: nobody's save is refused, and says why")
    os.chown(scene.work, 0, 0)
    os.chmod(scene.work, 0o1777)
    os.chown(scene.tasks_path(), 0, 0)
    os.chmod(scene.tasks_path(), 0o666)
    program = scene.start(as_user=names)
    os.kill(program.process.pid, signal.SIGTERM)
    check(program.wait_exit() == 1, "a refused save at SIGTERM did not end the program with status 1")
    report = ("Can not create an archive file: TASKS.BIN: the folder is sticky (mode 1777), so only the file's "
              "owner, root, or the folder's may replace it")
    check(any(line.endswith(f": {report}") for line in program.output().splitlines()),
          f"no line ending {report!r} in the output: {program.output()!r}")
    after = os.stat(scene.tasks_path())
    check(scene.read_tasks() == ON_DISK and after.st_uid == 0, "root's TASKS.BIN was replaced or changed owner")
    check(sorted(os.listdir(scene.work)) == ["TASKS.BIN"], f"files left behind: {os.listdir(scene.work)}")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
