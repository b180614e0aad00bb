#!/usr/bin/env python3
"""nura card list against a UDisks2 stand-in on a private bus: python3 card_test.py /path/to/nura"""
import os
import subprocess
import sys
import tempfile

NURA = sys.argv[1]
MOCK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "platform", "udisks2_mock.py")
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def card_list(env):
    p = subprocess.run([NURA, "card", "list"], capture_output=True, timeout=60, env=env)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


with tempfile.TemporaryDirectory() as base:
    for v in ("STICK", "SDIO", "NURA_RO", "nolabel", "WHOLE", "internal", "NODEV", "ORPHAN"):
        os.makedirs(os.path.join(base, v))
    open(os.path.join(base, "NURA_RO", "config.bin"), "wb").close()

    # No system bus at all: nothing listed, no failure.
    env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + os.path.join(base, "no-bus"))
    code, out, err = card_list(env)
    if code == 2 and "no volume service" in err:
        print("card_test: skipped, this build has no volume service")
        sys.exit(0)
    check(code == 0 and out == "" and "no USB volume" in err, f"without a bus: {code} {out!r} {err!r}")

    mock = subprocess.Popen(["/usr/bin/python3", MOCK, base], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True)
    try:
        address = None
        for line in mock.stdout:
            line = line.strip()
            if line.startswith("address="):
                address = line[len("address="):]
            if line == "ready":
                break
        check(address is not None, "the UDisks2 stand-in started")
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=address)
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

    finally:
        mock.stdin.close()
        mock.wait(timeout=30)

    check(subprocess.run([NURA, "card"], capture_output=True).returncode == 2, "usage")

print("card_test:", "FAILED" if failures else "ok")
sys.exit(1 if failures else 0)
