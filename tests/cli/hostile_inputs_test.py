#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every subcommand that takes a file, against what a user's disk may hold in its place: a link, a FIFO,
/dev/zero, a folder, an empty file and a full file system. The statuses are those of the README's table. A
FIFO that were opened and waited on would run into the time limit of each run. A write failing at each
step is the safe writer's core test, which fails the very calls strace could.

python3 hostile_inputs_test.py /path/to/nura"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from commandline import DONE, CANNOT_ACCESS, NOT_OUR_FILE, outcome, read, write  # noqa: E402
from media import recording  # noqa: E402

NURA = os.path.abspath(sys.argv[1])
CLOCK = b"2024/03/05 14:07:09"


def run(*args, timeout=10):
    return outcome([NURA, *args], timeout=timeout)


def settings_record(fill):
    # cfg_ver 22310 and a marker byte everywhere else: any 500 bytes are a record to the tool.
    return struct.pack("<H", 22310) + bytes([fill]) * 498


def setUpModule():
    global TMP
    TMP = tempfile.mkdtemp()
    recording(path("alwa_20230115_083012_F.MP4"), "--placeholder-video", "--seconds", "3")
    write(path("config.bin"), settings_record(0x11))
    write(path("nura_000.drv"), struct.pack("<I8x", 2) + bytes(44 * 2))
    os.mkfifo(path("fifo"))
    os.mkdir(path("folder"))
    write(path("empty"), b"")


def tearDownModule():
    shutil.rmtree(TMP)


def path(name):
    return os.path.join(TMP, name)


class Readers(unittest.TestCase):
    def test_links_are_followed_and_other_files_refused_at_once(self):
        readers = {
            "telemetry": (["telemetry"], path("alwa_20230115_083012_F.MP4")),
            "config show": (["config", "show"], path("config.bin")),
            "config set": (["config", "set"], path("config.bin"), "aud_output_vol=1"),
            "drive": (["drive"], path("nura_000.drv")),
        }
        for name, (words, good, *rest) in readers.items():
            link = path("link-" + name.replace(" ", "-"))
            os.symlink(good, link)
            code, out, err = run(*words, link, *rest)
            self.assertEqual(code, DONE, f"{name} through a link: {err}")
            for hostile, status, word in ((path("fifo"), NOT_OUR_FILE, "not a regular file"),
                                          ("/dev/zero", NOT_OUR_FILE, "not a regular file"),
                                          (path("folder"), NOT_OUR_FILE, "not a regular file"),
                                          (path("empty"), NOT_OUR_FILE, "" if name == "telemetry" else "truncated"),
                                          (path("missing"), CANNOT_ACCESS, "cannot read")):
                with self.subTest(f"{name} {hostile}"):
                    code, out, err = run(*words, hostile, *rest)
                    self.assertEqual(code, status, err)
                    self.assertIn(word, err)
                    self.assertEqual(len(err.splitlines()), 1, f"one line, no log lines: {err!r}")
                    self.assertNotIn("Success", err)


class Writers(unittest.TestCase):
    def test_fifos_devices_and_folders_are_refused(self):
        # A link given as the target is replaced, not followed: the safe writer's test and config set's.
        writers = {
            "clock": lambda target: run("clock", target, "2024-03-05 14:07:09"),
            "config reset": lambda target: run("config", "reset", target),
        }
        for name, write_to in writers.items():
            for hostile in (path("fifo"), "/dev/null", path("folder")):
                with self.subTest(f"{name} {hostile}"):
                    code, out, err = write_to(hostile)
                    self.assertEqual(code, NOT_OUR_FILE, err)
                    self.assertIn("not a regular file", err)
        self.assertEqual(read("/dev/null"), b"")

    @unittest.skipIf(subprocess.run(["unshare", "-rm", "true"], capture_output=True).returncode != 0,
                     "unshare -rm is not allowed here; the full-disk case is left to the core tests")
    def test_a_full_file_system(self):
        # A small tmpfs of its own, in a private mount namespace. config.bin and the clock file are
        # rewritten in place there; a new file fails and leaves nothing beside.
        script = r'''
set -e
mount -t tmpfs -o size=16k tmpfs "$1"
cp "$2" "$1/config.bin"
printf '2020/01/01 00:00:00' > "$1/timeset.cfg"
dd if=/dev/zero of="$1/filler" bs=1k count=64 2>/dev/null || true
set +e
"$3" config set "$1/config.bin" aud_output_vol=1; echo "config=$?"
"$3" clock "$1/timeset.cfg" "2024-03-05 14:07:09"; echo "clock=$?"
"$3" config reset "$1/new.bin"; echo "newconfig=$?"
od -An -tx1 -j52 -N1 "$1/config.bin"
cat "$1/timeset.cfg"; echo
ls -A "$1"
'''
        os.mkdir(path("full"))
        p = subprocess.run(["unshare", "-rm", "sh", "-c", script, "sh", path("full"), path("config.bin"), NURA],
                           capture_output=True, text=True, timeout=60)
        out = p.stdout
        self.assertTrue("config=0" in out and "clock=0" in out, f"in place: {out} {p.stderr}")
        self.assertIn("\n 01\n", out, "config.bin rewritten in place")
        self.assertIn(CLOCK.decode(), out, "clock file rewritten in place")
        self.assertTrue("newconfig=1" in out and "No space left" in p.stderr, f"a new file: {out} {p.stderr}")
        self.assertTrue("nura-" not in out and "new.bin" not in out, f"nothing left beside: {out}")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=1)
