#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura clip --copy` on generated recordings (30 fps, a key frame each second): the video packets of the
clip against the source's (ffprobe -show_packets -show_data), its telemetry records against the source's
(read with struct), the joint into a following recording, and the refusals and failures, each leaving
nothing behind."""

import atexit
import os
import resource
import signal
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402
from mp4boxes import boxes  # noqa: E402

NURA = sys.argv[1]
BUILD = os.path.dirname(os.path.abspath(NURA))
MAKE_RECORDING = os.path.join(BUILD, "make_recording")




def telemetry_records(path):
    """The 153-byte record of every chunk of the telemetry track (the movie's fifth child)."""
    data = open(path, "rb").read()
    b = {p: (o, s) for p, o, s in boxes(data)}
    o, _ = b["moov/trak[2]/mdia/minf/stbl/stco"]
    (n,) = struct.unpack_from(">I", data, o + 12)
    return [data[at + 2:at + 155] for at in struct.unpack_from(f">{n}I", data, o + 16)]


def top_level(path):
    data = open(path, "rb").read()
    return [p for p, _, _ in boxes(data) if "/" not in p]


def packets(path):
    """(pts, duration, flags, data) of every video packet."""
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v", "-show_packets", "-show_data", path],
                       capture_output=True, text=True, check=True)
    out, cur, data = [], {}, []
    for line in r.stdout.splitlines():
        if line == "[PACKET]":
            cur, data = {}, []
        elif line == "[/PACKET]":
            out.append((int(cur["pts"]), int(cur["duration"]), cur["flags"], "".join(data)))
        elif line.startswith(("pts=", "duration=", "flags=")):
            k, _, v = line.partition("=")
            cur[k] = v
        elif line[8:10] == ": ":
            data.append(line[10:49])
    return out


def audio_packets(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a", "-show_packets", "-show_data", path],
                       capture_output=True, text=True, check=True)
    return [block.split("data=")[1] for block in r.stdout.split("[PACKET]")[1:]]


def run(*args, **kw):
    return subprocess.run([NURA, "clip", *args], capture_output=True, text=True, **kw)


def leftovers(folder):
    return [n for n in os.listdir(folder) if n.startswith(".")]


def audio_times(path):
    """(pts in seconds, data) of every sound packet."""
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a", "-show_packets", "-show_data", path],
                       capture_output=True, text=True, check=True)
    out = []
    for block in r.stdout.split("[PACKET]")[1:]:
        pts = next(line for line in block.splitlines() if line.startswith("pts_time="))
        out.append((float(pts[9:]), block.split("data=")[1].split("[/PACKET]")[0]))
    return out


def frame_md5s(path, *args):
    """The md5 of every decoded picture, in the order shown (ffmpeg's framemd5)."""
    r = subprocess.run(["ffmpeg", "-v", "error", *args, "-i", path, "-map", "0:v", "-f", "framemd5", "-"],
                       capture_output=True, text=True, check=True)
    return [line.split(",")[-1].strip() for line in r.stdout.splitlines() if not line.startswith("#")]


def case_never_replaces_a_recording_it_reads(tmp, a, b):
    """The next recording of the chain as the output, by its name, a link or a hard link: refused
    before any work with or without --force, and left as it was."""
    keep = open(b, "rb").read()
    os.symlink(b, os.path.join(tmp, "to-next.MP4"))
    os.link(b, os.path.join(tmp, "same-next.MP4"))
    for out in (b, os.path.join(tmp, "to-next.MP4"), os.path.join(tmp, "same-next.MP4")):
        for force in ([], ["--force"]):
            r = run(a, "--copy", "--start", "5", "--end", "7.5", "-o", out, *force)
            check(r.returncode == 1 and os.path.basename(b) in r.stderr,
                  f"{os.path.basename(out)} {force}: refused, naming the recording: {r.returncode} {r.stderr}")
    check(open(b, "rb").read() == keep, "the next recording is byte for byte as it was")
    check(os.path.islink(os.path.join(tmp, "to-next.MP4")), "the link is left in place")
    check(leftovers(tmp) == [], f"no temporary file: {leftovers(tmp)}")
    os.remove(os.path.join(tmp, "to-next.MP4"))
    os.remove(os.path.join(tmp, "same-next.MP4"))


