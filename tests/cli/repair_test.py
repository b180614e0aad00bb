#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura repair` on demo-generator recordings with sound, cut inside sound, frames and telemetry chunks,
inside the first frame, and with the index gone and the media data's size field at 0 (the walk at every
cut is its unit test). Each repaired file is checked with ffmpeg (no error; its frames are the original's
first N, by framemd5) and by its raw telemetry records (the original's first M), read with struct."""

import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from commandline import read, write  # noqa: E402
from media import decoded, recording  # noqa: E402
from mp4boxes import boxes, samples, telemetry_records as records, trak_of  # noqa: E402

NURA = sys.argv[1]
BUILD = os.path.dirname(os.path.abspath(NURA))
NAME = "alwa_20230115_083100_F.MP4"
REFERENCE = "alwa_20230115_083000_F.MP4"


def index_dropped(data):
    """The file without its index, as the camera leaves it when the power goes."""
    return data[:next(o for p, o, _ in boxes(data) if p == "moov")]


class Original:
    """A recording as the camera wrote it: its frames and telemetry chunks (offset, size), pictures and records."""

    def __init__(self, path):
        self.data = read(path)
        self.frames = samples(self.data, "trak")
        self.chunks = samples(self.data, trak_of(self.data, b"gps "))
        self.hashes, _ = decoded(path)
        self.records = records(path)

    def problems(self, head, folder, *options):
        """Repairs `head`, a cut of this recording, in `folder`: what is wrong with the outcome, and the run."""
        cut_file = os.path.join(folder, NAME)
        write(cut_file, head)
        whole_frames = sum(1 for o, s in self.frames if o + s <= len(head))
        whole_records = sum(1 for o, s in self.chunks if o + s <= len(head))
        r = subprocess.run([NURA, "repair", cut_file, *options], capture_output=True, text=True)
        out = os.path.join(folder, "repaired", NAME)
        if whole_frames == 0:
            refused = r.returncode == 2 and not os.path.exists(os.path.dirname(out))
            return ([] if refused else [f"no whole frame: exit {r.returncode}, {r.stderr.strip()}"]), r
        if r.returncode != 0:
            return [f"exit {r.returncode}: {r.stderr.strip()}"], r
        got, errors = decoded(out)
        problems = ["ffmpeg: " + errors.strip().splitlines()[0]] if errors else []
        if got != self.hashes[:whole_frames]:
            problems.append(f"{len(got)} frames decoded for {whole_frames} whole ones, or other pictures")
        if records(out) != self.records[:whole_records]:
            problems.append(f"telemetry is not the original's first {whole_records} records")
        if f"{whole_frames} frames" not in r.stdout:
            problems.append("the report does not say how much came back: " + r.stdout)
        return problems, r


def card(name, *reference_options):
    """A card folder holding a reference recording, which the repair takes its settings from."""
    folder = os.path.join(WORK, name, "DCIM", "100MEDIA")
    os.makedirs(folder)
    if reference_options:
        recording(os.path.join(folder, REFERENCE), *reference_options)
    else:
        os.link(os.path.join(WORK, REFERENCE), os.path.join(folder, REFERENCE))
    return folder


def setUpModule():
    global WORK
    WORK = tempfile.mkdtemp(prefix="nura-repair-")
    recording(os.path.join(WORK, REFERENCE), "--seconds", "2", "--size", "320x180", "--start", "20230115_083000")


def tearDownModule():
    shutil.rmtree(WORK, ignore_errors=True)


def temporaries(folder):
    return [n for _, _, names in os.walk(folder) for n in names if ".nura-" in n]


class Cuts(unittest.TestCase):
    def test_sound_is_left_out_and_everything_else_comes_back(self):
        """A camera that records sound: raw AAC chunks lie between the frames and records, and carry no
        length of their own. Every whole frame and record before the cut comes back; the sound is left out."""
        folder = card("sound", "--seconds", "2", "--size", "320x180", "--audio", "--start", "20230115_083000")
        original = Original(recording(os.path.join(WORK, "sound-original.MP4"), "--seconds", "4", "--size",
                                      "320x180", "--audio", "--start", "20230115_083100"))
        sound = samples(original.data, trak_of(original.data, b"soun"))
        self.assertTrue(len(sound) > 100 and len(original.hashes) == 120, f"{len(sound)} sound packets")
        rng = random.Random(7)
        cuts = {o + rng.randrange(0, s) for o, s in rng.sample(sound, 12)}       # inside sound
        cuts |= {o + s for o, s in rng.sample(sound, 6)}                          # between sound packets
        cuts |= {o + rng.randrange(1, s) for o, s in rng.sample(original.frames, 6)}
        cuts |= {o + rng.randrange(1, s) for o, s in rng.sample(original.chunks, 4)}
        heads = [original.data[:cut] for cut in sorted(cuts)]
        # The whole media data, its index gone and its size left at 0.
        heads.append(bytearray(index_dropped(original.data)))
        mdat_at = next(o for p, o, _ in boxes(original.data) if p == "mdat")
        heads[-1][mdat_at:mdat_at + 4] = bytes(4)
        for head in heads:
            with self.subTest(f"cut at {len(head)}"):
                problems, r = original.problems(head, folder, "--force")
                self.assertEqual(problems, [])
                self.assertTrue("sound chunks" in r.stdout and "sound is not recovered" in r.stdout, r.stdout)
                self.assertIsNone(trak_of(read(os.path.join(folder, "repaired", NAME)), b"soun"),
                                  "no sound track is claimed")
        # Cut inside the first frame: nothing whole to give back, refused with nothing written.
        first = card("first", "--seconds", "2", "--size", "320x180", "--audio", "--start", "20230115_083000")
        problems, _ = original.problems(original.data[:original.frames[0][0] + 1], first)
        self.assertEqual(problems, [])


class Outputs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = card("outputs")
        original = recording(os.path.join(WORK, "outputs-original.MP4"), "--seconds", "3", "--size", "320x180",
                             "--start", "20230115_083100")
        cls.cut = os.path.join(cls.folder, NAME)
        write(cls.cut, index_dropped(read(original)))

    def test_refused(self):
        # How the command reports the refusals its unit tests pin: OUT a link to the reference, even
        # forced (exit 1), and OUT a FIFO (exit 2, and it is not opened).
        reference = os.path.join(self.folder, REFERENCE)
        kept = read(reference)
        link, fifo = os.path.join(WORK, "link.MP4"), os.path.join(WORK, "fifo.MP4")
        os.symlink(reference, link)
        os.mkfifo(fifo)
        r = subprocess.run([NURA, "repair", self.cut, "-o", link, "--force"], capture_output=True, text=True,
                           timeout=60)
        self.assertTrue(r.returncode == 1 and "would replace" in r.stderr, r.stderr)
        self.assertTrue(read(reference) == kept and not temporaries(WORK)
                        and not os.path.exists(os.path.join(self.folder, "repaired")), "nothing changed")
        r = subprocess.run([NURA, "repair", self.cut, "-o", fifo, "--force"], capture_output=True, text=True,
                           timeout=60)
        self.assertTrue(r.returncode == 2 and f"{fifo} is not a regular file" in r.stderr, r.stderr)

    @unittest.skipUnless(os.path.exists(os.path.join(BUILD, "bench", "libnura_slow_read.so")),
                         "no slow-card library in this build")
    def test_interrupted_leaves_nothing_behind(self):
        """Ctrl+C or a polite kill while the media data is read (held by a slow card) removes the temporary
        file and the folder the repair made, and ends as the signal does."""
        # Only the cut file is slow: not its reference, nor the temporary file in repaired/.
        env = dict(os.environ, LD_PRELOAD=os.path.join(BUILD, "bench", "libnura_slow_read.so"),
                   NURA_SLOW_MARKER="100MEDIA/" + NAME[:20], NURA_SLOW_READ_MS="1000")
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal.Signals(sig).name):
                p = subprocess.Popen([NURA, "repair", self.cut], env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
                while p.poll() is None and not temporaries(self.folder):
                    time.sleep(0.01)
                p.send_signal(sig)
                out, err = p.communicate(timeout=120)
                self.assertEqual(p.returncode, -sig, out + err)
                self.assertIn("interrupted", err)
                self.assertEqual(sorted(os.listdir(self.folder)), [REFERENCE, NAME], "nothing left behind")
                shutil.rmtree(os.path.join(self.folder, "repaired"), ignore_errors=True)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
