# SPDX-License-Identifier: GPL-3.0-or-later
"""make package: a Debian package whose control fields name the run-time packages and whose nura runs, and
on which lintian finds no error and no warning (its warnings cover the description's form, the compressed
files and the changelog's syntax), with overrides only for the placeholder address. Without
lintian the test fails: a skipped check would hide a package Debian refuses."""
import glob
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

build = sys.argv[1]


def run(argv, **kw):
    return subprocess.run(argv, capture_output=True, text=True, timeout=600, **kw)


lintian = shutil.which("lintian")
check(lintian is not None, "lintian is not installed (scripts/install-deps installs it)")

with tempfile.TemporaryDirectory() as out:
    r = run(["cpack", "-G", "DEB", "-B", out, "--config", os.path.join(build, "CPackConfig.cmake")])
    check(r.returncode == 0, f"cpack: {r.stdout[-2000:]}{r.stderr[-2000:]}")
    debs = glob.glob(os.path.join(out, "*.deb"))
    check(len(debs) == 1, f"one package expected, found {debs}")
    if debs:
        deb = debs[0]
        fields = {f: run(["dpkg-deb", "-f", deb, f]).stdout.strip() for f in ("Package", "Version", "Depends")}
        check(fields["Package"] == "nura-viewer", f"package name {fields['Package']}")
        with open(os.path.join(build, "generated", "version.txt")) as f:
            version = f.read().strip()
        check(fields["Version"] == version, f"the package's version {fields['Version']} is not the build's {version}")
        depends = {d.split()[0] for d in fields["Depends"].replace("|", ",").split(",") if d.strip()}
        for needed in ("qt6-qpa-plugins", "libqt6sql6-sqlite", "vlc-plugin-base", "vlc-plugin-video-output",
                       "udisks2", "pkexec", "dosfstools", "libvlc5", "libqt6widgets6", "libc6"):
            check(needed in depends, f"Depends lacks {needed}: {fields['Depends']}")
        # The map is drawn by the program itself: no browser engine.
        for unwanted in [d for d in depends if "webengine" in d]:
            check(False, f"Depends names {unwanted}: {fields['Depends']}")
        if lintian:
            r = run([lintian, "--fail-on", "error,warning", "-L", ">=warning", deb])
            print(r.stdout, end="")
            bad = [line for line in r.stdout.splitlines() if line[:2] in ("E:", "W:")]
            check(not bad, f"lintian: {len(bad)} error(s) or warning(s)")
            check(r.returncode == 0, f"lintian: status {r.returncode} {r.stderr[-2000:]}")

        root = os.path.join(out, "root")
        check(run(["dpkg-deb", "-x", deb, root]).returncode == 0, "unpack")
        r = run([os.path.join(root, "usr/bin/nura"), "--version"])
        check(r.returncode == 0 and r.stdout.startswith("nura ") and fields["Version"] in r.stdout,
              f"unpacked nura --version: {r.stdout}{r.stderr}")
        # The only overrides are those of the placeholder address.
        with open(os.path.join(root, "usr/share/lintian/overrides/nura-viewer")) as f:
            overridden = {line.split()[1] for line in f if line.strip() and not line.startswith("#")}
        check(overridden == {"bogus-mail-host", "bogus-mail-host-in-debian-changelog"},
              f"overrides: {sorted(overridden)}")

finish()
