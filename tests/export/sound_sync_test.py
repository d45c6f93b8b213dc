#!/usr/bin/env python3
"""The sync measuring tool on movies with known offsets, made with ffmpeg's
lavfi sources: flashes and tone onsets at chosen times, so the tool must find
exactly what was put in."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "support", "sound_sync.py")
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import sound_sync  # noqa: E402


def flash_video(flash_times, duration, rate=30):
    lit = "+".join(f"between(t,{t},{t + 0.09})" for t in flash_times) or "0"
    return ["-f", "lavfi", "-i",
            f"color=c=black:s=160x90:r={rate}:d={duration},"
            f"drawbox=x=0:y=0:w=160:h=90:color=white:t=fill:enable='{lit}'"]


def tone_audio(onsets, duration, amplitude=0.5, freq=1000, noise=0.0):
    gate = "+".join(f"between(t,{t},{t + 0.15})" for t in onsets) or "0"
    expr = f"{amplitude}*sin(2*PI*{freq}*t)*({gate})"
    if noise:
        expr += f"+{noise}*(random(0)-0.5)"
    return ["-f", "lavfi", "-i", f"aevalsrc='{expr}':s=48000:d={duration}"]


def make(path, *inputs_and_codecs):
    cmd = ["ffmpeg", "-v", "error", "-y"]
    for part in inputs_and_codecs:
        cmd += part
    cmd.append(path)
    subprocess.run(cmd, check=True)


def run_tool(*args):
    done = subprocess.run([sys.executable, TOOL, *args], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, check=False)
    return done.returncode, done.stdout.decode(), done.stderr.decode()


class KnownOffsets(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.pcm = os.path.join(cls.dir.name, "late13.mkv")
        # Sound 13 ms late against flashes at 1.0 and 2.5 s, stored as PCM
        # (no encoder delay): what the tool sees is exactly what was made.
        make(cls.pcm, flash_video([1.0, 2.5], 4), tone_audio([1.013, 2.513], 4),
             ["-c:v", "libx264", "-preset", "ultrafast", "-c:a", "pcm_s16le"])
        # Sound 7 ms early, AAC in MP4 as the export writes it, and a second
        # sound stream by name with a different offset (+31 ms).
        cls.aac = os.path.join(cls.dir.name, "early7.mp4")
        make(cls.aac, flash_video([0.5, 2.0, 3.5], 5), tone_audio([0.493, 1.993, 3.493], 5),
             tone_audio([0.531, 2.031, 3.531], 5, freq=700),
             ["-map", "0:v", "-map", "1:a", "-map", "2:a", "-c:v", "libx264", "-preset",
              "ultrafast", "-c:a", "aac", "-b:a", "160k",
              "-metadata:s:a:0", "handler_name=first", "-metadata:s:a:1", "handler_name=second"])

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def test_recovers_a_late_offset_from_pcm(self):
        code, out, err = run_tool(self.pcm)
        self.assertEqual(code, 0, err)
        r = json.loads(out)
        self.assertEqual(r["flashes_s"], [1.0, 2.5])
        self.assertEqual(len(r["pairs"]), 2)
        for p in r["pairs"]:
            self.assertAlmostEqual(p["offset_ms"], 13.0, delta=2.0)
        self.assertAlmostEqual(r["mean_offset_ms"], 13.0, delta=2.0)

    def test_recovers_an_early_offset_through_aac_and_picks_streams(self):
        code, out, err = run_tool(self.aac)
        self.assertEqual(code, 0, err)
        r = json.loads(out)
        self.assertEqual(len(r["flashes_s"]), 3)
        self.assertEqual(len(r["pairs"]), 3)
        for p in r["pairs"]:
            self.assertAlmostEqual(p["offset_ms"], -7.0, delta=2.0)
        for args in (["--audio", "1"], ["--audio-name", "second"]):
            code, out, err = run_tool(self.aac, *args)
            self.assertEqual(code, 0, err)
            r = json.loads(out)
            self.assertEqual(r["audio_stream"], 1)
            self.assertEqual(len(r["pairs"]), 3)
            for p in r["pairs"]:
                self.assertAlmostEqual(p["offset_ms"], 31.0, delta=2.0)

    def test_onsets_stand_out_of_noise(self):
        path = os.path.join(self.dir.name, "noisy.mkv")
        make(path, flash_video([1.0], 2), tone_audio([1.02], 2, amplitude=0.3, noise=0.01),
             ["-c:v", "libx264", "-preset", "ultrafast", "-c:a", "pcm_s16le"])
        r = sound_sync.measure(path)
        self.assertEqual(len(r["onsets_s"]), 1)
        self.assertAlmostEqual(r["pairs"][0]["offset_ms"], 20.0, delta=2.0)

    def test_rms_of_a_steady_tone(self):
        path = os.path.join(self.dir.name, "steady.mkv")
        # A sine of amplitude 0.25 from 0.5 s on: -3.01 - 12.04 dBFS.
        make(path, flash_video([], 2),
             ["-f", "lavfi", "-i", "aevalsrc='0.25*sin(2*PI*440*t)*gte(t,0.5)':s=48000:d=2"],
             ["-c:v", "libx264", "-preset", "ultrafast", "-c:a", "pcm_s16le"])
        code, out, err = run_tool(path, "--rms", "0.6:1.9")
        self.assertEqual(code, 0, err)
        self.assertAlmostEqual(json.loads(out)["rms_dbfs"], -15.05, delta=0.1)
        code, out, err = run_tool(path, "--rms", "0.0:0.4")
        self.assertEqual(code, 0, err)
        self.assertIsNone(json.loads(out)["rms_dbfs"])  # digital silence


class BadInput(unittest.TestCase):
    def test_a_movie_without_sound_is_refused(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "silent.mp4")
            make(path, flash_video([0.5], 1), ["-c:v", "libx264", "-preset", "ultrafast"])
            code, out, err = run_tool(path)
            self.assertEqual(code, 2)
            self.assertEqual(out, "")
            self.assertIn("no sound stream 0", err)

    def test_a_missing_stream_name_or_file_is_refused(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "one.mkv")
            make(path, flash_video([0.5], 1), tone_audio([0.5], 1),
                 ["-c:v", "libx264", "-preset", "ultrafast", "-c:a", "pcm_s16le"])
            code, _, err = run_tool(path, "--audio-name", "Orvane desktop sound")
            self.assertEqual(code, 2)
            self.assertIn("no sound stream named 'Orvane desktop sound'", err)
            code, _, err = run_tool(os.path.join(d, "absent.mp4"))
            self.assertEqual(code, 2)
            self.assertIn("ffprobe failed", err)


if __name__ == "__main__":
    unittest.main()
