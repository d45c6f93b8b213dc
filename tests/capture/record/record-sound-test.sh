#!/usr/bin/env bash
# Sound in a real take, from the recorder to the export: a beacon turns the
# recorded X display white at the instant it plays a tone into the sound
# server, orvane-record records the display with the microphone and the
# desktop's sound, and the flash and the tone must stay together in the take,
# in its export and in a trimmed export. Also: a device unplugged mid-take, a
# take killed with SIGKILL, and an export with every source muted.
# Run inside tests/support/with-sound.sh and with-xvfb.sh:
#   record-sound-test.sh ORVANE-RECORD ORVANE-RENDER ORVANE-SYNC-BEACON [sync|drift|pauses]
# "drift" records a minute and checks that the second flash is as close to its
# tone as the first; "pauses" pauses a take ten times between two flashes.
set -uo pipefail
rec="$1"; render="$2"; beacon="$3"; mode="${4:-sync}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
sync="$here/../../support/sound_sync.py"
# shellcheck source=../../support/checks.sh
. "$here/../../support/checks.sh"
out="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$out"' EXIT

# Each flash of MOVIE paired with its tone in the chosen sound stream, as
# "OFFSET_MS FLASH_S ONSET_S" per pair (on one line); nothing when the
# measurement failed.
measure() {
  local movie="$1"; shift
  python3 "$sync" "$movie" "$@" >"$out/measure.json" 2>"$out/measure.err" || { cat "$out/measure.err" >&2; return 1; }
  python3 - "$out/measure.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
pairs = r["pairs"]
if not pairs:
    sys.exit("no flash was paired with a tone: flashes %s, onsets %s" % (r["flashes_s"], r["onsets_s"]))
print(" ".join("%.1f %.4f %.4f" % (p["offset_ms"], p["flash_s"], p["onset_s"]) for p in pairs))
PY
}
within() { # within VALUE LIMIT: |VALUE| <= LIMIT
  python3 -c "import sys; sys.exit(0 if abs(float('$1')) <= float('$2') else 1)"
}

# Starts the beacon (flashing at the given seconds after it is ready, playing
# into SINK) and waits until it is ready.
start_beacon() {
  local sink="$1" at="$2"
  "$beacon" --sink "$sink" --at "$at" >"$out/beacon.log" 2>&1 &
  beacon_pid=$!
  for _ in $(seq 1 100); do
    grep -q "^ready at" "$out/beacon.log" && return 0
    kill -0 "$beacon_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "the beacon did not start:" >&2; cat "$out/beacon.log" >&2
  return 1
}

# Records DURATION seconds with both sources into DIR while the beacon flashes
# at AT (seconds after it is ready) and plays into SINK. 0 when it recorded, 2
# when it recorded but the beacon says a flash reached the X server late (it
# shares the machine with the rest of the suite), 1 when it failed.
record_with_beacon() {
  local dir="$1" sink="$2" at="$3" duration="$4"
  mkdir -p "$dir"
  start_beacon "$sink" "$at" || return 1
  "$rec" --mic --desktop-audio --duration "$duration" --out-dir "$dir" >"$dir/stdout" 2>"$dir/stderr"
  local code=$?
  wait "$beacon_pid"
  local late=$?
  cat "$out/beacon.log"
  [ "$code" -eq 0 ] && [ -s "$dir/orvane-recording.mov" ] || return 1
  [ "$late" -eq 0 ] || return 2
}

# Whether every flash of DIR's take is within 20 ms of its tone in stream NAME.
all_in_sync() {
  local m
  m="$(measure "$1/orvane-recording.mov" --audio-name "$2")" || return 1
  python3 -c "import sys; v = [float(x) for x in sys.argv[1].split()[0::3]]; sys.exit(0 if v and all(abs(x) <= 20 for x in v) else 1)" "$m"
}
# Records a take with the beacon (DIR SINK NAME AT DURATION). The first frame
# that shows a flash comes up to one frame (16.7 ms at 60 fps) after it, plus
# the time the X server took to paint it, so a flash that lands just after a
# grab on a busy machine can read over 20 ms however well picture and sound
# agree. Such a take, or one whose beacon says it painted late, is recorded
# again (twice at most), at another phase of the grabs; each retake is printed.
record_in_sync() {
  local attempt code
  for attempt in 1 2 3; do
    rm -rf "$1"
    record_with_beacon "$1" "$2" "$4" "$5"; code=$?
    [ "$code" -eq 1 ] && return 1
    if [ "$code" -eq 0 ] && all_in_sync "$1" "$3"; then
      return 0
    fi
    echo "retake $attempt: the beacon painted late or a flash read over 20 ms from its tone ($(measure "$1/orvane-recording.mov" --audio-name "$3"))"
  done
  return 0 # the checks that follow report the last take's figures
}

