#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura clip` re-encoded, on generated pairs whose pictures show their frame number (front 30 fps, rear
25 fps): each output frame is decoded and both numbers read, the rear one must be the last rear frame at
or before the front frame's moment, across a joint too. Then the output's format (one stream of the
expected size, a duration within a frame of the span, a clean decode, the index before the media data),
the band's placement by pixels, the GPX beside the clip, and the refusals."""

import atexit
import os
import re
import resource
import signal
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402
from mp4boxes import top_level  # noqa: E402

NURA = sys.argv[1]
BUILD = os.path.dirname(os.path.abspath(NURA))
MAKE_RECORDING = os.path.join(BUILD, "make_recording")
FW, FH, RW, RH = 480, 272, 320, 180


def make(path, rear, start):
    size = f"{RW}x{RH}" if rear else f"{FW}x{FH}"
    subprocess.run([MAKE_RECORDING, path, "--seconds", "6", "--start", start, "--size", size, "--fps",
                    "25" if rear else "30", "--frame-numbers"] + (["--rear"] if rear else []), check=True)


def frames(path, w, h):
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-fps_mode", "passthrough", "-f", "rawvideo",
                          "-pix_fmt", "gray", "-"],
                         capture_output=True, check=True).stdout
    return [raw[i:i + w * h] for i in range(0, len(raw) - w * h + 1, w * h)]


def number(frame, w, x0, y, width, mirrored=False):
    n = 0
    for k in range(12):
        b = 11 - k if mirrored else k
        if frame[y * w + x0 + int((b + 0.5) * width / 12)] > 128:
            n |= 1 << k
    return n


def probe(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_type,width,height:format=duration",
                        "-of", "default=nw=1", path], capture_output=True, text=True)
    return r.stdout


def run(*args):
    return subprocess.run([NURA, "clip", *args], capture_output=True, text=True)


def pattern(path, size, seconds=1, rate=25):
    """A recording made by the ffmpeg program in 4:4:4, which allows odd and one-pixel sizes."""
    w, h = size.split("x")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"testsrc2=size=64x64:rate={rate}:duration={seconds},format=yuv444p,scale={w}:{h}",
                    "-c:v", "libx264", "-preset", "ultrafast", "-f", "mp4", path], check=True)


def every_layout_fits_every_picture(tmp):
    """Tall, odd-sized and one-pixel pictures in every layout: each is drawn inside the picture (a tall
    rear inset once ran 377 rows into a picture of 180 and broke the helper's heap)."""
    for front, rear in (("320x180", "180x640"), ("181x641", "321x181"), ("1x1", "1x3"), ("3x1", "1x1")):
        folder = os.path.join(tmp, f"fit_{front}_{rear}")
        os.mkdir(folder)
        f = os.path.join(folder, "alwa_20230115_083000_F.MP4")
        pattern(f, front)
        pattern(os.path.join(folder, "alwa_20230115_083000_R.MP4"), rear)
        for layout in ("pip", "side", "front", "rear"):
            out = os.path.join(folder, f"{layout}.mp4")
            r = run(f, "--start", "0", "--end", "0.5", "--layout", layout, "--corner", "tl", "--no-gpx", "-o", out)
            e = subprocess.run(["ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"], capture_output=True,
                               text=True) if r.returncode == 0 else None
            check(r.returncode == 0 and e.stderr == "",
                  f"front {front}, rear {rear}, {layout}: a clean clip, got {r.returncode} {r.stderr}")


