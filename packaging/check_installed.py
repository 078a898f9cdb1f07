#!/usr/bin/env python3
"""Proves an installed Pelmora: starts it from its desktop entry's Exec line in Xvfb, as the menu would.

It must open its window, run in ~/.local/share/pelmora (made when missing) and save TASKS.BIN there.
usage: check_installed.py [DESKTOP-FILE]   (default /usr/share/applications/io.github.pelmora.pelmora.desktop)
"""
import os
import shlex
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import e2e  # noqa: E402
from e2e import check, log, wait_for  # noqa: E402


def exec_line(desktop_file):
    with open(desktop_file) as f:
        lines = [line.rstrip("\n") for line in f]
    check("[Desktop Entry]" in lines, f"{desktop_file} has no [Desktop Entry] group")
    execs = [line.split("=", 1)[1] for line in lines if line.startswith("Exec=")]
    check(len(execs) == 1, f"{desktop_file} has {len(execs)} Exec lines")
    # Field codes (%f, %u, ...) would be replaced by the menu; an empty launch drops them.
    return [word for word in shlex.split(execs[0]) if not word.startswith("%")]


def run():
    desktop_file = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/applications/io.github.pelmora.pelmora.desktop"
    argv = exec_line(desktop_file)
    log(f"Exec line of {desktop_file}: {argv}")
    with e2e.Scene("installed") as scene:
        data_dir = os.path.join(scene.home, ".local", "share", "pelmora")
        check(not os.path.exists(data_dir), "the data folder exists before the first start")
        # Started the way a menu starts it: from the home folder, with only the desktop's environment.
        process = subprocess.Popen(argv, cwd=scene.home, env=scene.desktop.env)
        try:
            window = wait_for("the Pelmora window", lambda: next(
                (w for w in scene.desktop.clients(process.pid)
                 if (scene.desktop.title(w) or "").startswith("Pelmora")), None), timeout=30)
            log(f"window {window}: {scene.desktop.title(window)!r}")
            cwd = os.readlink(f"/proc/{process.pid}/cwd")
            check(cwd == data_dir, f"pelmora runs in {cwd}, not in {data_dir}")
            program = os.path.join(argv[0].split("/libexec/")[0], "bin", "pelmora")
            exe = os.readlink(f"/proc/{process.pid}/exe")
            check(exe == program, f"the window belongs to {exe}, not to the installed {program}")
            scene.desktop.close_box(window)
            check(process.wait(15) == 0, "pelmora ended with an error")
        finally:
            e2e.stop(process)
        tasks = os.path.join(data_dir, "TASKS.BIN")
        check(os.path.isfile(tasks), "closing did not save TASKS.BIN in the data folder")
        check(not os.path.exists(os.path.join(scene.home, "TASKS.BIN")), "TASKS.BIN landed in the home folder")
        log(f"started in {data_dir} and saved {tasks}")


if __name__ == "__main__":
    sys.exit(e2e.main(run))
