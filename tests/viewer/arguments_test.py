#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""nura-viewer's command line from the outside: python3 arguments_test.py /path/to/nura-viewer"""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

VIEWER = sys.argv[1]


RUNTIME = tempfile.TemporaryDirectory()
os.chmod(RUNTIME.name, 0o700)


def own_lines(err):
    """The viewer's own messages, without the toolkit's or the engine's diagnostics."""
    return [line for line in err.splitlines() if line.startswith("nura-viewer:")]


def run(args, display=True, timeout=60, extra=None):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env["XDG_RUNTIME_DIR"] = RUNTIME.name
    if display:
        env["QT_QPA_PLATFORM"] = "offscreen"
        env["NURA_SILENT"] = "1"
    env.update(extra or {})
    p = subprocess.run([VIEWER, *args], capture_output=True, timeout=timeout, env=env)
    return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")


# Help and version are answered on a console without any display.
for arg in ("--help", "-h"):
    rc, out, err = run([arg], display=False)
    check(rc == 0 and "--play" in out and "DIR" in out, f"{arg} without a display: {rc} {out!r} {err!r}")
rc, out, err = run(["--version"], display=False)
check(rc == 0 and out.startswith("nura-viewer "), f"--version without a display: {rc} {out!r} {err!r}")

with tempfile.TemporaryDirectory() as card:
    front = os.path.join(card, "alwa_20230115_083000_F.MP4")
    rear = os.path.join(card, "alwa_20230115_083000_R.MP4")
    other = os.path.join(card, "alwa_20230115_083100_F.MP4")
    notes = os.path.join(card, "notes.txt")
    odd = os.path.join(card, "holiday.mp4")
    for path in (front, rear, other, notes, odd):
        with open(path, "wb") as f:
            f.write(b"\0" * 4096)

    # Files that the list would not take: one line on standard error, status 1, no window waited for.
    for path in (notes, odd, os.path.join(card, "alwa_20230115_083000_F.txt")):
        if not os.path.exists(path):
            open(path, "wb").close()
        rc, out, err = run([path, "--quit-after", "20"], timeout=15)
        check(rc == 1 and len(own_lines(err)) == 1 and "not a recording" in err, f"{path}: {rc} {err!r}")

    # A recording: its folder is listed and that recording is started, from a relative path too.
    rc, out, err = run([os.path.relpath(other), "--quit-after", "3"])
    check(rc == 0 and "selectedRow=" in err and "is not a recording" not in err, f"recording file: {rc} {err!r}")
    rc, out, err = run([front, "--play", rear, "--quit-after", "3"])
    check(rc == 2 and len(own_lines(err)) == 1, f"a file and --play: {rc} {err!r}")

# Settings files named by bytes that are not UTF-8: that very file is read (its picture is the one of the
# same record under a plain name, not the one of the factory settings). A folder so named is refused by
# its own bytes, not opened under another name.
NURA = os.path.join(os.path.dirname(os.path.abspath(VIEWER)), "nura")
with tempfile.TemporaryDirectory() as tmp:
    plain, latin, factory = os.path.join(tmp, "plain.bin"), os.path.join(tmp.encode(), b"lat\xe9.bin"), \
        os.path.join(tmp, "factory.bin")
    subprocess.run([NURA, "config", "reset", factory], check=True, capture_output=True)
    subprocess.run([NURA, "config", "reset", plain], check=True, capture_output=True)
    subprocess.run([NURA, "config", "set", plain, "vid_enc_bitrate=0", "vid_brightness=4"], check=True,
                   capture_output=True)
    with open(plain, "rb") as f, open(latin, "wb") as g:
        g.write(f.read())
    pictures = {}
    for name, path in (("plain", plain), ("latin", latin), ("factory", factory)):
        png = os.path.join(tmp, name + ".png")
        rc, out, err = run(["--settings", "--config", path, "--screenshot", png, "--quit-after", "1"])
        check(rc == 0 and "cannot read" not in err, f"--config {path!r}: {rc} {err!r}")
        pictures[name] = open(png, "rb").read() if os.path.exists(png) else None
    check(pictures["latin"] == pictures["plain"] and pictures["plain"] != pictures["factory"],
          "the settings of the file named by bytes that are not UTF-8 are shown")
    # What the window says of a settings file it cannot read is the settings window's test.

# A card folder named by bytes that are not UTF-8: listed, and its recording plays, named with --play and
# handed over alone.
MAKE_RECORDING = os.path.join(os.path.dirname(VIEWER), "make_recording")
if os.path.exists(MAKE_RECORDING):
    with tempfile.TemporaryDirectory() as tmp:
        card = os.path.join(tmp.encode(), b"card\xff")
        os.mkdir(card)
        clip = os.path.join(card, b"alwa_20230115_083000_F.MP4")
        subprocess.run([MAKE_RECORDING, clip, "--seconds", "4"], check=True, capture_output=True)
        for args in ([card, "--play", clip], [clip]):
            rc, out, err = run([*args, "--quit-after", "3"], extra={"NURA_PICTURE_COUNTS": "1"})
            decoded = [int(n) for n in re.findall(r"decoded (\d+)", err)]
            check(rc == 0 and "count=1" in err and "selectedRow=0" in err and decoded and max(decoded) > 0,
                  f"a recording in a folder named by bytes that are not UTF-8, {len(args)} arguments: {rc} {err!r}")

# --fullscreen on a real X display: the saved window covers the 1280x800 screen even though the
# start of a recording brings a full-screen window back; without it the window keeps its first size.
if shutil.which("xvfb-run") and os.path.exists(MAKE_RECORDING):
    with tempfile.TemporaryDirectory() as card:
        clip = os.path.join(card, "alwa_20230115_083000_F.MP4")
        subprocess.run([MAKE_RECORDING, clip, "--seconds", "4"], check=True, capture_output=True)
        for args, size in ((["--fullscreen"], (1280, 800)), ([], (1020, 640))):
            shot = os.path.join(card, "shot.png")
            env = {k: v for k, v in os.environ.items() if k not in ("QT_QPA_PLATFORM", "DISPLAY")}
            env.update(XDG_RUNTIME_DIR=RUNTIME.name, NURA_SILENT="1", QT_QPA_PLATFORM="xcb")
            p = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1280x800x24", VIEWER, card, "--play", clip,
                                *args, "--screenshot", shot, "--quit-after", "3"], capture_output=True, env=env,
                               timeout=60)
            png = b""
            if p.returncode == 0 and os.path.exists(shot):
                with open(shot, "rb") as f:
                    png = f.read(24)
            got = struct.unpack(">II", png[16:24]) if png[:8] == b"\x89PNG\r\n\x1a\n" else None
            check(got == size, f"screenshot with {args}: {p.returncode} {got} {p.stderr[-300:]!r}")

finish()
