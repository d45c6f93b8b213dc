#!/usr/bin/env python3
"""Measures how far a movie's sound is from its picture.

    sound_sync.py MOVIE [--audio N | --audio-name NAME] [--max-pair-ms MS]
                        [--rms START:END]

Finds every white flash in the first video stream (the first frame whose mean
luma jumps from dark to bright; frame times are the stream's own timestamps)
and every tone onset in one sound stream (decoded to mono 16-bit 48 kHz; an
onset is the first sample of a 10 ms window whose level rises well above the
noise floor after a quiet stretch, refined to the first sample that reaches
a good part of the tone's amplitude, about a millisecond). Each flash is paired
with the nearest onset and the offsets are printed as JSON (milliseconds,
positive when the sound comes late):

    {"flashes_s": [...], "onsets_s": [...],
     "pairs": [{"flash_s": 1.0, "onset_s": 1.013, "offset_ms": 13.0}, ...],
     "max_abs_offset_ms": 13.0, "mean_offset_ms": 13.0, ...}

--rms START:END adds "rms_dbfs": the level of the sound between those movie
seconds (0 dB is a full-scale square wave; a full-scale sine reads -3 dB).

Times on both sides are on the movie's timeline: the video frames' timestamps
and the sound stream's start time plus its sample count (so an encoder's
priming, which the file hides with an edit list, is not counted).

Exit status 0 on success; 2 with a message for a movie without the chosen
stream or one that cannot be read. Python 3 standard library, ffmpeg, ffprobe.
"""

import argparse
import array
import json
import math
import subprocess
import sys

RATE = 48000
WINDOW = RATE // 100  # 10 ms
QUIET_BEFORE = 0.1  # seconds of quiet before an onset counts again


class SyncError(Exception):
    """A problem with the movie, told to the user in one line."""


def _run(cmd):
    try:
        done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    except FileNotFoundError as e:
        raise SyncError(f"cannot run {cmd[0]}: {e}") from e
    if done.returncode != 0:
        message = done.stderr.decode(errors="replace").strip().splitlines()
        raise SyncError(f"{cmd[0]} failed: {message[-1] if message else 'no message'}")
    return done.stdout


def streams(movie):
    """The movie's streams as ffprobe describes them."""
    out = _run(["ffprobe", "-v", "error", "-show_entries",
                "stream=index,codec_type,start_time:stream_tags=handler_name",
                "-of", "json", movie])
    return json.loads(out.decode()).get("streams", [])


def audio_stream(movie, number=None, name=None):
    """(index among the audio streams, start time in s) of the chosen stream."""
    audio = [s for s in streams(movie) if s.get("codec_type") == "audio"]
    if name is not None:
        for i, s in enumerate(audio):
            if s.get("tags", {}).get("handler_name") == name:
                return i, float(s.get("start_time", 0) or 0)
        raise SyncError(f"{movie} has no sound stream named '{name}'")
    number = number or 0
    if number >= len(audio):
        raise SyncError(f"{movie} has no sound stream {number} "
                        f"({len(audio)} sound stream(s))")
    return number, float(audio[number].get("start_time", 0) or 0)


def frame_lumas(movie):
    """[(time in s, mean luma 0...255)] of every frame of the first video stream."""
    if not any(s.get("codec_type") == "video" for s in streams(movie)):
        raise SyncError(f"{movie} has no video stream")
    times_csv = _run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                      "frame=best_effort_timestamp_time", "-of", "csv=p=0", movie])
    times = [float(line.strip().strip(",")) for line in times_csv.decode().splitlines()
             if line.strip().strip(",") not in ("", "N/A")]
    side = 16
    raw = _run(["ffmpeg", "-v", "error", "-i", movie, "-map", "0:v:0",
                "-vf", f"scale={side}:{side}:flags=area,format=gray",
                "-fps_mode", "passthrough", "-f", "rawvideo", "-"])
    count = len(raw) // (side * side)
    if count != len(times):
        raise SyncError(f"{movie}: {count} decoded frames but {len(times)} frame times")
    return [(times[i], sum(raw[i * side * side:(i + 1) * side * side]) / (side * side))
            for i in range(count)]


def flashes(lumas):
    """Times of the frames where the picture turns from dark to bright."""
    if not lumas:
        return []
    values = [v for _, v in lumas]
    low, high = min(values), max(values)
    if high - low < 40:
        return []  # never a real flash: a still or slowly changing picture
    middle = (low + high) / 2
    found = []
    for i in range(1, len(lumas)):
        if lumas[i - 1][1] < middle <= lumas[i][1]:
            found.append(lumas[i][0])
    if lumas[0][1] >= middle:
        found.insert(0, lumas[0][0])
    return found


