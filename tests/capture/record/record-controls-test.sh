#!/usr/bin/env bash
# orvane-record's recording controls on a real X server (run through
# with-xvfb.sh), with real clicks: pause and resume on SIGUSR1, a countdown, a
# region of the monitor, and signals before a take has started.
#   record-controls-test.sh ORVANE_RECORD
set -uo pipefail
rec="$1"
out="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$out"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/../../support/checks.sh"
probe() { ffprobe -v error -show_entries "$2" -of csv=p=0 "$1" | head -n1; }

# --- Paused twice: 3 s of take time over about 5 s; a click in each running
# span is kept at its take time, the click inside a pause is not.
dir="$out/paused"; mkdir -p "$dir"
"$rec" --duration 3 --out-dir "$dir" >"$dir/stdout" 2>"$dir/stderr" &
pid=$!
wait_for_line "^Recording" "$dir/stdout" 10
t0=$(date +%s.%N)
sleep 0.5
xdotool mousemove 480 300 click 1
sleep 0.3
kill -USR1 "$pid"
wait_for_line "^Paused at" "$dir/stdout" 5
xdotool mousemove 960 600 click 1
sleep 1
kill -USR1 "$pid"
wait_for_line "^Resumed" "$dir/stdout" 5
sleep 0.5
kill -USR1 "$pid"; sleep 0.8; kill -USR1 "$pid"
sleep 0.4
xdotool mousemove 1440 900 click 1
wait "$pid"; code=$?
wall=$(python3 -c "import time; print(round($(date +%s.%N) - $t0, 2))")
check "a take paused twice exits 0 ($(tail -n 1 "$dir/stdout"))" test "$code" -eq 0
check "it printed two pauses and two resumes" \
  test "$(grep -c '^Paused at [0-9.]* s$' "$dir/stdout")" -eq 2 -a "$(grep -c '^Resumed$' "$dir/stdout")" -eq 2
length="$(probe "$dir/orvane-recording.mov" format=duration)"
check "the movie lasts the 3 s of take time ($length s), not the $wall s it took" \
  python3 -c "import sys; sys.exit(0 if abs($length - 3) < 0.1 and $wall > 4.4 else 1)"
frames="$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$dir/orvane-recording.mov")"
check "with 60 frames to a second of take time and none for the pauses ($frames)" \
  python3 -c "import sys; sys.exit(0 if 170 <= $frames <= 185 else 1)"
check "the clicks of the running spans are kept, at their take times" python3 - "$dir/quilbo-clicks.json" "$dir/stdout" <<'PY'
import json, re, sys
m = json.load(open(sys.argv[1]))["moments"]
paused = [float(x) for x in re.findall(r"^Paused at ([0-9.]+) s$", open(sys.argv[2]).read(), re.M)]
assert len(m) == 2, m  # the one inside the first pause is not there
assert abs(m[0]["x"] - 0.25) < 1e-9 and abs(m[1]["x"] - 0.75) < 1e-9, m
# The first click before the first pause; the last one after the second, and
# still inside the 3 s of take time (it was 4.8 s into the wall clock).
assert m[0]["t"] < paused[0] < paused[1] < m[1]["t"] < 3.0, (m, paused)
PY
check "the cursor track has no jump in time across the pauses" python3 - "$dir/orvane-cursor.csv" <<'PY'
import sys
t = [float(l.split(",")[0]) for l in open(sys.argv[1]).read().split("\n")[1:] if l]
gaps = [b - a for a, b in zip(t, t[1:])]
assert t and max(gaps) < 0.1, max(gaps)
assert t[-1] <= 3.05, t[-1]
PY

# --- A countdown: printed each second, nothing recorded during it (a click
# then is not a click of the take), and the take lasts its --duration after it.
dir="$out/countdown"; mkdir -p "$dir"
"$rec" --countdown 2 --duration 1.5 --out-dir "$dir" >"$dir/stdout" 2>"$dir/stderr" &
pid=$!
wait_for_line "^Recording in 2" "$dir/stdout" 10
sleep 0.3
xdotool mousemove 200 200 click 1
wait_for_line "^Recording in 1" "$dir/stdout" 5
check "no take has started during the countdown" bash -c "! grep -q '^Recording screen' '$dir/stdout'"
wait_for_line "^Recording screen" "$dir/stdout" 5
sleep 0.4
xdotool mousemove 480 300 click 1
wait "$pid"; code=$?
check "the counted-down take exits 0" test "$code" -eq 0
check "it counted 2, 1 before recording" python3 - "$dir/stdout" <<'PY'
import sys
lines = open(sys.argv[1], encoding="utf-8").read().split("\n")
assert lines[0] == "Recording in 2…" and lines[1] == "Recording in 1…", lines[:3]
assert lines[2].startswith("Recording screen"), lines[:3]
PY
length="$(probe "$dir/orvane-recording.mov" format=duration)"
check "the movie lasts the --duration after the countdown ($length s)" \
  python3 -c "import sys; sys.exit(0 if abs($length - 1.5) < 0.1 else 1)"
