#!/usr/bin/env bash
# Runs a command under its own Xvfb on a free display (1920x1200x24), so X11 and
# UI tests need no display from the caller and can run in parallel.
#   tests/support/with-xvfb.sh COMMAND [ARGS...]
# The server is started with MIT-SHM available; set ORVANE_XVFB_ARGS to add
# server options (for example "-extension MIT-SHM" to test the fallback).
set -euo pipefail
command -v Xvfb >/dev/null || { echo "with-xvfb: Xvfb is not installed (scripts/install-deps.sh)" >&2; exit 1; }

# Pick a display number nobody holds.
for n in $(seq 90 250); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
    display=":$n"
    Xvfb "$display" -screen 0 1920x1200x24 -nolisten tcp -noreset ${ORVANE_XVFB_ARGS:-} \
      >/dev/null 2>&1 &
    pid=$!
    # Wait until the server answers (at most 10 s).
    for _ in $(seq 1 100); do
      if DISPLAY="$display" xdpyinfo >/dev/null 2>&1; then
        break
      fi
      if ! kill -0 "$pid" 2>/dev/null; then
        pid=""
        break
      fi
      sleep 0.1
    done
    if [ -n "$pid" ]; then
      trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true' EXIT
      export DISPLAY="$display"
      unset QT_QPA_PLATFORM  # a real X server: use the xcb platform
      set +e
      "$@"
      rc=$?
      set -e
      exit $rc
    fi
  fi
done
echo "with-xvfb: could not start Xvfb" >&2
exit 1
