#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura repair` of a cut 3-minute 1080p recording with sound (its index and last frames lost; the sound
chunks between the frames passed over), as a user runs it,
next to `cp` of the same file followed by an fsync of the copy (`sync FILE`); the repair fsyncs its
output too. The recordings are written once into BUILD/bench-cache/repair. Rounds alternate, from a warm
page cache on both sides; medians compared. Target: the repair takes at most 1.5 times the copy."""
import os
import statistics
import subprocess
import sys
import time

build = os.path.abspath(sys.argv[1])
seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 180
rounds = 7
nura = os.path.join(build, "nura")
cache = os.path.join(build, "bench-cache", "repair-sound")
folder = os.path.join(cache, "DCIM", "100MEDIA")
reference = os.path.join(folder, "alwa_20230115_082700_F.MP4")
whole = os.path.join(cache, f"whole_{seconds}s.MP4")
cut = os.path.join(folder, "alwa_20230115_083000_F.MP4")
out_repair = os.path.join(cache, "repaired.MP4")
out_copy = os.path.join(cache, "copied.MP4")


def make(path, secs, start):
    if not os.path.exists(path):
        print(f"writing {path} ({secs} s of 1080p with sound, once)", flush=True)
        subprocess.run([os.path.join(build, "make_recording"), path + ".part", "--seconds", str(secs),
                        "--audio", "--start", start], check=True)
        os.rename(path + ".part", path)


def timed(argv):
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


os.makedirs(folder, exist_ok=True)
make(reference, 6, "20230115_082700")
make(whole, seconds, "20230115_083000")
if not os.path.exists(cut):
    # Power lost 2 MB before the end: no index, and the last frames cut.
    size = os.path.getsize(whole)
    with open(whole, "rb") as src, open(cut + ".part", "wb") as dst:
        left = size - (2 << 20)
        while left > 0:
            block = src.read(min(left, 8 << 20))
            dst.write(block)
            left -= len(block)
    os.rename(cut + ".part", cut)

size = os.path.getsize(cut)
subprocess.run(["cat", cut], stdout=subprocess.DEVNULL, check=True)  # the same warm cache for both
repair, copy = [], []



def clear():
    # Both sides write a new file, as a repair normally does; the old copies are gone and synced away.
    for f in (out_copy, out_repair):
        if os.path.exists(f):
            os.remove(f)
    os.sync()


for _ in range(rounds):
    clear()
    copy.append(timed(["sh", "-c", 'cp "$1" "$2" && sync "$2"', "sh", cut, out_copy]))
    clear()
    repair.append(timed([nura, "repair", cut, "-o", out_repair]))
clear()
report = subprocess.run([nura, "repair", cut, "-o", out_repair], capture_output=True, text=True).stdout
clear()
r, c = statistics.median(repair), statistics.median(copy)
print(next((line for line in report.splitlines() if line.startswith("recovered")), report.strip()))
print(f"cut recording: {size / 1e6:.0f} MB, {seconds} s of 1080p with sound")
print(f"cp + fsync:    {c * 1000:7.0f} ms (median of {rounds})")
print(f"nura repair:   {r * 1000:7.0f} ms (median of {rounds})")
print(f"ratio:         {r / c:.2f} x the copy (target at most 1.5)")
