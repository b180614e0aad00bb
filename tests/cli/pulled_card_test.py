#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A card pulled while a recording is read: from some read on, the system refuses every read of that file
with EIO (strace's fault injection, limited to the file's path). Every subcommand that reads recordings
says it cannot read, exits 1, leaves no output behind and never calls the file truncated, cut or not a
recording, which would send the user to repair a file that is whole.

python3 pulled_card_test.py /path/to/nura"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

NURA = os.path.abspath(sys.argv[1])
MAKE_RECORDING = os.path.join(os.path.dirname(NURA), "make_recording")
CANNOT_ACCESS = 1
MISLEADING = ("truncated", "not a recording", "whole index", "`nura repair`", "do not decode", "another layout",
              "Success")


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def strace(path, syscall, when, args, log="/dev/null", also=None):
    """Runs nura with `syscall` on `path` refused from call `when` on; `also` = (syscall, when) refuses a
    second call the same way, as a pulled card refuses every kind of read."""
    inject = [] if when is None else ["-e", f"inject={syscall}:error=EIO:when={when}+"]
    traced = syscall
    if also:
        inject += ["-e", f"inject={also[0]}:error=EIO:when={also[1]}+"]
        traced += "," + also[0]
    return subprocess.run(["strace", "-f", "-qq", "-o", log, "-P", path, "-e", f"trace={traced}", *inject,
                           NURA, *args], capture_output=True, text=True, timeout=120)


def calls(path, syscall, args, scratch, out):
    """How many times the command makes `syscall` on `path` when nothing fails (writing into a fresh `out`)."""
    log = os.path.join(scratch, "calls.log")
    os.makedirs(out)
    strace(path, syscall, None, args, log)
    shutil.rmtree(out)
    with open(log) as f:
        count = sum(1 for line in f if f"{syscall}(" in line and "resumed" not in line)
    os.unlink(log)
    return count


if subprocess.run(["strace", "-o", "/dev/null", "true"], capture_output=True).returncode != 0:
    print("strace cannot trace here; a pulled card is left to the core tests")
    finish()

with tempfile.TemporaryDirectory() as tmp:
    card = os.path.join(tmp, "card")
    out = os.path.join(tmp, "out")
    os.mkdir(card)
    front = os.path.join(card, "alwa_20230115_083012_F.MP4")
    reference = os.path.join(card, "alwa_20230115_082912_F.MP4")
    cut = os.path.join(card, "alwa_20230115_083112_F.MP4")
    subprocess.run([MAKE_RECORDING, front, "--seconds", "3", "--start", "20230115_083012"], check=True)
    subprocess.run([MAKE_RECORDING, reference, "--seconds", "3", "--start", "20230115_082912"], check=True)
    with open(front, "rb") as f:
        whole = f.read()
    with open(cut, "wb") as f:  # a power cut: media data, no index
        f.write(whole[:len(whole) * 2 // 3])

    clip_copy = ["clip", front, "--start", "0.5", "--end", "2", "--copy", "-o",
                 os.path.join(out, "event_20230115_083012_F.MP4")]
    clip_front = ["clip", front, "--start", "0", "--end", "2", "--layout", "front", "--no-gpx", "-o",
                  os.path.join(out, "clip.mp4")]
    cases = [
        # (name, file that fails, system call, arguments, what the message names)
        ("telemetry", front, "pread64", ["telemetry", front], front),
        ("clip --copy", front, "pread64", clip_copy, front),
        # The copy in the kernel does not say which side failed; a read of the recording then does.
        ("clip --copy, media data", front, "copy_file_range", clip_copy, front, "pread64"),
        ("combined clip, index and band", front, "pread64", clip_front, front),
        ("combined clip, decoding", front, "read", clip_front, front),
        ("repair, the cut file", cut, "pread64", ["repair", cut, "-o", os.path.join(out, "r.MP4")], cut),
        ("repair, the reference", reference, "pread64",
         ["repair", cut, "--reference", reference, "-o", os.path.join(out, "r.MP4")], reference),
    ]
    before = {p: digest(p) for p in (front, reference, cut)}
    for name, failing, syscall, args, named, *then in cases:
        n = calls(failing, syscall, args, tmp, out)
        also = (then[0], calls(failing, then[0], args, tmp, out) + 1) if then else None
        check(n > 0, f"{name}: the command reads {failing} with {syscall}")
        for when in sorted({1, max(1, n // 2), n}):
            os.makedirs(out)
            p = strace(failing, syscall, when, args, also=also)
            what = f"{name}, {syscall} refused from call {when} of {n}"
            check(p.returncode == CANNOT_ACCESS, f"{what}: status {p.returncode}: {p.stderr!r}")
            check(os.path.basename(named) in p.stderr or "a recording of the clip" in p.stderr,
                  f"{what}: the message names the file: {p.stderr!r}")
            check("Input/output error" in p.stderr or "refused a read" in p.stderr,
                  f"{what}: the message says the read failed: {p.stderr!r}")
            check(not any(word in p.stderr for word in MISLEADING), f"{what}: nothing misleading: {p.stderr!r}")
            check(os.listdir(out) == [], f"{what}: nothing written: {os.listdir(out)}")
            shutil.rmtree(out)
    check({p: digest(p) for p in before} == before, "the recordings are unchanged")

    # A trip over a card whose recording cannot be read is written without it, and says so with status 1.
    os.unlink(cut)
    n = calls(front, "pread64", ["trip", card], tmp, out)
    p = strace(front, "pread64", max(1, n // 2), ["trip", card])
    check(p.returncode == CANNOT_ACCESS and "refused a read" in p.stderr and "083012" in p.stderr,
          f"trip with a refused read: {p.returncode} {p.stderr!r}")
    check("truncated" not in p.stderr, f"trip: the refused file is not called truncated: {p.stderr!r}")

finish()
