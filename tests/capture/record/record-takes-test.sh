#!/usr/bin/env bash
# Fifty short orvane-record takes in a row, each clicked once, on an X server
# that resets whenever its last client leaves (plain Xvfb, as xvfb-run starts
# it): every take must start and record its click. A take ends on SIGINT once
# its journal holds the click, so a slow machine only makes the takes longer.
#   record-takes-test.sh ORVANE_RECORD [TAKES]
set -uo pipefail
rec="$1"
takes="${2:-50}"
out="$(mktemp -d)"
. "$(dirname "${BASH_SOURCE[0]}")/../../support/checks.sh"

# No -noreset: the server resets between the takes, when each one's process exits.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$out/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$out"' EXIT
for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$out/display" | tr -d '[:space:]')"

failed=0
for i in $(seq "$takes"); do
  rm -f "$out/quilbo-clicks.json" "$out/orvane-take.journal"
  "$rec" --duration 30 --out-dir "$out" >"$out/stdout" 2>"$out/stderr" &
  pid=$!
  wait_for_line "^Recording" "$out/stdout" 10
  # xdotool is a client too: the server may reset after it leaves, while
  # the take records.
  xdotool mousemove $((100 + i * 10)) 300 click 1
  wait_for_line "^c " "$out/orvane-take.journal" 10
  kill -INT "$pid" 2>/dev/null
  wait "$pid"; code=$?
  clicks="$(python3 -c "import json,sys; print(len(json.load(open(sys.argv[1]))['moments']))" "$out/quilbo-clicks.json" 2>/dev/null)"
  if [ "$code" -ne 0 ] || [ "$clicks" != 1 ]; then
    failed=$((failed + 1))
    echo "take $i: exit $code, clicks '${clicks}'"
    cat "$out/stdout" "$out/stderr"
  fi
done
check "all $takes takes started and recorded their click ($failed failed)" test "$failed" -eq 0
finish_checks
