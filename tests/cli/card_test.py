#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""nura card list against a UDisks2 stand-in on a private bus: python3 card_test.py /path/to/nura"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402
from commandline import USAGE, outcome  # noqa: E402

NURA = sys.argv[1]
MOCK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "platform", "udisks2_mock.py")


def card_list(env):
    return outcome([NURA, "card", "list"], env=env)


class Mock:
    """The UDisks2 stand-in on its private bus, in one of its modes."""

    def __init__(self, base, mode):
        self.proc = subprocess.Popen(["/usr/bin/python3", MOCK, base, mode], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        self.address = None
        for line in self.proc.stdout:
            line = line.strip()
            if line.startswith("address="):
                self.address = line[len("address="):]
            if line == "ready":
                break
        check(self.address is not None, f"the UDisks2 stand-in started ({mode})")

    def __enter__(self):
        return dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.address or "")

    def __exit__(self, *exc):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)


def unavailable(code, out, err, what):
    check(code == 69 and out == "" and len(err.splitlines()) == 1 and "not available" in err,
          f"{what}: {code} {out!r} {err!r}")


with tempfile.TemporaryDirectory() as base:
    for v in ("STICK", "SDIO", "NURA_RO", "nolabel", "WHOLE", "internal", "NODEV", "ORPHAN"):
        os.makedirs(os.path.join(base, v))
    open(os.path.join(base, "NURA_RO", "config.bin"), "wb").close()

    # No system bus at all: the service is missing, which is not the same as nothing mounted.
    env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + os.path.join(base, "no-bus"))
    code, out, err = card_list(env)
    if code == 69 and "no volume service" in err:
        print("card_test: skipped, this build has no volume service")
        sys.exit(0)
    unavailable(code, out, err, "without a bus")

    with Mock(base, "no-service") as env:
        unavailable(*card_list(env), "a bus without UDisks2")

    with Mock(base, "no-usb") as env:
        code, out, err = card_list(env)
        check(code == 0 and out == "" and err == "nura card list: no USB volume is mounted\n",
              f"no USB volume: {code} {out!r} {err!r}")

    with Mock(base, "all") as env:
        code, out, err = card_list(env)
        check(code == 0, f"card list: {code} {err}")
        lines = out.splitlines()
        expected = [
            f"  [15 GB] STICK <Flash Drive>  {base}/STICK  /dev/sdb1",
            f"  [7.4 GB] NURA <Card Reader>  {base}/NURA_RO  /dev/sdc1  (write-protected)",
            f"  [1.0 MB] NO NAME   {base}/nolabel  /dev/sdd1",
            f"* [3.7 GB] NURA <Whole Reader>  {base}/WHOLE  /dev/sde",
        ]
        check(lines == expected, "listing:\n" + out)
        check(err == "", f"no diagnostics on stderr: {err!r}")

    for args in (["card"], ["card", "list", "extra"], ["card", "eject"]):
        code, _, err = outcome([NURA, *args])
        check(code == USAGE and "nura card" in err and len(err.splitlines()) == 1, f"usage {args}: {code} {err!r}")

finish()
