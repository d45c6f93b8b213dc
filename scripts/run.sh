#!/usr/bin/env bash
# Builds Orvane when needed and starts it on the user's X11 display.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/install-deps.sh
build="$root/build/release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF \
      -DORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  cat >&2 <<TXT
Orvane is built, but there is no X11 display to open its window on
(DISPLAY is "${DISPLAY:-}"). Orvane records an X11 desktop: run this command
inside your desktop session. Without a display you can still export a recording:

  $build/render/export/cli/orvane-render --help
  $build/timeline/orvane-timeline --help
TXT
  exit 1
fi
exec "$build/ui/orvane" "$@"
