#!/usr/bin/python3
"""Orvane's test backend for the ScreenCast portal (org.freedesktop.impl.portal.ScreenCast).

The real xdg-desktop-portal frontend forwards each application request here.
There is no dialog: a request is granted at once (or answered with the code set
by "respond"), and the screen cast is made by mutter's own D-Bus API, in a
RemoteDesktop session linked to it so that tests can move and click the
pointer. Monitors are recorded with RecordMonitor; windows with RecordWindow
(the focused window). The cursor mode the application asked for is passed on.

Restore tokens: with persist_mode > 0, Start returns restore data, which the
frontend keeps and turns into a token; a later SelectSources with that token
arrives with the data again and is answered without a dialog. Every call is
logged as one JSON line to $ORVANE_TEST_PORTAL_LOG; "dialog": true marks the
requests for which a person would have seen the dialog.

Control FIFO ($ORVANE_TEST_PORTAL_CONTROL), one command a line:
  move X Y | click X Y | button CODE 0|1   pointer, on the newest session
  close                                    the desktop ends the newest session
  respond CODE                             answer the next SelectSources with CODE
  shortcut                                 the user presses the newest session's shortcuts
"""
import json
import os
import time

from gi.repository import Gio, GLib

LOG = os.environ["ORVANE_TEST_PORTAL_LOG"]
FIFO = os.environ["ORVANE_TEST_PORTAL_CONTROL"]
NAME = "org.freedesktop.impl.portal.desktop.orvanetest"
MUTTER_SC = "org.gnome.Mutter.ScreenCast"
MUTTER_RD = "org.gnome.Mutter.RemoteDesktop"

SCREENCAST_XML = """<node><interface name="org.freedesktop.impl.portal.ScreenCast">
 <method name="CreateSession"><arg type="o" direction="in"/><arg type="o" direction="in"/>
  <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
  <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
 <method name="SelectSources"><arg type="o" direction="in"/><arg type="o" direction="in"/>
  <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
  <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
 <method name="Start"><arg type="o" direction="in"/><arg type="o" direction="in"/>
  <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
  <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
 <property name="AvailableSourceTypes" type="u" access="read"/>
 <property name="AvailableCursorModes" type="u" access="read"/>
 <property name="version" type="u" access="read"/>
</interface></node>"""
SESSION_XML = """<node><interface name="org.freedesktop.impl.portal.Session">
 <method name="Close"/><signal name="Closed"/><property name="version" type="u" access="read"/>
</interface></node>"""

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
loop = GLib.MainLoop()
screencast_iface = Gio.DBusNodeInfo.new_for_xml(SCREENCAST_XML).interfaces[0]
session_iface = Gio.DBusNodeInfo.new_for_xml(SESSION_XML).interfaces[0]
sessions = {}        # session handle -> state
next_response = [0]  # the answer of the next SelectSources
# hidden | embedded | metadata; a desktop without metadata is ORVANE_TEST_PORTAL_CURSOR_MODES=3
# (the frontend reads this once, when it starts)
cursor_modes = [int(os.environ.get("ORVANE_TEST_PORTAL_CURSOR_MODES", "7"))]


def plain(v):
    if isinstance(v, GLib.Variant):
        return plain(v.unpack())
    if isinstance(v, dict):
        return {k: plain(x) for k, x in v.items()}
    if isinstance(v, (list, tuple)):
        return [plain(x) for x in v]
    return v


def log(method, **fields):
    with open(LOG, "a") as f:
        f.write(json.dumps({"t": time.time(), "method": method, **plain(fields)}) + "\n")


def call(dest, path, iface, method, params=None, reply=None):
    return bus.call_sync(dest, path, iface, method, params,
                         GLib.VariantType.new(reply) if reply else None,
                         Gio.DBusCallFlags.NONE, 10000, None)


