#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""nura config show/reset/set against real files. The defaults, the seal and each rule the settings window
applies are the settings core's unit tests; these show what the command makes of them.

python3 config_test.py /path/to/nura"""
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from commandline import DONE, CANNOT_ACCESS, NOT_OUR_FILE, USAGE, outcome, read, write  # noqa: E402

NURA = sys.argv[1]


def run(*args, **kwargs):
    return outcome([NURA, "config", *args], **kwargs)


def checksum(data):
    x = 0
    for off in range(4, 500, 4):
        x ^= struct.unpack_from("<H", data, off)[0]
    return x


class Config(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.card = os.path.join(self.tmp, "config.bin")
        self.env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.tmp, "data"))
        code, _, err = run("reset", self.card)
        self.assertEqual(code, DONE, f"reset of a missing file: {err}")

    def tearDown(self):
        leftovers = [n for n in os.listdir(self.tmp) if n.startswith(".")]
        shutil.rmtree(self.tmp)
        self.assertEqual(leftovers, [], "no temporary files left")

    def show_json(self, path=None):
        code, out, err = run("show", path or self.card, "--json")
        self.assertEqual(code, DONE, err)
        return json.loads(out)

    def assertRefused(self, status, *args, why=""):
        before = read(self.card)
        code, _, err = run(*args)
        self.assertEqual(code, status, f"{args}: {err}")
        self.assertTrue("nothing changed" in err and why in err, err)
        self.assertEqual(read(self.card), before, f"{args}: the file byte for byte")


class Show(Config):
    def test_reset_writes_a_sealed_record_of_zeroed_kept_fields(self):
        data = read(self.card)
        self.assertEqual(len(data), 500)
        self.assertEqual(struct.unpack_from("<H", data, 2)[0], checksum(data))
        doc = self.show_json()
        self.assertIs(doc["checksum_ok"], True)
        f = doc["fields"]
        self.assertEqual(len(f), 118)
        self.assertEqual((f["time_gmt"], f["Brightness1"]), (0, 0))
        self.assertEqual((f["wifi_password"], f["wifi_ssid"]), ("58205820", "NuraA"), "texts up to the first zero")
        self.assertEqual((f["ADAS_cameraHeight"], f["ADAS_SafeDistance"]), (1.35, 1.25), "floats as numbers")
        self.assertEqual(f["dummy00"], [0] * 8, "an array")

    def test_text_dump_lists_every_field_by_offset_name_type_and_value(self):
        code, out, _ = run("show", self.card)
        lines = out.splitlines()
        self.assertEqual((code, len(lines)), (DONE, 1 + 118 + 1))
        self.assertEqual([ln.split() for ln in lines if "ADAS_cameraHeight" in ln],
                         [["456", "ADAS_cameraHeight", "f32", "1.35"]])
        self.assertTrue(lines[-1].startswith("checksum ok"))

    def test_a_random_record_is_shown_and_edited(self):
        path = os.path.join(self.tmp, "random.bin")
        write(path, bytes(random.Random(7).getrandbits(8) for _ in range(500)))
        self.show_json(path)
        code, _, _ = run("set", path, "vid_hue=9")
        self.assertEqual((code, read(path)[84]), (DONE, 9))


class Set(Config):
    def test_changes_only_the_named_fields_and_the_seal(self):
        before = read(self.card)
        code, _, err = run("set", self.card, "time_gmt=20", "szPlateNumber=", "ADAS_Car=2", "LDW_width_L=0.75",
                           "wifi_ssid=MyCar1", "dummy00=1,2,3,4,5,6,7,8")
        self.assertEqual(code, DONE, err)
        after = read(self.card)
        doc = self.show_json()
        f = doc["fields"]
        self.assertEqual((f["time_gmt"], f["ADAS_Car"], f["LDW_width_L"]), (20, 2, 0.75))
        self.assertEqual((f["szPlateNumber"], f["osd_plate_flag"]), ("", 0), "an empty car number clears the flag")
        self.assertEqual((f["wifi_ssid"], f["dummy00"]), ("MyCar1", [1, 2, 3, 4, 5, 6, 7, 8]))
        changed = {i for i in range(500) if before[i] != after[i]}
        allowed = set(range(2, 4)) | set(range(156, 160)) | set(range(168, 172)) | set(range(256, 264)) | {396} \
            | set(range(432, 436)) | set(range(356, 372)) | set(range(464, 496))
        self.assertEqual(changed - allowed, set(), "bytes outside the named fields")
        self.assertIs(doc["checksum_ok"], True)

    def test_bad_assignments_and_values_the_window_refuses_change_nothing(self):
        # How the command applies the settings core's rules: all assignments or none, judged together.
        for bad, why in ((["nosuchfield=1"], ""), (["time_gmt"], ""), (["checksum=1"], ""),
                         (["vid_hue=3", "vid_hue=x"], ""), (["wifi_ssid=My Car"], "wifi_ssid"),
                         (["sd_mem_always_ratio=60"], "100 %")):
            with self.subTest(bad):
                self.assertRefused(USAGE, "set", self.card, *bad, why=why)
        code, _, err = run("set", self.card, "sd_mem_always_ratio=60", "sd_mem_event_ratio=20")
        self.assertEqual(code, DONE, f"shares moved together are stored: {err}")
        self.assertEqual(struct.unpack_from("<III", read(self.card), 8), (60, 20, 20))

    def test_raw_skips_the_window_checks_and_says_so(self):
        code, _, err = run("set", self.card, "wifi_ssid=My Car", "--raw", "cfg_ver=1", "sd_mem_always_ratio=0")
        self.assertEqual(code, DONE)
        self.assertIn("--raw", err)
        data = read(self.card)
        self.assertEqual((data[0:2], data[356:363], data[8:12]), (b"\x01\x00", b"My Car\0", bytes(4)))
        self.assertEqual(run("set", self.card, "--raw")[0], USAGE)

    def test_what_show_prints_set_takes_back_to_the_same_bytes(self):
        subprocess.run([NURA, "config", "set", self.card, "--raw", b"szPlateNumber=\xe9A\"B\\", b"wifi_ssid=\"q\""],
                       check=True, capture_output=True)
        before = read(self.card)
        self.assertEqual(before[256:262], b'\xe9A"B\\\0')
        _, out, _ = run("show", self.card)
        pairs = [ln.split(None, 3) for ln in out.splitlines()[1:-1]]
        text_args = [f"{name}={value}" for _, name, _, value in pairs if name not in ("checksum", "osd_plate_flag")]
        code, _, err = run("set", self.card, "--raw", *text_args)
        self.assertEqual((code, read(self.card)), (DONE, before), f"the text listing fed back: {err}")
        fields = self.show_json()["fields"]
        self.assertEqual(fields["szPlateNumber"], '"\\xE9A\\"B\\\\"', "JSON keeps bytes that are not UTF-8")
        json_args = [f"{k}={','.join(map(str, v)) if isinstance(v, list) else v}" for k, v in fields.items()
                     if k not in ("checksum", "osd_plate_flag")]
        code, _, err = run("set", self.card, "--raw", *json_args)
        self.assertEqual((code, read(self.card)), (DONE, before), f"the JSON listing fed back: {err}")
        for bad in ("dummy00=1,2,3,4,5,6,7,8,", 'szPlateNumber="\\q"'):
            with self.subTest(bad):
                self.assertRefused(USAGE, "set", self.card, "--raw", bad)

    def test_two_sets_at_once_never_lose_a_change(self):
        lost = []
        for i in range(30):
            hue, bright = (i * 7) % 200, (i * 11) % 200
            pair = [subprocess.Popen([NURA, "config", "set", self.card, "--raw", f"vid_hue={hue}"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL),
                    subprocess.Popen([NURA, "config", "set", self.card, "--raw", f"vid_brightness={bright}"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
            codes = [p.wait(timeout=60) for p in pair]
            f = self.show_json()["fields"]
            if codes != [0, 0] or f["vid_hue"] != hue or f["vid_brightness"] != bright:
                lost.append((i, codes, f["vid_hue"], f["vid_brightness"]))
        self.assertEqual(lost, [])

    def test_a_link_is_replaced_and_the_file_it_led_to_said_unchanged(self):
        link = os.path.join(self.tmp, "link.bin")
        os.symlink(self.card, link)
        before = read(self.card)
        code, _, err = run("set", link, "vid_hue=3")
        self.assertTrue(code == DONE and not os.path.islink(link) and read(link)[84] == 3, err)
        self.assertEqual(read(self.card), before)
        self.assertTrue(len(err.splitlines()) == 1 and self.card in err and "unchanged" in err, err)


class Refusals(Config):
    def test_files_that_are_not_a_record_are_never_changed(self):
        for size in (0, 499, 501):
            path = os.path.join(self.tmp, f"size{size}.bin")
            write(path, b"\x01" * size)
            for cmd in (["show", path], ["reset", path], ["set", path, "vid_hue=1"]):
                with self.subTest(f"{cmd[0]} of {size} bytes"):
                    code, _, err = run(*cmd)
                    self.assertEqual(code, NOT_OUR_FILE, err)
                    self.assertIn("not a 500-byte", err)
                    self.assertEqual("truncated" in err, size < 500, err)
            self.assertEqual(read(path), b"\x01" * size)

    def test_unwritable_places_and_usage(self):
        write(os.path.join(self.tmp, "plain"), b"x")  # even root cannot create a file below a regular file
        code, _, err = run("reset", os.path.join(self.tmp, "plain", "config.bin"))
        self.assertEqual(code, CANNOT_ACCESS)
        self.assertIn("cannot write", err)
        for cmd in ([], ["show"], ["frobnicate", self.card], ["reset"], ["set", self.card],
                    ["show", self.card, "--xml"]):
            with self.subTest(cmd):
                self.assertEqual(run(*cmd)[0], USAGE)

    def test_reset_force_keeps_the_damaged_bytes_but_never_takes_a_fifo_or_a_large_file(self):
        damaged = os.path.join(self.tmp, "damaged.bin")
        write(damaged, b"\x07" * 499)
        code, _, err = run("reset", damaged, env=self.env)
        self.assertEqual(code, NOT_OUR_FILE)
        self.assertIn("--force", err)
        code, _, err = run("reset", "--force", damaged, env=self.env)
        backups = os.path.join(self.tmp, "data", "nura-viewer", "backups")
        kept = sorted(os.listdir(backups))
        self.assertEqual((code, len(read(damaged))), (DONE, 500), err)
        self.assertEqual(len(kept), 1)
        self.assertEqual(read(os.path.join(backups, kept[0])), b"\x07" * 499)
        self.assertIn(kept[0], err)
        fifo = os.path.join(self.tmp, "fifo.bin")
        os.mkfifo(fifo)
        large = os.path.join(self.tmp, "large.bin")
        with open(large, "wb") as f:
            f.truncate(65 << 20)
        for path in (fifo, large):
            with self.subTest(path):
                code, _, err = run("reset", "--force", path, env=self.env)
                self.assertEqual(code, NOT_OUR_FILE, err)
                if path == large:
                    self.assertIn("too large", err)
        self.assertEqual((os.path.getsize(large), len(os.listdir(backups))), (65 << 20, 1))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