def paths_with_any_bytes(tmp, f1, r1):
    """A folder and an output named with a line end, a tab, a backslash, a quote, a leading dash and
    bytes that are not UTF-8: the clip is made of those very files and lands at that very name, and
    nothing is written anywhere else (such a name once rewrote the helper's plan)."""
    odd = os.path.join(os.fsencode(tmp), b"-nl 0\nout \t\\\"q\xe9\xff")
    os.mkdir(odd)
    front = os.path.join(odd, b"alwa_20230115_083000_F.MP4")
    shutil.copy(f1, front)
    shutil.copy(r1, os.path.join(odd, b"alwa_20230115_083000_R.MP4"))
    out = os.path.join(odd, b"-clip\n\"\xfe.mp4")
    root = set(os.listdir(b"/"))
    r = subprocess.run([NURA, b"clip", front, b"--start", b"1", b"--end", b"2", b"-o", out], capture_output=True)
    e = subprocess.run(["ffmpeg", "-v", "error", "-i", b"file:" + out, "-f", "null", "-"], capture_output=True)
    check(r.returncode == 0 and os.path.getsize(out) > 0 and e.returncode == 0 and e.stderr == b"",
          f"a clip of files with any bytes in their names: {r.returncode} {r.stderr!r} {e.stderr[:200]!r}")
    check(sorted(os.listdir(odd)) == sorted([b"alwa_20230115_083000_F.MP4", b"alwa_20230115_083000_R.MP4",
                                             b"-clip\n\"\xfe.mp4", b"-clip\n\"\xfe.gpx"]),
          f"only the clip and its GPX are added: {os.listdir(odd)}")
    check(set(os.listdir(b"/")) == root, "nothing is written at the root")


def a_clip_that_is_not_one_is_never_put_in_place(tmp, f1):
    """A helper that says it is done but left its file empty, or wrote what does not decode: nura says
    so, exits 1, and neither the clip nor a temporary file appears."""
    fake = os.path.join(tmp, "fake")
    os.mkdir(fake)
    shutil.copy(NURA, fake)
    helper = os.path.join(fake, "nura-media")
    with open(helper, "w") as script:
        script.write(f"""#!/bin/sh
if [ "$1" = decode-check ]; then exec "{os.path.join(BUILD, 'nura-media')}" "$@"; fi
while IFS= read -r line; do
    case "$line" in out\ *) out=$(printf '%s' "$line" | sed 's/^out "\\(.*\\)"$/\\1/');; end) break;; esac
done
if [ "$MODE" = garbage ]; then printf 'not a video' > "$out"; fi
exit 0
""")
    os.chmod(helper, 0o755)
    for mode, reason in (("empty", "empty"), ("garbage", "does not decode")):
        target = os.path.join(fake, f"{mode}.mp4")
        r = subprocess.run([os.path.join(fake, "nura"), "clip", f1, "--start", "0", "--end", "1", "-o", target],
                           capture_output=True, text=True, env=dict(os.environ, MODE=mode))
        check(r.returncode == 1 and reason in r.stderr and not os.path.exists(target),
              f"a helper's {mode} file is not a clip: {r.returncode} {r.stderr}")
    check(sorted(os.listdir(fake)) == ["nura", "nura-media"], f"nothing is left behind: {os.listdir(fake)}")


def children(pid):
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            if entry.isdigit() and int(fields[1]) == pid:
                found.append(int(entry))
        except OSError:
            pass
    return found


