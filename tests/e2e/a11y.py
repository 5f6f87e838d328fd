#!/usr/bin/python3
"""Reads what the program shows through its accessibility tree (AT-SPI over D-Bus).

The program runs with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 on the session bus named by
DBUS_SESSION_BUS_ADDRESS. Two commands:

  a11y.py dump [APP]   prints every object of each application (or of APP only), one per line:
                       "<depth> <role> | <name> | <text> | <states> | <x,y,w,h on screen>",
                       indented by depth.
  a11y.py watch        runs until killed and prints, as they happen, "menu: <caption>;..." when
                       a popup menu shows (separators as empty captions) and "focus: <role> |
                       <name>" when an object takes the focus.

Popup menus are not children of the application object, so they are only seen through events.
"""

import sys

import dbus

ACC = "org.a11y.atspi.Accessible"
TEXT = "org.a11y.atspi.Text"
COMPONENT = "org.a11y.atspi.Component"
PROPS = "org.freedesktop.DBus.Properties"
TIMEOUT = 3.0  # seconds per call: a busy program must not stall the caller for the bus default
STATE_NAMES = {1: "active", 4: "checked", 7: "editable", 8: "enabled", 11: "focusable",
               12: "focused", 16: "modal", 23: "selected", 25: "showing", 30: "visible"}


def a11y_bus():
    session = dbus.SessionBus()
    launcher = session.get_object("org.a11y.Bus", "/org/a11y/bus", introspect=False)
    return dbus.bus.BusConnection(launcher.GetAddress(dbus_interface="org.a11y.Bus",
                                                      timeout=TIMEOUT))


def describe(bus, name, path):
    obj = bus.get_object(name, path, introspect=False)
    label = str(obj.Get(ACC, "Name", dbus_interface=PROPS, timeout=TIMEOUT))
    role = str(obj.GetRoleName(dbus_interface=ACC, timeout=TIMEOUT))
    text = ""
    interfaces = obj.GetInterfaces(dbus_interface=ACC, timeout=TIMEOUT)
    extents = ""
    if COMPONENT in interfaces:
        extents = "%d,%d,%d,%d" % tuple(obj.GetExtents(dbus.UInt32(0), dbus_interface=COMPONENT,
                                                      timeout=TIMEOUT))
    if TEXT in interfaces:
        count = obj.Get(TEXT, "CharacterCount", dbus_interface=PROPS, timeout=TIMEOUT)
        text = str(obj.GetText(0, int(count), dbus_interface=TEXT, timeout=TIMEOUT))
    words = obj.GetState(dbus_interface=ACC, timeout=TIMEOUT)
    bits = int(words[0]) | (int(words[1]) << 32)
    states = ",".join(n for b, n in sorted(STATE_NAMES.items()) if bits & (1 << b))
    return obj, role, label, text, states, extents


def one_line(s):
    return s.replace("\n", "\\n")


def dump(bus, name, path, depth, out):
    obj, role, label, text, states, extents = describe(bus, name, path)
    out.append("%s%d %s | %s | %s | %s | %s" % ("  " * depth, depth, role, one_line(label),
                                                one_line(text), states, extents))
    for child_name, child_path in obj.GetChildren(dbus_interface=ACC, timeout=TIMEOUT):
        dump(bus, child_name, child_path, depth + 1, out)


def cmd_dump(app):
    bus = a11y_bus()
    registry = bus.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root",
                              introspect=False)
    out = []
    for name, path in registry.GetChildren(dbus_interface=ACC, timeout=TIMEOUT):
        try:
            label = str(bus.get_object(name, path, introspect=False)
                        .Get(ACC, "Name", dbus_interface=PROPS, timeout=TIMEOUT))
            if app and label != app:
                continue
            dump(bus, name, path, 0, out)
        except dbus.DBusException as error:
            print("skipped %s: %s" % (name, error), file=sys.stderr)
    print("\n".join(out), flush=True)


def cmd_watch():
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    DBusGMainLoop(set_as_default=True)
    bus = a11y_bus()
    registry = bus.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                              introspect=False)
    # Toolkits only send the events that some listener has registered for.
    for event in ("object:state-changed:showing", "object:state-changed:focused", "focus:"):
        registry.RegisterEvent(event, dbus.Array([], signature="s"), "",
                               dbus_interface="org.a11y.atspi.Registry")

    def on_event(kind, detail, *args, **kw):
        # Only objects that just appeared are read: asking about one that is going away can
        # stall both sides until the bus times out.
        if kw["member"] != "StateChanged" or not detail or kind not in ("showing", "focused"):
            return
        try:
            obj, role, label, _, _, _ = describe(bus, kw["sender"], kw["path"])
            if kind == "showing" and role == "popup menu":
                captions = []
                for child_name, child_path in obj.GetChildren(dbus_interface=ACC,
                                                              timeout=TIMEOUT):
                    _, child_role, child_label, _, _, _ = describe(bus, child_name, child_path)
                    captions.append("" if child_role == "separator" else child_label)
                print("menu: " + ";".join(captions), flush=True)
            elif kind == "focused":
                print("focus: %s | %s" % (role, one_line(label)), flush=True)
        except dbus.DBusException:
            pass  # the object died before it could be read

    bus.add_signal_receiver(on_event, dbus_interface="org.a11y.atspi.Event.Object",
                            path_keyword="path", sender_keyword="sender", member_keyword="member")
    print("watching", flush=True)
    GLib.MainLoop().run()


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "dump":
        cmd_dump(sys.argv[2] if len(sys.argv) > 2 else None)
    elif len(sys.argv) == 2 and sys.argv[1] == "watch":
        cmd_watch()
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
