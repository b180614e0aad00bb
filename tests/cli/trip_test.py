#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura trip` on folders of recordings written by the sample writer: the three formats, trips split at the gap,
skipped recordings and the exit statuses. How fixes are joined, measured and read in each hemisphere is
the trip reader's unit test.

python3 trip_test.py /path/to/nura"""

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
from commandline import GPX, gpx_points  # noqa: E402
from media import recording  # noqa: E402
from mp4boxes import boxes  # noqa: E402

NURA = os.path.abspath(sys.argv[1])


def trip(*args):
    return subprocess.run([NURA, "trip", *args], capture_output=True, text=True)


def make(folder, stamp, seconds, *extra):
    side = "R" if "--rear" in extra else "F"
    return recording(os.path.join(folder, "alwa_%s_%s.MP4" % (stamp, side)), "--placeholder-video", "--seconds",
                     str(seconds), "--start", stamp, "--drive-start", "20230115_083000", *extra)


def without_telemetry(path):
    """Sets the entry count of the file's last chunk-offset table (the data track) to 0."""
    data = bytearray(open(path, "rb").read())
    table = [o for p, o, _ in boxes(data) if p.endswith("/stco")][-1]
    struct.pack_into(">I", data, table + 12, 0)
    open(path, "wb").write(data)


def setUpModule():
    global TMP, CARD, RECORDINGS, DRIVE, ONE
    TMP = tempfile.mkdtemp()
    CARD = os.path.join(TMP, "card")
    dcim = os.path.join(CARD, "DCIM")
    os.makedirs(dcim)
    first = make(dcim, "20230115_083000", 40)
    second = make(dcim, "20230115_083040", 30)
    make(dcim, "20230115_083040", 30, "--rear")  # its front file is there: not read
    rear_only = make(dcim, "20230115_083110", 20, "--rear")
    lone = make(dcim, "20230115_084000", 1)  # nine minutes later: a trip of one fix
    with open(os.path.join(dcim, "alwa_20230115_083200_F.MP4"), "wb") as f:
        f.write(b"\0\0\0\x10notavideo" + bytes(100))
    without_telemetry(make(dcim, "20230115_083300", 2))
    RECORDINGS = [first, second, rear_only, lone]
    DRIVE = [p for path in (first, second, rear_only) for p in gpx_points(NURA, path)]
    ONE = gpx_points(NURA, lone)
    assert len(DRIVE) > 60 and len(ONE) == 1, (len(DRIVE), len(ONE))


def tearDownModule():
    shutil.rmtree(TMP)


class Formats(unittest.TestCase):
    def test_geojson_has_a_line_per_drive_and_a_point_per_lone_fix(self):
        r = trip(CARD)
        self.assertEqual(r.returncode, 0, r.stderr)
        doc = json.loads(r.stdout)
        self.assertEqual(doc["type"], "FeatureCollection")
        line, point = doc["features"]
        self.assertEqual(line["geometry"]["type"], "LineString")
        self.assertEqual(line["geometry"]["coordinates"], [[lon, lat] for lon, lat, _ in DRIVE],
                         "each file's fixes in list order")
        props = line["properties"]
        self.assertEqual(props["recordings"], [os.path.basename(p) for p in RECORDINGS[:3]])
        self.assertEqual((props["points"], props["start"], props["end"]), (len(DRIVE), DRIVE[0][2], DRIVE[-1][2]))
        self.assertGreater(props["distance_m"], 500)
        self.assertTrue(isinstance(props["max_speed_kmh"], float) and 10 < props["max_speed_kmh"] < 200)
        self.assertRegex(r.stdout, r'"coordinates": \[\n\[-?\d+\.\d{6}, -?\d+\.\d{6}\]', "six decimals")
        self.assertEqual(point["geometry"], {"type": "Point", "coordinates": [ONE[0][0], ONE[0][1]]})
        self.assertEqual((point["properties"]["points"], point["properties"]["distance_m"]), (1, 0))
        errors = r.stderr.splitlines()
        self.assertTrue(len(errors) == 2 and "1 recording without telemetry" in errors[0]
                        and "cannot be read" in errors[1] and "alwa_20230115_083200_F.MP4" in errors[1], r.stderr)

    def test_csv_numbers_the_trips_and_names_the_files(self):
        r = trip(CARD, "--format", "csv")
        self.assertEqual(r.returncode, 0)
        self.assertEqual(r.stdout.splitlines()[0], "trip,utc,latitude,longitude,speed_kmh,course,hdop,satellites,file")
        rows = list(csv.DictReader(io.StringIO(r.stdout)))
        self.assertEqual([x["trip"] for x in rows], ["1"] * len(DRIVE) + ["2"])
        self.assertEqual([(float(x["longitude"]), float(x["latitude"])) for x in rows],
                         [(lon, lat) for lon, lat, _ in DRIVE + ONE])
        self.assertTrue(all(re.fullmatch(r"-?\d+\.\d{6}", x["latitude"]) and re.fullmatch(r"\d+\.\d", x["speed_kmh"])
                            for x in rows), "six decimals, speed with one")
        self.assertEqual(rows[-1]["file"], os.path.basename(RECORDINGS[-1]))

    def test_gpx_has_a_track_per_trip(self):
        r = trip(CARD, "--format", "gpx")
        tracks = ET.fromstring(r.stdout).findall("g:trk", GPX)
        self.assertEqual((r.returncode, len(tracks)), (0, 2))
        self.assertEqual(len(tracks[0].findall("g:trkseg/g:trkpt", GPX)), len(DRIVE))

    def test_a_longer_gap_joins_the_lone_fix_to_the_drive(self):
        r = trip(CARD, "--gap", "10")
        self.assertEqual((r.returncode, len(json.loads(r.stdout)["features"])), (0, 1))

    def test_no_fixes_is_still_a_whole_document(self):
        nothing = os.path.join(TMP, "nothing")
        os.makedirs(nothing, exist_ok=True)
        r = trip(nothing)
        self.assertEqual((r.returncode, json.loads(r.stdout)), (0, {"type": "FeatureCollection", "features": []}))
        r = trip(nothing, "--format", "gpx")
        self.assertEqual((r.returncode, ET.fromstring(r.stdout).findall("g:trk", GPX)), (0, []))
        r = trip(nothing, "--format", "csv")
        self.assertEqual((r.returncode, r.stdout.count("\n")), (0, 1))


class Failures(unittest.TestCase):
    def test_a_recording_cut_short_gives_its_fixes_and_a_link_up_is_not_followed(self):
        cutcard = os.path.join(TMP, "cutcard")
        os.makedirs(cutcard)
        whole = make(cutcard, "20230115_083100", 6)
        whole_rows = trip(cutcard, "--format", "csv").stdout.count("\n") - 1
        with open(whole, "rb") as f:
            data = f.read()
        with open(whole, "wb") as f:
            f.write(data[:-50])
        os.symlink(TMP, os.path.join(cutcard, "up"))
        r = trip(cutcard, "--format", "csv")
        self.assertEqual(r.returncode, 0)
        self.assertIn("1 recording truncated", r.stderr)
        self.assertTrue(0 < r.stdout.count("\n") - 1 <= whole_rows, r.stdout)

    def test_exit_statuses(self):
        self.assertEqual(trip(os.path.join(TMP, "missing")).returncode, 1)
        for args in (["--gap", "0"], ["--gap", "-5"], ["--gap", "nan"], ["--gap", "inf"], ["--gap", "1e9"],
                     ["--gap", "five"], ["--gap", ""], ["--format", "kml"]):
            with self.subTest(args):
                self.assertEqual(trip(CARD, *args).returncode, 64)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
