#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura repair` on demo-generator recordings cut at a few hundred places: inside the first frame, inside
units, inside telemetry chunks, on frame boundaries, just before and inside the index, and with the media
data's size field at 0. Each repaired file is checked with ffmpeg (no error; its frames are the original's
first N, by framemd5) and by its raw telemetry records (the original's first M), read with struct."""

import concurrent.futures
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402
from mp4boxes import boxes  # noqa: E402

NURA = sys.argv[1]
BUILD = os.path.dirname(os.path.abspath(NURA))
MAKE_RECORDING = os.path.join(BUILD, "make_recording")
NAME = "alwa_20230115_083100_F.MP4"


def trak_of(data, handler):
    """The box path ("trak", "trak[2]", ...) of the track with this handler type."""
    b = {p: (o, s) for p, o, s in boxes(data)}
    for path, (o, _) in b.items():
        if path.startswith("moov/trak") and path.endswith("/mdia/hdlr") and data[o + 16:o + 20] == handler:
            return path.split("/")[1]
    return None


def samples(data, trak):
    """(offset, size) of every sample of a track, from its stsz, stsc and stco."""
    b = {p: (o, s) for p, o, s in boxes(data)}
    stbl = f"moov/{trak}/mdia/minf/stbl/"
    o, _ = b[stbl + "stsz"]
    uniform, count = struct.unpack_from(">II", data, o + 12)
    sizes = [uniform] * count if uniform else list(struct.unpack_from(f">{count}I", data, o + 20))
    o, _ = b[stbl + "stco"]
    (n,) = struct.unpack_from(">I", data, o + 12)
    chunks = struct.unpack_from(f">{n}I", data, o + 16)
    o, _ = b[stbl + "stsc"]
    (runs,) = struct.unpack_from(">I", data, o + 12)
    table = [struct.unpack_from(">III", data, o + 16 + 12 * i) for i in range(runs)]
    out, k = [], 0
    for c, at in enumerate(chunks):
        per = [t[1] for t in table if t[0] <= c + 1][-1]
        for _ in range(per):
            out.append((at, sizes[k]))
            at += sizes[k]
            k += 1
    return out


def frame_hashes(path):
    """The MD5 of every decoded picture, and ffmpeg's error output of the same decode."""
    r = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:v", "-f", "framemd5", "-"],
                       capture_output=True, text=True)
    hashes = [line.split(",")[-1].strip() for line in r.stdout.splitlines() if line and not line.startswith("#")]
    return hashes, r.stderr


def records(path):
    data = open(path, "rb").read()
    return [data[o + 2:o + 155] for o, _ in samples(data, trak_of(data, b"gps "))]


def with_sound(work):
    """A camera that records sound: raw AAC chunks lie between the frames and records, and carry no
    length of their own. Every whole frame and record before the cut comes back; the sound is left out."""
    folder = os.path.join(work, "sound", "DCIM", "100MEDIA")
    os.makedirs(folder)
    original = os.path.join(work, "sound-original.MP4")
    subprocess.run([MAKE_RECORDING, original, "--seconds", "4", "--size", "320x180", "--audio",
                    "--start", "20230115_083100"], check=True)
    subprocess.run([MAKE_RECORDING, os.path.join(folder, "alwa_20230115_083000_F.MP4"), "--seconds", "2",
                    "--size", "320x180", "--audio", "--start", "20230115_083000"], check=True)
    data = open(original, "rb").read()
    frames = samples(data, "trak")
    chunks = samples(data, trak_of(data, b"gps "))
    sound = samples(data, trak_of(data, b"soun"))
    hashes, _ = frame_hashes(original)
    recs = records(original)
    check(len(sound) > 100 and len(hashes) == 120, f"the original has sound: {len(sound)} packets")
    rng = random.Random(7)
    cuts = {o + rng.randrange(0, s) for o, s in rng.sample(sound, 12)}       # inside sound
    cuts |= {o + s for o, s in rng.sample(sound, 6)}                          # between sound packets
    cuts |= {o + rng.randrange(1, s) for o, s in rng.sample(frames, 6)}
    cuts |= {o + rng.randrange(1, s) for o, s in rng.sample(chunks, 4)}
    cuts.add(len(data))  # the whole media data, its index gone
    cut_file = os.path.join(folder, NAME)
    for cut in sorted(cuts):
        head = bytearray(data[:cut])
        if cut == len(data):
            mdat_at = next(o for p, o, _ in boxes(data) if p == "mdat")
            moov_at = next(o for p, o, _ in boxes(data) if p == "moov")
            head = bytearray(data[:moov_at])
            head[mdat_at:mdat_at + 4] = b"\0\0\0\0"
        open(cut_file, "wb").write(head)
        whole_frames = sum(1 for o, s in frames if o + s <= len(head))
        whole_records = sum(1 for o, s in chunks if o + s <= len(head))
        out = os.path.join(folder, "repaired", NAME)
        r = subprocess.run([NURA, "repair", cut_file, "--force"], capture_output=True, text=True)
        what = f"with sound, cut at {cut}"
        if not check(r.returncode == 0, f"{what}: exit {r.returncode}: {r.stderr.strip()}"):
            continue
        got, errors = frame_hashes(out)
        check(not errors, f"{what}: ffmpeg: {errors.strip()[:200]}")
        check(got == hashes[:whole_frames], f"{what}: {len(got)} frames decoded for {whole_frames} whole ones")
        check(records(out) == recs[:whole_records], f"{what}: not the original's first {whole_records} records")
        check("sound chunks" in r.stdout and "sound is not recovered" in r.stdout, f"{what}: {r.stdout}")
        check(trak_of(open(out, "rb").read(), b"soun") is None, f"{what}: no sound track is claimed")


