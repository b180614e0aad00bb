"""cmake --install into a staging folder: the file list, the desktop entry, the metainfo, the manual pages."""
import os
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
    "usr/libexec/nura/nura-media",
    "usr/share/applications/nura-viewer.desktop",
    "usr/share/metainfo/org.nura.Viewer.metainfo.xml",
    "usr/share/icons/hicolor/scalable/apps/nura-viewer.svg",
    "usr/share/icons/hicolor/48x48/apps/nura-viewer.png",
    "usr/share/icons/hicolor/128x128/apps/nura-viewer.png",
    "usr/share/icons/hicolor/256x256/apps/nura-viewer.png",
    "usr/share/man/man1/nura.1",
    "usr/share/man/man1/nura-viewer.1",
    "usr/share/bash-completion/completions/nura",
}

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

    r = run(["bash", "-n", path("usr/share/bash-completion/completions/nura")])
    check(r.returncode == 0, f"bash completion: {r.stderr}")

    env = {**os.environ, "LC_ALL": "C.UTF-8", "MANROFFSEQ": "", "MANWIDTH": "80", "QT_QPA_PLATFORM": "offscreen"}
    for program in ("nura", "nura-viewer"):
        page = path(f"usr/share/man/man1/{program}.1")
        r = run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page], env=env)
        check(r.returncode == 0 and r.stderr == "", f"{program}(1) renders with warnings: {r.stderr}")
        text = run(["man", "-l", page], env=env).stdout
        text = re.sub(r"\u2010\n\s*", "", text)  # words hyphenated across lines
        help_text = run([path(f"usr/bin/{program}"), "--help"], env=env).stdout
        for option in sorted(set(re.findall(r"(?<![\w-])--?[a-zA-Z][\w-]*", help_text))):
            check(option in text, f"{program}(1) lacks the option {option}")

finish()
