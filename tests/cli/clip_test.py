#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura clip --copy` on generated recordings (30 fps, a key frame each second): the video packets of the
clip against the source's (ffprobe -show_packets -show_data), its telemetry records against the source's
(read with struct), the joint into a following recording, and the refusals and failures, each leaving
nothing behind.

python3 clip_test.py /path/to/nura"""

import os
import signal
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from media import decode_errors, decoded, leftovers, recording, small_disk  # noqa: E402
from mp4boxes import telemetry_records, top_level  # noqa: E402

NURA = os.path.abspath(sys.argv[1])


def packets(path, kind="v"):
    """(pts, duration, flags, data) of every video packet, or (pts in seconds, data) of every sound packet."""
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", kind, "-show_packets", "-show_data", path],
                       capture_output=True, text=True, check=True)
    out = []
    for block in r.stdout.split("[PACKET]")[1:]:
        lines = block.splitlines()
        f = dict(line.split("=", 1) for line in lines if "=" in line and line[8:10] != ": ")
        data = "".join(line[10:49] for line in lines if line[8:10] == ": ")
        out.append((float(f["pts_time"]), data) if kind == "a" else (int(f["pts"]), int(f["duration"]), f["flags"], data))
    return out


def run(*args, **kw):
    return subprocess.run([NURA, "clip", *args], capture_output=True, text=True, **kw)


def setUpModule():
    global TMP, A, B, SRC_A, SRC_B, REC_A, REC_B
    TMP = tempfile.mkdtemp(prefix="nura-clip-")
    A = recording(os.path.join(TMP, "alwa_20230115_083000_F.MP4"), "--seconds", "6", "--start", "20230115_083000")
    B = recording(os.path.join(TMP, "alwa_20230115_083006_F.MP4"), "--seconds", "6", "--start", "20230115_083006")
    SRC_A, SRC_B = packets(A), packets(B)
    REC_A, REC_B = telemetry_records(A), telemetry_records(B)


def tearDownModule():
    shutil.rmtree(TMP, ignore_errors=True)


def folder(name):
    path = os.path.join(TMP, name)
    os.mkdir(path)
    return path


class Cuts(unittest.TestCase):
    def test_inside_one_recording_from_the_key_frame_before_the_start(self):
        # From the key frame at 2.0 s (before 2.5) to the frame at 4.0 s.
        out = os.path.join(folder("inside"), "cut.MP4")
        r = run(A, "--start", "2.5", "--end", "4.01", "--copy", "-o", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        got, want = packets(out), SRC_A[60:121]
        self.assertEqual(len(got), len(want), "frames 60 to 120 are copied")
        self.assertTrue(got[0][2].startswith("K"), "the clip begins with a key frame")
        self.assertEqual([(p[0] - got[0][0], p[1], p[3]) for p in got], [(p[0] - want[0][0], p[1], p[3]) for p in want],
                         "each packet equals the source's in bytes, pts and duration")
        self.assertEqual(top_level(out), ["ftyp", "mdat", "moov"], "the camera's layout")
        self.assertEqual(telemetry_records(out), REC_A[20:41], "the source's records of 2.0 to 4.1 s")
        self.assertEqual(decode_errors(out), "")

    def test_a_start_on_a_key_frame_keeps_it_and_an_end_on_a_frame_includes_it(self):
        out = os.path.join(folder("key"), "k.MP4")
        r = run(A, "--start", "1", "--end", "1.5", "--copy", "-o", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual([p[3] for p in packets(out)], [p[3] for p in SRC_A[30:46]])

    def test_across_the_joint_into_the_next_recording_seamlessly(self):
        out = os.path.join(folder("joint"), "joint.MP4")
        r = run(A, "--start", "4.2", "--end", "7.5", "--copy", "-o", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        got, want = packets(out), SRC_A[120:] + SRC_B[:46]
        self.assertEqual([(p[1], p[3]) for p in got], [(p[1], p[3]) for p in want],
                         "the frames of both recordings follow each other, none repeated or missing")
        self.assertTrue(all(got[i + 1][0] - got[i][0] == got[i][1] for i in range(len(got) - 1)),
                        "the pts run without a gap across the joint")
        self.assertEqual(telemetry_records(out), REC_A[40:] + REC_B[:16], "the telemetry runs on")
        # A recording made during the first one (an earlier clip named like an event) is passed over.
        event = os.path.join(TMP, "event_20230115_083002_F.MP4")
        run(A, "--start", "2", "--end", "3", "--copy", cwd=TMP)
        try:
            self.assertTrue(os.path.exists(event), "an event clip beside the recordings")
            r = run(A, "--start", "4.2", "--end", "7.5", "--copy", "--force", "-o", out)
            self.assertEqual(len(packets(out)), len(want), f"the joint is still found past it: {r.stderr}")
        finally:
            os.remove(event)

    def test_other_codec_settings_and_a_gap_end_the_chain(self):
        other = folder("other")
        c = recording(os.path.join(other, "alwa_20230115_083000_F.MP4"), "--seconds", "6", "--start",
                      "20230115_083000", "--placeholder-video")
        d = recording(os.path.join(other, "alwa_20230115_083006_F.MP4"), "--seconds", "6", "--start",
                      "20230115_083006", "--size", "640x360", "--placeholder-video")
        r = run(c, "--start", "1", "--end", "8", "--copy", "-o", os.path.join(other, "x.MP4"))
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertTrue("alwa_20230115_083006_F.MP4" in r.stderr and "codec" in r.stderr, r.stderr)
        r = run(c, "--start", "1", "--end", "5", "--copy", "-o", os.path.join(other, "y.MP4"))
        self.assertEqual(r.returncode, 0, "a clip that stays before it is made")
        # A gap of more than two seconds ends the clip at the recording's end.
        os.rename(d, os.path.join(other, "alwa_20230115_083009_F.MP4"))
        r = run(c, "--start", "5", "--end", "9", "--copy", "-o", os.path.join(other, "z.MP4"))
        self.assertEqual((r.returncode, len(packets(os.path.join(other, "z.MP4")))), (0, 30), r.stderr)
        self.assertEqual(leftovers(other), [])

    def test_named_after_its_first_frame_with_a_warning_when_it_pairs(self):
        cam = folder("cam")
        r = run(A, "--start", "2.5", "--end", "3", "--copy", cwd=cam)
        self.assertEqual((r.returncode, os.listdir(cam)), (0, ["event_20230115_083002_F.MP4"]))
        open(os.path.join(cam, "event_20230115_083002_R.MP4"), "wb").close()
        r = run(A, "--start", "2.5", "--end", "3", "--copy", "--force", cwd=cam)
        self.assertEqual(r.returncode, 0)
        self.assertIn("pairs with event_20230115_083002_R.MP4", r.stderr)

    def test_the_sound_of_the_span_is_kept_packet_for_packet(self):
        # The sound sits in the place of the movie's "free" box; the telemetry track stays the fifth child.
        snd = folder("sound")
        s = recording(os.path.join(snd, "alwa_20230115_083000_F.MP4"), "--seconds", "4", "--size", "320x180",
                      "--audio", "--start", "20230115_083000")
        cut = os.path.join(snd, "cut.MP4")
        r = run(s, "--start", "1", "--end", "2.5", "--copy", "-o", cut)
        src_audio, got_audio = [d for _, d in packets(s, "a")], [d for _, d in packets(cut, "a")]
        first = next((i for i, p in enumerate(src_audio) if p == got_audio[0]), None) if got_audio else None
        self.assertTrue(r.returncode == 0 and first is not None
                        and src_audio[first:first + len(got_audio)] == got_audio, r.stderr)
        self.assertLess(abs(len(got_audio) * 1024 / 48000 - 1.533), 0.05, "the sound covers the span")
        r = subprocess.run([NURA, "telemetry", cut], capture_output=True, text=True)
        self.assertTrue(r.returncode == 0 and "records: 16" in r.stdout, r.stdout)

    def test_never_replaces_a_recording_it_reads(self):
        """The next recording of the chain as the output, by its name, a link or a hard link: refused
        before any work with or without --force, and left as it was."""
        keep = open(B, "rb").read()
        link, hard = os.path.join(TMP, "to-next.MP4"), os.path.join(TMP, "same-next.MP4")
        os.symlink(B, link)
        os.link(B, hard)
        for out in (B, link, hard):
            for force in ([], ["--force"]):
                with self.subTest(f"{os.path.basename(out)} {force}"):
                    r = run(A, "--copy", "--start", "5", "--end", "7.5", "-o", out, *force)
                    self.assertTrue(r.returncode == 1 and os.path.basename(B) in r.stderr, r.stderr)
        self.assertEqual(open(B, "rb").read(), keep, "the next recording is byte for byte as it was")
        self.assertTrue(os.path.islink(link), "the link is left in place")
        self.assertEqual(leftovers(TMP), [])
        os.remove(link)
        os.remove(hard)

    def test_sound_stays_with_the_pictures_across_joints(self):
        """Five 4 s recordings whose sound runs 11 ms longer than their video each: in a cut across all
        four joints every recording's sound starts within one sound frame of its pictures, and so does the
        sound's end; the first sound packet sits within a frame of the first picture."""
        drift = folder("drift")
        names = [os.path.join(drift, f"alwa_20230115_0830{4 * i:02d}_F.MP4") for i in range(5)]
        recording(names[0], "--seconds", "4", "--size", "160x90", "--audio", "--start", "20230115_083000")
        for n in names[1:]:
            os.link(names[0], n)
        frame = 1024 / 48000
        src = [d for _, d in packets(names[0], "a")]
        self.assertTrue(len(src) * frame > 4.005, f"the sound runs longer than the video: {len(src) * frame:.4f} s")
        self.assertTrue(len(set(src)) == len(src), "each sound packet of the source can be told from the others")
        out = os.path.join(drift, "cut.MP4")
        r = run(names[0], "--copy", "--start", "1.3", "--end", "19.99", "-o", out)
        self.assertTrue(r.returncode == 0, f"the cut is made: {r.stderr}")
        video = packets(out)
        scale = 30000
        first_video, last_video = video[0][0] / scale, (video[-1][0] + video[-1][1]) / scale
        sound = packets(out, "a")
        self.assertTrue(abs(sound[0][0] - first_video) <= frame, f"first sound packet at {sound[0][0]:.4f} s, picture at {first_video}")
        # Where each run of one recording's sound puts that recording's start, against where its
        # pictures start (the cut begins at the key frame at 1.0 s).
        starts = []
        for pts, data in sound:
            start = pts - src.index(data) * frame
            if not starts or abs(start - starts[-1]) > 1e-4:
                starts.append(start)
        want = [4.0 * i - 1.0 for i in range(5)]
        self.assertTrue(len(starts) == 5, f"one run of sound for each recording: {[round(s, 4) for s in starts]}")
        for i, (got, w) in enumerate(zip(starts, want)):
            self.assertTrue(abs(got - w) <= frame, f"recording {i}'s sound starts {1000 * (got - w):+.1f} ms off its pictures")
        end = sound[-1][0] + frame
        self.assertTrue(abs(end - last_video) <= frame, f"the sound ends {1000 * (end - last_video):+.1f} ms off the pictures")
        self.assertEqual(decode_errors(out), "", "the cut decodes without a word")

    def test_reordered_frames_keep_their_order(self):
        """A file of another encoder with B-frames and a key frame every 2 s: the cut shows the source's
        pictures of its span in their order, with no timestamp ffmpeg calls out of order, and is named for
        its first frame (2 s), not for the start asked (3.5 s)."""
        bframes = folder("bframes")
        src = os.path.join(bframes, "alwa_20230115_083000_F.MP4")
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=160x90:rate=30:duration=6",
                        "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=6", "-c:v", "libx264",
                        "-preset", "ultrafast", "-bf", "2", "-g", "60", "-keyint_min", "60", "-sc_threshold", "0",
                        "-c:a", "aac", "-shortest", src], check=True)
        r = run(src, "--copy", "--start", "3.5", "--end", "4.5", cwd=bframes)
        named = os.path.join(bframes, "event_20230115_083002_F.MP4")
        self.assertTrue(r.returncode == 0 and os.path.exists(named), f"named after its first frame: {r.stderr}")
        self.assertEqual(decode_errors(named, "warning"), "", "ffmpeg finds nothing out of order")
        got, _ = decoded(named)
        want, _ = decoded(src, "-ss", "2")  # from the key frame at 2.0 s
        self.assertTrue(len(got) >= 75 and got == want[:len(got)], f"the source's pictures from 2.0 s in their order: {len(got)}")
        pts = sorted(p[0] for p in packets(named))
        self.assertTrue(pts[0] == 0 and all(b - a == pts[1] - pts[0] for a, b in zip(pts, pts[1:])),
              "the pictures are shown one after another from 0, without a hole")