# One take with both sources while the beacon plays into SINK; checks the
# take's stream NAME, then its export and an export trimmed from 2 s.
take_in_sync() {
  local sink="$1" name="$2" dir="$out/$1"
  record_in_sync "$dir" "$sink" "$name" 2.5 6
  check "a take with sound records ($sink)" test $? -eq 0 -a -s "$dir/orvane-recording.mov"
  check "no sound note for a take whose sources all worked ($(tail -n 1 "$dir/stdout"))" \
    bash -c "! grep -q 'without' '$dir/stdout'"
  local streams
  streams="$(ffprobe -v error -show_entries stream=codec_name,sample_rate,channels:stream_tags=handler_name -of csv=p=0 "$dir/orvane-recording.mov" | tr '\n' ' ')"
  check "the take has the picture and two named AAC tracks ($streams)" \
    bash -c "echo '$streams' | grep -q 'aac,48000,2,Orvane microphone' && echo '$streams' | grep -q 'aac,48000,2,Orvane desktop sound'"

  local m offset flash
  m="$(measure "$dir/orvane-recording.mov" --audio-name "$name")"
  read -r offset flash _ <<<"$m"
  echo "take ($name): offset ${offset:-?} ms, flash at ${flash:-?} s"
  check "in the take, the $name tone is within 20 ms of the flash (${offset:-none} ms)" within "${offset:-999}" 20

  "$render" "$dir/orvane-recording.mov" --clicks "$dir/quilbo-clicks.json" -o "$dir/export.mp4" >/dev/null 2>"$dir/render.err"
  check "the take exports ($sink)" test $? -eq 0
  m="$(measure "$dir/export.mp4")"
  read -r offset _ <<<"$m"
  echo "export ($name): offset ${offset:-?} ms"
  check "in the export, the tone is within 20 ms of the flash (${offset:-none} ms)" within "${offset:-999}" 20

  "$render" "$dir/orvane-recording.mov" --clicks "$dir/quilbo-clicks.json" --trim 2:0 -o "$dir/trimmed.mp4" >/dev/null 2>"$dir/render.err"
  check "the take exports trimmed from 2 s" test $? -eq 0
  local trimmedFlash
  m="$(measure "$dir/trimmed.mp4")"
  read -r offset trimmedFlash _ <<<"$m"
  echo "trimmed export: offset ${offset:-?} ms, flash at ${trimmedFlash:-?} s"
  check "trimmed from 2 s, the tone is still within 20 ms of the flash (${offset:-none} ms)" within "${offset:-999}" 20
  check "and the flash moved 2 s earlier (${flash:-?} -> ${trimmedFlash:-?})" \
    within "$(python3 -c "print(${flash:-0} - 2 - ${trimmedFlash:-99})")" 0.02

  "$render" "$dir/orvane-recording.mov" --mute-mic --mute-desktop -o "$dir/muted.mp4" >/dev/null 2>"$dir/render.err"
  check "with both sources muted the export has no sound track" \
    bash -c "[ \"\$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '$dir/muted.mp4')\" = video ]"
}