def running(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def the_helper_ends_with_nura(tmp, f1):
    """nura killed outright mid-clip: its helper stops encoding and removes the temporary file."""
    folder = os.path.join(tmp, "killed")
    os.mkdir(folder)
    p = subprocess.Popen([NURA, "clip", f1, "--start", "0", "--end", "11.9", "--no-gpx", "-o",
                          os.path.join(folder, "k.mp4")], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    def encoding():  # the helper has written the start of the clip
        try:
            return any(os.path.getsize(os.path.join(folder, n)) > 0 for n in os.listdir(folder))
        except OSError:
            return False

    helpers = []
    while p.poll() is None and not (helpers and encoding()):
        helpers = children(p.pid)
        time.sleep(0.005)
    p.kill()
    p.wait()
    check(len(helpers) == 1, f"the clip runs in one helper: {helpers}")
    deadline = time.monotonic() + 60
    while helpers and running(helpers[0]) and time.monotonic() < deadline:
        time.sleep(0.01)
    check(helpers and not running(helpers[0]), "the helper has ended")
    check(os.listdir(folder) == [], f"its temporary file is gone: {os.listdir(folder)}")


def no_frozen_rear_where_there_is_none(tmp):
    """A rear chain with a hole (the middle rear file missing) and a last rear shorter than its front,
    side by side: every rear picture is the rear frame at or before the front's moment, found by name
    time, and where no rear recording covers the moment the rear half is black, never a frozen frame."""
    folder = os.path.join(tmp, "hole")
    os.mkdir(folder)
    for k, start in enumerate(("083000", "083006", "083012")):
        f = os.path.join(folder, f"alwa_20230115_{start}_F.MP4")
        make(f, False, "20230115_" + start)
        if k != 1:
            rear = os.path.join(folder, f"alwa_20230115_{start}_R.MP4")
            subprocess.run([MAKE_RECORDING, rear, "--seconds", "6" if k == 0 else "3", "--start", "20230115_" + start,
                            "--size", f"{RW}x{RH}", "--fps", "25", "--frame-numbers", "--rear"], check=True)
    out = os.path.join(folder, "side.mp4")
    r = run(os.path.join(folder, "alwa_20230115_083000_F.MP4"), "--start", "4", "--end", "17", "--layout", "side",
            "--no-overlay", "--no-gpx", "-o", out)
    check(r.returncode == 0, f"a clip across a hole in the rear chain: {r.stderr}")
    w, h = FW, FH // 2
    piece, last, wrong, seen = 0, None, [], 0
    for fr in frames(out, w, h):
        f = number(fr, w, 0, h // 2, w // 2)
        if last is not None and f < last:
            piece += 1
        last = f
        t = 6 * piece + f / 30  # on the first front recording's timeline
        covered = t < 6 or 12 <= t < 15
        if covered:
            want = (f * 25) // 30
            got = number(fr, w, w // 2, h // 2, w // 2)
        else:
            want, got = "black", "black" if max(fr[y * w + x] for y in range(0, h, 4)
                                                for x in range(w // 2, w, 4)) < 40 else "a picture"
        seen += 1
        if got != want:
            wrong.append((round(t, 3), want, got))
    check(seen == 13 * 30 + 1 and not wrong, f"{seen} frames; the rear where it exists, black where not: {wrong[:6]}")


def sound_seconds(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a", "-show_entries", "stream=duration",
                        "-of", "csv=p=0", path], capture_output=True, text=True)
    return float(r.stdout.strip() or 0)


def one_camera_shown_keeps_the_chosen_sound(snd, silent_front):
    """The layout that shows one camera still copies the other camera's sound when it is the one
    chosen (or the only one there): a rear alone with the front's sound, a front alone with the rear's."""
    loud = os.path.join(snd, "loud")
    os.mkdir(loud)
    lf = os.path.join(loud, "alwa_20230115_083000_F.MP4")
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x180:rate=30:duration=4", "-f",
                    "lavfi", "-i", "sine=duration=4", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                    "-shortest", "-f", "mp4", lf], check=True)
    pattern(os.path.join(loud, "alwa_20230115_083000_R.MP4"), "160x90", seconds=4)
    for source, layout, choice in ((lf, "rear", None), (lf, "rear", "front"), (silent_front, "front", "rear"),
                                   (silent_front, "front", None)):
        target = os.path.join(snd, f"alone_{layout}_{choice}.mp4")
        r = run(source, "--start", "1", "--end", "3", "--layout", layout, "--no-gpx", "-o", target,
                *(["--audio", choice] if choice else []))
        check(r.returncode == 0 and probe(target).count("codec_type=") == 2 and abs(sound_seconds(target) - 2) < 0.1,
              f"--layout {layout} --audio {choice}: the sound of the span: {probe(target)} {r.stderr}")


def gpx_fixes_by_their_time(tmp):
    """The GPX beside a clip of 08.5 s to 11.5 s holds the fixes of 09, 10 and 11 s: the generated
    drive's receiver gives its fix of second s in the records of s, and its clock is the name's."""
    folder = os.path.join(tmp, "gpx")
    os.mkdir(folder)
    f = os.path.join(folder, "alwa_20230115_083000_F.MP4")
    subprocess.run([MAKE_RECORDING, f, "--seconds", "12", "--size", "320x180"], check=True)
    out = os.path.join(folder, "c.mp4")
    r = run(f, "--start", "8.5", "--end", "11.5", "--layout", "front", "-o", out)
    times = re.findall(r"<time>([^<]*)</time>", open(os.path.join(folder, "c.gpx")).read()) if r.returncode == 0 else []
    check(times == [f"2023-01-15T08:30:{s}.000Z" for s in ("09", "10", "11")], f"the span's fixes: {times} {r.stderr}")


def main():
    tmp = tempfile.mkdtemp(prefix="nura-clip2-")
    atexit.register(shutil.rmtree, tmp, True)  # finish() leaves through sys.exit
    f1 = os.path.join(tmp, "alwa_20230115_083000_F.MP4")
    r1 = os.path.join(tmp, "alwa_20230115_083000_R.MP4")
    f2 = os.path.join(tmp, "alwa_20230115_083006_F.MP4")
    r2 = os.path.join(tmp, "alwa_20230115_083006_R.MP4")
    make(f1, False, "20230115_083000")
    make(r1, True, "20230115_083000")
    make(f2, False, "20230115_083006")
    make(r2, True, "20230115_083006")
    every_layout_fits_every_picture(tmp)
    paths_with_any_bytes(tmp, f1, r1)
    a_clip_that_is_not_one_is_never_put_in_place(tmp, f1)
    the_helper_ends_with_nura(tmp, f1)
    no_frozen_rear_where_there_is_none(tmp)
    gpx_fixes_by_their_time(tmp)

    # Picture in picture, top left, across the joint at 6 s; no band, so the numbers are whole.
    out = os.path.join(tmp, "pip.mp4")
    r = run(f1, "--start", "4", "--end", "8", "--corner", "tl", "--no-overlay", "-o", out)
    check(r.returncode == 0, f"a pip clip across the joint exits 0: {r.returncode} {r.stderr}")
    iw, margin = 160, 8
    seen = []
    for fr in frames(out, FW, FH):
        front = number(fr, FW, 0, int(FH * 0.7), FW)
        rear = number(fr, FW, margin, margin + 45, iw)
        seen.append((front, rear))
    # Front frame k of a recording is at k/30 s; the rear frame shown is the last at or before it.
    want_front = list(range(120, 180)) + list(range(0, 61))
    check([f for f, _ in seen] == want_front,
          f"every front frame of 4 s to 8 s once, across the joint: {[f for f, _ in seen][:5]}... {len(seen)}")
    wrong = [(f, r) for f, r in seen if r != (f * 25) // 30]
    check(not wrong, f"the rear frame is the last at or before the front's moment: {wrong[:5]}")
    check("width=480\nheight=272" in probe(out) and probe(out).count("codec_type=") == 1,
          f"one video stream of the front's size: {probe(out)}")
    duration = float(probe(out).split("duration=")[1].split()[0])
    check(abs(duration - 4.0) <= 1 / 30 + 1e-3, f"the duration is the span within a frame: {duration}")
    e = subprocess.run(["ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"], capture_output=True, text=True)
    check(e.stderr == "", f"the clip decodes without a word: {e.stderr[:200]}")
    boxes = top_level(out)
    check("moov" in boxes and "mdat" in boxes and boxes.index("moov") < boxes.index("mdat"),
          f"the index comes before the media data: {boxes}")
    check(os.path.exists(os.path.join(tmp, "pip.gpx")) and "<trkpt" in open(os.path.join(tmp, "pip.gpx")).read(),
          "a GPX of the clip's fixes lies beside it")

    # Mirrored rear, bottom right by default, with the band: the band changes only the bottom rows.
    plain = os.path.join(tmp, "plain.mp4")
    banded = os.path.join(tmp, "banded.mp4")
    r = run(f1, "--start", "1", "--end", "2", "--no-overlay", "--mirror-rear", "--no-gpx", "-o", plain)
    r2_ = run(f1, "--start", "1", "--end", "2", "--corner", "tl", "--no-gpx", "-o", banded)
    plain_tl = os.path.join(tmp, "plain_tl.mp4")
    run(f1, "--start", "1", "--end", "2", "--corner", "tl", "--no-overlay", "--no-gpx", "-o", plain_tl)
    check(r.returncode == 0 and r2_.returncode == 0, f"clips with and without the band: {r.stderr}{r2_.stderr}")
    check(not os.path.exists(os.path.join(tmp, "plain.gpx")), "--no-gpx writes no GPX")
    a, b = frames(plain_tl, FW, FH)[10], frames(banded, FW, FH)[10]
    band_top = FH - 30  # even(272 * 0.11)
    # Rows whose mean difference stands above the two encodes' own noise.
    changed = [y for y in range(FH) if sum(abs(a[y * FW + x] - b[y * FW + x]) for x in range(FW)) / FW > 6]
    check(changed and min(changed) >= band_top - 2,
          f"the band covers only the bottom rows: first changed row {min(changed) if changed else None}")
    dark = sum(b[(FH - 15) * FW + x] for x in range(FW)) / FW < sum(a[(FH - 15) * FW + x] for x in range(FW)) / FW
    check(dark, "the band darkens the picture under it")
    ih = 90
    y = FH - ih - margin + ih // 2
    fr = frames(plain, FW, FH)[0]
    check(number(fr, FW, FW - iw - margin, y, iw, mirrored=True) == (30 * 25) // 30,
          "the mirrored rear inset reads back from the right")

    # Side by side: half the front's width each.
    side = os.path.join(tmp, "side.mp4")
    r = run(r1, "--start", "0", "--end", "1", "--layout", "side", "--no-gpx", "-o", side)
    check(r.returncode == 0 and "width=480\nheight=136" in probe(side), f"side by side: {probe(side)} {r.stderr}")
    rear_only = os.path.join(tmp, "rear.mp4")
    r = run(f1, "--start", "0", "--end", "1", "--layout", "rear", "--no-gpx", "-o", rear_only)
    check(r.returncode == 0 and "width=320\nheight=180" in probe(rear_only), f"the rear alone: {probe(rear_only)}")

    # Sound: made here by the ffmpeg program (a rear camera with AAC sound, a silent front). The default
    # takes the camera that has sound, an explicit choice of a silent camera or none gives no sound.
    snd = os.path.join(tmp, "sound")
    os.mkdir(snd)
    sf, sr = os.path.join(snd, "alwa_20230115_083000_F.MP4"), os.path.join(snd, "alwa_20230115_083000_R.MP4")
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x180:rate=30:duration=4",
                    "-c:v", "libx264", "-preset", "ultrafast", "-f", "mp4", sf], check=True)
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "smptebars=size=160x90:rate=25:duration=4", "-f",
                    "lavfi", "-i", "sine=duration=4", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                    "-shortest", "-f", "mp4", sr], check=True)
    cam = os.path.join(snd, "camera")
    os.mkdir(cam)
    cf = os.path.join(cam, "alwa_20230115_083000_F.MP4")
    subprocess.run([MAKE_RECORDING, cf, "--seconds", "3", "--size", "320x180", "--audio"], check=True)
    r = run(cf, "--start", "0.5", "--end", "2", "--layout", "front", "--no-gpx", "-o", os.path.join(cam, "c.mp4"))
    check(r.returncode == 0 and probe(os.path.join(cam, "c.mp4")).count("codec_type=") == 2,
          f"the camera's own sound track is taken by default: {r.stderr}")
    for choice, streams in ((None, 2), ("rear", 2), ("front", 1), ("none", 1)):
        target = os.path.join(snd, f"{choice}.mp4")
        r = run(sf, "--start", "1", "--end", "3", "--no-gpx", "-o", target, *(["--audio", choice] if choice else []))
        got = probe(target).count("codec_type=")
        check(r.returncode == 0 and got == streams, f"sound {choice}: {streams} streams, got {got} {r.stderr}")
    check(abs(sound_seconds(os.path.join(snd, "None.mp4")) - 2.0) < 0.1, "the sound covers the span")
    one_camera_shown_keeps_the_chosen_sound(snd, sf)

    # Refusals: a missing partner, an existing output, bad values. Nothing is left behind.
    lone = os.path.join(tmp, "lone")
    os.mkdir(lone)
    shutil.copy(f1, lone)
    r = run(os.path.join(lone, os.path.basename(f1)), "--start", "0", "--end", "1", "-o", os.path.join(lone, "x.mp4"))
    check(r.returncode == 2 and "rear" in r.stderr, f"pip without a rear file: exit 2 naming it: {r.stderr}")
    r = run(os.path.join(lone, os.path.basename(f1)), "--start", "0", "--end", "1", "--layout", "front",
            "-o", os.path.join(lone, "x.mp4"))
    check(r.returncode == 0, f"the front alone needs no partner: {r.stderr}")
    r = run(f1, "--start", "0", "--end", "1", "-o", out)
    check(r.returncode == 1, "an existing output is refused")
    # No output replaces a recording the clip reads, from either camera's chain, by name or by link,
    # even with --force: exit 1 before any work (as the lossless cut and the repair), the recording as it was.
    hard = os.path.join(tmp, "hard.mp4")
    os.link(f2, hard)
    soft = os.path.join(tmp, "soft.mp4")
    os.symlink(r1, soft)
    for target, what in ((r1, "the partner"), (r2, "the rear of the next recording"), (hard, "a hard link"),
                         (soft, "a link")):
        before = open(target, "rb").read()
        r = run(f1, "--start", "4", "--end", "8", "-o", target, "--force")
        check(r.returncode == 1 and "never replaced" in r.stderr and open(target, "rb").read() == before
              and os.path.islink(soft), f"{what} as the output is refused: {r.returncode} {r.stderr}")
    r = run(f1, "--start", "1", "--end", "inf", "-o", os.path.join(tmp, "y.mp4"))
    check(r.returncode == 64 and "--end must be a number" in r.stderr, f"an endless end is named: {r.stderr}")
    # A FIFO or a folder as the output is not a file to write (exit 2), with or without --force.
    fifo = os.path.join(tmp, "fifo.mp4")
    os.mkfifo(fifo)
    for target, force in ((fifo, []), (fifo, ["--force"]), (lone, []), (lone, ["--force"])):
        r = run(f1, "--start", "0", "--end", "1", "--no-gpx", "-o", target, *force)
        check(r.returncode == 2 and target in r.stderr, f"{target} {force} as the output: exit 2: {r.stderr}")
    # A following recording cut short inside the span: refused, the target untouched.
    keep = open(out, "rb").read()
    data = open(r2, "rb").read()
    open(r2, "wb").write(data[:len(data) // 2])
    r = run(f1, "--start", "4", "--end", "8", "--force", "-o", out)
    check(r.returncode == 2 and "alwa_20230115_083006_R.MP4" in r.stderr,
          f"a recording cut short inside the span is refused by name: {r.returncode} {r.stderr}")
    check(open(out, "rb").read() == keep, "the target is untouched")
    open(r2, "wb").write(data)
    # A full disk part-way (a file-size limit, which the helper inherits) and Ctrl+C: the old target
    # stays and nothing is left beside it.
    def small_disk():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (20_000, 20_000))

    r = subprocess.run([NURA, "clip", f1, "--start", "0", "--end", "11", "--force", "--no-gpx", "-o", out],
                       capture_output=True, text=True, preexec_fn=small_disk)
    said = [line for line in r.stderr.splitlines() if line.startswith("nura clip: cannot write")]
    check(r.returncode == 1 and said and said[0].endswith("File too large") and open(out, "rb").read() == keep,
          f"a full disk: exit 1 with the reason, old target kept: {r.stderr}")
    p = subprocess.Popen([NURA, "clip", f1, "--start", "0", "--end", "11.9", "--force", "--no-gpx", "-o", out],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while p.poll() is None and not [n for n in os.listdir(tmp) if n.startswith(".")]:
        time.sleep(0.005)
    time.sleep(0.2)
    p.send_signal(signal.SIGINT)
    rc = p.wait()
    check(rc == -signal.SIGINT, f"Ctrl+C ends the clip with the interrupt's status: {rc}")
    check(open(out, "rb").read() == keep, "after Ctrl+C the old target is kept")
    check([n for n in os.listdir(tmp) if n.startswith(".")] == [], "no temporary file remains")
    finish()


if __name__ == "__main__":
    main()
