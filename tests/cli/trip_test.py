#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura trip` on folders of recordings written by the sample writer: the three formats, trips split at the gap,
southern and western positions, skipped recordings and the exit statuses."""

import csv
import io
import json
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from mp4boxes import chunk_offset_tables  # noqa: E402

NURA = sys.argv[1]
MAKE_RECORDING = os.path.join(os.path.dirname(os.path.abspath(NURA)), "make_recording")
GPX = {"g": "http://www.topografix.com/GPX/1/1"}
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def trip(*args):
    return subprocess.run([NURA, "trip", *args], capture_output=True, text=True)


def make(folder, stamp, seconds, *extra):
    side = "R" if "--rear" in extra else "F"
    path = os.path.join(folder, "alwa_%s_%s.MP4" % (stamp, side))
    subprocess.run([MAKE_RECORDING, path, "--placeholder-video", "--seconds", str(seconds), "--start", stamp,
                    "--drive-start", "20230115_083000", *extra], check=True)
    return path


def gpx_points(path):
    """(lon, lat, time) of each fix, as `nura telemetry` exports one recording."""
    r = subprocess.run([NURA, "telemetry", path, "--format", "gpx"], capture_output=True, text=True, check=True)
    return [(float(p.get("lon")), float(p.get("lat")), p.find("g:time", GPX).text)
            for p in ET.fromstring(r.stdout).findall("g:trk/g:trkseg/g:trkpt", GPX)]


def haversine(points):
    total = 0.0
    for (lon1, lat1), (lon2, lat2) in zip(points, points[1:]):
        p1, p2 = math.radians(lat1), math.radians(lat2)
        a = math.sin((p2 - p1) / 2) ** 2 + math.cos(p1) * math.cos(p2) * math.sin(math.radians(lon2 - lon1) / 2) ** 2
        total += 2 * 6371000 * math.asin(math.sqrt(a))
    return total


def without_telemetry(path):
    """Sets the entry count of the file's last chunk-offset table (the data track) to 0."""
    data = bytearray(open(path, "rb").read())
    struct.pack_into(">I", data, chunk_offset_tables(data)[-1] + 12, 0)
    open(path, "wb").write(data)