def case_sound_stays_with_the_pictures_across_joints(tmp):
    """Five 4 s recordings whose sound runs 11 ms longer than their video each: in a cut across all
    four joints every recording's sound starts within one sound frame of its pictures, and so does the
    sound's end; the first sound packet sits within a frame of the first picture."""
    folder = os.path.join(tmp, "drift")
    os.mkdir(folder)
    names = [os.path.join(folder, f"alwa_20230115_0830{4 * i:02d}_F.MP4") for i in range(5)]
    subprocess.run([MAKE_RECORDING, names[0], "--seconds", "4", "--size", "160x90", "--audio",
                    "--start", "20230115_083000"], check=True)
    for n in names[1:]:
        os.link(names[0], n)
    frame = 1024 / 48000
    src = [d for _, d in audio_times(names[0])]
    check(len(src) * frame > 4.005, f"the sound runs longer than the video: {len(src) * frame:.4f} s")
    check(len(set(src)) == len(src), "each sound packet of the source can be told from the others")
    out = os.path.join(folder, "cut.MP4")
    r = run(names[0], "--copy", "--start", "1.3", "--end", "19.99", "-o", out)
    check(r.returncode == 0, f"the cut is made: {r.stderr}")
    video = packets(out)
    scale = 30000
    first_video, last_video = video[0][0] / scale, (video[-1][0] + video[-1][1]) / scale
    sound = audio_times(out)
    check(abs(sound[0][0] - first_video) <= frame, f"first sound packet at {sound[0][0]:.4f} s, picture at {first_video}")
    # Where each run of one recording's sound puts that recording's start, against where its
    # pictures start (the cut begins at the key frame at 1.0 s).
    starts = []
    for pts, data in sound:
        start = pts - src.index(data) * frame
        if not starts or abs(start - starts[-1]) > 1e-4:
            starts.append(start)
    want = [4.0 * i - 1.0 for i in range(5)]
    check(len(starts) == 5, f"one run of sound for each recording: {[round(s, 4) for s in starts]}")
    for i, (got, w) in enumerate(zip(starts, want)):
        check(abs(got - w) <= frame, f"recording {i}'s sound starts {1000 * (got - w):+.1f} ms off its pictures")
    end = sound[-1][0] + frame
    check(abs(end - last_video) <= frame, f"the sound ends {1000 * (end - last_video):+.1f} ms off the pictures")
    e = subprocess.run(["ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"], capture_output=True, text=True)
    check(e.stderr == "", f"the cut decodes without a word: {e.stderr[:200]}")


def case_reordered_frames_keep_their_order(tmp):
    """A file of another encoder with B-frames and a key frame every 2 s: the cut shows the source's
    pictures of its span in their order, with no timestamp ffmpeg calls out of order, and is named for
    its first frame (2 s), not for the start asked (3.5 s)."""
    folder = os.path.join(tmp, "bframes")
    os.mkdir(folder)
    src = os.path.join(folder, "alwa_20230115_083000_F.MP4")
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=160x90:rate=30:duration=6",
                    "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=6", "-c:v", "libx264",
                    "-preset", "ultrafast", "-bf", "2", "-g", "60", "-keyint_min", "60", "-sc_threshold", "0",
                    "-c:a", "aac", "-shortest", src], check=True)
    r = run(src, "--copy", "--start", "3.5", "--end", "4.5", cwd=folder)
    named = os.path.join(folder, "event_20230115_083002_F.MP4")
    check(r.returncode == 0 and os.path.exists(named), f"named after its first frame: {os.listdir(folder)} {r.stderr}")
    if not os.path.exists(named):
        return
    e = subprocess.run(["ffmpeg", "-v", "warning", "-i", named, "-f", "null", "-"], capture_output=True, text=True)
    check(e.stderr == "", f"ffmpeg finds nothing out of order: {e.stderr[:300]}")
    got = frame_md5s(named)
    want = frame_md5s(src, "-ss", "2")  # from the key frame at 2.0 s
    check(len(got) >= 75 and got == want[:len(got)], f"the source's pictures from 2.0 s in their order: {len(got)}")
    pts = sorted(p[0] for p in packets(named))
    check(pts[0] == 0 and all(b - a == pts[1] - pts[0] for a, b in zip(pts, pts[1:])),
          "the pictures are shown one after another from 0, without a hole")


