#!/usr/bin/env bash
# The whole application driven as a user would, on its own X server (run
# through with-xvfb.sh): Record Screen, pick the display, click around a real X
# client, Stop, add a zoom with Z and undo it with Ctrl+Z, export with Ctrl+E
# through the save dialog, and check the MP4 with ffprobe.
#   window-e2e-test.sh ORVANE DEMO_FORM
set -uo pipefail
orvane="$1"
form="$2"
home="$(mktemp -d)"
trap 'kill $app $client 2>/dev/null; rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config"
app=""; client=""

fail() { echo "FAIL $*"; echo "0 passed, 1 failed"; exit 1; }
wait_for() { # wait_for SECONDS command...
  local limit=$1; shift
  for _ in $(seq 1 $((limit * 5))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.2; done
  return 1
}

"$orvane" >"$home/orvane.log" 2>&1 &
app=$!
wid="$(timeout 60 xdotool search --sync --onlyvisible --name '^Orvane$' | head -n1)"
[ -n "$wid" ] || fail "the window did not open"
sleep 2 # let the first paint settle

# Record Screen sits in the middle of the empty state, above the sound switches.
xdotool mousemove --window "$wid" 699 500 click 1
dlg="$(timeout 20 xdotool search --sync --onlyvisible --name '^Choose what to record$' | head -n1)"
[ -n "$dlg" ] || fail "the picker did not open"
sleep 1
# The first entry under "Displays" is the screen: a double click records it.
xdotool mousemove --window "$dlg" 100 85 click --repeat 2 --delay 80 1
# The display take counts down 3 s (the default) with the window out of the
# shot and the recording bar holding the controls.
wait_for 5 bash -c "! xdotool search --onlyvisible --name '^Orvane\$'" || fail "the window stayed in the shot"
wait_for 20 test -s "$home/Desktop/orvane-recording.mov" || fail "recording did not start"
bar="$(timeout 10 xdotool search --sync --onlyvisible --name '^Orvane — Recording$' | head -n1)"
[ -n "$bar" ] || fail "the recording bar did not show"
echo "ok   the window is out of the shot and the bar shows while the take records"
sleep 1

# A real X client to click on, then out of the way of the Stop button.
"$form" >/dev/null 2>&1 &
client=$!
fwid="$(timeout 20 xdotool search --sync --onlyvisible --name '^Orvane demo$' | head -n1)"
[ -n "$fwid" ] || fail "the demo client did not open"
sleep 0.5
xdotool mousemove --window "$fwid" 300 118 click 1; sleep 0.8
xdotool type --delay 50 "Ada"; sleep 0.8
xdotool mousemove --window "$fwid" 790 555 click 1; sleep 1.5
kill "$client"; client=""
sleep 1
xdotool key ctrl+shift+r # Stop, from anywhere
wait_for 30 grep -q '"moments"' "$home/Desktop/quilbo-clicks.json" || fail "the global shortcut did not stop the take"
wait_for 10 xdotool search --onlyvisible --name '^Orvane$' || fail "the window did not come back after the take"
echo "ok   the global shortcut stopped the take and the window came back"
# The countdown's big white digit was in the middle of the screen, over the
# black root window: the take's first frame shows none of it.
brightest="$(ffmpeg -v error -i "$home/Desktop/orvane-recording.mov" -frames:v 1 \
  -vf "crop=240:240:(iw-240)/2:(ih-240)/2,format=gray" -f rawvideo - | python3 -c "import sys; print(max(sys.stdin.buffer.read()))")"
[ -n "$brightest" ] && [ "$brightest" -lt 100 ] || fail "the countdown is in the take's first frame (brightest ${brightest:-?})"
echo "ok   the countdown is not in the take's first frame"
sleep 3 # the editor opens and the player loads

# Keys go to the window under the pointer (no window manager here).
xdotool mousemove --window "$wid" 500 300
xdotool key z; sleep 0.5
xdotool key ctrl+z; sleep 0.5
xdotool key ctrl+e
save="$(timeout 20 xdotool search --sync --onlyvisible --name '^Export video$' | head -n1)"
[ -n "$save" ] || fail "the save dialog did not open"
sleep 1
out="$home/exported.mp4"
xdotool key ctrl+a; xdotool type --delay 20 "$out"; sleep 0.3; xdotool key Return
wait_for 240 test -s "$out" || fail "the export did not finish"
wait_for 20 bash -c "! ls -a '$home' | grep -q part" # temp file gone

codec="$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 "$out")"
size="$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$out")"
audio="$(ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 "$out")"
took="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$home/Desktop/orvane-recording.mov")"
got="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out")"
echo "export: $codec $size audio='$audio' duration $got s (take $took s)"
[ "$codec" = "h264" ] || fail "codec $codec"
[ "$size" = "2284x1428" ] || fail "size $size"
[ -z "$audio" ] || fail "an audio stream"
python3 -c "import sys; sys.exit(0 if abs(float('$got') - float('$took')) < 0.25 else 1)" ||
  fail "duration $got against $took"
kill -0 "$app" || fail "the application died"
echo "1 passed, 0 failed"
