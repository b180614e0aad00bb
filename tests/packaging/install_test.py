# SPDX-License-Identifier: GPL-3.0-or-later
"""cmake --install into a staging folder: the file list, the desktop entry, the metainfo, the manual pages,
the changelog and the copyright file. How the pages and the changelog are compressed, and the changelog's
syntax, are lintian's checks in package_test.py."""
import os
import gzip
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

build = sys.argv[1]


def run(argv, **kw):
    return subprocess.run(argv, capture_output=True, text=True, timeout=120, **kw)


expected = {
    "usr/bin/nura",
    "usr/bin/nura-viewer",
    "usr/libexec/nura/nura-card",
    "usr/libexec/nura/nura-format-card",
    "usr/libexec/nura/nura-media",
    "usr/share/applications/nura-viewer.desktop",
    "usr/share/metainfo/org.nura.Viewer.metainfo.xml",
    "usr/share/icons/hicolor/scalable/apps/nura-viewer.svg",
    "usr/share/icons/hicolor/48x48/apps/nura-viewer.png",
    "usr/share/icons/hicolor/128x128/apps/nura-viewer.png",
    "usr/share/icons/hicolor/256x256/apps/nura-viewer.png",
    "usr/share/man/man1/nura.1.gz",
    "usr/share/man/man1/nura-viewer.1.gz",
    "usr/share/bash-completion/completions/nura",
    "usr/share/doc/nura-viewer/changelog.gz",
    "usr/share/doc/nura-viewer/copyright",
    "usr/share/lintian/overrides/nura-viewer",
}
with open(os.path.join(build, "generated", "version.txt")) as f:
    version = f.read().strip()


def options_in(help_text):
    return set(re.findall(r"(?<![\w-])--?[a-zA-Z][\w-]*", help_text))

with tempfile.TemporaryDirectory() as stage:
    r = run(["cmake", "--install", build, "--prefix", "/usr"], env={**os.environ, "DESTDIR": stage})
    check(r.returncode == 0, f"install: {r.stderr}")
    installed = {os.path.relpath(os.path.join(d, f), stage) for d, _, files in os.walk(stage) for f in files}
    check(installed == expected, f"installed files differ: extra {sorted(installed - expected)}, "
          f"missing {sorted(expected - installed)}")

    def path(rel):
        return os.path.join(stage, rel)

    for rel in ("usr/bin/nura", "usr/bin/nura-viewer"):
        check(os.access(path(rel), os.X_OK), f"{rel} is not executable")

    r = run(["desktop-file-validate", path("usr/share/applications/nura-viewer.desktop")])
    check(r.returncode == 0 and not r.stdout.strip(), f"desktop entry: {r.stdout}{r.stderr}")
    desktop = open(path("usr/share/applications/nura-viewer.desktop")).read()
    for line in ("Exec=nura-viewer %f", "Categories=AudioVideo;Video;Player;", "MimeType=video/mp4;inode/directory;",
                 "Icon=nura-viewer"):
        check(line in desktop.splitlines(), f"desktop entry lacks {line}")

    r = run(["appstreamcli", "validate", "--no-net", path("usr/share/metainfo/org.nura.Viewer.metainfo.xml")])
    check(r.returncode == 0, f"metainfo: {r.stdout}{r.stderr}")

    with gzip.open(path("usr/share/doc/nura-viewer/changelog.gz"), "rt") as f:
        changelog = f.read()
    first = changelog.splitlines()[0]
    check(first == f"nura-viewer ({version}) unstable; urgency=medium", f"changelog's first line: {first}")

    # The copyright file names every third-party file the build bundled.
    with open(path("usr/share/doc/nura-viewer/copyright")) as f:
        copyright_text = f.read()
    check(copyright_text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"),
          "the copyright file is not in the machine-readable format")
    check("\nLicense: GPL-3+\n" in copyright_text, "the copyright file lacks the GPL-3+ license paragraph")
    check("Files: *" in copyright_text, "the copyright file lacks the paragraph for the project's own files")

    env = {**os.environ, "LC_ALL": "C.UTF-8", "MANROFFSEQ": "", "MANWIDTH": "80", "QT_QPA_PLATFORM": "offscreen"}
    pages = {}
    for program in ("nura", "nura-viewer"):
        page = path(f"usr/share/man/man1/{program}.1.gz")
        r = run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page], env=env)
        check(r.returncode == 0 and r.stderr == "", f"{program}(1) renders with warnings: {r.stderr}")
        text = run(["man", "-l", page], env=env).stdout
        text = re.sub(r"\u2010\n\s*", "", text)  # words hyphenated across lines
        pages[program] = text
        check(f"{program} {version}" in text, f"{program}(1) does not carry the version {version}")
        help_text = run([path(f"usr/bin/{program}"), "--help"], env=env).stdout
        for option in sorted(options_in(help_text)):
            check(option in text, f"{program}(1) lacks the option {option}")

    # nura(1): a section for each subcommand, with its options, and the statuses `nura --help` lists.
    nura = path("usr/bin/nura")
    commands = [["list"], ["telemetry"], ["trip"], ["config", "show"], ["config", "reset"], ["config", "set"],
                ["card", "list"], ["drive"], ["clock"], ["clip"]]
    for command in commands:
        name = " ".join(command)
        check(re.search(rf"^\s+nura {name}\b", pages["nura"], re.M) is not None,
              f"nura(1) has no synopsis of {name}")
        for option in sorted(options_in(run([nura, *command, "--help"]).stdout) - {"-h", "--help"}):
            check(option in pages["nura"], f"nura(1) lacks {name}'s option {option}")
    help_text = run([nura, "--help"]).stdout
    table = help_text[help_text.find("Exit status:"):]
    section = pages["nura"][pages["nura"].find("EXIT STATUS"):pages["nura"].find("ENVIRONMENT")]
    rows = re.findall(r"^  (\d+) +(.+)$", table, re.M)
    check(len(rows) >= 4, f"nura --help lists {len(rows)} exit statuses")
    for status, meaning in rows:
        check(re.search(rf"^\s+{status}\s+{re.escape(meaning.split()[0])}", section, re.M) is not None,
              f"nura(1)'s EXIT STATUS lacks {status} {meaning}")
    # Each subcommand's "Exit status:" paragraph names only statuses that the table has.
    for paragraph in re.findall(r"Exit status:(.*?)\n\s*\n", pages["nura"], re.S):
        for status in re.findall(r"\b(\d+) (?:when|for)\b", paragraph):
            check(status in {s for s, _ in rows}, f"nura(1) names exit status {status}, which nura --help lacks")

finish()
