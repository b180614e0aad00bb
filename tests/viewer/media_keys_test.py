#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Media keys as a desktop sends them: the real viewer on a private session bus, driven and read with
gdbus. Run as: dbus-run-session -- python3 media_keys_test.py /path/to/nura-viewer"""
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

VIEWER = sys.argv[1]
MAKE_RECORDING = os.path.join(os.path.dirname(VIEWER), "make_recording")
NAME = "org.mpris.MediaPlayer2.nura_viewer"
PATH = "/org/mpris/MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"


def gdbus(*args, timeout=10):
    p = subprocess.run(["gdbus", "call", "--session", "--dest", NAME, "--object-path", PATH, *args],
                       capture_output=True, text=True, timeout=timeout)
    return p.returncode, p.stdout.strip(), p.stderr.strip()


def call(method, *args):
    return gdbus("--method", f"{PLAYER}.{method}", *args)


def prop(name):
    rc, out, _ = gdbus("--method", "org.freedesktop.DBus.Properties.Get", PLAYER, name)
    return out if rc == 0 else None


def status():
    out = prop("PlaybackStatus") or ""
    m = re.search(r"'(\w+)'", out)
    return m.group(1) if m else None


def url():
    out = prop("Metadata") or ""
    m = re.search(r"'xesam:url': <'([^']*)'>", out)
    return m.group(1) if m else None


def position_us():
    out = prop("Position") or ""
    m = re.search(r"<(?:int64 )?(-?\d+)>", out)
    return int(m.group(1)) if m else None


def wait_for(predicate, seconds=15):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.1)
    return False


card = tempfile.TemporaryDirectory()
runtime = tempfile.TemporaryDirectory()
os.chmod(runtime.name, 0o700)
files = {
    "a_f": ("alwa_20230115_083000_F.MP4", [], 6),
    "a_r": ("alwa_20230115_083000_R.MP4", ["--rear"], 6),
    "b_r": ("alwa_20230115_083100_R.MP4", ["--rear"], 4),
    "c_f": ("alwa_20230115_083200_F.MP4", [], 4),
}
for name, extra, seconds in files.values():
    subprocess.run([MAKE_RECORDING, os.path.join(card.name, name), *extra, "--seconds", str(seconds),
                    "--start", name[5:20]], check=True, capture_output=True)


def file_url(key):
    return "file://" + os.path.join(card.name, files[key][0])


env = dict(os.environ, QT_QPA_PLATFORM="offscreen", NURA_SILENT="1", XDG_RUNTIME_DIR=runtime.name)
monitor = subprocess.Popen(["gdbus", "monitor", "--session", "--dest", NAME, "--object-path", PATH],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
viewer = subprocess.Popen([VIEWER, card.name], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          text=True)
try:
    check(wait_for(lambda: gdbus("--method", "org.freedesktop.DBus.Peer.Ping")[0] == 0),
          "the viewer takes its name on the session bus")
    check(status() == "Stopped", f"nothing plays at launch: {status()}")
    check(call("Play")[0] == 0 and status() == "Stopped", "Play with no recording chosen does nothing")

    # OpenUri acts like `nura-viewer FILE`: the rear file plays in the main view.
    rc, _, err = call("OpenUri", file_url("a_r"))
    check(rc == 0, f"OpenUri of a recording: {err}")
    check(wait_for(lambda: status() == "Playing"), f"OpenUri starts playback: {status()}")
    check(url() == file_url("a_r"), f"Metadata names the opened file: {url()}")

    check(call("Pause")[0] == 0 and wait_for(lambda: status() == "Paused"), f"Pause: {status()}")
    check(call("PlayPause")[0] == 0 and wait_for(lambda: status() == "Playing"), f"PlayPause resumes: {status()}")

    before = position_us() or 0
    check(call("Seek", "2000000")[0] == 0, "Seek")
    check(wait_for(lambda: (position_us() or 0) >= before + 1_500_000, 5),
          f"Seek moves on two seconds: {before} -> {position_us()}")
    check(call("PlayPause")[0] == 0 and wait_for(lambda: status() == "Paused"), f"PlayPause pauses: {status()}")

    # Next passes over both rows of the pair, whichever was played: the lone rear recording.
    check(call("Next")[0] == 0 and wait_for(lambda: url() == file_url("b_r")), f"Next: {url()}")
    check(call("Previous")[0] == 0 and wait_for(lambda: url() == file_url("a_f")), f"Previous: {url()}")
    check("false" in (prop("CanGoPrevious") or "") and "true" in (prop("CanGoNext") or ""),
          f"at the first recording there is no previous one: {prop('CanGoPrevious')} {prop('CanGoNext')}")

    rc, out, _ = gdbus("--method", "org.freedesktop.DBus.Properties.Get", PLAYER, "Metadata")
    track = re.search(r"'mpris:trackid': <objectpath '([^']*)'>", out)
    check(track is not None, f"Metadata carries a track id: {out}")
    if track:
        check(call("SetPosition", track.group(1), "3000000")[0] == 0, "SetPosition")
        check(wait_for(lambda: 2_500_000 <= (position_us() or 0) <= 5_000_000, 5),
              f"SetPosition lands at 3 s: {position_us()}")

    check(call("Stop")[0] == 0 and wait_for(lambda: status() == "Stopped"), f"Stop: {status()}")
    check(call("Play")[0] == 0 and wait_for(lambda: status() == "Playing"), f"Play after Stop: {status()}")

    rc, _, _ = gdbus("--method", "org.freedesktop.DBus.Properties.Set", PLAYER, "Rate", "<2.2>")
    check(rc == 0 and re.search(r"<2\.0>", prop("Rate") or "") is not None, f"Rate snaps to 2x: {prop('Rate')}")
    check(re.search(r"<0\.25>", prop("MinimumRate") or "") is not None and
          re.search(r"<8\.0>", prop("MaximumRate") or "") is not None,
          f"the rates run from 0.25 to 8: {prop('MinimumRate')} {prop('MaximumRate')}")
    rc, _, _ = gdbus("--method", "org.freedesktop.DBus.Properties.Set", PLAYER, "Volume", "<1.5>")
    check(rc == 0 and re.search(r"<1\.5>", prop("Volume") or "") is not None, f"Volume: {prop('Volume')}")

    # Quit ends the viewer.
    gdbus("--method", "org.mpris.MediaPlayer2.Quit")
    try:
        viewer.wait(timeout=15)
        check(viewer.returncode == 0, f"Quit ends the viewer cleanly: {viewer.returncode}")
    except subprocess.TimeoutExpired:
        check(False, "Quit ends the viewer")
finally:
    if viewer.poll() is None:
        viewer.kill()
    viewer.wait()
    monitor.terminate()
    signals = monitor.communicate(timeout=10)[0]


# Started in drive mode, the card's three recordings, back to back within five minutes, are one track
# of 14 s, their lengths as the real headers give them. Joins, seeks and the camera kept in the main
# picture over the bus are the drive playback test's, on fake players.
viewer = subprocess.Popen([VIEWER, card.name, "--play", os.path.join(card.name, files["a_f"][0]), "--drive"],
                          env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
try:
    def drive():
        m = re.search(r"'mpris:trackid': <objectpath '(/org/nura/viewer/drive/\w+)'>", prop("Metadata") or "")
        return m.group(1) if m else None

    check(wait_for(drive), f"the drive is the track: {prop('Metadata')}")
    check("'mpris:length': <int64 14000000>" in (prop("Metadata") or ""), f"the drive's length: {prop('Metadata')}")
finally:
    if viewer.poll() is None:
        viewer.kill()
    viewer.wait()

check("Seeked" in signals, "Seeked is signalled after a seek")
check("PlaybackStatus" in signals and "'Paused'" in signals, "PropertiesChanged tells of the pause")
check(re.search(r"'Metadata'", signals) is not None, "PropertiesChanged tells of the new track")
finish()
