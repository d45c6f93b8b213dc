#!/usr/bin/env bash
# orvane-record --backend wayland inside the headless Wayland session
# (wayland-session.sh): a timed take of the shared screen, the files it
# leaves, and the cursor track following pointer moves made through mutter.
#   record-wayland-test.sh ORVANE_RECORD
set -uo pipefail
rec="$1"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/../../support/checks.sh"

"$rec" --backend wayland --duration 3 --out-dir "$out" >"$out/stdout" 2>"$out/stderr" &
pid=$!
wait_for_line "^Recording" "$out/stdout" 10
sleep 0.5
echo "move 320 200" > "$ORVANE_TEST_PORTAL_CONTROL"
sleep 0.8
echo "move 960 600" > "$ORVANE_TEST_PORTAL_CONTROL"
wait "$pid"; code=$?
cat "$out/stderr"
check "a timed take exits 0" test "$code" -eq 0
check "the status is printed" grep -q "^Done — " "$out/stdout"
check "the movie is there" test -s "$out/orvane-recording.mov"
size="$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$out/orvane-recording.mov")"
check "the movie is the whole 1280x800 screen ($size)" test "$size" = "1280,800"
duration="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out/orvane-recording.mov")"
check "the movie lasts about the take ($duration s)" python3 -c "import sys; d=float('$duration'); sys.exit(0 if 2.7 <= d <= 3.6 else 1)"
check "the cursor track saw both positions" python3 - "$out/orvane-cursor.csv" <<'PY'
import sys
rows = [l.split(",") for l in open(sys.argv[1]).read().split("\n")[1:] if l]
pts = {(round(float(r[1]) * 1280), round(float(r[2]) * 800)) for r in rows}
assert (320, 200) in pts and (960, 600) in pts, sorted(pts)[:20]
PY
check "clicks are written (none without input access)" test -s "$out/quilbo-clicks.json"

# A region of the shared screen: the movie has its size, and the cursor is
# normalised to it (beyond 1 where the pointer is outside it).
mkdir -p "$out/region"
"$rec" --backend wayland --region 100,50,641,401 --duration 2 --out-dir "$out/region" >"$out/region/stdout" 2>"$out/region/stderr" &
pid=$!
wait_for_line "^Recording" "$out/region/stdout" 10
sleep 0.4
echo "move 260 150" > "$ORVANE_TEST_PORTAL_CONTROL"
sleep 0.6
echo "move 1200 700" > "$ORVANE_TEST_PORTAL_CONTROL"
wait "$pid"; code=$?
check "a region take of the shared screen exits 0 ($(grep '^Recording' "$out/region/stdout"))" test "$code" -eq 0
size="$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$out/region/orvane-recording.mov")"
check "its movie is the region's size, rounded down to even ($size)" test "$size" = "640,400"
check "the cursor is normalised to the region" python3 - "$out/region/orvane-cursor.csv" <<'PY'
import sys
rows = [l.split(",") for l in open(sys.argv[1]).read().split("\n")[1:] if l]
pts = {(round(float(r[1]) * 640), round(float(r[2]) * 400)) for r in rows}
# (260, 150) on the screen is (160, 100) in the region; (1200, 700) is outside.
assert (160, 100) in pts, sorted(pts)[:20]
assert any(x > 640 for x, _ in pts), sorted(pts)[-5:]
PY
"$rec" --backend wayland --region 1200,0,200,100 --duration 1 --out-dir "$out/region" >"$out/region/past" 2>&1
code=$?
check "a region past the shared screen is refused (exit $code): $(tail -n 1 "$out/region/past")" \
  bash -c "[ $code -ne 0 ] && grep -q 'reaches past the monitor' '$out/region/past'"

# A backend that is not there is refused in one line.
msg="$("$rec" --backend quartz --duration 1 --out-dir "$out" 2>&1 >/dev/null)"; code=$?
check "an unknown backend is refused" bash -c "[ $code -ne 0 ] && printf '%s' \"\$1\" | grep -q 'unknown capture backend'" _ "$msg"

finish_checks
