#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every subcommand that takes a file, against what a user's disk may hold in its place: a link, a FIFO,
/dev/zero, a folder, an empty file, a full file system and a write stopped at each step. The statuses are
those of the README's table; after each write the old file is whole or the new one complete.

python3 hostile_inputs_test.py /path/to/nura"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

NURA = os.path.abspath(sys.argv[1])
MAKE_RECORDING = os.path.join(os.path.dirname(NURA), "make_recording")
DONE, CANNOT_ACCESS, NOT_OUR_FILE = 0, 1, 2
CLOCK = b"2024/03/05 14:07:09"


def run(*args, timeout=10):
    start = time.monotonic()
    p = subprocess.run([NURA, *args], capture_output=True, timeout=timeout)
    return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace"), \
        time.monotonic() - start


def settings_record(fill):
    # cfg_ver 22310 and a marker byte everywhere else: any 500 bytes are a record to the tool.
    return struct.pack("<H", 22310) + bytes([fill]) * 498


def drive_file(records):
    return struct.pack("<I8x", records) + bytes(44 * records)


with tempfile.TemporaryDirectory() as tmp:
    def path(name):
        return os.path.join(tmp, name)

    recording = path("alwa_20230115_083012_F.MP4")
    subprocess.run([MAKE_RECORDING, recording, "--placeholder-video", "--seconds", "3"], check=True)
    with open(path("config.bin"), "wb") as f:
        f.write(settings_record(0x11))
    with open(path("nura_000.drv"), "wb") as f:
        f.write(drive_file(2))
    os.mkfifo(path("fifo"))
    os.mkdir(path("folder"))
    open(path("empty"), "wb").close()

    readers = {
        "telemetry": (["telemetry"], recording),
        "config show": (["config", "show"], path("config.bin")),
        "config set": (["config", "set"], path("config.bin"), "aud_output_vol=1"),
        "drive": (["drive"], path("nura_000.drv")),
    }
    for name, (words, good, *rest) in readers.items():
        # A link is followed to the file it names.
        link = path("link-" + name.replace(" ", "-"))
        os.symlink(good, link)
        code, out, err, _ = run(*words, link, *rest)
        check(code == DONE, f"{name} through a link: {code} {err}")

        for hostile, status, word in ((path("fifo"), NOT_OUR_FILE, "not a regular file"),
                                      ("/dev/zero", NOT_OUR_FILE, "not a regular file"),
                                      (path("folder"), NOT_OUR_FILE, "not a regular file"),
                                      (path("empty"), NOT_OUR_FILE, "" if name == "telemetry" else "truncated"),
                                      (path("missing"), CANNOT_ACCESS, "cannot read")):
            code, out, err, seconds = run(*words, hostile, *rest)
            check(code == status and word in err, f"{name} {hostile}: {code} {err!r}")
            check(seconds < 1.0, f"{name} {hostile}: returned after {seconds:.2f} s")
            check(len(err.splitlines()) == 1, f"{name} {hostile}: one line, no log lines: {err!r}")
            check("Success" not in err, f"{name} {hostile}: no 'Success' in a failure: {err!r}")

    # Writers: the clock file and config.bin. A link at the target is replaced, never written through;
    # anything but a regular file is refused before a byte is written.
    writers = {
        "clock": (lambda target: run("clock", target, "2024-03-05 14:07:09"), b"someone else's file"),
        "config reset": (lambda target: run("config", "reset", target), settings_record(0x22)),
    }
    for name, (write, precious) in writers.items():
        with open(path("precious"), "wb") as f:
            f.write(precious)
        link = path("wlink")
        os.symlink(path("precious"), link)
        code, out, err, _ = write(link)
        check(code == DONE and not os.path.islink(link), f"{name} over a link: {code} {err}")
        check(open(path("precious"), "rb").read() == precious, f"{name}: link target untouched")
        os.unlink(link)
        for hostile in (path("fifo"), "/dev/null", path("folder")):
            code, out, err, seconds = write(hostile)
            check(code == NOT_OUR_FILE and "not a regular file" in err, f"{name} {hostile}: {code} {err!r}")
            check(seconds < 1.0, f"{name} {hostile}: {seconds:.2f} s")
        check(os.stat("/dev/null").st_size == 0 and open("/dev/null", "rb").read() == b"", "/dev/null untouched")

    # A read-only file (FAT's read-only attribute) is refused even for root, and left as it was.
    shutil.copy(path("config.bin"), path("ro.bin"))
    os.chmod(path("ro.bin"), 0o444)
    code, out, err, _ = run("config", "set", path("ro.bin"), "aud_output_vol=1")
    check(code == CANNOT_ACCESS and "read-only" in err, f"read-only config.bin: {code} {err}")
    check(open(path("ro.bin"), "rb").read() == settings_record(0x11), "read-only config.bin unchanged")

    # A full file system: a small tmpfs of its own, in a private mount namespace. config.bin and the clock
    # file are rewritten in place there; an export fails with the old file whole.
    probe = subprocess.run(["unshare", "-rm", "true"], capture_output=True)
    if probe.returncode != 0:
        print("unshare -rm is not allowed here; the full-disk case is left to the core tests")
    else:
        script = r'''
set -e
mount -t tmpfs -o size=16k tmpfs "$1"
cp "$2" "$1/config.bin"
printf '2020/01/01 00:00:00' > "$1/timeset.cfg"
printf 'old export' > "$1/export.csv"
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
        check("config=0" in out and "clock=0" in out, f"full disk, in place: {out} {p.stderr}")
        check("\n 01\n" in out, f"config.bin rewritten in place: {out}")
        check(CLOCK.decode() in out, f"clock file rewritten in place: {out}")
        check("newconfig=1" in out and "No space left" in p.stderr, f"a new file on a full disk: {out} {p.stderr}")
        check("nura-" not in out and "new.bin" not in out, f"nothing left beside: {out}")

    # A write stopped at each step (the system call fails): the old file is whole, and nothing is left
    # beside it. strace's fault injection makes the call fail without the tool's help.
    if shutil.which("strace") and subprocess.run(["strace", "-o", "/dev/null", "true"]).returncode == 0:
        for syscall, error in (("pwrite64", "EIO"), ("pwrite64", "ENOSPC"), ("fsync", "EIO"), ("fsync", "ENOSPC"),
                               ("rename", "EIO")):
            for name, args, target, old in (
                    ("clock", ["clock", path("t.cfg"), "2024-03-05 14:07:09"], path("t.cfg"), b"2020/01/01 00:00:00"),
                    ("config", ["config", "set", path("c.bin"), "aud_output_vol=1"], path("c.bin"),
                     settings_record(0x11))):
                with open(target, "wb") as f:
                    f.write(old)
                p = subprocess.run(["strace", "-f", "-o", "/dev/null", "-e", f"inject={syscall}:error={error}",
                                    NURA, *args], capture_output=True, text=True, timeout=30)
                data = open(target, "rb").read()
                left = [n for n in os.listdir(tmp) if ".nura-" in n]
                check(data == old or (p.returncode == 0 and len(data) == len(old)),
                      f"{name}, {syscall} {error}: {p.returncode} {data!r}")
                check(p.returncode in (DONE, CANNOT_ACCESS), f"{name}, {syscall} {error}: status {p.returncode}")
                check(not left, f"{name}, {syscall} {error}: left {left}")
    else:
        print("strace cannot trace here; the failing steps are left to the core tests")

finish()