if [ "$mode" = drift ]; then
  # A minute between two flashes: the second pair must be as close as the first.
  dir="$out/drift"
  name="Orvane microphone"
  record_in_sync "$dir" "$ORVANE_TEST_VOICE" "$name" 2.5,62.5 66
  check "a minute with sound records" test $? -eq 0
  m="$(measure "$dir/orvane-recording.mov" --audio-name "$name")"
  read -r first firstFlash firstOnset second secondFlash secondOnset <<<"$m"
  echo "$name: offset ${first:-?} ms at ${firstFlash:-?} s, ${second:-?} ms at ${secondFlash:-?} s"
  # The beacon's own clock (the take's clock) says how far apart it made them.
  apart="$(awk '/^flash/ { t[n++] = $4 } END { if (n == 2) printf "%.6f", t[1] - t[0] }' "$out/beacon.log")"
  check "the beacon flashed twice (${apart:-?} s apart)" test -n "$apart"
  check "the first tone is within 20 ms of its flash (${first:-none} ms)" within "${first:-999}" 20
  check "a minute later, within 20 ms too (${second:-none} ms)" within "${second:-999}" 20
  soundDrift="$(python3 -c "print(round(1000 * ((${secondOnset:-0} - ${firstOnset:-0}) - ${apart:-0}), 2))")"
  pictureDrift="$(python3 -c "print(round(1000 * ((${secondFlash:-0} - ${firstFlash:-0}) - ${apart:-0}), 2))")"
  echo "drift over the minute against the take's clock: sound ${soundDrift} ms, picture ${pictureDrift} ms (one frame is 16.7 ms)"
  check "the sound keeps the take's clock over a minute (drift ${soundDrift} ms)" within "$soundDrift" 20
  check "and so does the picture (${pictureDrift} ms)" within "$pictureDrift" 20
  check "the offset moved at most 20 ms over the minute ($(python3 -c "print(round(${second:-999} - ${first:-0}, 1))") ms)" \
    within "$(python3 -c "print(${second:-999} - ${first:-0})")" 20
  "$render" "$dir/orvane-recording.mov" --clicks "$dir/quilbo-clicks.json" -o "$dir/export.mp4" >/dev/null 2>"$dir/render.err"
  m="$(measure "$dir/export.mp4")"
  read -r first _ _ second _ <<<"$m"
  echo "export: offsets ${first:-?} ms and ${second:-?} ms"
  check "in the export, both tones are within 20 ms of their flashes" \
    bash -c "python3 -c \"import sys; sys.exit(0 if abs(${first:-999}) <= 20 and abs(${second:-999}) <= 20 else 1)\""
  finish_checks
fi

if [ "$mode" = pauses ]; then
  # Ten pauses (SIGUSR1) between two flashes, and a third flash inside the
  # longest pause: the picture and the sound leave that one out, and the
  # flash after the pauses is as close to its tone as the first.
  dir="$out/pauses"; mkdir -p "$dir"
  name="Orvane microphone"
  "$rec" --mic --duration 7.5 --out-dir "$dir" >"$dir/stdout" 2>"$dir/stderr" &
  rec_pid=$!
  wait_for_line "^Recording" "$dir/stdout" 10
  start_beacon "$ORVANE_TEST_VOICE" 2.0,4.3,9.3 || exit 1
  ready="$(awk '/^ready at/ { print $3; exit }' "$out/beacon.log")"
  # Pause k from 2.5 + 0.6 k s after the beacon was ready, for 0.3 s (the
  # third for 1 s: the flash at 4.3 s falls in it, with its tone).
  python3 - "$ready" "$rec_pid" <<'PY'
import os, signal, sys, time
ready, pid = float(sys.argv[1]), int(sys.argv[2])
def at(t):
    delay = ready + t - time.monotonic()
    if delay > 0:
        time.sleep(delay)
    os.kill(pid, signal.SIGUSR1)
start = 2.5
for k in range(10):
    length = 1.0 if k == 2 else 0.3
    at(start)
    at(start + length)
    start += length + 0.3
PY
  wait "$rec_pid"; code=$?
  wait "$beacon_pid"
  cat "$out/beacon.log"
  check "a take paused ten times records (exit $code)" test "$code" -eq 0 -a -s "$dir/orvane-recording.mov"
  check "it printed ten pauses and ten resumes" \
    test "$(grep -c '^Paused at' "$dir/stdout")" -eq 10 -a "$(grep -c '^Resumed$' "$dir/stdout")" -eq 10
  movieLength="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$dir/orvane-recording.mov")"
  check "the take lasts its 7.5 s of take time, paused time left out ($movieLength s)" \
    within "$(python3 -c "print(${movieLength:-0} - 7.5)")" 0.1
  python3 "$sync" "$dir/orvane-recording.mov" --audio-name "$name" >"$out/measure.json" 2>"$out/measure.err"
  check "the flash and the tone inside a pause are left out of picture and sound" python3 - "$out/measure.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
