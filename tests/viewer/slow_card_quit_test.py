#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Quitting while the card is slow: the viewer plays a recording whose every read the card holds for
three seconds, quits, and must be gone well before the telemetry read could have finished (it takes
minutes at that pace); otherwise the card's files stay open and the card cannot be unmounted.
    python3 slow_card_quit_test.py /path/to/nura-viewer /path/to/libnura_slow_read.so"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

VIEWER, SHIM = sys.argv[1], sys.argv[2]
MAKE_RECORDING = os.path.join(os.path.dirname(VIEWER), "make_recording")

root = tempfile.TemporaryDirectory()
runtime = tempfile.TemporaryDirectory()
os.chmod(runtime.name, 0o700)
card = os.path.join(root.name, "slowread")
os.mkdir(card)
recording = os.path.join(card, "alwa_20230115_083000_F.MP4")
subprocess.run([MAKE_RECORDING, recording, "--seconds", "20", "--start", "20230115_083000"], check=True,
               capture_output=True)

env = dict(os.environ, QT_QPA_PLATFORM="offscreen", NURA_SILENT="1", XDG_RUNTIME_DIR=runtime.name,
           LD_PRELOAD=SHIM, NURA_SLOW_READ_MS="3000")
viewer = subprocess.Popen([VIEWER, card, "--play", recording, "--quit-after", "4"], env=env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    # Far more than the engine's shutdown and one held read; far less than the whole read.
    viewer.wait(timeout=60)
    check(viewer.returncode == 0, f"the viewer quits cleanly: {viewer.returncode}")
except subprocess.TimeoutExpired:
    check(False, "the viewer quits without waiting for the slow card's telemetry read")
finally:
    if viewer.poll() is None:
        viewer.kill()
    viewer.wait()
finish()