with tempfile.TemporaryDirectory() as tmp:
    card = os.path.join(tmp, "card")
    os.makedirs(os.path.join(card, "DCIM"))
    dcim = os.path.join(card, "DCIM")
    first = make(dcim, "20230115_083000", 40)
    second = make(dcim, "20230115_083040", 30)
    make(dcim, "20230115_083040", 30, "--rear")  # its front file is there: not read
    rear_only = make(dcim, "20230115_083110", 20, "--rear")
    lone = make(dcim, "20230115_084000", 1)  # nine minutes later: a trip of one fix
    with open(os.path.join(dcim, "alwa_20230115_083200_F.MP4"), "wb") as f:
        f.write(b"\0\0\0\x10notavideo" + bytes(100))
    empty = make(dcim, "20230115_083300", 2)
    without_telemetry(empty)

    expected = [gpx_points(p) for p in (first, second, rear_only)]
    drive = [p for points in expected for p in points]
    one = gpx_points(lone)
    check(len(drive) > 60 and len(one) == 1, "sample drive: %d fixes, lone recording %d" % (len(drive), len(one)))

    r = trip(card)
    check(r.returncode == 0, "geojson exit status %d: %s" % (r.returncode, r.stderr))
    doc = json.loads(r.stdout)
    check(doc["type"] == "FeatureCollection" and len(doc["features"]) == 2, "two trips: %r" % r.stdout[:200])
    line, point = doc["features"][0], doc["features"][1]
    check(line["geometry"]["type"] == "LineString", "a drive is a LineString")
    check(line["geometry"]["coordinates"] == [[lon, lat] for lon, lat, _ in drive],
          "the drive's coordinates are each file's fixes in list order")
    props = line["properties"]
    check(props["recordings"] == [os.path.basename(p) for p in (first, second, rear_only)],
          "recordings in order: %r" % props["recordings"])
    check(props["points"] == len(drive), "points")
    check(props["start"] == drive[0][2] and props["end"] == drive[-1][2], "start and end: %r" % props)
    check(abs(props["distance_m"] - haversine([(lon, lat) for lon, lat, _ in drive])) <= 2 and props["distance_m"] > 500,
          "great-circle distance %r" % props["distance_m"])
    check(isinstance(props["max_speed_kmh"], float) and 10 < props["max_speed_kmh"] < 200, "max speed")
    check(re.search(r'"coordinates": \[\n\[-?\d+\.\d{6}, -?\d+\.\d{6}\]', r.stdout), "six decimals")
    check(point["geometry"] == {"type": "Point", "coordinates": [one[0][0], one[0][1]]}, "a lone fix is a Point")
    check(point["properties"]["points"] == 1 and point["properties"]["distance_m"] == 0, "one-fix trip")
    errors = r.stderr.splitlines()
    check(len(errors) == 2 and "1 recording without telemetry" in errors[0] and "cannot be read" in errors[1]
          and "alwa_20230115_083200_F.MP4" in errors[1], "skipped recordings counted: %r" % r.stderr)

    # A longer gap joins the lone fix to the drive.
    r = trip(card, "--gap", "10")
    check(r.returncode == 0 and len(json.loads(r.stdout)["features"]) == 1, "--gap 10 gives one trip")

    # The same drive in the southern and western hemispheres: every coordinate changes sign.
    mirror = os.path.join(tmp, "mirror")
    os.makedirs(mirror)
    for p in (first, second):
        data = open(p, "rb").read().replace(b",N,", b",S,").replace(b",E,", b",W,")
        open(os.path.join(mirror, os.path.basename(p)), "wb").write(data)
    r = trip(mirror)
    coords = json.loads(r.stdout)["features"][0]["geometry"]["coordinates"]
    check(coords == [[-lon, -lat] for points in expected[:2] for lon, lat, _ in points], "south and west negative")

    r = trip(card, "--format", "csv")
    check(r.returncode == 0, "csv exit status")
    lines = r.stdout.splitlines()
    check(lines[0] == "trip,utc,latitude,longitude,speed_kmh,course,hdop,satellites,file", "csv header")
    rows = list(csv.DictReader(io.StringIO(r.stdout)))
    check([x["trip"] for x in rows] == ["1"] * len(drive) + ["2"], "trips numbered from 1")
    check([(float(x["longitude"]), float(x["latitude"])) for x in rows] == [(lon, lat) for lon, lat, _ in drive + one],
          "csv coordinates")
    check(all(re.fullmatch(r"-?\d+\.\d{6}", x["latitude"]) and re.fullmatch(r"\d+\.\d", x["speed_kmh"])
              for x in rows), "six decimals, speed with one")
    check(rows[-1]["file"] == os.path.basename(lone), "file column")

    r = trip(card, "--format", "gpx")
    root = ET.fromstring(r.stdout)
    tracks = root.findall("g:trk", GPX)
    check(r.returncode == 0 and len(tracks) == 2, "gpx: one track per trip")
    check(len(tracks[0].findall("g:trkseg/g:trkpt", GPX)) == len(drive), "gpx track points")

    # No fixes at all: still a whole document, and success.
    nothing = os.path.join(tmp, "nothing")
    os.makedirs(nothing)
    r = trip(nothing)
    check(r.returncode == 0 and json.loads(r.stdout) == {"type": "FeatureCollection", "features": []},
          "empty collection: %r" % r.stdout)
    r = trip(nothing, "--format", "gpx")
    check(r.returncode == 0 and ET.fromstring(r.stdout).findall("g:trk", GPX) == [], "empty gpx")
    r = trip(nothing, "--format", "csv")
    check(r.returncode == 0 and r.stdout.count("\n") == 1, "csv header alone")

    # A recording cut short: its fixes before the cut are used, it is counted as truncated, and the
    # export still succeeds. A link to the card's parent folder is not followed.
    cutcard = os.path.join(tmp, "cutcard")
    os.makedirs(cutcard)
    whole = make(cutcard, "20230115_083100", 6)
    r = trip(cutcard, "--format", "csv")
    whole_rows = r.stdout.count("\n") - 1
    with open(whole, "rb") as f:
        data = f.read()
    with open(whole, "wb") as f:
        f.write(data[:-50])
    os.symlink(tmp, os.path.join(cutcard, "up"))
    r = trip(cutcard, "--format", "csv")
    rows = r.stdout.count("\n") - 1
    check(r.returncode == 0 and "1 recording truncated" in r.stderr, "cut recording counted: %r" % r.stderr)
    check(0 < rows <= whole_rows, "fixes before the cut kept: %d of %d" % (rows, whole_rows))

    # Exit statuses.
    check(trip(os.path.join(tmp, "missing")).returncode == 1, "a missing folder exits 1")
    for gap in ("0", "-5", "nan", "inf", "1e9", "five", ""):
        check(trip(card, "--gap", gap).returncode == 64, "--gap %r exits 64" % gap)
    check(trip(card, "--format", "kml").returncode == 64, "an unknown format exits 64")

    # One worker gives the same output as many.
    env = dict(os.environ, NURA_THREADS="1")
    one_worker = subprocess.run([NURA, "trip", card, "--format", "csv"], capture_output=True, text=True, env=env)
    check(one_worker.stdout == trip(card, "--format", "csv").stdout, "the same output on one worker")

sys.exit(1 if failures else 0)
