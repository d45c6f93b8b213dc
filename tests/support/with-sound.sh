#!/usr/bin/env bash
# Runs a command beside a private PulseAudio server of its own, so sound tests
# need no sound hardware and no server from the caller, and can run in parallel.
#   tests/support/with-sound.sh COMMAND [ARGS...]
# The server has
#   orvane_speakers  a null sink, the default output: its monitor is "the
#                    desktop's sound", and what tests play there is heard by it;
#   orvane_voice     a null sink tests play into to speak into the microphone;
#   orvane_mic       a source fed by orvane_voice's monitor, the default input.
# All at 48 kHz stereo. PULSE_SERVER points at it; the command also gets
#   ORVANE_TEST_SPEAKERS=orvane_speakers  ORVANE_TEST_VOICE=orvane_voice
#   ORVANE_TEST_MIC=orvane_mic  ORVANE_TEST_PULSE_PID=<the server's pid>
# Nest it with the other wrappers: with-sound.sh with-xvfb.sh COMMAND.
set -euo pipefail
command -v pulseaudio >/dev/null || { echo "with-sound: pulseaudio is not installed (scripts/install-deps.sh)" >&2; exit 1; }

dir="$(mktemp -d /tmp/orvane-sound.XXXXXX)"
log="$dir/server.log"
# The server keeps its state (cookie, runtime files) in this folder only.
export HOME="$dir" XDG_RUNTIME_DIR="$dir" PULSE_RUNTIME_PATH="$dir/runtime" XDG_CONFIG_HOME="$dir/config"
mkdir -p "$PULSE_RUNTIME_PATH" "$XDG_CONFIG_HOME"
socket="$dir/native"

pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
  --realtime=no --high-priority=no --log-target=stderr --log-level=warn \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$socket" \
  -L "module-null-sink sink_name=orvane_speakers rate=48000 channels=2 sink_properties=device.description=Speakers" \
  -L "module-null-sink sink_name=orvane_voice rate=48000 channels=2 sink_properties=device.description=Voice" \
  -L "module-remap-source source_name=orvane_mic master=orvane_voice.monitor rate=48000 channels=2 source_properties=device.description=Test-microphone" \
  >"$log" 2>&1 &
pid=$!
cleanup() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

export PULSE_SERVER="unix:$socket"
for _ in $(seq 1 200); do
  if pactl info >/dev/null 2>&1; then
    break
  fi
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "with-sound: the sound server exited before it was ready:" >&2
    cat "$log" >&2
    exit 1
  fi
  sleep 0.05
done
if ! pactl info >/dev/null 2>&1; then
  echo "with-sound: the sound server did not come up within 10 s" >&2
  cat "$log" >&2
  exit 1
fi
pactl set-default-sink orvane_speakers
pactl set-default-source orvane_mic

export ORVANE_TEST_SPEAKERS=orvane_speakers ORVANE_TEST_VOICE=orvane_voice ORVANE_TEST_MIC=orvane_mic
export ORVANE_TEST_PULSE_PID="$pid"
set +e
"$@"
rc=$?
set -e
exit $rc
