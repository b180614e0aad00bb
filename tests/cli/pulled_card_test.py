#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A card pulled while a recording is read: from some read on, the system refuses every read of that file
with EIO (strace's fault injection, limited to the file's path). Every subcommand that reads recordings
says it cannot read, exits 1, leaves no output behind and never calls the file truncated, cut or not a
recording, which would send the user to repair a file that is whole.

python3 pulled_card_test.py /path/to/nura"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from commandline import CANNOT_ACCESS, read, write  # noqa: E402
from media import recording  # noqa: E402

NURA = os.path.abspath(sys.argv[1])
MISLEADING = ("truncated", "not a recording", "whole index", "`nura repair`", "do not decode", "another layout",
              "Success")


def strace(path, syscall, when, args, log="/dev/null", also=None):
    """Runs nura with `syscall` on `path` refused from call `when` on; `also` = (syscall, when) refuses a
    second call the same way, as a pulled card refuses every kind of read."""
    inject = [] if when is None else ["-e", f"inject={syscall}:error=EIO:when={when}+"]
    traced = syscall
    if also:
        inject += ["-e", f"inject={also[0]}:error=EIO:when={also[1]}+"]
        traced += "," + also[0]
    return subprocess.run(["strace", "-f", "-qq", "-o", log, "-P", path, "-e", f"trace={traced}", *inject,
                           NURA, *args], capture_output=True, text=True, timeout=120)


def calls(path, syscall, args):
    """How many times the command makes `syscall` on `path` when nothing fails (writing into a fresh OUT)."""
    log = os.path.join(TMP, "calls.log")
    os.makedirs(OUT)
    strace(path, syscall, None, args, log)
    shutil.rmtree(OUT)
    with open(log) as f:
        count = sum(1 for line in f if f"{syscall}(" in line and "resumed" not in line)
    os.unlink(log)
    return count


def setUpModule():
    global TMP, OUT, FRONT, REFERENCE, CUT
    TMP = tempfile.mkdtemp()
    OUT = os.path.join(TMP, "out")
    card = os.path.join(TMP, "card")
    os.mkdir(card)
    FRONT = recording(os.path.join(card, "alwa_20230115_083012_F.MP4"), "--seconds", "3", "--start", "20230115_083012")
    REFERENCE = recording(os.path.join(card, "alwa_20230115_082912_F.MP4"), "--seconds", "3", "--start",
                          "20230115_082912")
    whole = read(FRONT)
    CUT = os.path.join(card, "alwa_20230115_083112_F.MP4")
    write(CUT, whole[:len(whole) * 2 // 3])  # a power cut: media data, no index


def tearDownModule():
    shutil.rmtree(TMP)


@unittest.skipIf(subprocess.run(["strace", "-o", "/dev/null", "true"], capture_output=True).returncode != 0,
                 "strace cannot trace here; a pulled card is left to the core tests")
class PulledCard(unittest.TestCase):
    def test_every_reader_says_it_cannot_read_and_writes_nothing(self):
        clip_copy = ["clip", FRONT, "--start", "0.5", "--end", "2", "--copy", "-o",
                     os.path.join(OUT, "event_20230115_083012_F.MP4")]
        clip_front = ["clip", FRONT, "--start", "0", "--end", "2", "--layout", "front", "--no-gpx", "-o",
                      os.path.join(OUT, "clip.mp4")]
        cases = [
            # (name, file that fails, system call, arguments, what the message names)
            ("telemetry", FRONT, "pread64", ["telemetry", FRONT], FRONT),
            ("clip --copy", FRONT, "pread64", clip_copy, FRONT),
            # The copy in the kernel does not say which side failed; a read of the recording then does.
            ("clip --copy, media data", FRONT, "copy_file_range", clip_copy, FRONT, "pread64"),
            ("combined clip, index and band", FRONT, "pread64", clip_front, FRONT),
            ("combined clip, decoding", FRONT, "read", clip_front, FRONT),
            ("repair, the cut file", CUT, "pread64", ["repair", CUT, "-o", os.path.join(OUT, "r.MP4")], CUT),
            ("repair, the reference", REFERENCE, "pread64",
             ["repair", CUT, "--reference", REFERENCE, "-o", os.path.join(OUT, "r.MP4")], REFERENCE),
        ]
        before = {p: read(p) for p in (FRONT, REFERENCE, CUT)}
        for name, failing, syscall, args, named, *then in cases:
            n = calls(failing, syscall, args)
            also = (then[0], calls(failing, then[0], args) + 1) if then else None
            self.assertGreater(n, 0, f"{name}: the command reads {failing} with {syscall}")
            for when in sorted({1, max(1, n // 2), n}):
                with self.subTest(f"{name}, {syscall} refused from call {when} of {n}"):
                    os.makedirs(OUT)
                    p = strace(failing, syscall, when, args, also=also)
                    written = os.listdir(OUT)
                    shutil.rmtree(OUT)
                    self.assertEqual(p.returncode, CANNOT_ACCESS, p.stderr)
                    self.assertTrue(os.path.basename(named) in p.stderr or "a recording of the clip" in p.stderr,
                                    f"the message names the file: {p.stderr!r}")
                    self.assertTrue("Input/output error" in p.stderr or "refused a read" in p.stderr, p.stderr)
                    self.assertEqual([w for w in MISLEADING if w in p.stderr], [], "nothing misleading")
                    self.assertEqual(written, [], "nothing written")
        self.assertTrue(all(read(p) == data for p, data in before.items()), "the recordings are unchanged")

    def test_a_trip_is_written_without_the_recording_that_cannot_be_read(self):
        card = os.path.dirname(FRONT)
        os.rename(CUT, CUT + ".away")
        self.addCleanup(os.rename, CUT + ".away", CUT)
        n = calls(FRONT, "pread64", ["trip", card])
        p = strace(FRONT, "pread64", max(1, n // 2), ["trip", card])
        self.assertTrue(p.returncode == CANNOT_ACCESS and "refused a read" in p.stderr and "083012" in p.stderr,
                        p.stderr)
        self.assertNotIn("truncated", p.stderr, "the refused file is not called truncated")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
