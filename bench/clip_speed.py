#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura clip` of 60 s, each next to a baseline measured in the same run.

Combined: a pip clip with the band, from a 1080p30 front and a 720p30 rear, next to the `ffmpeg` program
doing the same scale and overlay with a static band image (`-loop 1 -i band.png`), with the same preset,
CRF and thread count and `+faststart`. Targets: at most 1.2 times the baseline, and faster than real time.

Lossless: `nura clip --copy` of the same 60 s, next to `cp` of the source followed by an fsync of the
copy; both sides fsync. Target: at most 2 times the copy.

The recordings are written once into BUILD/bench-cache/clip. Medians of a few alternating rounds."""
import os
import statistics
import subprocess
import sys
import time

build = os.path.abspath(sys.argv[1])
rounds = int(os.environ.get("CLIP_BENCH_ROUNDS", "3"))
nura = os.path.join(build, "nura")
cache = os.path.join(build, "bench-cache", "clip")
front = os.path.join(cache, "alwa_20230115_090000_F.MP4")
rear = os.path.join(cache, "alwa_20230115_090000_R.MP4")
out = os.path.join(cache, "out")
PRESET, CRF = "veryfast", "20"  # what ClipPlan::kPreset and the default quality say


def make(path, extra):
    if not os.path.exists(path):
        print(f"writing {path} (60 s, once)", flush=True)
        subprocess.run([os.path.join(build, "make_recording"), path + ".part", "--seconds", "61", "--start",
                        "20230115_090000"] + extra, check=True)
        os.rename(path + ".part", path)


def timed(argv):
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def clean():
    for name in os.listdir(out):
        os.remove(os.path.join(out, name))


os.makedirs(out, exist_ok=True)
make(front, [])
make(rear, ["--rear"])
band = os.path.join(cache, "band.png")
if not os.path.exists(band):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "color=c=black@0.6:s=1920x118,format=rgba",
                    "-frames:v", "1", band], check=True)

ours_runs, base_runs, copy_runs, cp_runs = [], [], [], []
for _ in range(rounds):
    clean()
    ours_runs.append(timed([nura, "clip", front, "--start", "0", "--end", "59.99", "--no-gpx", "-o",
                            os.path.join(out, "ours.mp4")]))
    base_runs.append(timed([
        "ffmpeg", "-v", "error", "-y", "-i", front, "-i", rear, "-loop", "1", "-i", band, "-filter_complex",
        "[1:v]scale=640:360[r];[0:v][r]overlay=W-w-32:H-h-32-118[p];[p][2:v]overlay=0:H-h:shortest=1",
        "-t", "60", "-c:v", "libx264", "-preset", PRESET, "-crf", CRF, "-threads", "0", "-movflags", "+faststart",
        os.path.join(out, "base.mp4")]))
    clean()
    copy_runs.append(timed([nura, "clip", front, "--start", "0", "--end", "59.99", "--copy", "-o",
                            os.path.join(out, "cut.MP4")]))
    cp_runs.append(timed(["sh", "-c", f"cp '{front}' '{out}/copy.MP4' && sync '{out}/copy.MP4'"]))
clean()

ours, base = statistics.median(ours_runs), statistics.median(base_runs)
cut, cp = statistics.median(copy_runs), statistics.median(cp_runs)
size = os.path.getsize(front) / 1e6
print(f"combined pip 60 s ({PRESET}, CRF {CRF}): nura clip {ours:.2f} s, ffmpeg program {base:.2f} s, "
      f"ratio {ours / base:.2f} (target <= 1.2); {60 / ours:.2f}x real time (target > 1)")
print(f"lossless 60 s ({size:.0f} MB): nura clip --copy {cut:.3f} s, cp + sync {cp:.3f} s, "
      f"ratio {cut / cp:.2f} (target <= 2)")
