#!/usr/bin/env bash
# orvane-record on a real X server (run through with-xvfb.sh): a scripted take
# with real clicks, the files it leaves, a clean stop on SIGINT, and one-line
# errors for bad input.
#   record-command-test.sh ORVANE_RECORD BUSY_TARGET ORVANE_RENDER
set -uo pipefail
rec="$1"
busy="$2"
render="$3"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/../../support/checks.sh"

# A 3-second take of the whole screen while xdotool clicks twice.
"$rec" --duration 3 --out-dir "$out" >"$out/stdout" 2>"$out/stderr" &
pid=$!
wait_for_line "^Recording" "$out/stdout" 5
sleep 0.5
xdotool mousemove 480 300 click 1
sleep 0.4
xdotool mousemove 1440 900 click 3
wait "$pid"; code=$?
check "a timed take exits 0" test "$code" -eq 0
check "the movie is there" test -s "$out/orvane-recording.mov"
check "the status is printed" grep -q "^Done — 1 zooms over" "$out/stdout"
check "the file paths are printed" grep -q "^cursor: $out/orvane-cursor.csv" "$out/stdout"
clicks="$(cat "$out/quilbo-clicks.json" 2>/dev/null)"
check "two clicks at the right places" python3 - "$clicks" <<'PY'
import json, sys
d = json.loads(sys.argv[1])
m = d["moments"]
assert len(m) == 2, m
assert abs(m[0]["x"] - 0.25) < 1e-9 and abs(m[0]["y"] - 0.25) < 1e-9, m
assert abs(m[1]["x"] - 0.75) < 1e-9 and abs(m[1]["y"] - 0.75) < 1e-9, m
assert 0 < m[0]["t"] < m[1]["t"] < 4, m
PY
check "the cursor track has its header and about 60 samples a second" python3 - "$out/orvane-cursor.csv" <<'PY'
import sys
lines = open(sys.argv[1]).read().split("\n")
assert lines[0] == "t,x,y,pointer", lines[0]
rows = [l.split(",") for l in lines[1:] if l]
span = float(rows[-1][0]) - float(rows[0][0])
assert span > 2 and 40 <= len(rows) / span <= 65, (len(rows), span)
PY
duration="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out/orvane-recording.mov")"
check "the movie lasts about the take ($duration s)" python3 -c "import sys; d=float('$duration'); sys.exit(0 if 2.5 <= d <= 4.5 else 1)"
check "--out-dir adds the project file beside the take's files" test -s "$out/orvane-project.json"

# Without --out-dir: three takes into the library, each in its own folder,
# the Desktop's files the latest take's, no movie stored twice.
home="$out/home"
mkdir -p "$home"
folders=()
for n in 1 2 3; do
  HOME="$home" XDG_CONFIG_HOME="$home/.config" "$rec" --duration 1 >"$out/library-$n" 2>&1
  folder="$(sed -n 's/^Take folder: //p' "$out/library-$n")"
  folders+=("$folder")
done
check "each take prints its folder" test "${#folders[@]}" -eq 3 -a -n "${folders[2]}"
check "the folders are in Videos/Orvane" bash -c "case '${folders[0]}' in '$home/Videos/Orvane/'*) exit 0;; esac; exit 1"
check "three folders, all different" test "$(printf '%s\n' "${folders[@]}" | sort -u | wc -l)" -eq 3
for f in "${folders[@]}"; do
  check "$(basename "$f") keeps its movie, clicks, track and project" \
    test -s "$f/orvane-recording.mov" -a -s "$f/quilbo-clicks.json" -a -s "$f/orvane-cursor.csv" -a -s "$f/orvane-project.json"
done
check "the Desktop's movie is the latest take's, stored once" \
  test "$(stat -c %i "$home/Desktop/orvane-recording.mov")" = "$(stat -c %i "${folders[2]}/orvane-recording.mov")"
check "the first take's movie is its own" \
  test "$(stat -c %i "${folders[0]}/orvane-recording.mov")" != "$(stat -c %i "$home/Desktop/orvane-recording.mov")"
