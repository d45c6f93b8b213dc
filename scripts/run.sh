#!/usr/bin/env bash
# Builds Orvane when needed and starts it in the user's desktop session, X11 or
# Wayland (Orvane picks the matching capture backend itself).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/install-deps.sh
build="$root/build/release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF \
      -DORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

wayland_up=0
if [ -n "${WAYLAND_DISPLAY:-}" ]; then
  sock="$WAYLAND_DISPLAY"
  case "$sock" in /*) ;; *) sock="${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/$sock" ;; esac
  [ -S "$sock" ] && wayland_up=1
fi
if [ "$wayland_up" = 0 ] && { [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; }; then
  cat >&2 <<TXT
Orvane is built, but there is no desktop to open its window on: neither a
Wayland display (WAYLAND_DISPLAY is "${WAYLAND_DISPLAY:-}") nor an X11 display
(DISPLAY is "${DISPLAY:-}"). Run this command inside your desktop session.
Without a display you can still export a recording:

  $build/app/orvane-render --help
  $build/timeline/orvane-timeline --help
TXT
  exit 1
fi
exec "$build/ui/orvane" "$@"
