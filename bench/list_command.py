#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`nura list` of a 15,000-recording card as a user runs it (whole process, output to /dev/null),
next to `find DIR -iname '*.mp4' | sort` on the same tree. Rounds alternate; medians compared."""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

nura = sys.argv[1]
count = int(sys.argv[2]) if len(sys.argv) > 2 else 15000
rounds = 15


def write_tree(root, n, per_folder=250):
    prefixes = ["alwa_", "motion_", "event_"]
    for i in range(n):
        folder = i // per_folder
        d = os.path.join(root, f"DCIM{folder % 4}", f"F{folder}")
        if i % per_folder == 0:
            os.makedirs(d, exist_ok=True)
        s = i // 2 * 60
        name = "%s202301%02d_%02d%02d%02d_%s.MP4" % (prefixes[(i // 2) % 3], 15 + s // 86400 % 14,
                                                     s // 3600 % 24, s // 60 % 60, s % 60, "R" if i % 2 else "F")
        open(os.path.join(d, name), "w").close()


def measure(argv):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, check=True)
    wall = (time.perf_counter() - start) * 1000
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) * 1000
    return wall, cpu


root = tempfile.mkdtemp(prefix="nura-list-bench-")
try:
    write_tree(root, count)
    commands = {
        "find -iname '*.mp4' | sort": ["sh", "-c", f"find '{root}' -iname '*.mp4' | sort"],
        "nura list": [nura, "list", root],
        "nura list --json": [nura, "list", root, "--json"],
        "nura --help": [nura, "--help"],
    }
    for argv in commands.values():  # warm the folder cache and the loader
        measure(argv)
    results = {name: [] for name in commands}
    for _ in range(rounds):
        for name, argv in commands.items():
            results[name].append(measure(argv))
    med = {name: (statistics.median(w for w, _ in r), statistics.median(c for _, c in r))
           for name, r in results.items()}
    base_wall, base_cpu = med["find -iname '*.mp4' | sort"]
    print(f"nura list of {count} recordings, whole processes ({rounds} rounds, medians, warm cache)")
    for name, (wall, cpu) in med.items():
        print(f"  {name:28s} wall {wall:8.2f} ms  cpu {cpu:8.2f} ms  ratio {wall / base_wall:5.2f} (cpu {cpu / base_cpu:5.2f})")
    print("  target: nura list within 1.5 times the baseline")
finally:
    shutil.rmtree(root)
