#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura clip` re-encoded, on generated pairs whose pictures show their frame number (front 30 fps, rear
25 fps): each output frame is decoded and both numbers read, the rear one must be the last rear frame at
or before the front frame's moment, across a joint too. Then the output's format, the band's placement by
pixels, the sound, the GPX beside the clip, and the refusals and failures, each leaving nothing behind."""

import os
import re
import signal
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from commandline import read, write  # noqa: E402
from media import decode_errors, leftovers, recording, small_disk  # noqa: E402
from mp4boxes import top_level  # noqa: E402

NURA = sys.argv[1]
BUILD = os.path.dirname(os.path.abspath(NURA))
FW, FH, RW, RH = 480, 272, 320, 180
IW, IH, MARGIN = 160, 90, 8  # the rear inset of a pip clip


def make(path, rear, start, seconds=6):
    size = f"{RW}x{RH}" if rear else f"{FW}x{FH}"
    return recording(path, "--seconds", str(seconds), "--start", start, "--size", size, "--fps",
                     "25" if rear else "30", "--frame-numbers", *(["--rear"] if rear else []))


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


def streams(path):
    return probe(path).count("codec_type=")


def sound_seconds(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a", "-show_entries", "stream=duration",
                        "-of", "csv=p=0", path], capture_output=True, text=True)
    return float(r.stdout.strip() or 0)


def run(*args, **kwargs):
    return subprocess.run([NURA, "clip", *args], capture_output=True, text=True, **kwargs)


def ffmpeg(*args):
    subprocess.run(["ffmpeg", "-v", "error", "-y", *args], check=True)


def pattern(path, size, seconds=1, rate=25):
    """A recording made by the ffmpeg program in 4:4:4, which allows odd and one-pixel sizes."""
    w, h = size.split("x")
    ffmpeg("-f", "lavfi", "-i", f"testsrc2=size=64x64:rate={rate}:duration={seconds},format=yuv444p,scale={w}:{h}",
           "-c:v", "libx264", "-preset", "ultrafast", "-f", "mp4", path)


def with_sine(path, picture):
    ffmpeg("-f", "lavfi", "-i", picture, "-f", "lavfi", "-i", "sine=duration=4", "-c:v", "libx264", "-preset",
           "ultrafast", "-c:a", "aac", "-shortest", "-f", "mp4", path)


def folder(name):
    path = os.path.join(TMP, name)
    os.mkdir(path)
    return path


def setUpModule():
    global TMP, F1, R1, F2, R2
    TMP = tempfile.mkdtemp(prefix="nura-clip2-")
    F1, R1 = make(path("alwa_20230115_083000_F.MP4"), False, "20230115_083000"), \
        make(path("alwa_20230115_083000_R.MP4"), True, "20230115_083000")
    F2, R2 = make(path("alwa_20230115_083006_F.MP4"), False, "20230115_083006"), \
        make(path("alwa_20230115_083006_R.MP4"), True, "20230115_083006")


def tearDownModule():
    shutil.rmtree(TMP, ignore_errors=True)


def path(name):
    return os.path.join(TMP, name)


class Pictures(unittest.TestCase):
    def test_pip_across_the_joint_shows_each_front_frame_with_the_rear_before_it(self):
        # Top left, across the joint at 6 s; no band, so the numbers are whole.
        out = path("pip.mp4")
        r = run(F1, "--start", "4", "--end", "8", "--corner", "tl", "--no-overlay", "-o", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        seen = [(number(fr, FW, 0, int(FH * 0.7), FW), number(fr, FW, MARGIN, MARGIN + 45, IW))
                for fr in frames(out, FW, FH)]
        # Front frame k of a recording is at k/30 s; the rear frame shown is the last at or before it.
        self.assertEqual([f for f, _ in seen], list(range(120, 180)) + list(range(0, 61)),
                         "every front frame of 4 s to 8 s once, across the joint")
        self.assertEqual([(f, r) for f, r in seen if r != (f * 25) // 30], [], "the rear at or before the front")
        self.assertTrue("width=480\nheight=272" in probe(out) and streams(out) == 1, probe(out))
        duration = float(probe(out).split("duration=")[1].split()[0])
        self.assertLessEqual(abs(duration - 4.0), 1 / 30 + 1e-3, "the duration is the span within a frame")
        self.assertEqual(decode_errors(out), "")
        boxes = top_level(out)
        self.assertLess(boxes.index("moov"), boxes.index("mdat"), "the index comes before the media data")
        with open(path("pip.gpx")) as gpx:
            self.assertIn("<trkpt", gpx.read(), "a GPX of the clip's fixes lies beside it")

    def test_the_band_covers_only_the_bottom_rows_and_a_mirrored_rear_reads_from_the_right(self):
        plain, banded, plain_tl = path("plain.mp4"), path("banded.mp4"), path("plain_tl.mp4")
        for args, out in ((["--no-overlay", "--mirror-rear"], plain), (["--corner", "tl"], banded),
                          (["--corner", "tl", "--no-overlay"], plain_tl)):
            r = run(F1, "--start", "1", "--end", "2", "--no-gpx", "-o", out, *args)
            self.assertEqual(r.returncode, 0, r.stderr)
        self.assertFalse(os.path.exists(path("plain.gpx")), "--no-gpx writes no GPX")
        a, b = frames(plain_tl, FW, FH)[10], frames(banded, FW, FH)[10]
        band_top = FH - 30  # even(272 * 0.11)
        # Rows whose mean difference stands above the two encodes' own noise.
        changed = [y for y in range(FH) if sum(abs(a[y * FW + x] - b[y * FW + x]) for x in range(FW)) / FW > 6]
        self.assertTrue(changed and min(changed) >= band_top - 2, f"first changed row {changed[:1]}")
        row = (FH - 15) * FW
        self.assertLess(sum(b[row:row + FW]), sum(a[row:row + FW]), "the band darkens the picture under it")
        # Bottom right by default.
        fr = frames(plain, FW, FH)[0]
        self.assertEqual(number(fr, FW, FW - IW - MARGIN, FH - IH - MARGIN + IH // 2, IW, mirrored=True), 25)

    def test_side_by_side_and_the_rear_alone_have_their_sizes(self):
        for source, layout, size in ((R1, "side", "width=480\nheight=136"), (F1, "rear", "width=320\nheight=180")):
            with self.subTest(layout):
                out = path(f"{layout}.mp4")
                r = run(source, "--start", "0", "--end", "1", "--layout", layout, "--no-gpx", "-o", out)
                self.assertTrue(r.returncode == 0 and size in probe(out), f"{probe(out)} {r.stderr}")

    def test_every_layout_fits_every_picture(self):
        # A tall rear inset once ran 377 rows into a picture of 180 and broke the helper's heap.
        for front, rear in (("320x180", "180x640"), ("181x641", "321x181"), ("1x1", "1x3"), ("3x1", "1x1")):
            fit = folder(f"fit_{front}_{rear}")
            f = os.path.join(fit, "alwa_20230115_083000_F.MP4")
            pattern(f, front)
            pattern(os.path.join(fit, "alwa_20230115_083000_R.MP4"), rear)
            for layout in ("pip", "side", "front", "rear"):
                with self.subTest(f"front {front}, rear {rear}, {layout}"):
                    out = os.path.join(fit, f"{layout}.mp4")
                    r = run(f, "--start", "0", "--end", "0.5", "--layout", layout, "--corner", "tl", "--no-gpx",
                            "-o", out)
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertEqual(decode_errors(out), "")

    def test_no_frozen_rear_where_there_is_none(self):
        """A rear chain with a hole (the middle rear file missing) and a last rear shorter than its front,
        side by side: every rear picture is the rear frame at or before the front's moment, found by name
        time, and where no rear recording covers the moment the rear half is black, never a frozen frame."""
        hole = folder("hole")
        for k, start in enumerate(("083000", "083006", "083012")):
            make(os.path.join(hole, f"alwa_20230115_{start}_F.MP4"), False, "20230115_" + start)
            if k != 1:
                make(os.path.join(hole, f"alwa_20230115_{start}_R.MP4"), True, "20230115_" + start, 6 if k == 0 else 3)
        out = os.path.join(hole, "side.mp4")
        r = run(os.path.join(hole, "alwa_20230115_083000_F.MP4"), "--start", "4", "--end", "17", "--layout", "side",
                "--no-overlay", "--no-gpx", "-o", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        w, h = FW, FH // 2
        piece, last, wrong, seen = 0, None, [], 0
        for fr in frames(out, w, h):
            f = number(fr, w, 0, h // 2, w // 2)
            if last is not None and f < last:
                piece += 1
            last = f
            t = 6 * piece + f / 30  # on the first front recording's timeline
            if t < 6 or 12 <= t < 15:
                want, got = (f * 25) // 30, number(fr, w, w // 2, h // 2, w // 2)
            else:
                dark = max(fr[y * w + x] for y in range(0, h, 4) for x in range(w // 2, w, 4)) < 40
                want, got = "black", "black" if dark else "a picture"
            seen += 1
            if got != want:
                wrong.append((round(t, 3), want, got))
        self.assertEqual((seen, wrong[:6]), (13 * 30 + 1, []))


class Sound(unittest.TestCase):
    def test_the_camera_with_sound_unless_another_is_chosen_even_when_not_shown(self):
        # Made by the ffmpeg program: a silent front with a rear that has AAC sound, and the other way round.
        quiet, loud = folder("quiet"), folder("loud")
        silent = os.path.join(quiet, "alwa_20230115_083000_F.MP4")
        ffmpeg("-f", "lavfi", "-i", "testsrc2=size=320x180:rate=30:duration=4", "-c:v", "libx264", "-preset",
               "ultrafast", "-f", "mp4", silent)
        with_sine(os.path.join(quiet, "alwa_20230115_083000_R.MP4"), "smptebars=size=160x90:rate=25:duration=4")
        sounding = os.path.join(loud, "alwa_20230115_083000_F.MP4")
        with_sine(sounding, "testsrc2=size=320x180:rate=30:duration=4")
        pattern(os.path.join(loud, "alwa_20230115_083000_R.MP4"), "160x90", seconds=4)
        own = recording(path("own_sound_F.MP4"), "--seconds", "3", "--size", "320x180", "--audio")
        for source, layout, choice, want in (
                (own, "front", None, 2),  # the camera's own sound track
                (silent, "pip", None, 2),
                (silent, "pip", "front", 1), (silent, "pip", "none", 1),  # a silent camera or none: no sound
                # The camera not shown still gives its sound when it is chosen, or the only one there.
                (sounding, "rear", None, 2), (silent, "front", "rear", 2), (silent, "front", None, 2)):
            with self.subTest(f"{os.path.basename(os.path.dirname(source))} --layout {layout} --audio {choice}"):
                target = path(f"sound_{os.path.basename(source)}_{layout}_{choice}.mp4")
                r = run(source, "--start", "1", "--end", "2.5", "--layout", layout, "--no-gpx", "-o", target,
                        *(["--audio", choice] if choice else []))
                self.assertEqual((r.returncode, streams(target)), (0, want), r.stderr)
                if want == 2:
                    self.assertLess(abs(sound_seconds(target) - 1.5), 0.1, "the sound covers the span")


class Gpx(unittest.TestCase):
    def test_the_fixes_of_the_span_by_their_time(self):
        # The generated drive's receiver gives its fix of second s in the records of s, on the name's clock.
        gpx = folder("gpx")
        f = recording(os.path.join(gpx, "alwa_20230115_083000_F.MP4"), "--seconds", "12", "--size", "320x180")
        r = run(f, "--start", "8.5", "--end", "11.5", "--layout", "front", "-o", os.path.join(gpx, "c.mp4"))
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(os.path.join(gpx, "c.gpx")) as g:
            times = re.findall(r"<time>([^<]*)</time>", g.read())
        self.assertEqual(times, [f"2023-01-15T08:30:{s}.000Z" for s in ("09", "10", "11")])


class Refusals(unittest.TestCase):
    def test_a_missing_partner_an_existing_output_and_an_endless_end(self):
        lone = folder("lone")
        front = os.path.join(lone, os.path.basename(F1))
        shutil.copy(F1, front)
        r = run(front, "--start", "0", "--end", "1", "-o", os.path.join(lone, "x.mp4"))
        self.assertTrue(r.returncode == 2 and "rear" in r.stderr, f"pip without a rear file: {r.stderr}")
        r = run(front, "--start", "0", "--end", "1", "--layout", "front", "-o", os.path.join(lone, "x.mp4"))
        self.assertEqual(r.returncode, 0, f"the front alone needs no partner: {r.stderr}")
        self.assertEqual(run(F1, "--start", "0", "--end", "1", "-o", os.path.join(lone, "x.mp4")).returncode, 1,
                         "an existing output is refused")
        r = run(F1, "--start", "1", "--end", "inf", "-o", os.path.join(lone, "y.mp4"))
        self.assertTrue(r.returncode == 64 and "--end must be a number" in r.stderr, r.stderr)

    def test_never_replaces_a_recording_it_reads(self):
        # From either camera's chain, by name or by link, even with --force: exit 1 before any work.
        hard, soft = path("hard.mp4"), path("soft.mp4")
        os.link(F2, hard)
        os.symlink(R1, soft)
        for target, what in ((R1, "the partner"), (R2, "the rear of the next recording"), (hard, "a hard link"),
                             (soft, "a link")):
            with self.subTest(what):
                before = read(target)
                r = run(F1, "--start", "4", "--end", "8", "-o", target, "--force")
                self.assertTrue(r.returncode == 1 and "never replaced" in r.stderr, r.stderr)
                self.assertTrue(read(target) == before and os.path.islink(soft))

    def test_a_fifo_or_a_folder_is_not_an_output(self):
        fifo = path("fifo.mp4")
        os.mkfifo(fifo)
        for target in (fifo, folder("not-a-file")):
            for force in ([], ["--force"]):
                with self.subTest(f"{target} {force}"):
                    r = run(F1, "--start", "0", "--end", "1", "--no-gpx", "-o", target, *force)
                    self.assertTrue(r.returncode == 2 and target in r.stderr, r.stderr)

    def test_a_following_recording_cut_short_inside_the_span(self):
        cut = folder("cut")
        for source in (F1, R1, F2):
            os.link(source, os.path.join(cut, os.path.basename(source)))
        data = read(R2)
        write(os.path.join(cut, os.path.basename(R2)), data[:len(data) // 2])
        out = os.path.join(cut, "out.mp4")
        write(out, b"an older clip")
        r = run(os.path.join(cut, os.path.basename(F1)), "--start", "4", "--end", "8", "--force", "-o", out)
        self.assertTrue(r.returncode == 2 and "alwa_20230115_083006_R.MP4" in r.stderr, r.stderr)
        self.assertEqual(read(out), b"an older clip", "the target is untouched")

    def test_paths_with_any_bytes(self):
        """A folder and an output named with a line end, a tab, a backslash, a quote, a leading dash and
        bytes that are not UTF-8: the clip is made of those very files and lands at that very name, and
        nothing is written anywhere else (such a name once rewrote the helper's plan)."""
        odd = os.path.join(os.fsencode(TMP), b"-nl 0\nout \t\\\"q\xe9\xff")
        os.mkdir(odd)
        front = os.path.join(odd, b"alwa_20230115_083000_F.MP4")
        shutil.copy(F1, front)
        shutil.copy(R1, os.path.join(odd, b"alwa_20230115_083000_R.MP4"))
        out = os.path.join(odd, b"-clip\n\"\xfe.mp4")
        root = set(os.listdir(b"/"))
        r = subprocess.run([NURA, b"clip", front, b"--start", b"1", b"--end", b"2", b"-o", out], capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(decode_errors(b"file:" + out), "")
        self.assertEqual(sorted(os.listdir(odd)), sorted([b"alwa_20230115_083000_F.MP4", b"alwa_20230115_083000_R.MP4",
                                                          b"-clip\n\"\xfe.mp4", b"-clip\n\"\xfe.gpx"]))
        self.assertEqual(set(os.listdir(b"/")), root, "nothing is written at the root")


def children(pid):
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{entry}/stat") as f:
                if int(f.read().rsplit(")", 1)[1].split()[1]) == pid:
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


class Failures(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(dir=TMP)
        self.out = os.path.join(self.folder, "out.mp4")
        write(self.out, b"an older clip")

    def tearDown(self):
        self.assertEqual(read(self.out), b"an older clip", "the old target is kept")
        self.assertEqual(os.listdir(self.folder), ["out.mp4"], "nothing is left beside it")

    def test_a_helper_that_makes_no_clip_is_never_put_in_place(self):
        # A helper that says it is done but left its file empty, or wrote what does not decode.
        fake = folder("fake")
        shutil.copy(NURA, fake)
        helper = os.path.join(fake, "nura-media")
        with open(helper, "w") as script:
            script.write(f"""#!/bin/sh
if [ "$1" = decode-check ]; then exec "{os.path.join(BUILD, 'nura-media')}" "$@"; fi
while IFS= read -r line; do
    case "$line" in out\\ *) out=$(printf '%s' "$line" | sed 's/^out "\\(.*\\)"$/\\1/');; end) break;; esac
done
if [ "$MODE" = garbage ]; then printf 'not a video' > "$out"; fi
exit 0
""")
        os.chmod(helper, 0o755)
        for mode, reason in (("empty", "empty"), ("garbage", "does not decode")):
            with self.subTest(mode):
                r = subprocess.run([os.path.join(fake, "nura"), "clip", F1, "--start", "0", "--end", "1", "--force",
                                    "-o", self.out], capture_output=True, text=True, env=dict(os.environ, MODE=mode))
                self.assertTrue(r.returncode == 1 and reason in r.stderr, r.stderr)

    def test_a_full_disk_part_way(self):
        r = run(F1, "--start", "0", "--end", "11", "--force", "--no-gpx", "-o", self.out,
                preexec_fn=small_disk(20_000))
        said = [line for line in r.stderr.splitlines() if line.startswith("nura clip: cannot write")]
        self.assertTrue(r.returncode == 1 and said and said[0].endswith("File too large"), r.stderr)

    def test_ctrl_c(self):
        p = subprocess.Popen([NURA, "clip", F1, "--start", "0", "--end", "11.9", "--force", "--no-gpx", "-o",
                              self.out], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while p.poll() is None and not leftovers(self.folder):
            time.sleep(0.005)
        time.sleep(0.2)
        p.send_signal(signal.SIGINT)
        self.assertEqual(p.wait(), -signal.SIGINT, "the interrupt's status")

    def test_the_helper_ends_with_nura_killed_outright(self):
        os.remove(self.out)
        p = subprocess.Popen([NURA, "clip", F1, "--start", "0", "--end", "11.9", "--no-gpx", "-o", self.out],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def encoding():  # the helper has written the start of the clip
            try:
                return any(os.path.getsize(os.path.join(self.folder, n)) > 0 for n in os.listdir(self.folder))
            except OSError:
                return False

        helpers = []
        while p.poll() is None and not (helpers and encoding()):
            helpers = children(p.pid)
            time.sleep(0.005)
        p.kill()
        p.wait()
        self.assertEqual(len(helpers), 1, "the clip runs in one helper")
        deadline = time.monotonic() + 60
        while running(helpers[0]) and time.monotonic() < deadline:
            time.sleep(0.01)
        self.assertFalse(running(helpers[0]), "the helper has ended")
        self.assertEqual(os.listdir(self.folder), [], "its temporary file is gone")
        write(self.out, b"an older clip")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