def recording(path, start, *options):
    subprocess.run([MAKE_RECORDING, path, "--seconds", "3", "--size", "320x180", "--start", start, *options],
                   check=True)
    return path


def cut_of(original, cut):
    """The original without its index, as the camera leaves a file when the power goes."""
    data = open(original, "rb").read()
    open(cut, "wb").write(data[:next(o for p, o, _ in boxes(data) if p == "moov")])
    return cut


def temporaries(folder):
    return [n for _, _, names in os.walk(folder) for n in names if ".nura-" in n]


def outputs_refused(work):
    """How the command reports the refusals its unit tests pin: OUT a link to the reference, even forced
    (exit 1), and OUT a FIFO (exit 2, and it is not opened)."""
    folder = os.path.join(work, "outputs", "DCIM", "100MEDIA")
    os.makedirs(folder)
    cut = cut_of(recording(os.path.join(work, "outputs-original.MP4"), "20230115_083100"),
                 os.path.join(folder, NAME))
    reference = recording(os.path.join(folder, "alwa_20230115_083000_F.MP4"), "20230115_083000")
    kept = open(reference, "rb").read()
    os.symlink(reference, os.path.join(work, "link.MP4"))
    r = subprocess.run([NURA, "repair", cut, "-o", os.path.join(work, "link.MP4"), "--force"],
                       capture_output=True, text=True, timeout=60)
    check(r.returncode == 1 and "would replace" in r.stderr, f"OUT is a link to the reference: {r.returncode}: {r.stderr}")
    check(open(reference, "rb").read() == kept and not temporaries(work) and
          not os.path.exists(os.path.join(folder, "repaired")), "a refused OUT: nothing changed")
    fifo = os.path.join(work, "fifo.MP4")
    os.mkfifo(fifo)
    r = subprocess.run([NURA, "repair", cut, "-o", fifo, "--force"], capture_output=True, text=True, timeout=60)
    check(r.returncode == 2 and f"{fifo} is not a regular file" in r.stderr, f"OUT is a FIFO: {r.returncode}: {r.stderr}")


def interrupted(work):
    """Ctrl+C or a polite kill while the media data is read (held by a slow card) removes the temporary
    file and the folder the repair made, and ends as the signal does."""
    shim = os.path.join(BUILD, "bench", "libnura_slow_read.so")
    if not os.path.exists(shim):
        print("interrupted: skipped, no slow-card library in this build")
        return
    folder = os.path.join(work, "slow", "DCIM", "100MEDIA")
    os.makedirs(folder)
    cut = cut_of(recording(os.path.join(work, "slow-original.MP4"), "20230115_083100"),
                 os.path.join(folder, NAME))
    recording(os.path.join(folder, "alwa_20230115_083000_F.MP4"), "20230115_083000")
    # Only the cut file is slow: not its reference, nor the temporary file in repaired/.
    env = dict(os.environ, LD_PRELOAD=shim, NURA_SLOW_MARKER="100MEDIA/" + NAME[:20], NURA_SLOW_READ_MS="1000")
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        p = subprocess.Popen([NURA, "repair", cut], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True)
        while p.poll() is None and not temporaries(folder):
            time.sleep(0.01)
        p.send_signal(sig)
        out, err = p.communicate(timeout=120)
        name = signal.Signals(sig).name
        check(p.returncode == -sig, f"{name}: ends by the signal: {p.returncode}: {out}{err}")
        check("interrupted" in err, f"{name}: says so: {err}")
        check(sorted(os.listdir(folder)) == ["alwa_20230115_083000_F.MP4", NAME],
              f"{name}: nothing left behind: {os.listdir(folder)}")
        shutil.rmtree(os.path.join(folder, "repaired"), ignore_errors=True)