assert len(r["flashes_s"]) == 2, r
assert len(r["onsets_s"]) == 2, r
PY
  m="$(measure "$dir/orvane-recording.mov" --audio-name "$name")"
  read -r first firstFlash _ second secondFlash _ <<<"$m"
  echo "after ten pauses: offset ${first:-?} ms at ${firstFlash:-?} s, ${second:-?} ms at ${secondFlash:-?} s"
  check "before the pauses the tone is within 20 ms of its flash (${first:-none} ms)" within "${first:-999}" 20
  check "after ten pauses too (${second:-none} ms)" within "${second:-999}" 20
  check "and the offset moved under 20 ms" within "$(python3 -c "print(${second:-999} - ${first:-0})")" 20
  finish_checks
fi

take_in_sync "$ORVANE_TEST_SPEAKERS" "Orvane desktop sound"
take_in_sync "$ORVANE_TEST_VOICE" "Orvane microphone"

# The microphone is unplugged 1.5 s into a take: the take goes on, keeps the
# microphone's sound up to then and the desktop's to the end, and says so.
dir="$out/unplugged"; mkdir -p "$dir"
mic_module="$(pactl list short modules | awk '/module-remap-source/ { print $1; exit }')"
"$rec" --mic --desktop-audio --duration 4 --out-dir "$dir" >"$dir/stdout" 2>"$dir/stderr" &
rec_pid=$!
sleep 2.5
pactl unload-module "$mic_module"
wait "$rec_pid"
check "a take whose microphone is unplugged still records" test $? -eq 0 -a -s "$dir/orvane-recording.mov"
check "the status says the microphone was disconnected ($(tail -n 1 "$dir/stdout"))" \
  grep -q "The microphone was disconnected at [0-9.]* s: the rest of the take has no microphone sound" "$dir/stdout"
dur() { ffprobe -v error -select_streams "$2" -show_entries stream=duration -of csv=p=0 "$1" | head -n1; }
check "the picture lasts the whole take ($(dur "$dir/orvane-recording.mov" v:0) s)" \
  python3 -c "import sys; sys.exit(0 if $(dur "$dir/orvane-recording.mov" v:0) >= 3.7 else 1)"
check "both sound tracks are in the movie" \
  test "$(ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 "$dir/orvane-recording.mov" | wc -l)" -eq 2

# A take with sound killed with SIGKILL keeps picture and sound up to its last
# fragment, and both decode.
dir="$out/killed"; mkdir -p "$dir"
"$rec" --mic --desktop-audio --out-dir "$dir" >"$dir/stdout" 2>"$dir/stderr" &
rec_pid=$!
sleep 4
kill -9 "$rec_pid"; wait "$rec_pid" 2>/dev/null
movie="$dir/orvane-recording.mov"
decoded() { # seconds of stream SPEC that decode
  ffmpeg -v error -i "$movie" -map "0:$1" -f null - 2>&1 -progress pipe:1 | awk -F= '/^out_time_us=/ { t = $2 } END { printf "%.2f", t / 1e6 }'
}
v="$(decoded v:0)"; a0="$(decoded a:0)"; a1="$(decoded a:1)"
echo "killed take: picture $v s, sound $a0 s and $a1 s"
check "the killed take's picture decodes ($v s)" python3 -c "import sys; sys.exit(0 if $v >= 1.5 else 1)"
check "its sound tracks decode as far ($a0 s, $a1 s)" \
  python3 -c "import sys; sys.exit(0 if min($a0, $a1) >= 1.5 and abs($a0 - $v) < 1.2 and abs($a1 - $v) < 1.2 else 1)"
check "its export keeps the sound" bash -c "'$render' '$movie' -o '$dir/export.mp4' >/dev/null 2>&1 && \
  [ \"\$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '$dir/export.mp4' | sort | tr '\n' ' ')\" = 'audio video ' ]"

finish_checks