class Refusals(unittest.TestCase):
    def test_refusals_write_nothing_and_never_touch_the_input(self):
        existing = os.path.join(TMP, "existing.MP4")
        with open(existing, "wb") as f:
            f.write(b"an older clip")
        for args, status, what in [
            ([A, "--start", "3", "--end", "3"], 64, "start = end"),
            ([A, "--start", "-1", "--end", "3"], 64, "a negative start"),
            ([A, "--start", "7", "--end", "9"], 64, "a start past the recording"),
            ([A, "--start", "1", "--end", "3", "--layout", "grid"], 64, "a bad layout"),
            ([os.path.join(TMP, "missing_F.MP4"), "--start", "1", "--end", "3"], 1, "a missing file"),
            ([TMP, "--start", "1", "--end", "3"], 2, "a folder"),
            ([A, "--start", "1", "--end", "3", "-o", existing], 1, "an existing output"),
            ([A, "--start", "1", "--end", "3", "-o", A, "--force"], 1, "the output = the input, even forced"),
        ]:
            with self.subTest(what):
                extra = [] if "-o" in args else ["-o", os.path.join(TMP, "r.MP4")]
                r = run(*args, *extra, "--copy")
                self.assertEqual(r.returncode, status, r.stderr.strip())
        self.assertFalse(os.path.exists(os.path.join(TMP, "r.MP4")), "no refusal writes its output")
        with open(existing, "rb") as f:
            self.assertEqual(f.read(), b"an older clip")
        self.assertEqual(packets(A), SRC_A, "the input is never touched")
        os.remove(existing)

    def test_files_that_are_not_whole_recordings(self):
        bad = folder("bad")
        text = os.path.join(bad, "alwa_20230115_090000_F.MP4")
        open(text, "w").write("not a recording\n" * 100)
        r = run(text, "--start", "0", "--end", "1", "--copy", "-o", os.path.join(bad, "t.MP4"))
        self.assertEqual(r.returncode, 2, "a file that is not a recording")
        cut_short = os.path.join(bad, "alwa_20230115_090100_F.MP4")
        data = open(A, "rb").read()
        open(cut_short, "wb").write(data[:3_000_000] + data[-50_000:])
        r = run(cut_short, "--start", "0", "--end", "5", "--copy", "-o", os.path.join(bad, "t.MP4"))
        self.assertEqual(r.returncode, 2, "an index past the file's end")
        self.assertIn("truncated", r.stderr)


