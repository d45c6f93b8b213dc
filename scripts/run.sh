#!/usr/bin/env bash
# Builds (when needed) and starts Orvane on the user's display.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/install-deps.sh
build="$root/build/release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF \
      -DORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

if [ ! -x "$build/ui/orvane" ]; then
  cat <<'TXT'
The Orvane application window is not built yet: this stage of the project has
the zoom timeline core and its command-line tool only. Try it with:

  build/release/timeline/orvane-timeline --help
TXT
  exit 0
fi
exec "$build/ui/orvane" "$@"