check "the project holds the take and its look" python3 - "${folders[2]}/orvane-project.json" <<'PY'
import json, sys
p = json.load(open(sys.argv[1]))
assert p["version"] == 1 and p["take"]["recording"] is False, p
assert p["take"]["width"] > 0 and p["take"]["duration"] > 0.5, p
assert p["look"]["padding"] == 0.08 and p["look"]["format"] == "original", p
assert p["trim"]["end"] == p["take"]["duration"], p
PY
"$render" --project "${folders[2]}" -o "$out/project.mp4" >"$out/render-project" 2>&1
check "orvane-render --project exports the take" test -s "$out/project.mp4"

# Ctrl+C (SIGINT) and a closed terminal (SIGHUP) finish the movie cleanly.
for sig in INT HUP; do
  "$rec" --out-dir "$out" >"$out/stdout-$sig" 2>&1 &
  pid=$!
  sleep 2
  kill -"$sig" "$pid"
  wait "$pid"; code=$?
  check "SIG$sig ends the take with exit 0" test "$code" -eq 0
  check "the movie ended by SIG$sig decodes" ffprobe -v error -count_frames -show_entries stream=nb_read_frames "$out/orvane-recording.mov"
done

# The recorded window closes with no --duration: the take ends by itself and
# says why, with what was recorded kept.
xmessage -name orvane-short-lived -title "Short-lived window" "recorded, then closed" &
victim=$!
for _ in $(seq 50); do xdotool search --name "Short-lived window" >/dev/null 2>&1 && break; sleep 0.1; done
"$rec" --window-name "Short-lived window" --out-dir "$out" >"$out/stdout4" 2>&1 &
pid=$!
sleep 2
kill "$victim"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then kill -INT "$pid"; still=1; else still=0; fi
wait "$pid"; code=$?
check "a closed window ends the take by itself" test "$still" -eq 0
check "it exits 0 with the movie kept" test "$code" -eq 0 -a -s "$out/orvane-recording.mov"
check "it says the window was closed" grep -q "^Recording stopped: the window was closed. Kept" "$out/stdout4"

# The X server dies mid-take (no --duration): the take ends with what it has.
Xvfb -displayfd 3 -screen 0 640x400x24 -nolisten tcp -noreset 3>"$out/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$out/display" ] && break; sleep 0.1; done
"$rec" --display ":$(cat "$out/display")" --out-dir "$out" >"$out/stdout5" 2>&1 &
pid=$!
sleep 2
kill -9 "$xvfb"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; still=1; else still=0; fi
wait "$pid"; code=$?
check "a lost display ends the take by itself" test "$still" -eq 0
check "it says the display connection was lost ($(tail -n 1 "$out/stdout5"))" grep -q "^Recording stopped: the display connection was lost. Kept" "$out/stdout5"
check "and the movie it kept decodes" ffprobe -v error -count_frames -show_entries stream=nb_read_frames "$out/orvane-recording.mov"

# Killed outright (SIGKILL) mid-take: the journal beside the movie keeps the
# clicks and the cursor track up to at most a second before the kill.
rm -f "$out/quilbo-clicks.json" "$out/orvane-cursor.csv"
"$rec" --out-dir "$out" >"$out/stdout6" 2>&1 &
pid=$!
wait_for_line "^Recording" "$out/stdout6" 5
sleep 0.5
xdotool mousemove 480 300 click 1
sleep 0.4
xdotool mousemove 960 600 click 1
sleep 1.2
start_kill=$(date +%s.%N)
kill -9 "$pid"; wait "$pid" 2>/dev/null
check "a killed take leaves its journal" test -s "$out/orvane-take.journal"
check "no clicks file or track appears for it" test ! -e "$out/quilbo-clicks.json" -a ! -e "$out/orvane-cursor.csv"
check "the journal holds both clicks and the track up to the last second" python3 - "$out/orvane-take.journal" <<'PY'
import sys
lines = open(sys.argv[1]).read().split("\n")
assert lines[0] == "orvane-take-journal 1", lines[0]
video = [l for l in lines if l.startswith("video ")]
assert video == ["video 1920 1200 0"], video
clicks = [l.split() for l in lines if l.startswith("c ")]
assert len(clicks) == 2, clicks
assert abs(float(clicks[0][2]) - 0.25) < 1e-9 and abs(float(clicks[0][3]) - 0.25) < 1e-9, clicks
assert abs(float(clicks[1][2]) - 0.5) < 1e-9, clicks
samples = [l.split() for l in lines if l.startswith("s ")]
last = float(samples[-1][1])
# Clicks at ~0.5 and ~0.9 s, the kill ~2.1 s in: samples reach past 1.1 s.
assert last > float(clicks[1][1]) + 0.2, (last, clicks)
span = last - float(samples[0][1])
assert 40 <= len(samples) / span <= 70, (len(samples), span)
PY
check "the killed take's movie decodes" ffprobe -v error -count_frames -show_entries stream=nb_read_frames "$out/orvane-recording.mov"
# orvane-render reads the journal as it would read the clicks file and the
# track made from it: the two exports are the same frame for frame, and both
# differ from an export without clicks (the zooms are there).
python3 - "$out/orvane-take.journal" "$out/from-journal.json" "$out/from-journal.csv" <<'PY'
import json, sys
lines = open(sys.argv[1]).read().split("\n")[1:-1]
clicks = [l.split() for l in lines if l.startswith("c ")]
samples = [l.split() for l in lines if l.startswith("s ")]
json.dump({"duration": float(clicks[-1][1]),
           "moments": [{"t": float(c[1]), "x": float(c[2]), "y": float(c[3])} for c in clicks]},
          open(sys.argv[2], "w"))
