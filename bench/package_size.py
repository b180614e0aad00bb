#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Installed size of the Debian package's run-time dependencies (everything its Depends line pulls
in, recursively, from this machine's package lists), next to the same with the browser engine the
map used to need (libqt6webenginewidgets6 and libqt6webenginecore6-bin, as the package depended on
them before the map was drawn by the program itself). Also the package's own size.

    bench/package_size.py BUILD_DIR
"""
import glob
import os
import re
import subprocess
import sys
import tempfile

build = sys.argv[1]
ENGINE = ["libqt6webenginewidgets6", "libqt6webenginecore6-bin"]


def run(argv):
    return subprocess.run(argv, capture_output=True, text=True, check=True).stdout


def closure(names):
    out = run(["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests", "--no-conflicts",
               "--no-breaks", "--no-replaces", "--no-enhances", "--no-pre-depends", *names])
    packages = set()
    for line in out.splitlines():
        if line and not line.startswith(" ") and not line.startswith("<"):
            packages.add(line.strip())
    return packages


def installed_kib(packages):
    total = 0
    for chunk in [sorted(packages)[i:i + 200] for i in range(0, len(packages), 200)]:
        out = run(["apt-cache", "show", "--no-all-versions", *chunk])
        total += sum(int(v) for v in re.findall(r"^Installed-Size: (\d+)", out, re.M))
    return total


with tempfile.TemporaryDirectory() as out:
    run(["cpack", "-G", "DEB", "-B", out, "--config", os.path.join(build, "CPackConfig.cmake")])
    deb = glob.glob(os.path.join(out, "*.deb"))[0]
    depends = run(["dpkg-deb", "-f", deb, "Depends"]).strip()
    own = int(run(["dpkg-deb", "-f", deb, "Installed-Size"]).strip())
    deb_size = os.path.getsize(deb)

names = [d.strip().split()[0] for d in depends.replace("|", ",").split(",") if d.strip()]
now = closure(names)
before = closure(names + ENGINE)
now_kib, before_kib = installed_kib(now), installed_kib(before)
print("installed size of the package's dependencies (recursive Depends, from this machine's package lists):")
print(f"  with the browser engine (before): {before_kib / 1024:7.1f} MB in {len(before)} packages")
print(f"  now:                              {now_kib / 1024:7.1f} MB in {len(now)} packages"
      f"  -> {(before_kib - now_kib) / 1024:.1f} MB less ({now_kib / before_kib:.2f}x)")
print(f"  the package itself: {deb_size / 1024 / 1024:.1f} MB, {own / 1024:.1f} MB installed; web engine in Depends: "
      f"{'yes' if 'webengine' in depends else 'no'}")
