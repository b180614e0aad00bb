#!/usr/bin/env python3
"""`nura telemetry` on recordings written by the sample writer: formats, exit statuses and the file layout."""

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

NURA = sys.argv[1]
MAKE_RECORDING = os.path.join(os.path.dirname(os.path.abspath(NURA)), "make_recording")
HEADER = "index,time,gx,gy,gz,unit,latitude,longitude,speed_knots,course,hdop,satellites,valid,utc"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def nura(*args):
    return subprocess.run([NURA, "telemetry", *args], capture_output=True, text=True)


def make(path, *args):
    subprocess.run([MAKE_RECORDING, path, *args], check=True)


def single(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def shortest_single(text):
    """The text reads back to a single-precision value and has no more digits than that value needs."""
    value = single(float(text))
    needed = next(d for d in range(1, 10) if single(float("%.*g" % (d, value))) == value)
    mantissa = re.sub(r"[eE].*$", "", text).lstrip("-").replace(".", "").lstrip("0").rstrip("0")
    return len(mantissa) <= needed


with tempfile.TemporaryDirectory() as tmp:
    # An event recording around the scripted impact (47 s into the drive), video as stand-in frames.
    event = os.path.join(tmp, "event_20230115_083045_F.MP4")
    make(event, "--placeholder-video", "--seconds", "6", "--start", "20230115_083045", "--drive-start",
         "20230115_083000")

    r = nura(event, "--format", "csv")
    check(r.returncode == 0, "csv exit status %d: %s" % (r.returncode, r.stderr))
    lines = r.stdout.splitlines()
    check(lines[0] == HEADER, "csv header: " + lines[0])
    rows = list(csv.DictReader(io.StringIO(r.stdout)))
    check(len(rows) == 60, "60 records, got %d" % len(rows))
    check([int(x["index"]) for x in rows] == list(range(60)), "indexes count from 0")
    check([int(x["time"]) for x in rows] == [100 * i for i in range(60)], "time values")
    check(all(len(row) == 14 for row in rows), "14 columns in every row")
    check(all(shortest_single(x[k]) for x in rows for k in ("gx", "gy", "gz")), "g values in shortest form")
    check(float(rows[20]["gx"]) < -2.5, "the impact at record 20: " + rows[20]["gx"])
    check(all(x["unit"] == "9" for x in rows), "unit character")
    fixes = [x for x in rows if x["valid"] == "1"]
    check(len(fixes) > 40, "valid fixes")
    check(all(re.fullmatch(r"-?\d+\.\d{6}", x["latitude"]) for x in rows if x["latitude"]), "six decimals")
    check(all(re.fullmatch(r"2023-01-15T08:30:4\d\.000Z|2023-01-15T08:30:5\d\.000Z", x["utc"]) for x in fixes),
          "utc text")
    check(abs(float(fixes[0]["latitude"]) - 37.52) < 0.01 and abs(float(fixes[0]["longitude"]) - 127.0) < 0.01,
          "position near the start of the drive")
    check(all(shortest_single(x[k]) for x in fixes for k in ("speed_knots", "course", "hdop")),
          "stored values in shortest form")
    check(rows[0]["hdop"] == "0.8", "hdop as the receiver wrote it: " + rows[0]["hdop"])

    r = nura(event, "--format", "json")
    check(r.returncode == 0, "json exit status")
    doc = json.loads(r.stdout)
    check(len(doc["records"]) == 60, "json records")
    check(len(doc["gpsStates"]) > 0, "json gps states")
    for row, rec in zip(rows, doc["records"]):
        same = (rec["latitude"] is None and row["latitude"] == "") or rec["latitude"] == float(row["latitude"])
        check(same and rec["gx"] == float(row["gx"]) and rec["valid"] == (int(row["valid"]) if row["valid"] else None),
              "json record %s matches csv" % row["index"])
    check(all(rec["gpsState"] is None or 0 <= rec["gpsState"] < len(doc["gpsStates"]) for rec in doc["records"]),
          "records point into the state list")

    r = nura(event, "--format", "gpx")
    check(r.returncode == 0, "gpx exit status")
    root = ET.fromstring(r.stdout)
    ns = {"g": "http://www.topografix.com/GPX/1/1"}
    check(root.tag == "{http://www.topografix.com/GPX/1/1}gpx" and root.get("version") == "1.1", "gpx 1.1 root")
    points = root.findall("g:trk/g:trkseg/g:trkpt", ns)
    check(len(points) == len(fixes), "one track point per record with a valid fix: %d" % len(points))
    times = [p.find("g:time", ns).text for p in points]
    check(times == sorted(times), "track points in time order")

    r = nura(event)
    check(r.returncode == 0 and "records: 60" in r.stdout, "text summary")

    # Failures: one line naming the file; 1 for unreadable, 2 for not the camera's.
    text = os.path.join(tmp, "notes.txt")
    with open(text, "w") as f:
        f.write("not a recording at all\n")
    cut = os.path.join(tmp, "cut_F.MP4")
    with open(event, "rb") as f, open(cut, "wb") as g:
        g.write(f.read(100))
    for path, status in ((os.path.join(tmp, "missing.mp4"), 1), (tmp, 1), (text, 2), (cut, 2)):
        r = nura(path, "--format", "csv")
        check(r.returncode == status, "%s: exit %d, expected %d" % (path, r.returncode, status))
        check(r.stdout == "", "%s: nothing on standard output" % path)
        err = r.stderr.splitlines()
        check(len(err) == 1 and path in err[0], "%s: one line naming the file: %r" % (path, r.stderr))
    for args in ((event, "--format", "xml"), (), (event, "extra")):
        check(nura(*args).returncode == 2, "usage error for %r" % (args,))

    # Real video: the layout decodes, has a key frame every second and can be seeked.
    if shutil.which("ffprobe") and shutil.which("ffmpeg"):
        real = os.path.join(tmp, "alwa_20230115_083012_R.MP4")
        make(real, "--rear", "--seconds", "3", "--start", "20230115_083012", "--size", "320x180")
        probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                                "stream=codec_name,width,height,nb_frames,r_frame_rate", "-of", "json", real],
                               capture_output=True, text=True, check=True)
        stream = json.loads(probe.stdout)["streams"][0]
        check(stream["codec_name"] == "h264" and stream["width"] == 320 and stream["nb_frames"] == "90"
              and stream["r_frame_rate"] == "30/1", "video stream: %r" % stream)
        keys = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-skip_frame", "nokey",
                               "-show_entries", "frame=pts_time", "-of", "csv=p=0", real],
                              capture_output=True, text=True, check=True).stdout.split()
        keys = [k.strip(",") for k in keys]
        check([float(k) for k in keys] == [0.0, 1.0, 2.0], "key frames each second: %r" % keys)
        seek = subprocess.run(["ffmpeg", "-v", "error", "-ss", "1.5", "-i", real, "-map", "0:v", "-frames:v", "1",
                               "-f", "null", "-"], capture_output=True, text=True)
        check(seek.returncode == 0 and seek.stderr == "", "decodes after a seek: " + seek.stderr)
        r = nura(real, "--format", "csv")
        check(r.returncode == 0 and len(r.stdout.splitlines()) == 31, "telemetry of the real-video file")

if failures:
    print("%d failures" % len(failures))
    sys.exit(1)
print("ok")
