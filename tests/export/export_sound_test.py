#!/usr/bin/env python3
"""orvane-render on a take-like movie with sound: a picture with white flashes
and two named AAC tracks (microphone and desktop sound) with tones at the
flash times and quiet steady tones to measure levels by. The export is checked
with ffprobe and with sound_sync.py: the sound stays with the picture (also
after a trim), volumes and mutes give the levels they should, and with both
sources muted there is no sound track.

    export_sound_test.py ORVANE_RENDER
"""

import json
import math
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import sound_sync  # noqa: E402

RENDER = None  # set from the command line

FLASHES = [1.0, 3.0, 5.0]  # seconds, on the 30 fps grid
DURATION = 6
MIC_STEADY = (1.5, 2.5)      # microphone alone: 440 Hz at 0.05
DESKTOP_STEADY = (3.5, 4.5)  # desktop sound alone: 660 Hz at 0.05
STEADY_AMPLITUDE = 0.05      # quiet, so 200 % stays far below the limiter's knee
# Inside the steady spans, clear of their edges (and of AAC's smearing).
MIC_WINDOW = (1.6, 2.4)
DESKTOP_WINDOW = (3.6, 4.4)


def take_like_movie(path):
    lit = "+".join(f"between(t,{t},{t + 0.09})" for t in FLASHES)
    beeps = "+".join(f"between(t,{t},{t + 0.15})" for t in FLASHES)

    def track(freq, steady):
        return (f"aevalsrc='0.3*sin(2*PI*1000*t)*({beeps})"
                f"+{STEADY_AMPLITUDE}*sin(2*PI*{freq}*t)*between(t,{steady[0]},{steady[1]})'"
                f":s=48000:c=stereo:d={DURATION}")
    subprocess.run([
        "ffmpeg", "-v", "error", "-y",
        "-f", "lavfi", "-i",
        f"color=c=0x202020:s=320x200:r=30:d={DURATION},"
        f"drawbox=x=0:y=0:w=320:h=200:color=white:t=fill:enable='{lit}'",
        "-f", "lavfi", "-i", track(440, MIC_STEADY).replace("c=stereo:", ""),
        "-f", "lavfi", "-i", track(660, DESKTOP_STEADY).replace("c=stereo:", ""),
        "-map", "0:v", "-map", "1:a", "-map", "2:a",
        "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
        "-c:a", "aac", "-b:a", "160k", "-ac", "2",
        "-metadata:s:a:0", "handler_name=Orvane microphone",
        "-metadata:s:a:1", "handler_name=Orvane desktop sound",
        path], check=True)


def render(source, out, *options):
    done = subprocess.run([RENDER, source, "-o", out, *options], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, check=False)
    return done.returncode, done.stdout.decode() + done.stderr.decode()


def probe_streams(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                          "stream=codec_type,codec_name,sample_rate,channels,bit_rate,"
                          "start_time,duration", "-of", "json", path],
                         stdout=subprocess.PIPE, check=True).stdout
    return json.loads(out)["streams"]


def level(path, window, stream=0):
    number, start = sound_sync.audio_stream(path, stream)
    data = sound_sync.samples(path, number)
    return sound_sync.rms_dbfs(data, start, *window)


def frequency(data, start_time, begin, end):
    """The frequency of a steady tone between two instants, from its zero
    crossings (the samples are mono, as sound_sync reads them)."""
    part = data[int((begin - start_time) * 48000):int((end - start_time) * 48000)]
    crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
    return crossings / 2 / (end - begin)


def db(gain):
    return 20 * math.log10(gain)