class Failures(unittest.TestCase):
    def test_a_full_disk_part_way_keeps_the_old_output(self):
        # A file-size limit stands in for the full disk.
        disk = folder("full")
        out = os.path.join(disk, "out.MP4")
        open(out, "wb").write(b"the old output")

        r = run(A, "--start", "0", "--end", "5", "--copy", "--force", "-o", out, preexec_fn=small_disk(1_000_000))
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("cannot write", r.stderr)
        self.assertEqual(open(out, "rb").read(), b"the old output")
        self.assertEqual(leftovers(disk), [])

    def test_ctrl_c_part_way_leaves_nothing(self):
        # Ten recordings joined; the process is stopped as soon as its temporary file appears, so that
        # the interrupt surely lands part-way.
        chain = folder("chain")
        for i in range(10):
            os.link(A if i % 2 == 0 else B,
                    os.path.join(chain, f"alwa_20230115_08{30 + i // 10:02d}{(i * 6) % 60:02d}_F.MP4"))
        target = os.path.join(chain, "c.MP4")
        p = subprocess.Popen([NURA, "clip", os.path.join(chain, "alwa_20230115_083000_F.MP4"), "--start", "0",
                              "--end", "59", "--copy", "-o", target], stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
        while p.poll() is None and not leftovers(chain):
            pass
        p.send_signal(signal.SIGSTOP)
        p.send_signal(signal.SIGINT)
        p.send_signal(signal.SIGCONT)
        _, err = p.communicate()
        self.assertEqual(p.returncode, -signal.SIGINT, err)
        self.assertFalse(os.path.exists(target))
        self.assertEqual(leftovers(chain), [])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
