#!/usr/bin/env bash
# Checks orvane-sync-beacon with tools of its own: the sink's monitor recorded
# by pacat, each read stamped on CLOCK_MONOTONIC as it arrives, and the screen
# grabbed by ffmpeg (x11grab, its frames stamped on the wall clock at the grab).
# Prints, per flash, when the tone was heard and between which two grabs the
# screen turned white, relative to the time the beacon printed.
#   tests/support/with-sound.sh tests/support/with-xvfb.sh \
#     tools/sync-beacon/check-beacon.sh build/test/tools/sync-beacon/orvane-sync-beacon [--at 1,2,3]
# Needs pacat, ffmpeg and python3.
set -euo pipefail
beacon="$1"
shift
at="1,2,3,4"
if [ "${1:-}" = "--at" ]; then
  at="$2"
fi
sink="${ORVANE_TEST_SPEAKERS:-orvane_speakers}"
dir="$(mktemp -d /tmp/orvane-beacon-check.XXXXXX)"
trap 'rm -rf "$dir"' EXIT
seconds=$(python3 -c "print(max(float(x) for x in '$at'.split(',')) + 3)")

# The wall clock's distance from the monotonic clock, for the grabbed frames.
python3 -c 'import time; print(time.clock_gettime(time.CLOCK_REALTIME) - time.clock_gettime(time.CLOCK_MONOTONIC))' >"$dir/offset"

pacat --record -d "$sink.monitor" --raw --format=float32le --channels=1 --rate=48000 --latency-msec=5 2>/dev/null \
  | python3 -c '
import os, sys, time
out, seconds = sys.argv[1], float(sys.argv[2])
data, stamps = bytearray(), []
end = time.clock_gettime(time.CLOCK_MONOTONIC) + seconds
while time.clock_gettime(time.CLOCK_MONOTONIC) < end:
    chunk = os.read(0, 65536)
    if not chunk:
        break
    stamps.append((time.clock_gettime(time.CLOCK_MONOTONIC), (len(data) + len(chunk)) // 4))
    data += chunk
open(out + "/sound.raw", "wb").write(data)
open(out + "/sound.stamps", "w").write("\n".join("%.6f %d" % s for s in stamps))
' "$dir" "$seconds" &
recorder=$!
ffmpeg -hide_banner -nostdin -loglevel info -copyts -f x11grab -framerate 60 -video_size 64x64 -t "$seconds" \
  -i "$DISPLAY" -vf "format=gray,showinfo" -f null - 2>"$dir/grab.log" &
grabber=$!
sleep 1
"$beacon" --sink "$sink" --at "$at" >"$dir/beacon.txt" || echo "check-beacon: the beacon said it was late" >&2
wait "$grabber" || true
# The recorder stops by itself after the same time (pacat then ends on the
# closed pipe).
wait "$recorder" 2>/dev/null || true
cat "$dir/beacon.txt"

python3 - "$dir" <<'PY'
import array, re, sys
d = sys.argv[1]
offset = float(open(d + "/offset").read())
flashes = [float(m) for m in re.findall(r"flash \d+ at ([0-9.]+)", open(d + "/beacon.txt").read())]
# Frame 0 of the sound was captured no later than any read's arrival minus
# the frames before its end: the lower envelope of those bounds it closely.
stamps = [tuple(map(float, line.split())) for line in open(d + "/sound.stamps")]
origin = min(t - n / 48000 for t, n in stamps)
sound = array.array("f")
sound.frombytes(open(d + "/sound.raw", "rb").read())
frames = [(int(p) / 1e6 - offset, int(m)) for p, m in
          re.findall(r"Parsed_showinfo\S* @ \S+\] n:\s*\d+ pts:(\d+) .*? mean:\[(\d+)", open(d + "/grab.log").read())]
for f in flashes:
    start = max(0, int((f - 0.3 - origin) * 48000))
    onset = next((i for i in range(start, len(sound)) if abs(sound[i]) > 0.1), None)
    heard = "not heard" if onset is None else "heard %+.1f ms" % ((origin + onset / 48000 - f) * 1e3)
    black = [t for t, m in frames if f - 0.1 < t and m < 128 and t < f + 0.1]
    white = [t for t, m in frames if f - 0.1 < t < f + 0.3 and m >= 128]
    if black and white:
        shown = "white between the grabs at %+.1f and %+.1f ms" % ((max(t for t in black if t < min(white)) - f) * 1e3,
                                                                (min(white) - f) * 1e3)
    else:
        shown = "no white frame grabbed"
    print("flash at %.6f: tone %s (at most), %s" % (f, heard, shown))
PY
