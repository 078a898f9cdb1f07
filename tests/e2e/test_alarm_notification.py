#!/usr/bin/env python3
"""E2E: an alarm behind another window asks for attention (the EWMH state and the WM_HINTS urgency flag) and shows
one lasting, critical desktop notification per run, whose click raises the window and whose Stop stops the alarm;
STOP takes back both, activated or not. An alarm seen in the window is shown once the user leaves it, and a
dismissed notification leaves the alarm ringing. A run keeps the machine awake through the portal's Inhibit, or
logind's idle inhibitor where there is no portal.
With no notification service, or no session bus, the alarm still sounds and nothing fails. With no sound server
and no sound device, the notification says the sound failed, even over the active window."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import attention, check, log, wait_equal, wait_for  # noqa: E402

PRESET = 2
DESKTOP_ID = "io.github.pelmora.pelmora"
ENDED = "The 00:00:%02d countdown has ended" % PRESET
SUSPEND_AND_IDLE = 4 | 8


def wait_tones(program, count, since):
    wait_for(f"{count} tones", lambda: len(program.tones()) >= since + count, timeout=PRESET + 3 + count)


def alarm_behind_another_window(scene, program, tones_to_hear):
    """START, turn to another window, and wait for `tones_to_hear` more tones; returns the other window."""
    heard = len(program.tones())
    scene.desktop.click(program.window, e2e.BUTTON_START)
    other = e2e.another_window(scene)
    wait_tones(program, tones_to_hear, heard)
    return other


def stop(scene, program):
    scene.desktop.click(program.window, e2e.BUTTON_START)
    wait_stopped(program)


def wait_stopped(program):
    wait_equal("the preset back after STOP", program.title, "Pelmora -  00:00:%02d " % PRESET, timeout=5)


def still_ringing(program):
    heard = len(program.tones())
    wait_tones(program, 2, heard)


def last_notification(service):
    notes = service.calls("Notify")
    check(notes, "no notification came")
    return notes[-1]


def service_modules_missing():
    try:
        import dbus  # noqa: F401
        from gi.repository import GLib  # noqa: F401
    except ImportError:
        return True
    return False


def set_preset(program):
    wait_equal("the clock's title", program.title, "Pelmora -  00:00:00 ")
    for _ in range(PRESET):
        program.desktop.click(program.window, e2e.SCROLL_RIGHT_ARROW)
    wait_equal("the preset", program.title, "Pelmora -  00:00:%02d " % PRESET, timeout=5)


def sound_failure_is_told():
    with e2e.Scene("notify-silent") as scene:
        e2e.session_bus(scene)
        service = e2e.NotificationService(scene)
        # No server answers (the private runtime folder has none), and ALSA's default names no card.
        program = scene.start(asoundrc="pcm.!default { type hw; card 99 }\n")
        set_preset(program)
        scene.desktop.click(program.window, e2e.BUTTON_START)
        note = wait_for("the notification of the failed sound", lambda: service.calls("Notify"), timeout=PRESET + 5)[0]
        check(note[2] == ENDED and note[3].startswith("The sound could not be played: "), f"notification {note}")
        check(scene.desktop.active_window() == program.window, "the window was not active: the case is not tested")
        # That stderr says it once is the sound-server test's (no server, no device).
        stop(scene, program)


def run():
    sound_failure_is_told()
    with e2e.Scene("notify") as scene:
        bus = e2e.session_bus(scene)
        # Where Pelmora looks for logind: the test's own bus, not the machine's.
        scene.desktop.env["DBUS_SYSTEM_BUS_ADDRESS"] = scene.desktop.env["DBUS_SESSION_BUS_ADDRESS"]
        service = e2e.NotificationService(scene, "--portal")
        program = scene.start()
        desktop = program.desktop
        set_preset(program)
        check(not service.calls("Inhibit"), "the machine was kept awake without a run")

        log("a manual countdown ends behind another window: attention and one lasting, critical notification")
        other = alarm_behind_another_window(scene, program, 3)
        inhibits = service.calls("Inhibit")
        check(len(inhibits) == 1 and inhibits[0][2] == SUSPEND_AND_IDLE and inhibits[0][3].get("reason"),
              f"START did not inhibit suspend and idle once, with a reason: {inhibits}")
        check(attention(desktop, program.window) == (True, True), "the window does not ask for attention both ways")
        notes = service.calls("Notify")
        check(len(notes) == 1, f"not one notification for three tones: {notes}")
        _, app, summary, body, given, replaces, icon, actions, hints, timeout = notes[0]
        check((app, summary, body, icon, timeout) == ("Pelmora", ENDED, "", DESKTOP_ID, 0), f"notification {notes[0]}")
        check(actions[0::2] == ["default", "stop"] and actions[3] == "Stop", f"actions {actions}")
        check(hints == {"urgency": 2, "desktop-entry": DESKTOP_ID}, f"hints {hints}")
        check(len(service.calls("GetCapabilities")) == 1, "the capabilities were not asked once")

        log("a click on the notification raises and activates the window; the alarm goes on")
        service.user("Invoke", f"uint32:{given}", "string:default")
        wait_for("the window to be active", lambda: desktop.active_window() == program.window, timeout=5)
        check(desktop.topmost() == program.window, "the window was not raised")
        wait_equal("the attention once the user came", lambda: attention(desktop, program.window), (False, False),
                   timeout=5)
        still_ringing(program)
        desktop.activate(other)
        check(len(service.calls("Notify")) == 1, "leaving again showed a second notification")

        log("Stop in the notification stops the alarm and takes back notification, attention and inhibitor")
        service.user("Invoke", f"uint32:{given}", "string:stop")
        wait_stopped(program)
        wait_for("the notification to be taken back", lambda: ["CloseNotification", given] in service.calls(), timeout=5)
        check(service.calls("Close") == [["Close", inhibits[0][4]]], f"the inhibitor was not released: {service.calls()}")

        log("the next alarm, left unactivated and stopped from the notification: the attention is gone")
        alarm_behind_another_window(scene, program, 1)
        check(attention(desktop, program.window) == (True, True), "the second alarm asks for no attention")
        second = last_notification(service)
        service.user("Invoke", f"uint32:{second[4]}", "string:stop")
        wait_stopped(program)
        check(desktop.active_window() != program.window, "the window was activated")
        wait_equal("the attention after STOP", lambda: attention(desktop, program.window), (False, False), timeout=5)
        heard = len(program.tones())
        time.sleep(1.5)
        check(len(program.tones()) <= heard + 1, "the alarm went on after Stop")

        log("an alarm seen in the window is shown once the user leaves; dismissed, it rings on")
        shown = len(service.calls("Notify"))
        heard = len(program.tones())
        desktop.click(program.window, e2e.BUTTON_START)
        wait_tones(program, 2, heard)
        check(len(service.calls("Notify")) == shown, "an alarm the user looks at was notified")
        e2e.another_window(scene)
        wait_for("the notification after leaving", lambda: len(service.calls("Notify")) == shown + 1, timeout=5)
        service.user("Dismiss", f"uint32:{last_notification(service)[4]}")
        still_ringing(program)
        stop(scene, program)
        opened = {c[4] for c in service.calls("Notify")}
        closed = {c[1] for c in service.calls("CloseNotification")} | {last_notification(service)[4]}
        check(opened == closed, f"notifications left open: {service.calls()}")

        log("without a portal, logind's idle inhibitor, from START to STOP")
        e2e.stop(service.process)
        service = e2e.NotificationService(scene, "--logind")
        alarm_behind_another_window(scene, program, 1)
        check(service.calls("Inhibit") == [["Inhibit", "idle", "Pelmora", inhibits[0][3]["reason"], "block"]],
              f"not one idle inhibitor from logind: {service.calls()}")
        stop(scene, program)
        wait_for("logind's lock to be released", lambda: service.calls("Released"), timeout=5)

        log("no notification service, then no session bus: the alarm still sounds and the window still works")
        e2e.stop(service.process)
        calls = len(service.calls())
        alarm_behind_another_window(scene, program, 2)
        stop(scene, program)
        e2e.stop(bus)
        alarm_behind_another_window(scene, program, 2)
        stop(scene, program)
        check(program.running(), "pelmora ended")
        desktop.key(program.window, "Escape")
        check(program.wait_exit() == 0, "pelmora ended with an error after Escape")
        check(len(service.calls()) == calls, f"calls reached a service that was gone: {service.calls()}")


if __name__ == "__main__":
    if service_modules_missing():
        print("skipped: the test's notification service needs python3-dbus and python3-gi (scripts/install-deps.sh)")
        sys.exit(77)
    sys.exit(e2e.main(run))
