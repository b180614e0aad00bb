# SPDX-License-Identifier: GPL-3.0-or-later
"""nura list: the recordings of a folder as a table and as JSON, and its errors."""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

nura = sys.argv[1]


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

r = run("list", "/nonexistent/card")
check(r.returncode == 1 and len(r.stderr.decode().strip().splitlines()) == 1, f"missing folder: {r}")
r = run("list", "/etc/hostname")
check(r.returncode == 1, "a file is not a folder")
r = run("list")
check(r.returncode == 64, "usage")
r = run("list", "--bogus", "/tmp")
check(r.returncode == 64, "unknown option")

finish()