class ExportSound(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.source = os.path.join(cls.dir.name, "take.mov")
        take_like_movie(cls.source)
        cls.plain = os.path.join(cls.dir.name, "plain.mp4")
        code, text = render(cls.source, cls.plain)
        assert code == 0, text

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def out(self, name):
        return os.path.join(self.dir.name, name)

    def test_one_aac_track_in_sync_with_the_picture(self):
        streams = probe_streams(self.plain)
        audio = [s for s in streams if s["codec_type"] == "audio"]
        video = [s for s in streams if s["codec_type"] == "video"]
        self.assertEqual(len(video), 1)
        self.assertEqual(len(audio), 1)
        self.assertEqual(audio[0]["codec_name"], "aac")
        self.assertEqual(audio[0]["sample_rate"], "48000")
        self.assertEqual(audio[0]["channels"], 2)
        # The encoder's priming is hidden by the file's edit list: the sound
        # starts at 0 with the picture and lasts as long.
        self.assertAlmostEqual(float(audio[0]["start_time"]), 0.0, delta=0.001)
        self.assertAlmostEqual(float(audio[0]["duration"]), DURATION, delta=0.03)

        source = sound_sync.measure(self.source)
        exported = sound_sync.measure(self.plain)
        print(f"\nsync: source {source['mean_offset_ms']} ms, export "
              f"{exported['mean_offset_ms']} ms (max {exported['max_abs_offset_ms']} ms)")
        self.assertEqual(len(exported["pairs"]), len(FLASHES), exported)
        self.assertLessEqual(exported["max_abs_offset_ms"], 20)
        # The export adds no shift of its own (AAC priming would be 21.3 ms).
        for a, b in zip(source["pairs"], exported["pairs"]):
            self.assertAlmostEqual(a["offset_ms"], b["offset_ms"], delta=3)

    def test_a_trim_cuts_the_sound_with_the_picture(self):
        out = self.out("trimmed.mp4")
        code, text = render(self.source, out, "--trim", "2:5.5")
        self.assertEqual(code, 0, text)
        audio = [s for s in probe_streams(out) if s["codec_type"] == "audio"]
        self.assertEqual(len(audio), 1)
        self.assertAlmostEqual(float(audio[0]["start_time"]), 0.0, delta=0.001)
        self.assertAlmostEqual(float(audio[0]["duration"]), 3.5, delta=0.03)
        r = sound_sync.measure(out)
        # The flashes at 3 s and 5 s of the take are at 1 s and 3 s of the
        # export, each with its tone.
        self.assertEqual([round(p["flash_s"], 3) for p in r["pairs"]], [1.0, 3.0], r)
        source = sound_sync.measure(self.source)
        for p in r["pairs"]:
            self.assertLessEqual(abs(p["offset_ms"]), 20)
            self.assertAlmostEqual(p["offset_ms"], source["pairs"][1]["offset_ms"], delta=3)
        # The trimmed export's steady desktop tone is the take's, 2 s earlier.
        self.assertAlmostEqual(level(out, (1.6, 2.4)), level(self.plain, DESKTOP_WINDOW),
                               delta=0.5)

    def test_volumes_and_mutes_set_the_levels(self):
        # At 100 % the export keeps the take's levels: a sine of 0.05 made
        # stereo by ffmpeg's upmix, which spreads it at -3 dB per channel.
        expected = db(STEADY_AMPLITUDE / math.sqrt(2)) - 3.01
        mic = level(self.plain, MIC_WINDOW)
        desktop = level(self.plain, DESKTOP_WINDOW)
        self.assertAlmostEqual(mic, expected, delta=1)
        self.assertAlmostEqual(desktop, expected, delta=1)
        self.assertAlmostEqual(mic, level(self.source, MIC_WINDOW), delta=0.5)
        self.assertAlmostEqual(desktop, level(self.source, DESKTOP_WINDOW, 1), delta=0.5)

        cases = [
            ("half-mic", ["--mic-volume", "50"], db(0.5), 0.0),
            ("double-both", ["--mic-volume", "200", "--desktop-volume", "200"], db(2), db(2)),
            ("half-desktop", ["--desktop-volume", "50"], 0.0, db(0.5)),
        ]
        for name, options, mic_change, desktop_change in cases:
            with self.subTest(name):
                out = self.out(name + ".mp4")
                code, text = render(self.source, out, *options)
                self.assertEqual(code, 0, text)
                self.assertAlmostEqual(level(out, MIC_WINDOW) - mic, mic_change, delta=1)
                self.assertAlmostEqual(level(out, DESKTOP_WINDOW) - desktop, desktop_change,
                                       delta=1)

        out = self.out("mute-mic.mp4")
        code, text = render(self.source, out, "--mute-mic")
        self.assertEqual(code, 0, text)
        self.assertLess(level(out, MIC_WINDOW), -70)
        self.assertAlmostEqual(level(out, DESKTOP_WINDOW), desktop, delta=1)

        out = self.out("mute-desktop.mp4")
        code, text = render(self.source, out, "--mute-desktop", "--mic-volume", "0")
        self.assertEqual(code, 0, text)
        # A source at volume 0 is silent but not muted: the track is there.
        self.assertEqual(len([s for s in probe_streams(out) if s["codec_type"] == "audio"]), 1)
        self.assertLess(level(out, MIC_WINDOW), -70)
        self.assertLess(level(out, DESKTOP_WINDOW), -70)

    def test_cuts_and_speeds_keep_the_sound_with_the_picture(self):
        # 1.5-2 s cut, 2-4 s at 2x: the flashes at 1, 3 and 5 s of the take
        # come at 1, 2 and 3.5 s of the export, before the cut, inside the
        # sped-up part and after it. (The 2x part keeps 30 fps by showing
        # every other frame, so a flash there is seen on the output's frame
        # grid: 3 s of the take is exactly a frame of it here.)
        out = self.out("sections.mp4")
        code, text = render(self.source, out, "--cut", "1.5-2", "--speed", "2-4:2")
        self.assertEqual(code, 0, text)
        audio = [s for s in probe_streams(out) if s["codec_type"] == "audio"]
        self.assertEqual(len(audio), 1)
        self.assertAlmostEqual(float(audio[0]["duration"]), 4.5, delta=0.03)
        r = sound_sync.measure(out)
        print(f"\nsections: offsets {[p['offset_ms'] for p in r['pairs']]} ms at "
              f"{[round(p['flash_s'], 3) for p in r['pairs']]} s")
        self.assertEqual([round(p["flash_s"], 2) for p in r["pairs"]], [1.0, 2.0, 3.5], r)
        for p in r["pairs"]:
            self.assertLessEqual(abs(p["offset_ms"]), 20, r)
        # The pitch is kept: the desktop's 660 Hz tone (3.5-4.5 s of the take)
        # is still 660 Hz at 2x, at 2.25-2.5 s of the export, and after it.
        number, start = sound_sync.audio_stream(out, 0)
        data = sound_sync.samples(out, number)
        self.assertAlmostEqual(frequency(data, start, 2.28, 2.47), 660, delta=30)
        self.assertAlmostEqual(frequency(data, start, 2.55, 2.95), 660, delta=30)

        # Above 4x the sound is left out, and the picture goes on.
        out = self.out("fast.mp4")
        code, text = render(self.source, out, "--speed", "2.5-4.5:8")
        self.assertEqual(code, 0, text)
        # 2.5 s as recorded, 0.25 s at 8x, then 1.5 s.
        self.assertLess(level(out, (2.52, 2.73)), -70)
        self.assertAlmostEqual(level(out, MIC_WINDOW), level(self.plain, MIC_WINDOW), delta=1)

    def test_both_muted_leaves_no_sound_track(self):
        out = self.out("muted.mp4")
        code, text = render(self.source, out, "--mute-mic", "--mute-desktop")
        self.assertEqual(code, 0, text)
        streams = probe_streams(out)
        self.assertEqual([s["codec_type"] for s in streams], ["video"])

    def test_bad_sound_options_are_refused(self):
        out = self.out("refused.mp4")
        for options, message in [
            (["--mic-volume", "201"], "option --mic-volume is out of range (201; allowed 0 to 200)"),
            (["--desktop-volume", "-1"], "option --desktop-volume is out of range"),
            (["--mic-volume", "loud"], "option --mic-volume needs a number, not 'loud'"),
            (["--desktop-volume"], "option --desktop-volume needs a value"),
        ]:
            with self.subTest(options[0]):
                code, text = render(self.source, out, *options)
                self.assertEqual(code, 2, text)
                self.assertIn(message, text)
                self.assertFalse(os.path.exists(out))


if __name__ == "__main__":
    RENDER = sys.argv.pop(1)
    unittest.main()
