#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura telemetry` on recordings written by the sample writer: formats, exit statuses and the file layout."""

import csv
import io
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from commandline import GPX  # noqa: E402
from media import MAKE_RECORDING, recording  # noqa: E402
from mp4boxes import samples, trak_of  # noqa: E402

NURA = sys.argv[1]
HEADER = "index,time,gx,gy,gz,unit,latitude,longitude,speed_knots,course,hdop,satellites,valid,utc"


def nura(*args):
    return subprocess.run([NURA, "telemetry", *args], capture_output=True, text=True)


def single(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def shortest_single(text):
    """The text reads back to a single-precision value and has no more digits than that value needs."""
    value = single(float(text))
    needed = next(d for d in range(1, 10) if single(float("%.*g" % (d, value))) == value)
    mantissa = re.sub(r"[eE].*$", "", text).lstrip("-").replace(".", "").lstrip("0").rstrip("0")
    return len(mantissa) <= needed


def chunk_table(data):
    """Where each telemetry record lies, found by walking the boxes."""
    return [at for at, _ in samples(data, trak_of(data, b"gps "))]


def degrees(value, hemisphere):  # the parser keeps positions in single precision
    value = single(value)
    d = int(value / 100) + (value - 100 * int(value / 100)) / 60
    return -d if hemisphere in "SW" else d


def setUpModule():
    global TMP, EVENT, DATA, ROWS, DOC
    TMP = tempfile.mkdtemp()
    # An event recording around the scripted impact (47 s into the drive), video as stand-in frames.
    EVENT = os.path.join(TMP, "event_20230115_083045_F.MP4")
    recording(EVENT, "--placeholder-video", "--seconds", "6", "--start", "20230115_083045", "--drive-start",
              "20230115_083000")
    with open(EVENT, "rb") as f:
        DATA = f.read()
    r = nura(EVENT, "--format", "csv")
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines()[0] == HEADER, r.stdout[:200]
    ROWS = list(csv.DictReader(io.StringIO(r.stdout)))
    r = nura(EVENT, "--format", "json")
    assert r.returncode == 0, r.stderr
    DOC = json.loads(r.stdout)


def tearDownModule():
    shutil.rmtree(TMP)


def write(name, data):
    path = os.path.join(TMP, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


class Formats(unittest.TestCase):
    def test_csv_rows(self):
        # The drive itself (impact, fixes, places) is the sample writer's unit test; here the columns.
        self.assertEqual([int(x["index"]) for x in ROWS], list(range(60)))
        self.assertEqual([int(x["time"]) for x in ROWS], [100 * i for i in range(60)])
        self.assertTrue(all(len(row) == 14 for row in ROWS))
        self.assertTrue(all(shortest_single(x[k]) for x in ROWS for k in ("gx", "gy", "gz")))
        self.assertTrue(all(x["unit"] == "9" for x in ROWS))
        fixes = [x for x in ROWS if x["valid"] == "1"]
        self.assertGreater(len(fixes), 40)
        self.assertTrue(all(re.fullmatch(r"-?\d+\.\d{6}", x["latitude"]) for x in ROWS if x["latitude"]))
        self.assertTrue(all(re.fullmatch(r"2023-01-15T08:30:[45]\d\.000Z", x["utc"]) for x in fixes))
        self.assertTrue(all(shortest_single(x[k]) for x in fixes for k in ("speed_knots", "course", "hdop")))
        self.assertEqual(ROWS[0]["hdop"], "0.8", "hdop as the receiver wrote it")

    def test_json_matches_csv(self):
        self.assertEqual(len(DOC["records"]), 60)
        self.assertIs(DOC["cut"], False)
        self.assertNotIn("truncated", DOC)
        for row, rec in zip(ROWS, DOC["records"]):
            same = (rec["latitude"] is None and row["latitude"] == "") or rec["latitude"] == float(row["latitude"])
            self.assertTrue(same and rec["gx"] == float(row["gx"])
                            and rec["valid"] == (int(row["valid"]) if row["valid"] else None), row["index"])
            self.assertTrue(rec["gpsState"] is None or 0 <= rec["gpsState"] < len(DOC["gpsStates"]))

    def test_gpx_has_one_point_per_fix(self):
        r = nura(EVENT, "--format", "gpx")
        self.assertEqual(r.returncode, 0)
        root = ET.fromstring(r.stdout)
        self.assertEqual((root.tag, root.get("version")), ("{http://www.topografix.com/GPX/1/1}gpx", "1.1"))
        points = root.findall("g:trk/g:trkseg/g:trkpt", GPX)
        times = [p.find("g:time", GPX).text for p in points]
        self.assertTrue(len(times) > 0 and all(a < b for a, b in zip(times, times[1:])), times)
        self.assertEqual(set(times), {x["utc"] for x in ROWS if x["valid"] == "1"})
        # The last state of each run of valid states that share a fix time.
        states = DOC["gpsStates"]
        last_of_run = [s for k, s in enumerate(states) if s["gpsValid"] and s["Latitude"]
                       and (k + 1 == len(states) or not states[k + 1]["gpsValid"]
                            or states[k + 1]["utc"] != s["utc"])]
        self.assertEqual(len(last_of_run), len(points))
        for p, s in zip(points, last_of_run):
            self.assertEqual(p.find("g:time", GPX).text, s["utc"])
            self.assertLess(abs(float(p.get("lat")) - degrees(s["Latitude"], s["NS"])), 2e-6)
            self.assertLess(abs(float(p.get("lon")) - degrees(s["Longitude"], s["EW"])), 2e-6)
            self.assertEqual(p.find("g:sat", GPX).text, str(s["SatelliteUsedCount"]))


class Failures(unittest.TestCase):
    def test_one_line_naming_the_file(self):
        # 1 for unreadable, 2 for not the camera's ("truncated" when it is the camera's but cut short).
        text = write("notes.txt", b"not a recording at all\n")
        cut = write("cut_F.MP4", DATA[:100])
        for path, status, truncated in ((os.path.join(TMP, "missing.mp4"), 1, False), (TMP, 2, False),
                                        (text, 2, False), (cut, 2, True)):
            with self.subTest(path):
                r = nura(path, "--format", "csv")
                self.assertEqual((r.returncode, r.stdout), (status, ""))
                err = r.stderr.splitlines()
                self.assertTrue(len(err) == 1 and path in err[0], r.stderr)
                self.assertEqual("truncated" in r.stderr, truncated, r.stderr)

    def test_usage(self):
        for args in ((EVENT, "--format", "xml"), (), (EVENT, "extra"), (EVENT, "--format")):
            r = nura(*args)
            self.assertEqual((r.returncode, r.stdout), (64, ""), args)


class CutAndCrafted(unittest.TestCase):
    def test_cut_short_prints_what_was_read_and_exits_2(self):
        # "cut" keeps its own meaning: the bounds, not the file's end.
        r = nura(write("short_F.MP4", DATA[:-50]), "--format", "json")
        m = re.search(r"truncated: (\d+) of (\d+) records", r.stderr)
        self.assertEqual(r.returncode, 2)
        self.assertIsNotNone(m, r.stderr)
        doc = json.loads(r.stdout)
        self.assertEqual((doc.get("truncated"), doc["cut"]), (True, False))
        self.assertEqual((int(m.group(1)), int(m.group(2))), (len(doc["records"]), 60))
        self.assertLess(len(doc["records"]), 60)

    def test_rows_keep_their_values_when_the_file_is_cut_shorter(self):
        # The same bytes with a chunk table of 25 entries: each row as in the whole file.
        table = DATA.rindex(b"stco") - 4
        chunks = chunk_table(DATA)
        shorter = bytearray(DATA[:table + 12] + struct.pack(">I", 25) + struct.pack(">25I", *chunks[:25]))
        struct.pack_into(">I", shorter, table, len(shorter) - table)
        r = nura(write("shorter_F.MP4", bytes(shorter)), "--format", "csv")
        self.assertEqual(r.returncode, 0, r.stderr)
        rows = list(csv.DictReader(io.StringIO(r.stdout)))
        self.assertEqual(len(rows), 25)
        for k, row in enumerate(rows):
            self.assertEqual(row, ROWS[k], "record %d" % k)

    def test_nine_sentences_in_one_record_mark_the_output_cut(self):
        # The bounds themselves (36,000 records, 8 states each) are the reader's unit tests.
        text_at = chunk_table(DATA)[0] + 27
        nine = write("nine_F.MP4", DATA[:text_at] + b"$G\n" * 9 + bytes(128 - 27) + DATA[text_at + 128:])
        r = nura(nine, "--format", "json")
        self.assertEqual(r.returncode, 0)
        self.assertIs(json.loads(r.stdout)["cut"], True)
        self.assertEqual(len(r.stderr.splitlines()), 1, r.stderr)


class MakeRecording(unittest.TestCase):
    def test_help_and_bad_options_write_nothing(self):
        with tempfile.TemporaryDirectory() as cwd:
            for args, status in ((["--help"], 0), (["-h"], 0), (["out.mp4", "--seconds", "2", "--help"], 0),
                                 (["--seconds", "2"], 2), (["out.mp4", "--sconds", "2"], 2),
                                 (["out.mp4", "--seconds"], 2), ([], 2)):
                with self.subTest(args):
                    p = subprocess.run([MAKE_RECORDING, *args], cwd=cwd, capture_output=True, text=True)
                    self.assertEqual(p.returncode, status, p.stderr)
                    self.assertIn("usage: make_recording", p.stdout if status == 0 else p.stderr)
                    self.assertEqual(os.listdir(cwd), [])

    def test_the_drive_starts_on_the_recordings_own_day(self):
        # Ten seconds after 08:30 the car is pulling away; a drive started on another day is parked by then.
        path = os.path.join(TMP, "alwa_20261208_083010_F.MP4")
        recording(path, "--placeholder-video", "--seconds", "2", "--start", "20261208_083010")
        fixes = [x for x in csv.DictReader(io.StringIO(nura(path, "--format", "csv").stdout)) if x["valid"] == "1"]
        self.assertTrue(fixes)
        for row in fixes:
            self.assertRegex(row["utc"], r"^2026-12-08T08:30:1\d")
            self.assertGreater(float(row["speed_knots"]), 5)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
