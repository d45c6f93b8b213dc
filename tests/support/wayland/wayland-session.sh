#!/usr/bin/env bash
# Runs a command inside a private, headless Wayland session of its own:
#   wayland-session.sh [--target PROGRAM] [--no-portal] COMMAND [ARGS...]
#
# In one private D-Bus session (dbus-run-session) it starts, waiting for each
# to be ready:
#   1. PipeWire and WirePlumber;
#   2. mutter --headless --wayland --no-x11 with a 1280x800 virtual monitor
#      (no GPU needed; it serves screen casts with real cursor metadata);
#   3. the target window (PROGRAM, a Qt client on Qt's wayland plugin), if given;
#   4. Orvane's test portal backend (test-portal-backend.py), which answers the
#      ScreenCast dialog without a person by forwarding to mutter, and
#   5. the real xdg-desktop-portal frontend, which finds that backend through
#      XDG_DESKTOP_PORTAL_DIR.
# Then it runs COMMAND with WAYLAND_DISPLAY, XDG_SESSION_TYPE=wayland and:
#   ORVANE_TEST_PORTAL_CONTROL  a FIFO to the backend: "move X Y", "click X Y",
#                               "button CODE 0|1" (pointer through mutter's
#                               RemoteDesktop), "close" (the desktop ends the
#                               newest session), "respond CODE" (answer the next
#                               dialog with CODE: 1 = cancelled)
# ORVANE_TEST_PORTAL_CURSOR_MODES=3 makes the portal a desktop without cursor
# metadata (the default, 7, offers it).
#   ORVANE_TEST_PORTAL_LOG      the backend's log of calls, one JSON object a line
#   ORVANE_WAYLAND_TARGET_LOG   what the target window printed
# and stops everything it started, newest first. Exit status: COMMAND's, or 77
# when the session cannot be brought up (a missing package, no mutter).
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if [ -z "${ORVANE_IN_WAYLAND_SESSION:-}" ]; then
  for tool in dbus-run-session pipewire wireplumber mutter /usr/libexec/xdg-desktop-portal gdbus; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "wayland-session: $tool is missing (scripts/install-deps.sh installs it)" >&2
      exit 77
    fi
  done
  export ORVANE_IN_WAYLAND_SESSION=1
  # Nothing of the caller's session may leak in: no X display, no other bus.
  exec env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY \
    timeout --kill-after=10 900 dbus-run-session -- bash "${BASH_SOURCE[0]}" "$@"
fi

target=""
portal=1
while [ $# -gt 0 ]; do
  case "$1" in
    --target) target="$2"; shift 2 ;;
    --no-portal) portal=0; shift ;;
    *) break ;;
  esac
done

# A fresh home for this session only: runtime dir, settings, caches.
base="$(mktemp -d /tmp/orvane-wayland-XXXXXX)"
export XDG_RUNTIME_DIR="$base/run" XDG_CONFIG_HOME="$base/config" XDG_DATA_HOME="$base/data"
export XDG_STATE_HOME="$base/state" XDG_CACHE_HOME="$base/cache"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME" "$base/logs" "$base/portals"
chmod 700 "$XDG_RUNTIME_DIR"
export WAYLAND_DISPLAY=orvane-test XDG_SESSION_TYPE=wayland GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
export LIBGL_ALWAYS_SOFTWARE=1 XCURSOR_THEME=Adwaita XCURSOR_SIZE=24
# Debian's python3, which has the GObject bindings, whatever else is on PATH.
export PATH="/usr/bin:/usr/sbin:/bin:/sbin:$PATH"
export ORVANE_TEST_PORTAL_CONTROL="$XDG_RUNTIME_DIR/portal-control.fifo"
export ORVANE_TEST_PORTAL_LOG="$base/logs/portal-calls.jsonl"
export ORVANE_WAYLAND_TARGET_LOG="$base/logs/target.log"
: > "$ORVANE_TEST_PORTAL_LOG"
cat > "$base/portals/orvane-test.portal" <<PORTAL
[portal]
DBusName=org.freedesktop.impl.portal.desktop.orvanetest
Interfaces=org.freedesktop.impl.portal.ScreenCast;org.freedesktop.impl.portal.GlobalShortcuts;
UseIn=orvanetest
PORTAL

