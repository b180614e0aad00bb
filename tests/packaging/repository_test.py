#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The checkout holds no stray media or large binaries: python3 repository_test.py SOURCE_DIR

Recordings and other media belong in the fuzz corpus and the test data only; a file named like an
option is what a tool writes when it takes "--help" for its output."""
import os
import subprocess
import sys

SOURCE = sys.argv[1]
MEDIA_FOLDERS = ("fuzz/corpus/", "tests/data/")
MEDIA_ENDINGS = (".mp4", ".mov", ".avi", ".mkv", ".h264", ".264", ".aac", ".wav", ".mp3")
LARGEST = 1 << 20  # the largest picture in docs/images is a fifth of this


def is_media(path):
    if path.lower().endswith(MEDIA_ENDINGS):
        return True
    with open(path, "rb") as f:
        head = f.read(12)
    return head[4:8] in (b"ftyp", b"mdat", b"moov") or head.startswith((b"RIFF", b"\x1aE\xdf\xa3", b"ID3"))


def main():
    try:
        listed = subprocess.run(["git", "-C", SOURCE, "ls-files", "-z"], capture_output=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        print("not a git checkout: nothing to check")
        return 77
    faults = []
    for name in listed.decode(errors="surrogateescape").split("\0"):
        path = os.path.join(SOURCE, name)
        if not name or not os.path.isfile(path):
            continue  # deleted in the work tree, or a link to a folder
        if any(part.startswith("-") for part in name.split("/")):
            faults.append("%s: a file named like an option" % name)
        if os.path.getsize(path) > LARGEST:
            faults.append("%s: %d bytes, more than %d" % (name, os.path.getsize(path), LARGEST))
        if not name.startswith(MEDIA_FOLDERS) and is_media(path):
            faults.append("%s: media outside %s" % (name, ", ".join(MEDIA_FOLDERS)))
    for fault in faults:
        print("FAIL:", fault)
    print("%d tracked files checked, %d faults" % (len(listed.split(b"\0")) - 1, len(faults)))
    return 1 if faults else 0


sys.exit(main())
