#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402
from mp4boxes import chunk_offset_tables  # noqa: E402

NURA = sys.argv[1]
MAKE_RECORDING = os.path.join(os.path.dirname(os.path.abspath(NURA)), "make_recording")
HEADER = "index,time,gx,gy,gz,unit,latitude,longitude,speed_knots,course,hdop,satellites,valid,utc"


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


def chunk_table(data):
    """Chunk offsets of the movie's last chunk-offset table, found by walking the boxes."""
    table = chunk_offset_tables(data)[-1]
    (count,) = struct.unpack_from(">I", data, table + 12)
    return list(struct.unpack_from(">%dI" % count, data, table + 16))


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

    check(doc["cut"] is False, "json says the input was read whole")

    # GPX: one track point per fix, the last state of each run of valid states that share a fix time.
    r = nura(event, "--format", "gpx")
    check(r.returncode == 0, "gpx exit status")
    root = ET.fromstring(r.stdout)
    ns = {"g": "http://www.topografix.com/GPX/1/1"}
    check(root.tag == "{http://www.topografix.com/GPX/1/1}gpx" and root.get("version") == "1.1", "gpx 1.1 root")
    points = root.findall("g:trk/g:trkseg/g:trkpt", ns)
    times = [p.find("g:time", ns).text for p in points]
    check(len(times) > 0 and all(a < b for a, b in zip(times, times[1:])), "one point per fix time: %r" % times)
    check(set(times) == {x["utc"] for x in fixes}, "every second with a fix has its point")

    def degrees(value, hemisphere):  # the parser keeps positions in single precision
        value = single(value)
        d = int(value / 100) + (value - 100 * int(value / 100)) / 60
        return -d if hemisphere in "SW" else d

    states = doc["gpsStates"]
    last_of_run = [s for k, s in enumerate(states) if s["gpsValid"] and s["Latitude"]
                   and (k + 1 == len(states) or not states[k + 1]["gpsValid"] or states[k + 1]["utc"] != s["utc"])]
    check(len(last_of_run) == len(points), "%d points for %d fixes" % (len(points), len(last_of_run)))
    for p, s in zip(points, last_of_run):
        check(p.find("g:time", ns).text == s["utc"]
              and abs(float(p.get("lat")) - degrees(s["Latitude"], s["NS"])) < 2e-6
              and abs(float(p.get("lon")) - degrees(s["Longitude"], s["EW"])) < 2e-6
              and p.find("g:sat", ns).text == str(s["SatelliteUsedCount"]),
              "point at %s is the last state of its second" % s["utc"])

    # The record layout, read with offsets counted here: chunk = 2 bytes, time u32 LE, 4 bytes, X Y Z T
    # i32 LE, unit, 128 bytes of text.
    with open(event, "rb") as f:
        data = f.read()
    chunks = chunk_table(data)
    check(len(chunks) == 60, "60 chunks in the data track's table")
    for k in (0, 20, 59):
        (length,) = struct.unpack_from(">H", data, chunks[k])
        time, x, y, z = struct.unpack_from("<I4xiii", data, chunks[k] + 2)
        unit = data[chunks[k] + 26:chunks[k] + 27].decode()
        check(length == 153 and time == int(rows[k]["time"]) and unit == rows[k]["unit"]
              and single(float(rows[k]["gx"])) == x / 256 and single(float(rows[k]["gy"])) == y / 256
              and single(float(rows[k]["gz"])) == z / 256,
              "record %d read at its byte offsets matches the csv" % k)

    r = nura(event)
    check(r.returncode == 0 and "records: 60" in r.stdout, "text summary")

    # Failures: one line naming the file; 1 for unreadable, 2 for not the camera's ("truncated" when it is the
    # camera's but cut short), 64 for bad usage.
    text = os.path.join(tmp, "notes.txt")
    with open(text, "w") as f:
        f.write("not a recording at all\n")
    cut = os.path.join(tmp, "cut_F.MP4")
    with open(event, "rb") as f, open(cut, "wb") as g:
        g.write(f.read(100))
    for path, status, truncated in ((os.path.join(tmp, "missing.mp4"), 1, False), (tmp, 2, False),
                                    (text, 2, False), (cut, 2, True)):
        r = nura(path, "--format", "csv")
        check(r.returncode == status, "%s: exit %d, expected %d" % (path, r.returncode, status))
        check(r.stdout == "", "%s: nothing on standard output" % path)
        err = r.stderr.splitlines()
        check(len(err) == 1 and path in err[0], "%s: one line naming the file: %r" % (path, r.stderr))
        check(("truncated" in r.stderr) == truncated, "%s: truncated or not: %r" % (path, r.stderr))
    for args in ((event, "--format", "xml"), (), (event, "extra"), (event, "--format")):
        r = nura(*args)
        check(r.returncode == 64 and r.stdout == "", "usage error for %r: %d" % (args, r.returncode))

    # Cut 50 bytes short of its end: what was read is printed, stderr says how much of it there was,
    # JSON marks it, and the status tells a script the file is not whole. "cut" keeps its own meaning.
    short = os.path.join(tmp, "short_F.MP4")
    with open(event, "rb") as f, open(short, "wb") as g:
        g.write(f.read()[:-50])
    r = nura(short, "--format", "json")
    m = re.search(r"truncated: (\d+) of (\d+) records", r.stderr)
    check(r.returncode == 2 and m is not None, "cut recording: %d %r" % (r.returncode, r.stderr))
    doc = json.loads(r.stdout)
    check(doc.get("truncated") is True and doc["cut"] is False, "cut recording json flags")
    check(m is not None and int(m.group(1)) == len(doc["records"]) and int(m.group(2)) == 60
          and len(doc["records"]) < 60, "cut recording: N of M: %r, %d records" % (r.stderr, len(doc["records"])))
    check(nura(event, "--format", "json").stdout.count('"truncated"') == 0, "a whole file has no truncated key")

    # A crafted table: 40,000 entries all at the first chunk. The output stops at an hour of records and
    # says so, and the command still succeeds.
    crafted = os.path.join(tmp, "crafted_F.MP4")
    table = data.rindex(b"stco") - 4
    check(table + struct.unpack_from(">I", data, table)[0] == len(data), "the chunk table ends the file")
    with open(crafted, "wb") as f:
        f.write(data[:table + 12] + struct.pack(">I", 40000) + struct.pack(">I", chunks[0]) * 40000)
    r = nura(crafted, "--format", "csv")
    check(r.returncode == 0, "crafted table: exit %d" % r.returncode)
    check(len(r.stdout.splitlines()) == 36001, "crafted table: %d lines" % len(r.stdout.splitlines()))
    check(len(r.stderr.splitlines()) == 1 and "cut" in r.stderr and crafted in r.stderr,
          "crafted table: one line saying the input was cut: %r" % r.stderr)

    # Nine sentences in one record: the states stop at eight, and JSON carries the flag.
    nine = os.path.join(tmp, "nine_F.MP4")
    text_at = chunks[0] + 27
    with open(nine, "wb") as f:
        f.write(data[:text_at] + b"$G\n" * 9 + bytes(128 - 27) + data[text_at + 128:])
    r = nura(nine, "--format", "json")
    doc = json.loads(r.stdout)
    check(r.returncode == 0 and doc["cut"] is True and len(r.stderr.splitlines()) == 1,
          "nine sentences: cut flag %r, exit %d, %r" % (doc["cut"], r.returncode, r.stderr))

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

finish()