def close_session(handle, by_desktop):
    s = sessions.pop(handle, None)
    if not s:
        return
    for sub in s.get("subs", []):
        bus.signal_unsubscribe(sub)
    if s.get("rd"):
        try:
            call(MUTTER_RD, s["rd"], MUTTER_RD + ".Session", "Stop")
        except GLib.Error:
            pass
    if by_desktop:
        bus.emit_signal(None, handle, "org.freedesktop.impl.portal.Session", "Closed", None)
    if s.get("reg"):
        bus.unregister_object(s["reg"])
    log("Session.Closed" if by_desktop else "Session.Close", session=handle)


def session_call(conn, sender, path, iface, method, params, inv):
    if method == "Close":
        close_session(path, by_desktop=False)
    inv.return_value(None)


def start_mutter(s, done):
    """A RemoteDesktop session with a linked screen cast of a monitor or the focused window."""
    rd = call(MUTTER_RD, "/org/gnome/Mutter/RemoteDesktop", MUTTER_RD, "CreateSession", None, "(o)").unpack()[0]
    rd_id = call(MUTTER_RD, rd, "org.freedesktop.DBus.Properties", "Get",
                 GLib.Variant("(ss)", (MUTTER_RD + ".Session", "SessionId")), "(v)").unpack()[0]
    sc = call(MUTTER_SC, "/org/gnome/Mutter/ScreenCast", MUTTER_SC, "CreateSession",
              GLib.Variant("(a{sv})", ({"remote-desktop-session-id": GLib.Variant("s", rd_id)},)),
              "(o)").unpack()[0]
    # portal cursor modes (1 hidden, 2 embedded, 4 metadata) -> mutter's (0, 1, 2)
    props = {"cursor-mode": GLib.Variant("u", {1: 0, 2: 1, 4: 2}.get(s["cursor_mode"], 0))}
    if s["window"]:
        stream = call(MUTTER_SC, sc, MUTTER_SC + ".Session", "RecordWindow",
                      GLib.Variant("(a{sv})", (props,)), "(o)").unpack()[0]
    else:
        stream = call(MUTTER_SC, sc, MUTTER_SC + ".Session", "RecordMonitor",
                      GLib.Variant("(sa{sv})", ("", props)), "(o)").unpack()[0]
    s.update(rd=rd, stream=stream)

    def added(conn, sender, path, iface, signal, params):
        node = params.unpack()[0]
        try:
            p = call(MUTTER_SC, stream, "org.freedesktop.DBus.Properties", "Get",
                     GLib.Variant("(ss)", (MUTTER_SC + ".Stream", "Parameters")), "(v)").unpack()[0]
        except GLib.Error:
            p = {}
        done(node, p.get("size", (0, 0)))

    def ended(conn, sender, path, iface, signal, params):
        for handle, other in list(sessions.items()):
            if other is s:
                close_session(handle, by_desktop=True)

    s["subs"] = [
        bus.signal_subscribe(MUTTER_SC, MUTTER_SC + ".Stream", "PipeWireStreamAdded", stream, None,
                             Gio.DBusSignalFlags.NONE, added),
        bus.signal_subscribe(MUTTER_RD, MUTTER_RD + ".Session", "Closed", rd, None,
                             Gio.DBusSignalFlags.NONE, ended),
    ]
    call(MUTTER_RD, rd, MUTTER_RD + ".Session", "Start")