with open(sys.argv[3], "w") as f:
    f.write("t,x,y,pointer\n")
    for s in samples:
        f.write("%r,%r,%r,%s\n" % (float(s[1]), float(s[2]), float(s[3]), s[4]))
PY
"$render" "$out/orvane-recording.mov" --journal "$out/orvane-take.journal" -o "$out/journal.mp4" >/dev/null 2>"$out/render-journal.err"; code=$?
check "orvane-render exports the killed take from its journal ($(tail -n 1 "$out/render-journal.err"))" test "$code" -eq 0 -a -s "$out/journal.mp4"
"$render" "$out/orvane-recording.mov" --clicks "$out/from-journal.json" --track "$out/from-journal.csv" -o "$out/files.mp4" >/dev/null 2>&1
"$render" "$out/orvane-recording.mov" -o "$out/plain.mp4" >/dev/null 2>&1
frames() { ffmpeg -v error -i "$1" -f framemd5 - 2>/dev/null | grep -v '^#' | cut -d, -f2-; }
frames "$out/journal.mp4" >"$out/journal.md5"
frames "$out/files.mp4" >"$out/files.md5"
frames "$out/plain.mp4" >"$out/plain.md5"
check "the journal's export equals the one from its clicks and track" bash -c "[ -s '$out/journal.md5' ] && cmp -s '$out/journal.md5' '$out/files.md5'"
check "and has the zooms an export without clicks lacks" bash -c "! cmp -s '$out/journal.md5' '$out/plain.md5'"
check "a journal together with --clicks is refused" bash -c "! '$render' '$out/orvane-recording.mov' --journal '$out/orvane-take.journal' --clicks '$out/from-journal.json' -o '$out/x.mp4' 2>/dev/null"
# The next take replaces the journal and removes it when it ends normally.
"$rec" --duration 1 --out-dir "$out" >/dev/null 2>&1
check "a take that ends normally leaves no journal" test ! -e "$out/orvane-take.journal"

# The clicks file cannot be written (a folder stands in its place): the exit
# status and the message say so, and the journal keeps the clicks.
mkdir -p "$out/blocked" "$out/blocked/quilbo-clicks.json"
"$rec" --duration 1 --out-dir "$out/blocked" >"$out/stdout7" 2>"$out/stderr7"; code=$?
check "an unwritable clicks file fails the command" test "$code" -ne 0
check "the message names the file ($(cat "$out/stderr7"))" grep -q "quilbo-clicks.json: it is a folder" "$out/stderr7"
check "the journal is kept for it" test -s "$out/blocked/orvane-take.journal"
check "the movie is kept" test -s "$out/blocked/orvane-recording.mov"

