#!/usr/bin/python3
"""A StatusNotifierWatcher of the tests' own, on the session bus: it hosts the
status icons that register with it, as a desktop's panel would, and writes one
line per event to the log file given:
    registered <service>
    menu <labels of the item's menu, joined by |>
    clicked <label>
With --click LABEL it clicks that item of each registered icon's menu (the
DBusMenu "clicked" event) once it is there.
    sni_watcher.py LOG [--click LABEL]
"""
import sys
import time

from gi.repository import Gio, GLib

WATCHER_XML = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  </interface>
</node>
"""

log_path = sys.argv[1]
click = sys.argv[sys.argv.index("--click") + 1] if "--click" in sys.argv else None
items = []
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
loop = GLib.MainLoop()


def log(line):
    with open(log_path, "a") as f:
        f.write(line + "\n")


def labels(layout, found):
    _id, props, children = layout
    if "label" in props:
        found.append((_id, props["label"].replace("&", "")))
    for child in children:
        labels(child.unpack() if hasattr(child, "unpack") else child, found)
    return found


def visit(service, attempt=0):
    # The item's menu, read and clicked as a panel would.
    try:
        item = Gio.DBusProxy.new_sync(bus, 0, None, service, "/StatusNotifierItem",
                                      "org.kde.StatusNotifierItem", None)
        menu_path = item.get_cached_property("Menu").unpack()
        menu = Gio.DBusProxy.new_sync(bus, 0, None, service, menu_path, "com.canonical.dbusmenu", None)
        _rev, layout = menu.call_sync("GetLayout", GLib.Variant("(iias)", (0, -1, [])), 0, 3000, None).unpack()
        found = labels(layout, [])
        log("menu " + "|".join(label for _, label in found))
        if click is not None:
            for _id, label in found:
                if label == click:
                    menu.call_sync("Event", GLib.Variant("(isvu)", (_id, "clicked", GLib.Variant("s", ""), int(time.time()))),
                                   0, 3000, None)
                    log("clicked " + label)
    except GLib.Error as e:
        if attempt < 20:
            GLib.timeout_add(200, lambda: visit(service, attempt + 1) and False)
        else:
            log("error " + str(e))
    return False


def on_call(conn, sender, path, iface, method, params, invocation):
    if method == "RegisterStatusNotifierItem":
        service = params.unpack()[0]
        if service.startswith("/"):
            service = sender
        items.append(service)
        log("registered " + service)
        conn.emit_signal(None, path, iface, "StatusNotifierItemRegistered", GLib.Variant("(s)", (service,)))
        GLib.timeout_add(500, lambda: visit(service))
    invocation.return_value(None)


def on_get(conn, sender, path, iface, name):
    if name == "RegisteredStatusNotifierItems":
        return GLib.Variant("as", items)
    if name == "IsStatusNotifierHostRegistered":
        return GLib.Variant("b", True)
    return GLib.Variant("i", 0)


node = Gio.DBusNodeInfo.new_for_xml(WATCHER_XML)
bus.register_object("/StatusNotifierWatcher", node.interfaces[0], on_call, on_get, None)


def acquired(*_):
    log("ready")


Gio.bus_own_name_on_connection(bus, "org.kde.StatusNotifierWatcher", 0, acquired, None)
loop.run()
