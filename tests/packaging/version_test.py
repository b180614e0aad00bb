# SPDX-License-Identifier: GPL-3.0-or-later
"""The version: worked out from a checkout at build time (cmake/WriteVersion.cmake), written only when it
changes."""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

build, source, project_version = sys.argv[1:4]
script = os.path.join(source, "cmake", "WriteVersion.cmake")
GIT_ENV = {**os.environ, "GIT_AUTHOR_NAME": "t", "GIT_AUTHOR_EMAIL": "t@example.org", "GIT_COMMITTER_NAME": "t",
           "GIT_COMMITTER_EMAIL": "t@example.org", "GIT_COMMITTER_DATE": "2026-03-04T05:06:07+00:00",
           "GIT_AUTHOR_DATE": "2026-03-04T05:06:07+00:00", "LC_ALL": "C"}


def run(argv, **kw):
    return subprocess.run(argv, capture_output=True, text=True, timeout=120, **kw)


def write_version(src, out):
    r = run(["cmake", f"-DSOURCE_DIR={src}", "-DPROJECT_VERSION=1.2.3", f"-DOUTPUT_DIR={out}", "-P", script])
    check(r.returncode == 0, f"WriteVersion.cmake: {r.stderr}")
    with open(os.path.join(out, "version.txt")) as f:
        return f.read().strip()


def mtimes(out):
    return {n: os.stat(os.path.join(out, n)).st_mtime_ns for n in sorted(os.listdir(out))}


def commit(repo, message):
    with open(os.path.join(repo, "file"), "a") as f:
        f.write(message + "\n")
    run(["git", "-C", repo, "add", "file"], env=GIT_ENV)
    r = run(["git", "-C", repo, "commit", "-q", "-m", message], env=GIT_ENV)
    check(r.returncode == 0, f"git commit: {r.stderr}")
    return run(["git", "-C", repo, "rev-parse", "--short", "HEAD"]).stdout.strip()


with tempfile.TemporaryDirectory() as tmp:
    repo, out = os.path.join(tmp, "repo"), os.path.join(tmp, "out")
    os.makedirs(os.path.join(repo, "inner"))
    # Not a checkout: the project's version alone.
    check(write_version(repo, out) == "1.2.3", "outside a checkout the version is not the project's")

    run(["git", "init", "-q", repo])
    first = commit(repo, "one")
    check(write_version(repo, out) == f"1.2.3+git1.{first}", "a checkout of one commit")
    with open(os.path.join(out, "version-info.cmake")) as f:
        info = f.read()
    check('NURA_VERSION_DATE_RFC2822 "Wed, 04 Mar 2026 05:06:07 +0000"' in info, f"changelog date: {info}")
    check('NURA_VERSION_DATE "2026-03-04"' in info, f"manual page date: {info}")
    with open(os.path.join(out, "NuraVersion.cpp")) as f:
        check(f'"1.2.3+git1.{first}"' in f.read(), "the programs' copy differs")

    # Unchanged: nothing is rewritten, so nothing is recompiled.
    os.utime(os.path.join(out, "NuraVersion.cpp"), ns=(1, 1))
    stamped = mtimes(out)
    write_version(repo, out)
    check(mtimes(out) == stamped, "an unchanged version rewrote its files")

    second = commit(repo, "two")
    check(write_version(repo, out) == f"1.2.3+git2.{second}", "a new commit is not picked up")
    check(mtimes(out)["NuraVersion.cpp"] != stamped["NuraVersion.cpp"], "the programs' copy was not rewritten")

    # A folder inside someone else's checkout is not a checkout of the project.
    check(write_version(os.path.join(repo, "inner"), os.path.join(tmp, "out2")) == "1.2.3",
          "a folder inside another checkout took its commits")

# This build's version, in the form a Debian version needs.
with open(os.path.join(build, "generated", "version.txt")) as f:
    version = f.read().strip()
check(re.fullmatch(re.escape(project_version) + r"(\+git[0-9]+\.[0-9a-f]+)?", version) is not None,
      f"build version {version}")
finish()
