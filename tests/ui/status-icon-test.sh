#!/usr/bin/env bash
# The window's status icon against a status icon host of the tests' own (a
# StatusNotifierWatcher on a private session bus, as a desktop panel has): it
# registers while a take records, its menu holds the take's controls, and the
# host's click on "Stop Recording" ends the take.
# Run inside dbus-run-session and with-xvfb.sh:
#   status-icon-test.sh UI_WINDOW_TESTS
set -uo pipefail
tests="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
log="$(mktemp)"
# The system's Python: it has the GObject bindings install-deps.sh installs.
/usr/bin/python3 "$here/../support/sni_watcher.py" "$log" --click "Stop Recording" &
watcher=$!
trap 'kill $watcher 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 100); do grep -q '^ready' "$log" && break; sleep 0.05; done
grep -q '^ready' "$log" || { echo "the status icon host did not start"; cat "$log"; exit 1; }
ORVANE_TEST_SNI_LOG="$log" "$tests" --gtest_filter='*StatusIcon*'