def screencast_call(conn, sender, path, iface, method, params, inv):
    args = params.unpack()
    if method == "CreateSession":
        handle, session, app_id, options = args
        log("CreateSession", session=session, app_id=app_id)
        reg = bus.register_object(session, session_iface, session_call, lambda *a: GLib.Variant("u", 1), None)
        sessions[session] = {"reg": reg}
        inv.return_value(GLib.Variant("(ua{sv})", (0, {"session_id": GLib.Variant("s", session)})))
    elif method == "SelectSources":
        handle, session, app_id, options = args
        restored = "restore_data" in options
        s = sessions.get(session)
        response = next_response[0]
        next_response[0] = 0
        log("SelectSources", session=session, options=options, restored=restored,
            dialog=not restored, response=response)
        if s is None:
            inv.return_value(GLib.Variant("(ua{sv})", (2, {})))
            return
        if response != 0:
            inv.return_value(GLib.Variant("(ua{sv})", (response, {})))
            return
        types = options.get("types", 1)
        if restored:
            vendor, version, data = options["restore_data"]
            if vendor == "orvanetest" and isinstance(data, dict) and "window" in data:
                types = 2 if data["window"] else 1
        s["window"] = (types & 1) == 0 and (types & 2) != 0
        s["cursor_mode"] = options.get("cursor_mode", 1)
        s["persist_mode"] = options.get("persist_mode", 0)
        inv.return_value(GLib.Variant("(ua{sv})", (0, {})))
    elif method == "Start":
        handle, session, app_id, parent, options = args
        log("Start", session=session, parent_window=parent)
        s = sessions.get(session)
        if s is None or "cursor_mode" not in s:
            inv.return_value(GLib.Variant("(ua{sv})", (2, {})))
            return

        def done(node, size):
            results = {"streams": GLib.Variant("a(ua{sv})", [(node, {
                "source_type": GLib.Variant("u", 2 if s["window"] else 1),
                "size": GLib.Variant("(ii)", tuple(size)),
                "id": GLib.Variant("s", "orvanetest-0")})])}
            if s["persist_mode"] > 0:
                results["persist_mode"] = GLib.Variant("u", s["persist_mode"])
                results["restore_data"] = GLib.Variant("(suv)", ("orvanetest", 1, GLib.Variant(
                    "a{sv}", {"window": GLib.Variant("b", s["window"])})))
            log("Start.reply", session=session, node=node, size=list(size), window=s["window"])
            inv.return_value(GLib.Variant("(ua{sv})", (0, results)))
        try:
            start_mutter(s, done)
        except GLib.Error as e:
            log("Start.failed", session=session, error=e.message)
            inv.return_value(GLib.Variant("(ua{sv})", (2, {})))
    else:
        inv.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", method)


def screencast_get(conn, sender, path, iface, prop):
    return GLib.Variant("u", {"AvailableSourceTypes": 1 | 2, "AvailableCursorModes": cursor_modes[0],
                              "version": 4}.get(prop, 0))


def control(line):
    w = line.split()
    if not w:
        return
    if w[0] == "shortcut":
        press_shortcuts()
        return
    if w[0] == "respond":
        next_response[0] = int(w[1])
        log("control", line=line)
        return
    live = [(h, s) for h, s in sessions.items() if s.get("rd")]
    if not live:
        log("control", line=line, error="no session")
        return
    handle, s = live[-1]
    rd = lambda m, sig, *v: call(MUTTER_RD, s["rd"], MUTTER_RD + ".Session", m, GLib.Variant(sig, v))
    try:
        if w[0] == "move":
            rd("NotifyPointerMotionAbsolute", "(sdd)", s["stream"], float(w[1]), float(w[2]))
        elif w[0] == "click":
            rd("NotifyPointerMotionAbsolute", "(sdd)", s["stream"], float(w[1]), float(w[2]))
            rd("NotifyPointerButton", "(ib)", 272, True)
            rd("NotifyPointerButton", "(ib)", 272, False)
        elif w[0] == "button":
            rd("NotifyPointerButton", "(ib)", int(w[1]), w[2] == "1")
        elif w[0] == "close":
            close_session(handle, by_desktop=True)
        log("control", line=line)
    except GLib.Error as e:
        log("control", line=line, error=e.message)


