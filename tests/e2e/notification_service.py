#!/usr/bin/env python3
"""A desktop notification service for tests: owns org.freedesktop.Notifications on the session bus named
by DBUS_SESSION_BUS_ADDRESS and appends each Notify and CloseNotification call, as a JSON line, to argv[1]."""
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Service(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.record = record
        self.next_id = 1

    def write(self, *call):
        with open(self.record, "a") as f:
            f.write(json.dumps(call) + "\n")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        given, self.next_id = self.next_id, self.next_id + 1
        self.write("Notify", str(app), str(summary), str(body), given)
        return given

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, given):
        self.write("CloseNotification", int(given))

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ["pelmora-test", "pelmora", "1", "1.2"]


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus)
    service = Service(bus, sys.argv[1])
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, service


if __name__ == "__main__":
    main()
