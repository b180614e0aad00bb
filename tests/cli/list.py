# SPDX-License-Identifier: GPL-3.0-or-later
"""nura list: the recordings of a folder as a table and as JSON, its errors, and the drives they make."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from commandline import DONE, CANNOT_ACCESS, USAGE, outcome  # noqa: E402
from media import recording  # noqa: E402

NURA = sys.argv[1]


def run(*args):
    return outcome([NURA, *args])


class Recordings(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        card = cls.card = cls.tmp.name
        for rel in ["DCIM/alwa_20230115_083012_R.MP4", "DCIM/alwa_20230115_083012_F.MP4",
                    "DCIM/event_20230115_083045_F.mp4", ".hidden/xxxxx_20230115_083012_R.MP4",
                    "DCIM/alwa_20231315_083012_F.MP4", "DCIM/notes.txt"]:
            os.makedirs(os.path.dirname(os.path.join(card, rel)), exist_ok=True)
            open(os.path.join(card, rel), "w").close()
        # Names that are not UTF-8 must still come out as valid JSON.
        open(os.path.join(card.encode(), b"DCIM/alwa_20230116_000000_\xff.MP4"), "w").close()
        open(os.path.join(card.encode(), b"DCIM\xfe"), "w").close()
        os.makedirs(os.path.join(card.encode(), b"\xfe_dir"))
        open(os.path.join(card.encode(), b"\xfe_dir/alwa_20230116_000001_F.MP4"), "w").close()

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_json(self):
        r = subprocess.run([NURA, "list", self.card, "--json"], capture_output=True, timeout=60)
        self.assertEqual(r.returncode, DONE, r.stderr)
        rows = json.loads(r.stdout.decode("utf-8"))  # strictly: the output is UTF-8 whatever the names
        self.assertEqual([row["file"] for row in rows], [
            "xxxxx_20230115_083012_R.MP4", "alwa_20230115_083012_F.MP4", "alwa_20230115_083012_R.MP4",
            "event_20230115_083045_F.mp4", "alwa_20230116_000001_F.MP4"])
        self.assertTrue(all(set(row) == {"path", "file", "group", "mode", "side", "date", "time"} for row in rows))
        undated, front = rows[0], rows[1]
        self.assertEqual({k: undated[k] for k in ("date", "time", "side", "mode")},
                         {"date": "", "time": "", "side": "rear", "mode": "always"})
        self.assertEqual(front, {"path": os.path.join(self.card, "DCIM/alwa_20230115_083012_F.MP4"),
                                 "file": "alwa_20230115_083012_F.MP4", "group": "alwa_20230115_083012",
                                 "mode": "always", "side": "front", "date": "2023-01-15", "time": "08:30:12"})
        self.assertEqual(rows[3]["mode"], "event")
        self.assertTrue(rows[4]["path"].endswith("\ufffd_dir/alwa_20230116_000001_F.MP4"), rows[4]["path"])

    def test_table(self):
        code, out, _ = run("list", self.card)
        lines = out.splitlines()
        self.assertEqual((code, len(lines)), (DONE, 7), out)
        self.assertEqual([lines[i] for i in (0, 1, 2, 4, 6)], [
            "MODE    SIDE   DATE       TIME      FILE                         FOLDER",
            "always  rear                        xxxxx_20230115_083012_R.MP4  .hidden",
            "always  front  2023-01-15 08:30:12  alwa_20230115_083012_F.MP4   DCIM",
            "event   front  2023-01-15 08:30:45  event_20230115_083045_F.mp4  DCIM",
            "5 recordings, 1 front/rear pair"])

    def test_an_empty_folder_and_usage(self):
        with tempfile.TemporaryDirectory() as empty:
            code, out, _ = run("list", empty, "--json")
            self.assertEqual((code, json.loads(out)), (DONE, []))
        code, _, err = run("list", "/nonexistent/card")
        self.assertTrue(code == CANNOT_ACCESS and len(err.strip().splitlines()) == 1, err)
        self.assertEqual(run("list", "/etc/hostname")[0], CANNOT_ACCESS, "a file is not a folder")
        self.assertEqual(run("list")[0], USAGE)
        self.assertEqual(run("list", "--bogus", "/tmp")[0], USAGE)


def make(folder, name, seconds, *extra):
    return recording(os.path.join(folder, name), "--placeholder-video", "--seconds", str(seconds),
                     "--start", name.split("_", 1)[1][:15], "--drive-start", "20230115_083000", *extra)


class Drives(unittest.TestCase):
    # Two drives: three recordings back to back (the last a lone rear file) with an event file copying part
    # of the third, then, ten minutes later, one more recording.
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.card = self.tmp.name
        dcim = os.path.join(self.card, "DCIM")
        os.makedirs(dcim)
        make(dcim, "alwa_20230115_083000_F.MP4", 20)
        make(dcim, "alwa_20230115_083020_F.MP4", 20)
        make(dcim, "alwa_20230115_083040_R.MP4", 20, "--rear")
        make(dcim, "alwa_20230115_083000_R.MP4", 20, "--rear")
        make(dcim, "alwa_20230115_083020_R.MP4", 19, "--rear")
        make(dcim, "event_20230115_083045_F.MP4", 10)
        self.later = make(dcim, "alwa_20230115_084000_F.MP4", 10)

    def test_json(self):
        code, out, err = run("list", self.card, "--drives", "--json")
        self.assertEqual((code, err), (DONE, ""))
        drives = json.loads(out)
        self.assertEqual(len(drives), 2, drives)
        first, second = drives
        self.assertEqual({k: first[k] for k in ("mode", "start", "end", "duration_s", "recordings", "files",
                                                 "event_files", "without_length")},
                         {"mode": "always", "start": "2023-01-15T08:30:00", "end": "2023-01-15T08:31:00",
                          "duration_s": 60.0, "recordings": 3,
                          "files": ["alwa_20230115_083000_F.MP4", "alwa_20230115_083020_F.MP4",
                                    "alwa_20230115_083040_R.MP4"],
                          "event_files": ["event_20230115_083045_F.MP4"], "without_length": []})
        self.assertGreater(first["distance_m"], 100)
        # The scripted drive brakes into an impact 47 s in: one moment of sharp force, in the lone rear file.
        self.assertEqual(first["events"], 1)
        self.assertEqual({k: second[k] for k in ("start", "end", "duration_s", "recordings", "events", "files")},
                         {"start": "2023-01-15T08:40:00", "end": "2023-01-15T08:40:10", "duration_s": 10.0,
                          "recordings": 1, "events": 0, "files": ["alwa_20230115_084000_F.MP4"]})
        # Distance and top speed as the trip export gives them for the same fixes (how they are measured
        # is the trip reader's unit test).
        trips = json.loads(run("trip", self.card)[1])["features"]
        self.assertEqual([(d["distance_m"], d["max_speed_kmh"]) for d in drives],
                         [(t["properties"]["distance_m"], t["properties"]["max_speed_kmh"]) for t in trips])

    def test_table(self):
        code, out, _ = run("list", self.card, "--drives")
        lines = out.splitlines()
        self.assertEqual((code, len(lines)), (DONE, 4), lines)
        self.assertEqual(lines[0].split(), ["MODE", "DATE", "START", "END", "DURATION", "RECORDINGS", "DISTANCE",
                                            "TOP", "SPEED", "EVENTS"])
        self.assertEqual(lines[1].split()[:6], ["always", "2023-01-15", "08:30:00", "08:31:00", "0:01:00", "3"])
        self.assertEqual(lines[3], "2 drives, 1 event file within them")

    def test_a_file_that_cannot_be_opened_is_named_and_the_drives_still_listed(self):
        os.remove(self.later)
        os.symlink(os.path.join(self.card, "gone.MP4"), self.later)
        code, out, err = run("list", self.card, "--drives", "--json")
        self.assertTrue(code == CANNOT_ACCESS and "alwa_20230115_084000_F.MP4" in err, err)
        self.assertEqual([d["recordings"] for d in json.loads(out)], [3, 0])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
