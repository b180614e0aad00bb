# SPDX-License-Identifier: GPL-3.0-or-later
"""nura list: the recordings of a folder as a table and as JSON, its errors, and the drives they make."""
import json
import math
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

nura = sys.argv[1]
make_recording = os.path.join(os.path.dirname(os.path.abspath(nura)), "make_recording")


def run(*args):
    return subprocess.run([nura, *args], capture_output=True, timeout=60)


with tempfile.TemporaryDirectory() as card:
    for rel in ["DCIM/alwa_20230115_083012_R.MP4", "DCIM/alwa_20230115_083012_F.MP4",
                "DCIM/event_20230115_083045_F.mp4", ".hidden/xxxxx_20230115_083012_R.MP4",
                "DCIM/alwa_20231315_083012_F.MP4", "DCIM/notes.txt"]:
        os.makedirs(os.path.dirname(os.path.join(card, rel)), exist_ok=True)
        open(os.path.join(card, rel), "w").close()
    # A name that is not UTF-8 must still come out as valid JSON.
    open(os.path.join(card.encode(), b"DCIM/alwa_20230116_000000_\xff.MP4"), "w").close()
    open(os.path.join(card.encode(), b"DCIM\xfe"), "w").close()
    os.makedirs(os.path.join(card.encode(), b"\xfe_dir"))
    open(os.path.join(card.encode(), b"\xfe_dir/alwa_20230116_000001_F.MP4"), "w").close()

    r = run("list", card, "--json")
    check(r.returncode == 0, f"json exit status {r.returncode}: {r.stderr}")
    rows = json.loads(r.stdout.decode("utf-8"))
    check([row["file"] for row in rows] == [
        "xxxxx_20230115_083012_R.MP4", "alwa_20230115_083012_F.MP4", "alwa_20230115_083012_R.MP4",
        "event_20230115_083045_F.mp4", "alwa_20230116_000001_F.MP4"], f"order {[r['file'] for r in rows]}")
    check(all(set(row) == {"path", "file", "group", "mode", "side", "date", "time"} for row in rows), "keys")
    first, front = rows[0], rows[1]
    check(first["date"] == "" and first["time"] == "" and first["side"] == "rear" and first["mode"] == "always",
          f"undated row {first}")
    check(front == {"path": os.path.join(card, "DCIM/alwa_20230115_083012_F.MP4"),
                    "file": "alwa_20230115_083012_F.MP4", "group": "alwa_20230115_083012", "mode": "always",
                    "side": "front", "date": "2023-01-15", "time": "08:30:12"}, f"front row {front}")
    check(rows[3]["mode"] == "event", "event mode")
    check(rows[4]["path"].endswith("\ufffd_dir/alwa_20230116_000001_F.MP4"), f"broken bytes {rows[4]['path']}")

    r = run("list", card)
    out = r.stdout.decode("utf-8", "replace")
    lines = out.splitlines()
    check(r.returncode == 0 and len(lines) == 7, f"table: {out}")
    check(lines[0] == "MODE    SIDE   DATE       TIME      FILE                         FOLDER", f"header {lines[0]!r}")
    check(lines[1] == "always  rear                        xxxxx_20230115_083012_R.MP4  .hidden", f"row {lines[1]!r}")
    check(lines[2] == "always  front  2023-01-15 08:30:12  alwa_20230115_083012_F.MP4   DCIM", f"row {lines[2]!r}")
    check(lines[4] == "event   front  2023-01-15 08:30:45  event_20230115_083045_F.mp4  DCIM", f"row {lines[4]!r}")
    check(lines[6] == "5 recordings, 1 front/rear pair", f"summary {lines[6]!r}")

    with tempfile.TemporaryDirectory() as empty:
        r = run("list", empty, "--json")
        check(r.returncode == 0 and json.loads(r.stdout) == [], "empty folder")



def make(folder, name, seconds, *extra):
    path = os.path.join(folder, name)
    subprocess.run([make_recording, path, "--placeholder-video", "--seconds", str(seconds),
                    "--start", name.split("_", 1)[1][:15], "--drive-start", "20230115_083000", *extra], check=True)
    return path


def fixes(path):
    """(lon, lat) of each fix, as `nura telemetry` exports one recording."""
    gpx = subprocess.run([nura, "telemetry", path, "--format", "gpx"], capture_output=True, check=True).stdout
    points = ET.fromstring(gpx).findall("g:trk/g:trkseg/g:trkpt", {"g": "http://www.topografix.com/GPX/1/1"})
    return [(float(p.get("lon")), float(p.get("lat"))) for p in points]