def main():
    tmp = tempfile.mkdtemp(prefix="nura-clip-")
    atexit.register(shutil.rmtree, tmp, True)  # finish() leaves through sys.exit
    a = os.path.join(tmp, "alwa_20230115_083000_F.MP4")
    b = os.path.join(tmp, "alwa_20230115_083006_F.MP4")
    subprocess.run([MAKE_RECORDING, a, "--seconds", "6", "--start", "20230115_083000"], check=True)
    subprocess.run([MAKE_RECORDING, b, "--seconds", "6", "--start", "20230115_083006"], check=True)
    src_a, src_b = packets(a), packets(b)
    rec_a, rec_b = telemetry_records(a), telemetry_records(b)
    case_never_replaces_a_recording_it_reads(tmp, a, b)
    case_sound_stays_with_the_pictures_across_joints(tmp)
    case_reordered_frames_keep_their_order(tmp)

    # Inside one recording: from the key frame at 2.0 s (before 2.5) to the frame at 4.0 s.
    out = os.path.join(tmp, "cut.MP4")
    r = run(a, "--start", "2.5", "--end", "4.01", "--copy", "-o", out)
    check(r.returncode == 0, f"a cut inside one recording exits 0: {r.returncode} {r.stderr}")
    got = packets(out)
    want = src_a[60:121]
    check(len(got) == len(want), f"frames 60 to 120 are copied: {len(got)}")
    check(got and got[0][2].startswith("K"), "the clip begins with a key frame")
    check([(p[0] - got[0][0], p[1], p[3]) for p in got] == [(p[0] - want[0][0], p[1], p[3]) for p in want],
          "each packet equals the source's in bytes, pts and duration")
    check(top_level(out) == ["ftyp", "mdat", "moov"], f"the camera's layout: {top_level(out)}")
    check(telemetry_records(out) == rec_a[20:41], "the telemetry records are the source's of 2.0 to 4.1 s")
    r = subprocess.run([NURA, "telemetry", out], capture_output=True, text=True)
    check(r.returncode == 0 and "records: 21" in r.stdout, f"nura telemetry reads the clip: {r.stdout}")
    e = subprocess.run(["ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"], capture_output=True, text=True)
    check(e.stderr == "", f"the clip decodes without a word: {e.stderr[:200]}")

    # A start on a key frame keeps it; an end on a frame's moment includes that frame.
    r = run(a, "--start", "1", "--end", "1.5", "--copy", "-o", os.path.join(tmp, "k.MP4"))
    got = packets(os.path.join(tmp, "k.MP4"))
    check(r.returncode == 0 and [p[3] for p in got] == [p[3] for p in src_a[30:46]],
          f"start on a key frame, end on a frame: {len(got)} frames")

    # Across the joint into the following recording, seamlessly.
    out = os.path.join(tmp, "joint.MP4")
    r = run(a, "--start", "4.2", "--end", "7.5", "--copy", "-o", out)
    check(r.returncode == 0, f"a cut across the joint exits 0: {r.stderr}")
    got = packets(out)
    want = src_a[120:] + src_b[:46]
    check([(p[1], p[3]) for p in got] == [(p[1], p[3]) for p in want],
          f"the frames of both recordings follow each other, none repeated or missing: {len(got)}/{len(want)}")
    check(all(got[i + 1][0] - got[i][0] == got[i][1] for i in range(len(got) - 1)),
          "the pts run without a gap across the joint")
    check(telemetry_records(out) == rec_a[40:] + rec_b[:16], "the telemetry runs on into the next recording")
    # A recording made during the first one (an earlier clip named like an event) is passed over.
    r = run(a, "--start", "2", "--end", "3", "--copy", cwd=tmp)
    check(os.path.exists(os.path.join(tmp, "event_20230115_083002_F.MP4")), "an event clip beside the recordings")
    r = run(a, "--start", "4.2", "--end", "7.5", "--copy", "--force", "-o", out)
    check(len(packets(out)) == len(want), f"the joint is still found past it: {r.stderr}")
    os.remove(os.path.join(tmp, "event_20230115_083002_F.MP4"))

    # A following recording made with other settings is refused, by name.
    other = os.path.join(tmp, "other")
    os.mkdir(other)
    c = os.path.join(other, "alwa_20230115_083000_F.MP4")
    d = os.path.join(other, "alwa_20230115_083006_F.MP4")
    subprocess.run([MAKE_RECORDING, c, "--seconds", "6", "--start", "20230115_083000", "--placeholder-video"],
                   check=True)
    subprocess.run([MAKE_RECORDING, d, "--seconds", "6", "--start", "20230115_083006", "--size", "640x360",
                    "--placeholder-video"], check=True)
    r = run(c, "--start", "1", "--end", "8", "--copy", "-o", os.path.join(other, "x.MP4"))
    check(r.returncode == 2 and "alwa_20230115_083006_F.MP4" in r.stderr and "codec" in r.stderr,
          f"other codec settings are refused, naming the file: {r.returncode} {r.stderr}")
    r = run(c, "--start", "1", "--end", "5", "--copy", "-o", os.path.join(other, "y.MP4"))
    check(r.returncode == 0, "a clip that stays before it is made")
    # A gap of more than two seconds ends the clip at the recording's end.
    os.rename(d, os.path.join(other, "alwa_20230115_083009_F.MP4"))
    r = run(c, "--start", "5", "--end", "9", "--copy", "-o", os.path.join(other, "z.MP4"))
    check(r.returncode == 0 and len(packets(os.path.join(other, "z.MP4"))) == 30,
          f"no crossing over a gap: {r.stderr}")
    check(leftovers(other) == [], f"no temporary files: {leftovers(other)}")

    # The name of a recording, and its warnings.
    cam = os.path.join(tmp, "cam")
    os.mkdir(cam)
    r = run(a, "--start", "2.5", "--end", "3", "--copy", cwd=cam)
    check(r.returncode == 0 and os.listdir(cam) == ["event_20230115_083002_F.MP4"],
          f"named after its first frame: {os.listdir(cam)}")
    open(os.path.join(cam, "event_20230115_083002_R.MP4"), "wb").close()
    r = run(a, "--start", "2.5", "--end", "3", "--copy", "--force", cwd=cam)
    check(r.returncode == 0 and "pairs with event_20230115_083002_R.MP4" in r.stderr,
          f"a warning when the clip pairs with another recording: {r.stderr}")

    # A recording with sound (in the place of the movie's "free" box): the cut keeps the sound of the span,
    # packet for packet, and the telemetry track stays the fifth child.
    snd = os.path.join(tmp, "sound")
    os.mkdir(snd)
    s = os.path.join(snd, "alwa_20230115_083000_F.MP4")
    subprocess.run([MAKE_RECORDING, s, "--seconds", "4", "--size", "320x180", "--audio", "--start",
                    "20230115_083000"], check=True)
    cut = os.path.join(snd, "cut.MP4")
    r = run(s, "--start", "1", "--end", "2.5", "--copy", "-o", cut)
    src_audio, got_audio = audio_packets(s), audio_packets(cut)
    first = next((i for i, p in enumerate(src_audio) if p == got_audio[0]), None) if got_audio else None
    check(r.returncode == 0 and first is not None and src_audio[first:first + len(got_audio)] == got_audio,
          f"the sound is a run of the source's packets: {r.stderr}")
    check(abs(len(got_audio) * 1024 / 48000 - 1.533) < 0.05, f"the sound covers the span: {len(got_audio)} packets")
    r = subprocess.run([NURA, "telemetry", cut], capture_output=True, text=True)
    check(r.returncode == 0 and "records: 16" in r.stdout, f"the telemetry is read beside the sound: {r.stdout}")

    # Refusals.
    for args, status, what in [
        ([a, "--start", "3", "--end", "3"], 64, "start = end"),
        ([a, "--start", "-1", "--end", "3"], 64, "a negative start"),
        ([a, "--start", "7", "--end", "9"], 64, "a start past the recording"),
        ([a, "--start", "1", "--end", "3", "--layout", "grid"], 64, "a bad layout"),
        ([a, "--start", "1", "--end", "3", "--corner", "xx"], 64, "a bad corner"),
        ([a, "--start", "1", "--end", "3", "--audio", "both"], 64, "a bad audio choice"),
        ([os.path.join(tmp, "missing_F.MP4"), "--start", "1", "--end", "3"], 1, "a missing file"),
        ([tmp, "--start", "1", "--end", "3"], 2, "a folder"),
        ([a, "--start", "1", "--end", "3", "-o", out], 1, "an existing output"),
        ([a, "--start", "1", "--end", "3", "-o", a, "--force"], 1, "the output = the input, even forced"),
    ]:
        extra = [] if "-o" in args else ["-o", os.path.join(tmp, "r.MP4")]
        r = run(*args, *extra, "--copy")
        check(r.returncode == status, f"{what}: exit {status}, got {r.returncode} {r.stderr.strip()}")
    check(not os.path.exists(os.path.join(tmp, "r.MP4")), "no refusal writes its output")
    check(packets(a) == src_a, "the input is never touched")

    text = os.path.join(tmp, "alwa_20230115_090000_F.MP4")
    open(text, "w").write("not a recording\n" * 100)
    r = run(text, "--start", "0", "--end", "1", "--copy", "-o", os.path.join(tmp, "t.MP4"))
    check(r.returncode == 2, f"a file that is not a recording: exit 2, got {r.returncode}")
    cut_short = os.path.join(tmp, "alwa_20230115_090100_F.MP4")
    open(cut_short, "wb").write(open(a, "rb").read()[:3_000_000] + open(a, "rb").read()[-50_000:])
    r = run(cut_short, "--start", "0", "--end", "5", "--copy", "-o", os.path.join(tmp, "t.MP4"))
    check(r.returncode == 2 and "truncated" in r.stderr,
          f"an index past the file's end: exit 2 'truncated', got {r.returncode} {r.stderr}")

    # A full disk part-way (a file-size limit stands in for it): the old output stays, nothing is left.
    keep = open(out, "rb").read()

    def small_disk():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (1_000_000, 1_000_000))

    r = subprocess.run([NURA, "clip", a, "--start", "0", "--end", "5", "--copy", "--force", "-o", out],
                       capture_output=True, text=True, preexec_fn=small_disk)
    check(r.returncode == 1 and "cannot write" in r.stderr, f"a full disk: exit 1, got {r.returncode} {r.stderr}")
    check(open(out, "rb").read() == keep, "the old output is untouched")
    check(leftovers(tmp) == [], f"no temporary file remains: {leftovers(tmp)}")

    # Ctrl+C part-way through a long cut (ten recordings joined): the process is stopped as soon as its
    # temporary file appears, so that the interrupt surely lands part-way.
    chain = os.path.join(tmp, "chain")
    os.mkdir(chain)
    for i in range(10):
        os.link(a if i % 2 == 0 else b, os.path.join(chain, f"alwa_20230115_08{30 + i // 10:02d}{(i * 6) % 60:02d}_F.MP4"))
    target = os.path.join(chain, "c.MP4")
    p = subprocess.Popen([NURA, "clip", os.path.join(chain, "alwa_20230115_083000_F.MP4"), "--start", "0",
                          "--end", "59", "--copy", "-o", target], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    while p.poll() is None and not leftovers(chain):
        pass
    p.send_signal(signal.SIGSTOP)
    p.send_signal(signal.SIGINT)
    p.send_signal(signal.SIGCONT)
    rc = p.wait()
    check(rc == -signal.SIGINT, f"Ctrl+C ends the cut with the interrupt's status: {rc}")
    check(not os.path.exists(target), "an interrupted cut writes no output")
    check(leftovers(chain) == [], f"no temporary file after Ctrl+C: {leftovers(chain)}")
    finish()


if __name__ == "__main__":
    main()
