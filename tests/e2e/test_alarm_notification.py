#!/usr/bin/env python3
"""E2E: an alarm behind another window sets the urgency hint and shows one desktop notification per run, which
STOP takes back; with no notification service, or no session bus, the alarm still sounds and nothing fails."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import check, log, wait_equal, wait_for  # noqa: E402

PRESET = 2


def alarm_behind_another_window(scene, program, tones_to_hear):
    """START, turn to another window, and wait for `tones_to_hear` more tones; returns the other window."""
    heard = len(program.tones())
    scene.desktop.click(program.window, e2e.BUTTON_START)
    other = e2e.another_window(scene)
    wait_for(f"{tones_to_hear} tones", lambda: len(program.tones()) >= heard + tones_to_hear, timeout=PRESET + 8)
    return other


def stop(scene, program):
    scene.desktop.click(program.window, e2e.BUTTON_START)
    wait_equal("the preset back after STOP", program.title, "Pelmora -  00:00:%02d " % PRESET, timeout=5)


def service_modules_missing():
    try:
        import dbus  # noqa: F401
        from gi.repository import GLib  # noqa: F401
    except ImportError:
        return True
    return False


def run():
    with e2e.Scene("notify") as scene:
        bus = e2e.session_bus(scene)
        service = e2e.NotificationService(scene)
        program = scene.start()
        desktop = program.desktop
        wait_equal("the clock's title", program.title, "Pelmora -  00:00:00 ")
        for _ in range(PRESET):
            desktop.click(program.window, e2e.SCROLL_RIGHT_ARROW)
        wait_equal("the preset", program.title, "Pelmora -  00:00:%02d " % PRESET, timeout=5)

        log("a manual countdown ends while another window is active: urgency and one notification")
        alarm_behind_another_window(scene, program, 3)
        check(e2e.demands_attention(desktop, program.window), "the window does not ask for attention")
        calls = service.calls()
        check([c[:4] for c in calls] == [["Notify", "Pelmora", "Pelmora", "00:00:00"]],
              f"not one notification for three tones: {calls}")
        stop(scene, program)
        wait_for("the notification to be taken back", lambda: len(service.calls()) == 2, timeout=5)
        check(service.calls()[1] == ["CloseNotification", calls[0][4]], f"STOP closed {service.calls()[1:]}")

        log("no notification service, then no session bus: the alarm still sounds and the window still works")
        e2e.stop(service.process)
        alarm_behind_another_window(scene, program, 2)
        stop(scene, program)
        e2e.stop(bus)
        alarm_behind_another_window(scene, program, 2)
        stop(scene, program)
        check(program.running(), "pelmora ended")
        desktop.key(program.window, "Escape")
        check(program.wait_exit() == 0, "pelmora ended with an error after Escape")
        check(len(service.calls()) == 2, f"calls reached a service that was gone: {service.calls()}")


if __name__ == "__main__":
    if service_modules_missing():
        print("skipped: the test's notification service needs python3-dbus and python3-gi (scripts/install-deps.sh)")
        sys.exit(77)
    sys.exit(e2e.main(run))