def haversine(points):
    total = 0.0
    for (lon1, lat1), (lon2, lat2) in zip(points, points[1:]):
        p1, p2 = math.radians(lat1), math.radians(lat2)
        a = math.sin((p2 - p1) / 2) ** 2 + math.cos(p1) * math.cos(p2) * math.sin(math.radians(lon2 - lon1) / 2) ** 2
        total += 2 * 6371000 * math.asin(math.sqrt(a))
    return total


# Two drives: three recordings back to back (the last a lone rear file) with an event file copying part
# of the third, then, ten minutes later, one more recording.
with tempfile.TemporaryDirectory() as card:
    dcim = os.path.join(card, "DCIM")
    os.makedirs(dcim)
    segments = [make(dcim, "alwa_20230115_083000_F.MP4", 20), make(dcim, "alwa_20230115_083020_F.MP4", 20),
                make(dcim, "alwa_20230115_083040_R.MP4", 20, "--rear")]
    make(dcim, "alwa_20230115_083000_R.MP4", 20, "--rear")
    make(dcim, "alwa_20230115_083020_R.MP4", 19, "--rear")
    make(dcim, "event_20230115_083045_F.MP4", 10)
    later = make(dcim, "alwa_20230115_084000_F.MP4", 10)

    r = run("list", card, "--drives", "--json")
    check(r.returncode == 0 and r.stderr == b"", f"drives exit status {r.returncode}: {r.stderr}")
    drives = json.loads(r.stdout)
    check(len(drives) == 2, f"two drives: {drives}")
    first, second = drives[0], drives[1]
    check({k: first[k] for k in ("mode", "start", "end", "duration_s", "recordings")} ==
          {"mode": "always", "start": "2023-01-15T08:30:00", "end": "2023-01-15T08:31:00", "duration_s": 60.0,
           "recordings": 3}, f"first drive {first}")
    check(first["files"] == ["alwa_20230115_083000_F.MP4", "alwa_20230115_083020_F.MP4", "alwa_20230115_083040_R.MP4"]
          and first["event_files"] == ["event_20230115_083045_F.MP4"] and first["without_length"] == [],
          f"first drive's files {first}")
    route = [p for s in segments for p in fixes(s)]
    check(abs(first["distance_m"] - haversine(route)) <= 2 and first["distance_m"] > 100,
          f"distance {first['distance_m']} against {haversine(route)}")
    # The scripted drive brakes into an impact 47 s in: one moment of sharp force, in the lone rear file.
    check(first["events"] == 1, f"events {first['events']}")
    check({k: second[k] for k in ("start", "end", "duration_s", "recordings", "events", "files")} ==
          {"start": "2023-01-15T08:40:00", "end": "2023-01-15T08:40:10", "duration_s": 10.0, "recordings": 1,
           "events": 0, "files": ["alwa_20230115_084000_F.MP4"]}, f"second drive {second}")
    # Distance and top speed as the trip export gives them for the same fixes.
    trips = json.loads(run("trip", card).stdout)["features"]
    check([(d["distance_m"], d["max_speed_kmh"]) for d in drives] ==
          [(t["properties"]["distance_m"], t["properties"]["max_speed_kmh"]) for t in trips],
          f"as nura trip: {[(d['distance_m'], d['max_speed_kmh']) for d in drives]}")

    r = run("list", card, "--drives")
    lines = r.stdout.decode().splitlines()
    check(r.returncode == 0 and len(lines) == 4, f"drives table: {lines}")
    check(lines[0].split() == ["MODE", "DATE", "START", "END", "DURATION", "RECORDINGS", "DISTANCE", "TOP", "SPEED",
                               "EVENTS"], f"header {lines[0]!r}")
    check(lines[1].split()[:6] == ["always", "2023-01-15", "08:30:00", "08:31:00", "0:01:00", "3"], f"row {lines[1]!r}")
    check(lines[3] == "2 drives, 1 event file within them", f"summary {lines[3]!r}")

    # A file that cannot be opened: the drives are listed, and the exit status says they are not whole.
    os.remove(later)
    os.symlink(os.path.join(card, "gone.MP4"), later)
    r = run("list", card, "--drives", "--json")
    check(r.returncode == 1 and "alwa_20230115_084000_F.MP4" in r.stderr.decode(), f"unreadable file: {r}")
    check([d["recordings"] for d in json.loads(r.stdout)] == [3, 0], f"the drives are still listed: {r.stdout}")

r = run("list", "/nonexistent/card")
check(r.returncode == 1 and len(r.stderr.decode().strip().splitlines()) == 1, f"missing folder: {r}")
r = run("list", "/etc/hostname")
check(r.returncode == 1, "a file is not a folder")
r = run("list")
check(r.returncode == 64, "usage")
r = run("list", "--bogus", "/tmp")
check(r.returncode == 64, "unknown option")

finish()