pids=()
say() { echo "wayland-session: $*" >&2; }
start() { # start NAME COMMAND...
  local name="$1"; shift
  "$@" >"$base/logs/$name.log" 2>&1 &
  pids+=($!)
}
has_owner() {
  gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
    -m org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}
wait_for() { # wait_for SECONDS WHAT COMMAND...
  local limit="$1" what="$2"; shift 2
  local end=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    if [ "$SECONDS" -ge "$end" ]; then
      say "timed out waiting for $what"
      for f in "$base"/logs/*.log; do echo "--- $f" >&2; tail -n 20 "$f" >&2; done
      return 1
    fi
    sleep 0.1
  done
}
teardown() {
  local i p
  # Helpers the bus started on demand are not our children: stop them by PID
  # while the bus still answers.
  for n in org.freedesktop.portal.Documents org.freedesktop.impl.portal.PermissionStore; do
    p="$(gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
          -m org.freedesktop.DBus.GetConnectionUnixProcessID "$n" 2>/dev/null |
         sed -n 's/.*uint32 \([0-9]*\).*/\1/p')"
    [ -n "$p" ] && kill "$p" 2>/dev/null
  done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null; done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do wait "${pids[$i]}" 2>/dev/null; done
  if mountpoint -q "$XDG_RUNTIME_DIR/doc" 2>/dev/null; then fusermount3 -u "$XDG_RUNTIME_DIR/doc" 2>/dev/null; fi
  if [ -n "${ORVANE_KEEP_WAYLAND_LOGS:-}" ]; then say "logs kept in $base/logs"; else rm -rf "$base"; fi
}
trap teardown EXIT

dbus-update-activation-environment XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME \
  XDG_CACHE_HOME WAYLAND_DISPLAY GSETTINGS_BACKEND \
  XDG_CURRENT_DESKTOP=orvanetest XDG_DESKTOP_PORTAL_DIR="$base/portals" >/dev/null 2>&1

start pipewire pipewire
wait_for 10 "PipeWire" test -S "$XDG_RUNTIME_DIR/pipewire-0" || exit 77
start wireplumber wireplumber
wait_for 10 "WirePlumber" sh -c 'pw-cli ls Client 2>/dev/null | grep -qi wireplumber' || exit 77
start mutter mutter --headless --virtual-monitor 1280x800 --wayland --no-x11 \
  --wayland-display "$WAYLAND_DISPLAY"
wait_for 30 "mutter" test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || exit 77
wait_for 30 "mutter's screen cast" has_owner org.gnome.Mutter.ScreenCast || exit 77
wait_for 30 "mutter's remote desktop" has_owner org.gnome.Mutter.RemoteDesktop || exit 77

if [ -n "$target" ]; then
  QT_QPA_PLATFORM=wayland "$target" >"$ORVANE_WAYLAND_TARGET_LOG" 2>&1 &
  pids+=($!)
  wait_for 20 "the target window" grep -q '^READY' "$ORVANE_WAYLAND_TARGET_LOG" || exit 77
  sleep 0.3 # its first frame reaches the compositor
fi

if [ "$portal" = 1 ]; then
  # The backend first: a frontend that starts without it offers no screen casts.
  start portal-backend /usr/bin/python3 -u "$here/test-portal-backend.py"
  wait_for 10 "the test portal backend" has_owner org.freedesktop.impl.portal.desktop.orvanetest || exit 77
  start portal env XDG_CURRENT_DESKTOP=orvanetest XDG_DESKTOP_PORTAL_DIR="$base/portals" \
    /usr/libexec/xdg-desktop-portal
  # Readiness by name only: a call to the portal could make the bus start a
  # second frontend without this environment.
  wait_for 20 "xdg-desktop-portal" has_owner org.freedesktop.portal.Desktop || exit 77
fi

export QT_QPA_PLATFORM="${ORVANE_WAYLAND_CLIENT_PLATFORM:-offscreen}"
"$@"
status=$?
exit "$status"
