#!/usr/bin/env bash
# Runs a command under its own Xvfb (1920x1200x24), so X11 and UI tests need no
# display from the caller and can run in parallel: the server picks a free
# display number itself (-displayfd), so two runs never share one.
#   tests/support/with-xvfb.sh COMMAND [ARGS...]
# The server has MIT-SHM; set ORVANE_XVFB_ARGS to add server options (for
# example "-extension MIT-SHM" to test the fallback).
set -euo pipefail
command -v Xvfb >/dev/null || { echo "with-xvfb: Xvfb is not installed (scripts/install-deps.sh)" >&2; exit 1; }

numfile="$(mktemp)"
# shellcheck disable=SC2086
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp -noreset ${ORVANE_XVFB_ARGS:-} \
  3>"$numfile" >/dev/null 2>&1 &
pid=$!
cleanup() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -f "$numfile"
}
trap cleanup EXIT

# Xvfb writes its display number once it accepts connections (at most 10 s).
for _ in $(seq 1 200); do
  if [ -s "$numfile" ]; then
    break
  fi
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "with-xvfb: Xvfb exited before it was ready" >&2
    exit 1
  fi
  sleep 0.05
done
if [ ! -s "$numfile" ]; then
  echo "with-xvfb: Xvfb did not come up within 10 s" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$numfile" | tr -d '[:space:]')"
export QT_QPA_PLATFORM=xcb # a real X server: Qt uses its xcb platform
set +e
"$@"
rc=$?
set -e
exit $rc