def main():
    work = tempfile.mkdtemp(prefix="nura-repair-")
    try:
        card = os.path.join(work, "card", "DCIM", "100MEDIA")
        os.makedirs(card)
        original = os.path.join(work, "original.MP4")
        subprocess.run([MAKE_RECORDING, original, "--seconds", "3", "--size", "320x180",
                        "--start", "20230115_083100"], check=True)
        subprocess.run([MAKE_RECORDING, os.path.join(card, "alwa_20230115_083000_F.MP4"), "--seconds", "2",
                        "--size", "320x180", "--start", "20230115_083000"], check=True)
        data = open(original, "rb").read()
        layout = {p: (o, s) for p, o, s in boxes(data)}
        mdat_at, mdat_size = layout["mdat"]
        media, mdat_end = mdat_at + 8, mdat_at + mdat_size
        frames = samples(data, "trak")
        chunks = samples(data, "trak[2]")
        hashes, _ = frame_hashes(original)
        recs = records(original)
        check(len(hashes) == len(frames) == 90 and len(recs) == 30, "the original has 90 frames and 30 records")

        rng = random.Random(21)
        first_end = frames[0][0] + frames[0][1]
        cuts = {media + 1, media + 3, media + 4, media + 5, first_end - 1, first_end, first_end + 1}
        cuts |= {rng.randrange(media, first_end) for _ in range(6)}          # inside the first frame
        for o, s in rng.sample(frames, 30):                                   # inside units, and on edges
            cuts |= {o + rng.randrange(1, s), o + s}
        for o, s in rng.sample(chunks, 12):                                   # inside telemetry chunks
            cuts |= {o + 1, o + rng.randrange(2, s)}
        cuts |= {mdat_end - 1, mdat_end, mdat_end + 4, mdat_end + 8, mdat_end + 200, len(data) - 1}
        cuts |= {rng.randrange(media, len(data)) for _ in range(40)}           # anywhere
        cuts = sorted(cuts)
        zero_size = set(rng.sample(cuts, 30))                                  # the camera left the size at 0

        def one(task):
            i, cut = task
            folder = os.path.join(work, f"c{i}", "DCIM", "100MEDIA")
            os.makedirs(folder)
            os.link(os.path.join(card, "alwa_20230115_083000_F.MP4"),
                    os.path.join(folder, "alwa_20230115_083000_F.MP4"))
            cut_file = os.path.join(folder, NAME)
            head = bytearray(data[:cut])
            if cut in zero_size and cut >= mdat_at + 4:
                head[mdat_at:mdat_at + 4] = b"\0\0\0\0"
            open(cut_file, "wb").write(head)
            whole_frames = sum(1 for o, s in frames if o + s <= cut)
            whole_records = sum(1 for o, s in chunks if o + s <= cut)
            r = subprocess.run([NURA, "repair", cut_file], capture_output=True, text=True)
            out = os.path.join(folder, "repaired", NAME)
            problems = []
            if whole_frames == 0:
                if r.returncode != 2 or os.path.exists(os.path.dirname(out)):
                    problems.append(f"no whole frame: exit {r.returncode}, {r.stderr.strip()}")
                return cut, whole_frames, problems
            if r.returncode != 0:
                return cut, whole_frames, [f"exit {r.returncode}: {r.stderr.strip()}"]
            got, errors = frame_hashes(out)
            if errors:
                problems.append("ffmpeg: " + errors.strip().splitlines()[0])
            if got != hashes[:whole_frames]:
                problems.append(f"{len(got)} frames decoded for {whole_frames} whole ones, or other pictures")
            if records(out) != recs[:whole_records]:
                problems.append(f"telemetry is not the original's first {whole_records} records")
            if f"{whole_frames} frames" not in r.stdout:
                problems.append("the report does not say how much came back: " + r.stdout)
            shutil.rmtree(os.path.join(work, f"c{i}"))
            return cut, whole_frames, problems

        recovered = 0
        with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
            for cut, n, problems in pool.map(one, enumerate(cuts)):
                recovered += n
                for p in problems:
                    check(False, f"cut at {cut}{' (size 0)' if cut in zero_size else ''}: {p}")
        print(f"{len(cuts)} cuts ({len(zero_size)} with the size at 0): "
              f"{recovered} whole frames recovered over all of them")
        with_sound(work)
        outputs_refused(work)
        interrupted(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    finish()


main()
