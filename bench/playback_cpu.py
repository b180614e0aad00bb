#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The viewer playing a 1080p front and 720p rear recording of a moving car in its window on an X
display, as a user runs it: with the list, with the map shown (its tiles from a local tile server),
with the map and no tiles to be had (offline, as in a car: the tile server refuses), and with the map
offline and a whole drive's route drawn on it (bench/map_route_tool.cpp, the viewer's window with a
route), and in drive mode on a card of a drive of DRIVE_RECORDINGS recordings, the list shown against
the map offline with the drive's route as the viewer reads it ahead. Next to two baselines on the same display: bare libVLC players decoding the same files
without pictures (the floor), and bare libVLC players drawing into windows of their own at full
size. CPU is that of each whole process tree over the same steady stretch of playback (start-up
excluded); the picture counts say whether every decoded picture reached the screen.

    xvfb-run -a -s "-screen 0 3300x1200x24" bench/playback_cpu.py BUILD_DIR
"""
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.request

build = sys.argv[1]
viewer = os.path.join(build, "nura-viewer")
bare = os.path.join(build, "bench", "bare_players")
route_tool = os.path.join(build, "bench", "map_route")
make_recording = os.path.join(build, "make_recording")
ROUTE_FIXES = 10800  # three hours at a fix a second
DRIVE_RECORDINGS = 20  # the played recording, then minutes of the same drive (stand-in pictures)
warmup, span = 3.0, 10.0
rounds = 3
tick = os.sysconf("SC_CLK_TCK")
TILE_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "platform", "tile_server.py")


def tree_cpu(root):
    """CPU seconds of a process and all its descendants."""
    children, ticks = {}, {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        children.setdefault(int(fields[1]), []).append(int(pid))
        ticks[int(pid)] = int(fields[11]) + int(fields[12])
    total, todo = 0, [root]
    while todo:
        pid = todo.pop()
        total += ticks.get(pid, 0)
        todo += children.get(pid, [])
    return total / tick


def x_server():
    """The display's server: pictures put on screen cost it too, not only the program drawing them."""
    display = os.environ.get("DISPLAY", "").split(".")[0]
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                argv = f.read().split(b"\0")
        except OSError:
            continue
        if argv and os.path.basename(argv[0]) == b"Xvfb" and display.encode() in argv:
            return int(pid)
    return None


XSERVER = x_server()


def run(argv, env=None):
    """Cores used between `warmup` and `warmup + span` seconds after the start, by the program and by
    the display's server, and the output."""
    p = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)
    time.sleep(warmup)
    before = tree_cpu(p.pid)
    x_before = tree_cpu(XSERVER) if XSERVER else 0
    time.sleep(span)
    cores = (tree_cpu(p.pid) - before) / span
    x_cores = ((tree_cpu(XSERVER) - x_before) / span) if XSERVER else 0
    out, _ = p.communicate(timeout=120)
    if p.returncode != 0:
        sys.exit(f"bench: {argv[0]} failed ({p.returncode}):\n{out}")
    return cores + x_cores, [line for line in out.splitlines() if line.startswith(("pictures ", "map "))]


def map_config(folder, url):
    """A preferences folder whose map takes its tiles from `url`, and a cache folder of its own."""
    config = os.path.join(folder, "config")
    os.makedirs(os.path.join(config, "nura"))
    with open(os.path.join(config, "nura", "nura-viewer.conf"), "w") as f:
        f.write(f"[map]\ntileUrlTemplate={url}\n")
    env = dict(os.environ, NURA_PICTURE_COUNTS="1", NURA_SILENT="1", XDG_CONFIG_HOME=config,
               XDG_CACHE_HOME=os.path.join(folder, "cache"))
    env.pop("QT_QPA_PLATFORM", None)
    return env


def dropped(lines):
    """Pictures that never reached the screen, summed over both players: those the engine dropped as
    late, and (in the viewer) those handed over but replaced before the window painted them."""
    total = 0
    for line in lines:
        if not line.startswith("pictures "):
            continue
        counts = dict((name, int(value)) for name, value in re.findall(r"([a-z ]+) (\d+)", line.split(": ", 1)[1]))
        counts = {name.strip(): value for name, value in counts.items()}
        total += counts.get("late", 0)
        if "painted" in counts:
            total += counts["handed over"] - counts["painted"]
    return total