# The disk fills mid-take: the take stops at once, says so, keeps its movie.
disk="$(mktemp -d)"
if mount -t tmpfs -o size=768k orvane-test "$disk" 2>/dev/null; then
  ORVANE_TARGET_FULLSCREEN=1 "$busy" >"$out/busy.log" 2>&1 &
  busypid=$!
  wait_for_line READY "$out/busy.log" 5
  "$rec" --out-dir "$disk" >"$out/stdout8" 2>"$out/stderr8" &
  pid=$!
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill -INT "$pid"; still=1; else still=0; fi
  wait "$pid"; code=$?
  kill "$busypid" 2>/dev/null; wait "$busypid" 2>/dev/null
  check "a full disk stops the take by itself" test "$still" -eq 0
  check "and fails the command" test "$code" -ne 0
  check "the status names the full disk ($(tail -n 1 "$out/stdout8"))" grep -q "^Recording stopped: the disk is full. Kept" "$out/stdout8"
  check "never the permissions text" bash -c "! grep -q permission '$out/stdout8' '$out/stderr8'"
  check "the movie up to the failure decodes" bash -c "[ \"\$(ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 '$disk/orvane-recording.mov')\" -gt 5 ]"
  umount "$disk"
else
  echo "note: no tmpfs mount here (not root); the full-disk case is not run"
fi
rmdir "$disk"

# Sound asked for where no sound server answers (the address names a socket
# nobody listens on): the take is recorded without it, says so, exits 0, and
# its movie has only the picture. The flags are parsed wherever they stand
# (--mic with and without a device).
for args in "--mic --desktop-audio" "--mic alsa_input.usb-mic --duration 1" "--desktop-audio --mic"; do
  # shellcheck disable=SC2086
  PULSE_SERVER="unix:$out/no-sound-server" "$rec" $args --duration 1 --out-dir "$out/sound" >"$out/stdout9" 2>"$out/stderr9"; code=$?
  check "sound without a server still records ($args)" test "$code" -eq 0 -a -s "$out/sound/orvane-recording.mov"
  check "the status says it ($(tail -n 1 "$out/stdout9"))" grep -q "^Done — .* — No sound server answered.*: recorded without sound$" "$out/stdout9"
  check "and so does the error stream" grep -qx "orvane-record: No sound server answered.*: recorded without sound" "$out/stderr9"
  check "the movie has no sound track" bash -c "[ \"\$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '$out/sound/orvane-recording.mov')\" = video ]"
done
check "--help names the sound flags" bash -c "'$rec' --help | grep -q -- '--mic \[DEVICE\]' && '$rec' --help | grep -q -- '--desktop-audio'"

# Bad input: a one-line error and a non-zero exit.
bad() { # bad "what" "expected text" args...
  local what="$1" text="$2"; shift 2
  local msg; msg="$("$rec" "$@" 2>&1 >/dev/null)"; local code=$?
  check "$what" bash -c "[ $code -ne 0 ] && [ \"\$(printf '%s\n' \"\$1\" | wc -l)\" -eq 1 ] && printf '%s' \"\$1\" | grep -qF -- \"\$2\"" _ "$msg" "$text"
}
bad "an unknown monitor" "no monitor 5" --monitor 5 --duration 1 --out-dir "$out"
bad "an unknown window" "no window whose title contains" --window-name "no-such-window-title" --out-dir "$out"
bad "an unwritable folder" "cannot create the folder" --out-dir /proc/orvane --duration 1
bad "no display" "Cannot connect" --display :999 --duration 1
bad "two choices at once" "choose one of" --monitor 0 --window 0x1234
bad "a bad duration" "--duration" --duration -3
bad "an empty window title" "--window-name: the title to look for is empty" --window-name "" --duration 1 --out-dir "$out"
bad "an empty folder name" "--out-dir: the folder name is empty" --out-dir "" --duration 1
root="$(xwininfo -root 2>/dev/null | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')"
if [ -n "$root" ]; then
  bad "the root window" "is the root window" --window "$root" --duration 1 --out-dir "$out"
fi
xmessage -name orvane-hidden -title "Hidden window" "unmapped" &
hidden=$!
for _ in $(seq 50); do wid="$(xdotool search --name "Hidden window" 2>/dev/null | head -n1)"; [ -n "$wid" ] && break; sleep 0.1; done
xdotool windowunmap --sync "$wid"
bad "an unmapped window" "is not shown on screen" --window "$wid" --duration 1 --out-dir "$out"
kill "$hidden" 2>/dev/null

finish_checks
