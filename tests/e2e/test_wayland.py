#!/usr/bin/env python3
"""Pelmora on Wayland itself, not through XWayland: under a headless weston its window opens collapsed with the
clock painted and the desktop file's id as app id, and SIGTERM saves and ends it as the close box does."""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

import e2e
from e2e import check, log, wait_for

APP_ID = "io.github.pelmora.pelmora"
COLLAPSED_HEIGHT = 175
MIN_YELLOW_PIXELS = 2000  # the eight digits of 00:00:00 fill about 5000


def run():
    if not shutil.which("weston"):
        print("weston is not installed: scripts/install-deps.sh installs it")
        sys.exit(77)
    root = tempfile.mkdtemp(prefix="pelmora-e2e-wayland-")
    work = os.path.join(root, "work")
    os.makedirs(work)
    weston, process = None, None
    try:
        weston = e2e.Weston(root)
        # WAYLAND_DEBUG logs every request Pelmora sends to the compositor.
        env = dict(weston.env, QT_QPA_PLATFORM="wayland", WAYLAND_DEBUG="client")
        protocol_path = os.path.join(root, "pelmora.log")
        with open(protocol_path, "w") as out:
            process = subprocess.Popen([e2e.PELMORA], cwd=work, env=env, stdout=out, stderr=subprocess.STDOUT)

        def protocol():
            with open(protocol_path, errors="replace") as f:
                return f.read()

        def mapped_with_title():
            # Mapped: a buffer attached after the compositor's first configure was acknowledged.
            text = protocol()
            check(process.poll() is None, f"pelmora ended with status {process.poll()}:\n{text[-2000:]}")
            acknowledged = text.find("ack_configure")
            return (acknowledged >= 0 and re.search(r"wl_surface@\d+\.attach\(wl_buffer@", text[acknowledged:])
                    and 'set_title("Pelmora - ' in text)

        wait_for("the window to be mapped with the clock's title", mapped_with_title, timeout=30)
        text = protocol()
        check(f'set_app_id("{APP_ID}")' in text, "the window's app id is not the desktop file's id")

        def last_height():
            heights = re.findall(r"set_window_geometry\(-?\d+, -?\d+, \d+, (\d+)\)", protocol())
            return int(heights[-1]) if heights else None

        # The decoration's height is known only once the window is up: the height follows it.
        e2e.wait_equal("the collapsed height, decoration included", last_height, COLLAPSED_HEIGHT, timeout=10)

        def clock_digits_on_screen():
            # The clock shows 00:00:00, a whole minute: yellow digits.
            image = weston.screenshot(root)
            yellow = image.count(e2e.YELLOW, (0, 0, image.width - 1, image.height - 1))
            return yellow if yellow > MIN_YELLOW_PIXELS else 0

        yellow = wait_for("the clock's yellow digits on the screen", clock_digits_on_screen, timeout=15, interval=0.2)
        log(f"{yellow} yellow pixels on the screen")

        tasks = os.path.join(work, "TASKS.BIN")
        check(not os.path.exists(tasks), "TASKS.BIN exists before Pelmora was closed")
        process.send_signal(signal.SIGTERM)
        check(process.wait(15) == 0, f"pelmora ended with status {process.returncode} on SIGTERM")
        check(os.path.isfile(tasks), "SIGTERM did not save TASKS.BIN as the close box does")
        log("SIGTERM saved TASKS.BIN and ended pelmora with status 0")
    except BaseException:
        if weston:
            log(f"weston's log:\n{weston.output()[-3000:]}")
        raise
    finally:
        if process:
            e2e.stop(process)
        if weston:
            weston.close()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(e2e.main(run))
