#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""nura drive and nura clock against real files: python3 drive_clock_test.py /path/to/nura"""
import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from commandline import DONE, CANNOT_ACCESS, NOT_OUR_FILE, USAGE, outcome, read  # noqa: E402

NURA = sys.argv[1]


def run(*args, **kwargs):
    return outcome([NURA, *args], **kwargs)


def give_up_root():
    if os.geteuid() == 0:
        os.setgid(65534)
        os.setuid(65534)


# "<HBBBBBBBBHHHHHIIHbbhhhhhh": the 44-byte record, laid out by struct rather than by the code under test.
RECORD = "<HBBBBBBBBHHHHHIIHbbhhhhhh"
assert struct.calcsize(RECORD) == 44


def record(seq, **f):
    v = dict(dow=2, status=1, year=124, month=3, day=5, hour=14, minute=7, second=9, lat=3733, latf=123,
             lon=12701, lonf=5, speed=60, dist=12345, unused=0, maxs=88, x=-256, y=64, z=256, bat=124, ttc=5,
             dtc=-5)
    v.update(f)
    return struct.pack(RECORD, seq, v["dow"], v["status"], v["year"], v["month"], v["day"], v["hour"],
                       v["minute"], v["second"], v["lat"], v["latf"], v["lon"], v["lonf"], v["speed"], v["dist"],
                       v["unused"], v["maxs"], 0, 0, v["x"], v["y"], v["z"], v["bat"], v["ttc"], v["dtc"])


HEADER = "No.,Seq,Date,Time,Day,Latitude,Longitude,Distance,Speed,Max speed,Status,X,Y,Z,Battery,TTC,DTC\n"


class InFolder(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.drv = os.path.join(self.tmp.name, "nura_000.drv")
        self.cfg = os.path.join(self.tmp.name, "timeset.cfg")


class Drive(InFolder):
    def write(self, data):
        with open(self.drv, "wb") as f:
            f.write(data)

    def test_csv_and_table_show_the_records(self):
        self.write(struct.pack("<I8x", 2) + record(7) + record(8, dow=7, status=3, bat=-124, ttc=0, dtc=-1))
        code, out, err = run("drive", self.drv, "--format", "csv")
        self.assertEqual(code, DONE, err)
        self.assertEqual(out, HEADER
                         + "1,7,2024/03/05,14:07:09,TUE,3733.0123,12701.0005,1234.5,60,88,A,-1.00,+0.25,+1.00,"
                           "12.4, 0.5,-0.5\n"
                         + "2,8,2024/03/05,14:07:09,-,3733.0123,12701.0005,1234.5,60,88,V,-1.00,+0.25,+1.00,"
                           "-12.4, 0.0,-0.1\n")
        code, out, err = run("drive", self.drv)
        lines = out.splitlines()
        self.assertEqual((code, len(lines)), (DONE, 3), out)
        self.assertEqual(lines[0].split(), ["No.", "Seq", "Date", "Time", "Day", "Latitude", "Longitude",
                                            "Distance", "Speed", "Max", "speed", "Status", "X", "Y", "Z",
                                            "Battery", "TTC", "DTC"])
        self.assertIn("-12.4", lines[2])

    def test_a_file_cut_short_gives_its_whole_records(self):
        # A count of 3 with 100 bytes of records: 2 rows, and the mismatch is noted.
        self.write(struct.pack("<I8x", 3) + record(1) + record(2) + record(3)[:12])
        code, out, err = run("drive", self.drv, "--format=csv")
        self.assertEqual((code, out.count("\n")), (DONE, 3), err)
        self.assertIn("counts 3 records", err)
        self.write(struct.pack("<I8x", 0))
        self.assertEqual(run("drive", self.drv, "--format", "csv")[:2], (DONE, HEADER))

    def test_other_files_are_not_drive_records(self):
        # One file for each message; which headers are some other file's (config.bin too) is the core's rule.
        for name, data in (("largest count", struct.pack("<I8x", 0xFFFFFFFF) + record(1) * 3),
                           ("no whole record", struct.pack("<I8x", 2) + record(1)[:43]),
                           ("shorter than the header", b"\0" * 11)):
            with self.subTest(name):
                self.write(data)
                code, out, err = run("drive", self.drv, "--format", "csv")
                self.assertEqual((code, out), (NOT_OUR_FILE, ""), err)
                self.assertIn("not a drive-record file", err)
                self.assertEqual(err.count("\n"), 1, err)

    def test_unreadable_inputs_and_usage(self):
        # A FIFO, a folder and a missing file: the hostile-input test.
        self.write(struct.pack("<I8x", 0))
        os.chmod(self.drv, 0o000)
        self.assertEqual(run("drive", self.drv, preexec_fn=give_up_root)[0], CANNOT_ACCESS)
        for bad in ([], ["a", "b"], [self.drv, "--format", "json"], [self.drv, "--format"]):
            self.assertEqual(run("drive", *bad)[0], USAGE, bad)


class Clock(InFolder):
    def test_writes_the_time_and_refuses_bad_ones(self):
        with open(self.cfg, "wb") as f:
            f.write(b"1999/12/31 23:59:59ABCDEF")  # 25 bytes from an older tool
        code, out, err = run("clock", self.cfg, "2024-03-05 14:07:09", env={**os.environ, "TZ": "Asia/Tokyo"})
        self.assertEqual(code, DONE, err)
        self.assertEqual(read(self.cfg), b"2024/03/05 14:07:09")
        # which texts are a real date and time is pinned by the core tests
        for bad in ("2024-02-30 10:00:00", "yesterday"):
            code, out, err = run("clock", self.cfg, bad)
            self.assertEqual((code, err.count("\n")), (USAGE, 1), err)
            self.assertEqual(read(self.cfg), b"2024/03/05 14:07:09", bad)
        code, out, err = run("clock", self.cfg, env={**os.environ, "TZ": "UTC"})
        data = read(self.cfg)
        self.assertTrue(code == DONE and len(data) == 19 and data[4:5] == b"/" and data[10:11] == b" ", data)

    def test_unwritable_places_and_usage(self):
        self.assertEqual(run("clock", os.path.join(self.tmp.name, "no", "such", "timeset.cfg"),
                             "2024-03-05 14:07:09")[0], CANNOT_ACCESS)
        locked = os.path.join(self.tmp.name, "locked")
        os.mkdir(locked)
        os.chmod(locked, 0o555)
        self.assertEqual(run("clock", os.path.join(locked, "timeset.cfg"), preexec_fn=give_up_root)[0],
                         CANNOT_ACCESS)
        os.chmod(locked, 0o755)
        for bad in ([], [self.cfg, "2024-03-05 14:07:09", "x"]):
            self.assertEqual(run("clock", *bad)[0], USAGE, bad)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
