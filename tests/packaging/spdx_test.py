# SPDX-License-Identifier: GPL-3.0-or-later
"""scripts/add-spdx on a small tree: where the line goes, what is left alone, and that a second run and
--check agree with the first."""
import os
import stat
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

script = sys.argv[1]
LINE = "SPDX-License-Identifier: GPL-3.0-or-later"

tree = {
    "src/a.cpp": "#include \"a.h\"\n",
    "src/a.h": "#pragma once\n",
    "src/empty.h": "",
    "src/tagged.h": "// SPDX-License-Identifier: GPL-3.0-or-later\n#pragma once\n",
    "src/other.h": "// Copyright someone else\n// SPDX-License-Identifier: MIT\n#pragma once\n",
    "scripts/tool": "#!/usr/bin/env bash\necho hi\n",
    "scripts/no-newline": "#!/bin/sh",
    "CMakeLists.txt": "cmake_minimum_required(VERSION 3.25)\n",
    "tests/x_test.py": "\"\"\"A docstring stays the docstring.\"\"\"\nimport sys\n",
    "README.md": "# Title\n",
    "tests/data/sample.cpp": "raw test data\n",
    "fuzz/corpus/seed.h": "raw seed\n",
}
expected = {
    "src/a.cpp": f"// {LINE}\n#include \"a.h\"\n",
    "src/a.h": f"// {LINE}\n#pragma once\n",
    "src/empty.h": f"// {LINE}\n",
    "scripts/tool": f"#!/usr/bin/env bash\n# {LINE}\necho hi\n",
    "scripts/no-newline": f"#!/bin/sh\n# {LINE}\n",
    "CMakeLists.txt": f"# {LINE}\ncmake_minimum_required(VERSION 3.25)\n",
    "tests/x_test.py": f"# {LINE}\n\"\"\"A docstring stays the docstring.\"\"\"\nimport sys\n",
}


def run(*args):
    return subprocess.run([sys.executable, script, *args], capture_output=True, text=True, timeout=60)


def snapshot(root):
    out = {}
    for rel in tree:
        with open(os.path.join(root, rel)) as f:
            out[rel] = f.read()
    return out


with tempfile.TemporaryDirectory() as root:
    for rel, text in tree.items():
        os.makedirs(os.path.dirname(os.path.join(root, rel)) or root, exist_ok=True)
        with open(os.path.join(root, rel), "w") as f:
            f.write(text)
    os.chmod(os.path.join(root, "scripts/tool"), 0o755)

    r = run("--check", root)
    listed = {line.split(":")[0] for line in r.stderr.splitlines()}
    check(r.returncode == 1, f"--check on untagged files: status {r.returncode}")
    check(listed == set(expected), f"--check lists {sorted(listed)}, expected {sorted(expected)}")
    check(snapshot(root) == tree, "--check changed a file")

    r = run(root)
    check(r.returncode == 0, f"add-spdx: {r.stderr}")
    after = snapshot(root)
    for rel, text in tree.items():
        check(after[rel] == expected.get(rel, text), f"{rel} after the run: {after[rel]!r}")
    check(stat.S_IMODE(os.stat(os.path.join(root, "scripts/tool")).st_mode) == 0o755,
          "the script's mode was not kept")
    check(not any(n.endswith(".spdx-tmp") for _, _, files in os.walk(root) for n in files),
          "a temporary file was left behind")
    r = run(root)
    check(r.returncode == 0 and snapshot(root) == after, "a second run changed files")
    r = run("--check", root)
    check(r.returncode == 0 and r.stderr == "", f"--check after the run: {r.returncode} {r.stderr}")

    # In a checkout, the files git tracks: a new file counts once it is added.
    git = ["git", "-C", root]
    subprocess.run(git + ["init", "-q"], check=True)
    subprocess.run(git + ["add", "-A"], check=True)
    with open(os.path.join(root, "src/new.cpp"), "w") as f:
        f.write("int y;\n")
    check(run("--check", root).returncode == 0, "--check counted an untracked file")
    subprocess.run(git + ["add", "src/new.cpp"], check=True)
    r = run("--check", root)
    check(r.returncode == 1 and "src/new.cpp" in r.stderr, f"--check missed a tracked file: {r.stderr}")

check(run("--bogus").returncode == 64, "an unknown option is not refused")
finish()