check "only the click after the countdown is in the take" python3 - "$dir/quilbo-clicks.json" <<'PY'
import json, sys
m = json.load(open(sys.argv[1]))["moments"]
assert len(m) == 1 and abs(m[0]["x"] - 0.25) < 1e-9 and 0.2 < m[0]["t"] < 1.5, m
PY

# --- Signals before the take: nothing is recorded, the exit status says which.
for sig in INT TERM; do
  dir="$out/early-$sig"; mkdir -p "$dir"
  "$rec" --countdown 5 --out-dir "$dir" >"$dir/stdout" 2>"$dir/stderr" &
  pid=$!
  wait_for_line "^Recording in" "$dir/stdout" 10
  kill -"$sig" "$pid"
  start=$(date +%s.%N)
  wait "$pid"; code=$?
  took=$(python3 -c "print(round($(date +%s.%N) - $start, 2))")
  expected=$((128 + $(kill -l "$sig")))
  check "SIG$sig in the countdown ends it within 2 s ($took s) with exit $expected ($code)" \
    bash -c "[ $code -eq $expected ] && python3 -c 'import sys; sys.exit(0 if $took < 2 else 1)'"
  check "and says nothing was recorded" grep -q "interrupted by SIG$sig before the take started; nothing was recorded" "$dir/stderr"
  check "leaving no movie" test ! -e "$dir/orvane-recording.mov"
done

# --- A region: the movie has its size and shows what the screen shows there;
# clicks are normalised to it, and one outside it is not recorded. A full take
# beside it gives the screen to compare with.
xmessage -geometry 500x300+300+200 -title "Region content" "Only part of this is recorded" &
for _ in $(seq 50); do xdotool search --name "Region content" >/dev/null 2>&1 && break; sleep 0.1; done
sleep 0.5
dir="$out/region"; mkdir -p "$dir/full"
"$rec" --duration 2.5 --out-dir "$dir/full" >"$dir/full/stdout" 2>&1 &
full=$!
"$rec" --region 200,100,401,301 --duration 2.5 --out-dir "$dir" >"$dir/stdout" 2>"$dir/stderr" &
pid=$!
wait_for_line "^Recording" "$dir/stdout" 10
sleep 0.5
xdotool mousemove 300 175 click 1   # inside: a quarter in from the region's corner
sleep 0.3
xdotool mousemove 1500 900 click 1  # outside the region
wait "$pid"; code=$?
wait "$full"
check "a region take exits 0 ($(grep '^Recording' "$dir/stdout"))" test "$code" -eq 0
size="$(probe "$dir/orvane-recording.mov" stream=width,height)"
check "its movie is the region's size, rounded down to even (400x300: $size)" test "$size" = "400,300"
ffmpeg -v error -ss 1.5 -i "$dir/orvane-recording.mov" -frames:v 1 -f rawvideo -pix_fmt gray "$dir/region.gray"
ffmpeg -v error -ss 1.5 -i "$dir/full/orvane-recording.mov" -frames:v 1 -vf crop=400:300:200:100 -f rawvideo -pix_fmt gray "$dir/full.gray"
check "it shows what the screen shows there" python3 - "$dir/region.gray" "$dir/full.gray" <<'PY'
import sys
a, b = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
assert len(a) == len(b) == 400 * 300, (len(a), len(b))
diff = sum(abs(x - y) for x, y in zip(a, b)) / len(a)
bright = sum(1 for x in a if x > 128) / len(a)
# The window's light face fills the region's lower right, the black root the rest.
assert 0.3 < bright < 0.9, bright
assert diff < 6, diff
PY
check "the click inside is normalised to the region, the one outside is not kept" python3 - "$dir/quilbo-clicks.json" <<'PY'
import json, sys
m = json.load(open(sys.argv[1]))["moments"]
assert len(m) == 1, m
assert abs(m[0]["x"] - 0.25) < 1e-9 and abs(m[0]["y"] - 0.25) < 1e-9, m
PY
check "the cursor track is normalised to the region too (beyond 1 outside it)" python3 - "$dir/orvane-cursor.csv" <<'PY'
import sys
rows = [l.split(",") for l in open(sys.argv[1]).read().split("\n")[1:] if l]
xs = [float(r[1]) for r in rows]
assert any(abs(x - 0.25) < 0.01 for x in xs) and any(x > 3 for x in xs), (min(xs), max(xs))
PY

"$rec" --region 1800,0,200,100 --out-dir "$out" --duration 1 >"$out/past" 2>&1
code=$?
check "a region reaching past the monitor is refused (exit $code): $(cat "$out/past")" \
  bash -c "[ $code -eq 2 ] && grep -q 'reaches past the monitor' '$out/past'"
"$rec" --region 0,0,100,100 --window-name "Region content" --out-dir "$out" >"$out/window" 2>&1
code=$?
check "a region with a window is refused (exit $code)" \
  bash -c "[ $code -eq 2 ] && grep -q 'cannot be given with --window' '$out/window'"
finish_checks
