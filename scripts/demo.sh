#!/usr/bin/env bash
# The demo, on any machine (a display is not needed): starts a virtual X
# server, opens a small form, records it with orvane-record while xdotool
# clicks and types through it, exports the take with orvane-render (with the
# recorded cursor track) and prints the MP4 and a contact sheet of eight frames.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/install-deps.sh
build="${ORVANE_BUILD_DIR:-$root/build/release}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF \
      -DORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" \
      --target orvane-record orvane-render orvane-demo-form

out="$root/build/demo"
rm -rf "$out"
mkdir -p "$out"
export ORVANE_DEMO_BUILD="$build" ORVANE_DEMO_OUT="$out"
tests/support/with-xvfb.sh bash -c '
  set -euo pipefail
  "$ORVANE_DEMO_BUILD/tools/demo/orvane-demo-form" >/dev/null 2>&1 &
  form=$!
  trap "kill $form 2>/dev/null || true" EXIT
  wid="$(xdotool search --sync --onlyvisible --name "Orvane demo" | head -n1)"
  "$ORVANE_DEMO_BUILD/app/orvane-record" --window "$wid" --duration 9 \
      --out-dir "$ORVANE_DEMO_OUT" >"$ORVANE_DEMO_OUT/record.log" 2>&1 &
  rec=$!
  sleep 1.5
  # Through the form as a user would: name, email, terms, create.
  xdotool mousemove --window "$wid" 300 118 click 1; sleep 0.3
  xdotool type --delay 60 "Ada"; sleep 1.2
  xdotool mousemove --window "$wid" 300 172 click 1; sleep 0.3
  xdotool type --delay 40 "ada@example.org"; sleep 2.0
  xdotool mousemove --window "$wid" 70 230 click 1; sleep 1.2
  xdotool mousemove --window "$wid" 790 555 click 1
  wait "$rec"
'
cat "$out/record.log" | grep -v '^\[' || true

"$build/app/orvane-render" "$out/orvane-recording.mov" \
    --clicks "$out/quilbo-clicks.json" --track "$out/orvane-cursor.csv" \
    --background 7 -o "$out/orvane-demo.mp4" </dev/null

# Eight frames spread across the export, in a 4 x 2 sheet.
duration="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out/orvane-demo.mp4")"
ffmpeg -hide_banner -loglevel error -y -i "$out/orvane-demo.mp4" \
    -vf "fps=8/${duration},scale=480:-2,tile=4x2:padding=6:color=0x16171B" -frames:v 1 \
    "$out/orvane-demo-contact-sheet.png"

echo
echo "Demo video:    $out/orvane-demo.mp4"
echo "Contact sheet: $out/orvane-demo-contact-sheet.png"