with tempfile.TemporaryDirectory() as tmp:
    card = os.path.join(tmp, "card")
    os.makedirs(card)
    # A minute and a half into the scripted drive: the car drives at 50 to 70 km/h, a fix a second.
    front = os.path.join(card, "alwa_20230115_083130_F.MP4")
    rear = os.path.join(card, "alwa_20230115_083130_R.MP4")
    seconds = str(int(warmup + span + 6))
    drive = ["--seconds", seconds, "--start", "20230115_083130", "--drive-start", "20230115_083000"]
    subprocess.run([make_recording, front, "--size", "1920x1080", *drive], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([make_recording, rear, "--rear", "--size", "1280x720", *drive], check=True,
                   stdout=subprocess.DEVNULL)

    # The same pair opening a drive of back-to-back recordings that go on along the scripted route.
    drive_card = os.path.join(tmp, "drive")
    os.makedirs(drive_card)
    drive_front = os.path.join(drive_card, "alwa_20230115_083130_F.MP4")
    for path in (drive_front, os.path.join(drive_card, "alwa_20230115_083130_R.MP4")):
        os.link(front if path == drive_front else rear, path)
    # The scripted car parks after five minutes: the drive ends before, every recording moving.
    for i in range(1, DRIVE_RECORDINGS):
        start = 90 + int(seconds) + 10 * (i - 1)  # seconds after 08:30:00
        name = f"alwa_20230115_08{30 + start // 60:02d}{start % 60:02d}_F.MP4"
        subprocess.run([make_recording, os.path.join(drive_card, name), "--seconds", "10", "--placeholder-video",
                        "--start", f"20230115_08{30 + start // 60:02d}{start % 60:02d}",
                        "--drive-start", "20230115_083000"], check=True, stdout=subprocess.DEVNULL)

    length = str(warmup + span + 0.5)
    floor, floor_lines = run([bare, "dummy", length, front, rear])
    windows, window_lines = run([bare, "x11", length, front, rear])
    # The map's tiles from the tests' tile server on 127.0.0.1, cached in a folder of this run; offline,
    # a port where nothing listens, and a cache of its own, empty.
    server = subprocess.Popen([sys.executable, TILE_SERVER, "serve"], stdout=subprocess.PIPE, text=True)
    port = int(server.stdout.readline())
    online = map_config(os.path.join(tmp, "online"), f"http://127.0.0.1:{port}/{{z}}/{{x}}/{{y}}.png")
    offline = map_config(os.path.join(tmp, "offline"), "http://127.0.0.1:9/{z}/{x}/{y}.png")
    with_route = os.path.exists(route_tool)
    try:
        # Alternating rounds, medians compared: single runs on a shared machine vary by half.
        lists, maps, offline_maps, routes, drive_lists, drive_maps = [], [], [], [], [], []
        for _ in range(rounds):
            lists.append(run([viewer, card, "--play", front, "--quit-after", length], online))
            maps.append(run([viewer, card, "--play", front, "--map", "--quit-after", length], online))
            offline_maps.append(run([viewer, card, "--play", front, "--map", "--quit-after", length], offline))
            if with_route:
                routes.append(run([route_tool, length, card, front, str(ROUTE_FIXES)], offline))
                drive_lists.append(run([viewer, drive_card, "--play", drive_front, "--drive", "--quit-after", length],
                                       offline))
                drive_maps.append(run([route_tool, length, drive_card, drive_front, "drive"], offline))
        tiles_served = sum(1 for line in urllib.request.urlopen(f"http://127.0.0.1:{port}/requests").read().splitlines())
    finally:
        server.kill()
        server.wait()

    median = lambda runs: sorted(runs)[rounds // 2]
    mine, viewer_lines = median(lists)
    spread = lambda runs: f"(median of {rounds}: {', '.join(f'{c:.2f}' for c, _ in runs)})"
    print(f"CPU over {span:.0f} s of playing a 1080p front and a 720p rear recording of a moving car"
          " (whole processes and the X server):")
    print(f"  viewer, in its window, the list shown:     {mine:.2f} cores {spread(lists)}")

    def against_list(title, runs, note="", base=None):
        cores, lines = median(runs)
        base = mine if base is None else base
        print(f"  {title:<43}{cores:.2f} cores {spread(runs)}")
        print(f"  {'':<43}-> {cores / base:.2f}x the list"
              f" ({'within' if cores <= 1.3 * base else 'NOT within'} 1.3x{note}), {cores / floor:.1f}x the floor")
        for line in lines:
            if line.startswith("map "):
                print(f"  {'':<43}{line} in {float(length):.1f} s")
        return lines

    map_lines = against_list("viewer with the map, tiles served:", maps, f"; {tiles_served} tiles fetched")
    against_list("viewer with the map, no tiles (offline):", offline_maps)
    if with_route:
        against_list(f"the map offline, a route of {ROUTE_FIXES} fixes:", routes)
        drive_list, _ = median(drive_lists)
        print(f"  in drive mode, a drive of {DRIVE_RECORDINGS} recordings:")
        print(f"  {'  the list shown:':<43}{drive_list:.2f} cores {spread(drive_lists)}")
        against_list("  the map offline, the drive's route:", drive_maps, " of the list in drive mode", drive_list)
    else:
        print(f"  (no {route_tool}: the run with a whole route is left out)")
    print(f"  bare players, decoding only (the floor):   {floor:.2f} cores  -> viewer {mine / floor:.1f}x the floor")
    print(f"  bare players in their own full-size windows: {windows:.2f} cores  -> viewer {mine / windows:.2f}x that")
    for line in viewer_lines:
        print("  viewer " + line)
    for line in window_lines:
        print("  bare windows " + line)
    print(f"pictures dropped: viewer {dropped(viewer_lines)} (with the map {dropped(map_lines)}), bare players in windows {dropped(window_lines)}")
