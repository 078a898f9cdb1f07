#!/usr/bin/env python3
"""Desktop services for tests on the session bus named by DBUS_SESSION_BUS_ADDRESS: org.freedesktop.Notifications
and, with --portal, the desktop portal's Inhibit, or with --logind, logind's (for a program whose system bus is this
bus too). Each call they get is appended, as a JSON line, to argv[1], and so is the release of logind's lock.
The test plays the user through io.github.pelmora.Test: Invoke(id, action) emits ActionInvoked, and
Dismiss(id) emits NotificationClosed as a click on the notification's close button would."""
import json
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PORTAL = "org.freedesktop.portal.Desktop"
TEST = "io.github.pelmora.Test"
DISMISSED = 2


def plain(value):
    """A D-Bus value as JSON has it: bytes as numbers, variants unwrapped."""
    if isinstance(value, dict):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, int):
        return int(value)
    return str(value)


class Recorder:
    def __init__(self, path):
        self.path = path

    def write(self, *call):
        with open(self.path, "a") as f:
            f.write(json.dumps(plain(call)) + "\n")


class Service(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.record = record
        self.next_id = 1

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        given = replaces
        if not replaces:
            given, self.next_id = self.next_id, self.next_id + 1
        self.record.write("Notify", app, summary, body, given, replaces, icon, actions, hints, timeout)
        return given

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, given):
        self.record.write("CloseNotification", given)

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        self.record.write("GetCapabilities")
        return ["body", "actions"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ["pelmora-test", "pelmora", "1", "1.2"]

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, given, action):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, given, reason):
        pass

    @dbus.service.method(TEST, in_signature="us", out_signature="")
    def Invoke(self, given, action):
        self.ActionInvoked(given, action)

    @dbus.service.method(TEST, in_signature="u", out_signature="")
    def Dismiss(self, given):
        self.NotificationClosed(given, DISMISSED)


class Request(dbus.service.Object):
    """The handle an Inhibit answers with; closing it ends the inhibition."""

    def __init__(self, bus, path, record):
        super().__init__(bus, path)
        self.path, self.record = path, record

    @dbus.service.method("org.freedesktop.portal.Request", in_signature="", out_signature="")
    def Close(self):
        self.record.write("Close", self.path)
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, "/org/freedesktop/portal/desktop")
        self.bus, self.record, self.requests = bus, record, 0

    @dbus.service.method("org.freedesktop.portal.Inhibit", in_signature="sua{sv}", out_signature="o")
    def Inhibit(self, window, flags, options):
        self.requests += 1
        path = f"/org/freedesktop/portal/desktop/request/test/{self.requests}"
        Request(self.bus, path, self.record)
        self.record.write("Inhibit", window, flags, options, path)
        return path


class Logind(dbus.service.Object):
    """Hands out the write end of a pipe as the lock: its end of file is the release."""

    def __init__(self, bus, record):
        super().__init__(bus, "/org/freedesktop/login1")
        self.record = record

    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="ssss", out_signature="h")
    def Inhibit(self, what, who, why, mode):
        read_end, write_end = os.pipe()
        self.record.write("Inhibit", what, who, why, mode)
        GLib.io_add_watch(read_end, GLib.IO_HUP | GLib.IO_ERR, self.released)
        lock = dbus.types.UnixFd(write_end)
        os.close(write_end)
        return lock

    def released(self, read_end, _condition):
        self.record.write("Released")
        os.close(read_end)
        return False


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    record = Recorder(sys.argv[1])
    names = [dbus.service.BusName(NAME, bus)]
    objects = [Service(bus, record)]
    if "--portal" in sys.argv[2:]:
        names.append(dbus.service.BusName(PORTAL, bus))
        objects.append(Portal(bus, record))
    if "--logind" in sys.argv[2:]:
        names.append(dbus.service.BusName("org.freedesktop.login1", bus))
        objects.append(Logind(bus, record))
    print("ready", flush=True)
    GLib.MainLoop().run()
    del names, objects


if __name__ == "__main__":
    main()