# GlobalShortcuts, as a desktop that binds what the application proposes:
# BindShortcuts answers with the preferred trigger as the trigger, and the
# control command "shortcut" activates every bound shortcut of the newest session.
SHORTCUTS_XML = """<node><interface name="org.freedesktop.impl.portal.GlobalShortcuts">
 <method name="CreateSession"><arg type="o" direction="in"/><arg type="o" direction="in"/>
  <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
  <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
 <method name="BindShortcuts"><arg type="o" direction="in"/><arg type="o" direction="in"/>
  <arg type="a(sa{sv})" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
  <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
 <method name="ListShortcuts"><arg type="o" direction="in"/><arg type="o" direction="in"/>
  <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
 <signal name="Activated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/></signal>
 <signal name="Deactivated"><arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/></signal>
 <signal name="ShortcutsChanged"><arg type="o"/><arg type="a(sa{sv})"/></signal>
 <property name="version" type="u" access="read"/>
</interface></node>"""
shortcuts_iface = Gio.DBusNodeInfo.new_for_xml(SHORTCUTS_XML).interfaces[0]
shortcut_sessions = {}  # session handle -> [(id, trigger)]


def shortcut_session_call(conn, sender, path, iface, method, params, inv):
    shortcut_sessions.pop(path, None)
    log("GlobalShortcuts.Session.Close", session=path)
    inv.return_value(None)


def shortcuts_call(conn, sender, path, iface, method, params, inv):
    args = params.unpack()
    if method == "CreateSession":
        session = args[1]
        reg = bus.register_object(session, session_iface, shortcut_session_call, lambda *a: GLib.Variant("u", 1), None)
        shortcut_sessions[session] = []
        log("GlobalShortcuts.CreateSession", session=session)
        inv.return_value(GLib.Variant("(ua{sv})", (0, {"session_handle": GLib.Variant("s", session)})))
    elif method == "BindShortcuts":
        session, shortcuts = args[1], args[2]
        bound = [(sid, opts.get("preferred_trigger", "")) for sid, opts in shortcuts]
        shortcut_sessions[session] = bound
        log("GlobalShortcuts.BindShortcuts", session=session, shortcuts=[list(b) for b in bound])
        result = [(sid, {"trigger_description": GLib.Variant("s", trig)}) for sid, trig in bound]
        inv.return_value(GLib.Variant("(ua{sv})", (0, {"shortcuts": GLib.Variant("a(sa{sv})", result)})))
    else:
        bound = shortcut_sessions.get(args[1], [])
        result = [(sid, {"trigger_description": GLib.Variant("s", trig)}) for sid, trig in bound]
        inv.return_value(GLib.Variant("(ua{sv})", (0, {"shortcuts": GLib.Variant("a(sa{sv})", result)})))


def press_shortcuts():
    if not shortcut_sessions:
        log("control", line="shortcut", error="no shortcut session")
        return
    session = list(shortcut_sessions)[-1]
    for sid, _ in shortcut_sessions[session]:
        bus.emit_signal(None, "/org/freedesktop/portal/desktop", "org.freedesktop.impl.portal.GlobalShortcuts",
                        "Activated", GLib.Variant("(osta{sv})", (session, sid, int(time.time() * 1000), {})))
    log("control", line="shortcut", session=session)


bus.register_object("/org/freedesktop/portal/desktop", screencast_iface, screencast_call, screencast_get, None)
bus.register_object("/org/freedesktop/portal/desktop", shortcuts_iface, shortcuts_call,
                    lambda *a: GLib.Variant("u", 1), None)
Gio.bus_own_name_on_connection(bus, NAME, Gio.BusNameOwnerFlags.NONE, None, lambda *a: loop.quit())

if os.path.exists(FIFO):
    os.unlink(FIFO)
os.mkfifo(FIFO, 0o600)
fifo = os.open(FIFO, os.O_RDWR | os.O_NONBLOCK)
pending = [b""]


def on_fifo(fd, condition):
    try:
        pending[0] += os.read(fifo, 4096)
    except BlockingIOError:
        return True
    while b"\n" in pending[0]:
        line, pending[0] = pending[0].split(b"\n", 1)
        control(line.decode())
    return True


GLib.unix_fd_add_full(GLib.PRIORITY_DEFAULT, fifo, GLib.IOCondition.IN, on_fifo)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, loop.quit)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 2, loop.quit)
loop.run()
for h in list(sessions):
    close_session(h, by_desktop=False)
