# SPDX-License-Identifier: GPL-3.0-or-later
"""What the script tests share: a check that reports each failure as it happens, and the exit status."""
import sys

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


def finish():
    print(f"{len(failures)} failed" if failures else "ok")
    sys.exit(1 if failures else 0)
