# SPDX-License-Identifier: GPL-3.0-or-later
"""What the command's script tests share: the exit statuses of every subcommand, a run's status and texts,
a file's bytes read and written whole, and the fixes of a recording."""
import subprocess
import xml.etree.ElementTree as ET

GPX = {"g": "http://www.topografix.com/GPX/1/1"}

# The exit statuses of the README's table.
DONE, CANNOT_ACCESS, NOT_OUR_FILE, USAGE = 0, 1, 2, 64


def outcome(argv, timeout=60, **kwargs):
    """The status, standard output and standard error of a run, the texts decoded whatever their bytes."""
    p = subprocess.run(argv, capture_output=True, timeout=timeout, **kwargs)
    return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def gpx_points(nura, path):
    """(lon, lat, time) of each fix, as `nura telemetry` exports one recording."""
    r = subprocess.run([nura, "telemetry", path, "--format", "gpx"], capture_output=True, text=True, check=True)
    return [(float(p.get("lon")), float(p.get("lat")), p.find("g:time", GPX).text)
            for p in ET.fromstring(r.stdout).findall("g:trk/g:trkseg/g:trkpt", GPX)]
