#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""nura drive and nura clock against real files: python3 drive_clock_test.py /path/to/nura"""
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

NURA = sys.argv[1]
DONE, CANNOT_ACCESS, NOT_OUR_FILE, USAGE = 0, 1, 2, 64


def run(*args, **kwargs):
    p = subprocess.run([NURA, *args], capture_output=True, timeout=60, **kwargs)
    return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")


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

with tempfile.TemporaryDirectory() as tmp:
    drv = os.path.join(tmp, "nura_000.drv")
    with open(drv, "wb") as f:
        f.write(struct.pack("<I8x", 2) + record(7) + record(8, dow=7, status=3, bat=-124, ttc=0, dtc=-1))

    code, out, err = run("drive", drv, "--format", "csv")
    check(code == DONE, f"csv exit {code} {err}")
    check(out == HEADER
          + "1,7,2024/03/05,14:07:09,TUE,3733.0123,12701.0005,1234.5,60,88,A,-1.00,+0.25,+1.00,12.4, 0.5,-0.5\n"
          + "2,8,2024/03/05,14:07:09,-,3733.0123,12701.0005,1234.5,60,88,V,-1.00,+0.25,+1.00,-12.4, 0.0,-0.1\n",
          f"csv text:\n{out}")

    code, out, err = run("drive", drv)
    lines = out.splitlines()
    check(code == DONE and len(lines) == 3, f"table: {code} {out}")
    check(lines[0].split() == ["No.", "Seq", "Date", "Time", "Day", "Latitude", "Longitude", "Distance", "Speed",
                               "Max", "speed", "Status", "X", "Y", "Z", "Battery", "TTC", "DTC"], lines[0])
    check("-12.4" in lines[2] and "SUN" not in lines[2], lines[2])

    # The largest count the header holds, over one record and a cut one: the whole record, exit 0.
    with open(drv, "wb") as f:
        f.write(struct.pack("<I8x", 0xFFFFFFFF) + record(1) + record(2)[:30])
    code, out, err = run("drive", drv, "--format=csv")
    check(code == DONE and out.count("\n") == 2, f"huge count: {code} {out} {err}")
    check("4294967295" in err, f"count mismatch noted on stderr: {err}")

    # Shorter than the header: not a drive-record file.
    for size in (0, 11):
        with open(drv, "wb") as f:
            f.write(b"\0" * size)
        check(run("drive", drv)[0] == NOT_OUR_FILE, f"{size}-byte file")
    with open(drv, "wb") as f:
        f.write(struct.pack("<I8x", 0))
    check(run("drive", drv, "--format", "csv")[1:] == (HEADER, ""), "empty file gives the header only")

    check(run("drive", os.path.join(tmp, "missing.drv"))[0] == CANNOT_ACCESS, "missing file")
    check(run("drive", tmp)[0] == NOT_OUR_FILE, "a folder")
    os.chmod(drv, 0o000)
    check(run("drive", drv, preexec_fn=give_up_root)[0] == CANNOT_ACCESS, "unreadable file")
    os.chmod(drv, 0o644)
    for bad in ([], ["a", "b"], [drv, "--format", "json"], [drv, "--format"]):
        check(run("drive", *bad)[0] == USAGE, f"drive usage {bad}")

    # clock
    cfg = os.path.join(tmp, "timeset.cfg")
    with open(cfg, "wb") as f:
        f.write(b"1999/12/31 23:59:59ABCDEF")  # 25 bytes from an older tool
    code, out, err = run("clock", cfg, "2024-03-05 14:07:09", env={**os.environ, "TZ": "Asia/Tokyo"})
    check(code == DONE and open(cfg, "rb").read() == b"2024/03/05 14:07:09", f"clock: {code} {err}")
    # which texts are a real date and time is pinned by the core tests
    for bad in ("2024-02-30 10:00:00", "yesterday"):
        code, out, err = run("clock", cfg, bad)
        check(code == USAGE and err.count("\n") == 1, f"bad time {bad!r}: {code} {err}")
        check(open(cfg, "rb").read() == b"2024/03/05 14:07:09", f"file untouched by {bad!r}")

    code, out, err = run("clock", cfg, env={**os.environ, "TZ": "UTC"})
    data = open(cfg, "rb").read()
    check(code == DONE and len(data) == 19 and data[4:5] == b"/" and data[10:11] == b" ", f"now: {data}")

    check(run("clock", os.path.join(tmp, "no", "such", "timeset.cfg"), "2024-03-05 14:07:09")[0] == CANNOT_ACCESS,
          "unwritable place")
    locked = os.path.join(tmp, "locked")
    os.mkdir(locked)
    os.chmod(locked, 0o555)
    check(run("clock", os.path.join(locked, "timeset.cfg"), preexec_fn=give_up_root)[0] == CANNOT_ACCESS,
          "read-only folder")
    os.chmod(locked, 0o755)
    for bad in ([], [cfg, "2024-03-05 14:07:09", "x"]):
        check(run("clock", *bad)[0] == USAGE, f"clock usage {bad}")

finish()
