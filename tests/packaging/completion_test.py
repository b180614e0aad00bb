#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The bash completion of nura, run in bash with the system's completion framework as a user's shell
runs it: every subcommand that `nura --help` lists is offered, and the values of the options that take
a fixed set are completed, also after a global option.

python3 completion_test.py COMPLETION_FILE /path/to/nura"""
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

COMPLETION, NURA = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
FRAMEWORK = "/usr/share/bash-completion/bash_completion"
check(os.path.exists(FRAMEWORK), f"{FRAMEWORK} is missing (the bash-completion package)")


def complete(line, cwd):
    """The words bash offers for the command line `line` with the cursor at its end."""
    script = f'''
source {FRAMEWORK}
source {COMPLETION}
COMP_LINE={line!r}
COMP_POINT=${{#COMP_LINE}}
read -ra COMP_WORDS <<< "$COMP_LINE"
[[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
COMP_CWORD=$((${{#COMP_WORDS[@]}} - 1))
_nura nura "${{COMP_WORDS[COMP_CWORD]}}" "${{COMP_WORDS[COMP_CWORD-1]}}"
printf '%s\\n' "${{COMPREPLY[@]}}"
'''
    r = subprocess.run(["bash", "-c", script], capture_output=True, text=True, cwd=cwd, timeout=30)
    check(r.returncode == 0, f"{line!r}: bash says {r.stderr}")
    return sorted(w for w in r.stdout.splitlines() if w)


if os.path.exists(FRAMEWORK):
    help_text = subprocess.run([NURA, "--help"], capture_output=True, text=True).stdout
    listed = re.findall(r"^  ([a-z]+)  ", help_text.split("Subcommands:")[1], re.M)
    check(len(listed) >= 9, f"subcommands in nura --help: {listed}")
    with tempfile.TemporaryDirectory() as tmp:
        for name in ("alwa_20230115_083012_F.MP4", "notes.txt"):
            open(os.path.join(tmp, name), "w").close()
        offered = complete("nura ", tmp)
        for sub in listed:
            check(sub in offered, f"nura <TAB> offers {sub}: {offered}")
        check(complete("nura re", tmp) == ["repair"], "nura re<TAB>")
        check(complete("nura --verbose cl", tmp) == ["clip", "clock"], "after --verbose, the subcommands")
        check(complete("nura clip a.MP4 --layout ", tmp) == ["front", "pip", "rear", "side"], "--layout values")
        check(complete("nura --verbose clip a.MP4 --corner ", tmp) == ["bl", "br", "tl", "tr"], "--corner values")
        check(complete("nura repair --ref", tmp) == ["--reference"], "repair options")
        check(complete("nura repair ", tmp) == ["alwa_20230115_083012_F.MP4"], "repair takes recordings")
        check(complete("nura config ", tmp) == ["reset", "set", "show"], "config's own subcommands")
finish()