def samples(movie, audio_number):
    """The chosen sound stream as mono 16-bit 48 kHz samples (an array of ints)."""
    raw = _run(["ffmpeg", "-v", "error", "-i", movie, "-map", f"0:a:{audio_number}",
                "-ac", "1", "-ar", str(RATE), "-f", "s16le", "-acodec", "pcm_s16le", "-"])
    data = array.array("h")
    data.frombytes(raw[:len(raw) - len(raw) % 2])
    if sys.byteorder != "little":
        data.byteswap()
    return data


def _window_rms(data, start, length):
    part = data[start:start + length]
    if not part:
        return 0.0
    return math.sqrt(sum(x * x for x in part) / len(part))


def onsets(data, start_time=0.0):
    """Times (movie seconds) at which a tone starts after a quiet stretch."""
    levels = [_window_rms(data, i, WINDOW) for i in range(0, len(data) - WINDOW + 1, WINDOW)]
    if not levels:
        return []
    ordered = sorted(levels)
    floor = ordered[len(ordered) // 10]  # the quietest tenth: the noise floor
    threshold = max(floor * 10, 32.0)  # 20 dB above it, and above -60 dBFS
    quiet_windows = int(QUIET_BEFORE * RATE / WINDOW)
    found = []
    quiet = quiet_windows  # the start of the stream counts as quiet
    for w, level in enumerate(levels):
        if level < threshold:
            quiet += 1
            continue
        if quiet >= quiet_windows:
            found.append(start_time + _refine(data, w * WINDOW) / RATE)
        quiet = 0
    return found


def _refine(data, window_start):
    """The first sample near a loud window that reaches a good part of the
    tone's amplitude: within a quarter period of the onset for a tone."""
    begin = max(0, window_start - WINDOW)
    peak = max((abs(x) for x in data[window_start:window_start + 3 * WINDOW]), default=0)
    level = 0.3 * peak
    for i in range(begin, min(len(data), window_start + 3 * WINDOW)):
        if abs(data[i]) >= level:
            return i
    return window_start


def rms_dbfs(data, start_time, begin, end):
    """Level in dB of full scale of the sound between two movie times."""
    a = max(0, int(round((begin - start_time) * RATE)))
    b = max(a, int(round((end - start_time) * RATE)))
    rms = _window_rms(data, a, b - a)
    return 20 * math.log10(rms / 32768) if rms > 0 else -math.inf


def pair(flash_times, onset_times, max_ms):
    pairs = []
    for f in flash_times:
        near = min(onset_times, key=lambda o: abs(o - f), default=None)
        if near is not None and abs(near - f) * 1000 <= max_ms:
            pairs.append({"flash_s": round(f, 6), "onset_s": round(near, 6),
                          "offset_ms": round((near - f) * 1000, 2)})
    return pairs


def measure(movie, audio_number=None, audio_name=None, max_pair_ms=250, rms=None):
    number, start_time = audio_stream(movie, audio_number, audio_name)
    data = samples(movie, number)
    flash_times = flashes(frame_lumas(movie))
    onset_times = onsets(data, start_time)
    pairs = pair(flash_times, onset_times, max_pair_ms)
    offsets = [p["offset_ms"] for p in pairs]
    result = {
        "movie": movie,
        "audio_stream": number,
        "audio_start_s": start_time,
        "flashes_s": [round(t, 6) for t in flash_times],
        "onsets_s": [round(t, 6) for t in onset_times],
        "pairs": pairs,
        "max_abs_offset_ms": max((abs(o) for o in offsets), default=None),
        "mean_offset_ms": round(sum(offsets) / len(offsets), 2) if offsets else None,
    }
    if rms is not None:
        level = rms_dbfs(data, start_time, rms[0], rms[1])
        result["rms_dbfs"] = round(level, 3) if math.isfinite(level) else None
    return result


def _span(text):
    try:
        a, b = (float(x) for x in text.split(":"))
    except ValueError as e:
        raise argparse.ArgumentTypeError(f"expected START:END in seconds, not '{text}'") from e
    if not b > a:
        raise argparse.ArgumentTypeError(f"END must come after START in '{text}'")
    return a, b


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("movie")
    which = parser.add_mutually_exclusive_group()
    which.add_argument("--audio", type=int, default=None, help="index among the sound streams [0]")
    which.add_argument("--audio-name", default=None, help="the sound stream's handler_name")
    parser.add_argument("--max-pair-ms", type=float, default=250,
                        help="farthest onset paired with a flash [250]")
    parser.add_argument("--rms", type=_span, default=None, help="START:END seconds")
    args = parser.parse_args(argv)
    try:
        result = measure(args.movie, args.audio, args.audio_name, args.max_pair_ms, args.rms)
    except SyncError as e:
        print(f"sound_sync: {e}", file=sys.stderr)
        return 2
    print(json.dumps(result, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
