#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""nura config show/reset/set against real files: python3 config_test.py /path/to/nura"""
import json
import os
import random
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "pylib"))
from checks import check, finish  # noqa: E402

NURA = sys.argv[1]


# The exit statuses every subcommand shares.
DONE, CANNOT_ACCESS, NOT_OUR_FILE, USAGE = 0, 1, 2, 64


def run(*args, **kwargs):
    p = subprocess.run([NURA, "config", *args], capture_output=True, timeout=60, **kwargs)
    return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")


def checksum(data):
    x = 0
    for off in range(4, 500, 4):
        x ^= struct.unpack_from("<H", data, off)[0]
    return x


def show_json(path):
    code, out, err = run("show", path, "--json")
    check(code == 0, f"show --json {path}: {code} {err}")
    return json.loads(out)


with tempfile.TemporaryDirectory() as tmp:
    card = os.path.join(tmp, "config.bin")

    # reset creates a missing file from a zeroed record: defaults, kept fields 0, sealed
    code, _, err = run("reset", card)
    check(code == 0, f"reset of a missing file: {code} {err}")
    data = open(card, "rb").read()
    check(len(data) == 500, "reset writes 500 bytes")  # the defaults themselves: the golden record's test
    check(struct.unpack_from("<H", data, 2)[0] == checksum(data), "reset seals the checksum")
    doc = show_json(card)
    check(doc["checksum_ok"] is True, "checksum_ok after reset")
    f = doc["fields"]
    check(len(f) == 118, f"118 fields, got {len(f)}")
    check(f["time_gmt"] == 0 and f["Brightness1"] == 0, "kept fields of a zeroed record stay 0")
    check(f["wifi_password"] == "58205820" and f["wifi_ssid"] == "NuraA", "texts up to the first zero")
    check(f["ADAS_cameraHeight"] == 1.35 and f["ADAS_SafeDistance"] == 1.25, "floats as numbers")
    check(f["dummy00"] == [0] * 8, "dummy00 as an array")

    # text dump: every field by offset, name, type and value
    code, out, _ = run("show", card)
    lines = out.splitlines()
    check(code == 0 and len(lines) == 1 + 118 + 1, "text dump has a header, 118 fields and a checksum line")
    check([ln.split() for ln in lines if "ADAS_cameraHeight" in ln] == [["456", "ADAS_cameraHeight", "f32", "1.35"]],
          "text dump line of a float field")
    check(lines[-1].startswith("checksum ok"), "text dump reports the checksum")

    # set round-trips through show, changes only the named fields (plus the seal)
    before = open(card, "rb").read()
    code, _, err = run("set", card, "time_gmt=20", "szPlateNumber=", "ADAS_Car=2", "LDW_width_L=0.75",
                       "wifi_ssid=MyCar1", "dummy00=1,2,3,4,5,6,7,8")
    check(code == 0, f"set: {code} {err}")
    after = open(card, "rb").read()
    f = show_json(card)["fields"]
    check(f["time_gmt"] == 20 and f["ADAS_Car"] == 2 and f["LDW_width_L"] == 0.75, "set values read back")
    check(f["szPlateNumber"] == "" and f["osd_plate_flag"] == 0, "empty car number clears the plate flag on save")
    check(f["wifi_ssid"] == "MyCar1" and f["dummy00"] == [1, 2, 3, 4, 5, 6, 7, 8], "texts and arrays set")
    changed = {i for i in range(500) if before[i] != after[i]}
    allowed = set(range(2, 4)) | set(range(156, 160)) | set(range(168, 172)) | set(range(256, 264)) | {396} \
        | set(range(432, 436)) | set(range(356, 372)) | set(range(464, 496))
    check(changed <= allowed, f"bytes outside the named fields changed: {sorted(changed - allowed)}")
    check(show_json(card)["checksum_ok"] is True, "set seals")

    # reset keeps time zone, daylight saving and voice language
    run("set", card, "summer_time=1", "Brightness1=3", "vid_brightness=4")
    run("reset", card)
    f = show_json(card)["fields"]
    check(f["time_gmt"] == 20 and f["summer_time"] == 1 and f["Brightness1"] == 3, "reset keeps user fields")
    check(f["vid_brightness"] == 2, "reset restores defaults")

    # bad assignments change nothing and say why
    before = open(card, "rb").read()
    for bad in (["ADAS_Car=256"], ["nosuchfield=1"], ["time_gmt"], ["checksum=1"], ["vid_hue=3", "vid_hue=x"]):
        code, _, err = run("set", card, *bad)
        check(code == USAGE and "nothing changed" in err, f"set {bad} refused: {code} {err}")
    check(open(card, "rb").read() == before, "refused sets leave the file byte for byte")

    # values the settings window refuses are refused here too, with the reason (each rule is pinned by the
    # core tests; these show the command applies them)
    for bad, why in ((["wifi_ssid=My Car"], "wifi_ssid"), (["sd_mem_always_ratio=60"], "100 %"),
                     (["aud_input_vol=4000000000"], "0 to 3"), (["ADAS_Car=3"], "ADAS_Car"),
                     (["sd_mem_always_reserved=11550"], "11500"), (["Brightness1=21"], "0 to 20")):
        code, _, err = run("set", card, *bad)
        check(code == USAGE and why in err and "nothing changed" in err, f"set {bad} refused: {code} {err}")
    check(open(card, "rb").read() == before, "values the window refuses leave the file byte for byte")
    code, _, err = run("set", card, "gsen_x_threshold=0", "parkmode_x_threshold=150", "sd_mem_always_ratio=60",
                       "sd_mem_event_ratio=20", "szPlateNumber=12AB3456", "wifi_password=!~pass~!")
    check(code == DONE, f"values the window stores are stored: {code} {err}")
    data = open(card, "rb").read()
    check(struct.unpack_from("<iIII", data, 88)[0] == 0 and struct.unpack_from("<III", data, 8) == (60, 20, 20),
          "threshold 0 and moved shares stored")

    # --raw is for repair: no window checks, and it says so
    code, _, err = run("set", card, "wifi_ssid=My Car", "--raw", "cfg_ver=1", "sd_mem_always_ratio=0")
    check(code == DONE and "--raw" in err, f"set --raw: {code} {err}")
    data = open(card, "rb").read()
    check(data[0:2] == b"\x01\x00" and data[356:363] == b"My Car\0" and data[8:12] == bytes(4), "--raw stores as given")
    check(run("set", card, "--raw")[0] == USAGE, "--raw alone is a usage error")
    run("set", card, "--raw", "cfg_ver=22310", "sd_mem_always_ratio=60")

    # files that are not a record: refused, never changed
    for size in (0, 499, 501):
        path = os.path.join(tmp, f"size{size}.bin")
        open(path, "wb").write(b"\x01" * size)
        for cmd in (["show", path], ["reset", path], ["set", path, "vid_hue=1"]):
            code, _, err = run(*cmd)
            check(code == NOT_OUR_FILE and "not a 500-byte" in err, f"{cmd[0]} of {size} bytes: {code} {err}")
            check(("truncated" in err) == (size < 500), f"{cmd[0]} of {size} bytes says truncated: {err}")
        check(open(path, "rb").read() == b"\x01" * size, f"{size}-byte file untouched")

    rnd = bytes(random.Random(7).getrandbits(8) for _ in range(500))
    path = os.path.join(tmp, "random.bin")
    open(path, "wb").write(rnd)
    doc = show_json(path)
    check(doc["checksum_ok"] == (struct.unpack_from("<H", rnd, 2)[0] == checksum(rnd)), "random record checksum")
    code, _, _ = run("set", path, "vid_hue=9")
    check(code == 0 and open(path, "rb").read()[84] == 9, "random record edited")

    # unwritable: even root cannot create a file below a regular file
    blocker = os.path.join(tmp, "plain")
    open(blocker, "wb").write(b"x")
    code, _, err = run("reset", os.path.join(blocker, "config.bin"))
    check(code == CANNOT_ACCESS and "cannot write" in err, f"reset below a regular file: {code} {err}")
    code, _, err = run("show", os.path.join(tmp, "missing.bin"))
    check(code == CANNOT_ACCESS and "cannot read" in err, f"show of a missing file: {code} {err}")

    # usage
    for cmd in ([], ["show"], ["frobnicate", card], ["reset"], ["set", card], ["show", card, "--xml"]):
        check(run(*cmd)[0] == USAGE, f"usage error {cmd}")

    # two sets at once never lose a change: each takes the file for its read, edit and save
    code, _, err = run("reset", card)
    lost = []
    for i in range(30):
        hue, bright = (i * 7) % 200, (i * 11) % 200
        pair = [subprocess.Popen([NURA, "config", "set", card, "--raw", f"vid_hue={hue}"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL),
                subprocess.Popen([NURA, "config", "set", card, "--raw", f"vid_brightness={bright}"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
        codes = [p.wait(timeout=60) for p in pair]
        f = show_json(card)["fields"]
        if codes != [0, 0] or f["vid_hue"] != hue or f["vid_brightness"] != bright:
            lost.append((i, codes, f["vid_hue"], f["vid_brightness"]))
    check(not lost, f"concurrent sets lost a change: {lost}")

    # what show prints, text or JSON, set takes back to the very same bytes, text that is not UTF-8 too
    env = dict(os.environ, XDG_DATA_HOME=os.path.join(tmp, "data"))
    subprocess.run([NURA, "config", "set", card, "--raw", b"szPlateNumber=\xe9A\"B\\", b"wifi_ssid=\"q\""],
                   check=True, capture_output=True)
    before = open(card, "rb").read()
    check(before[256:262] == b'\xe9A"B\\\0', f"raw plate stored: {before[256:264]!r}")
    code, out, _ = run("show", card)
    pairs = [ln.split(None, 3) for ln in out.splitlines()[1:-1]]
    text_args = [f"{name}={value}" for _, name, _, value in pairs if name not in ("checksum", "osd_plate_flag")]
    code, _, err = run("set", card, "--raw", *text_args)
    check(code == DONE and open(card, "rb").read() == before, f"the text listing fed back to set: {code} {err}")
    fields = show_json(card)["fields"]
    check(fields["szPlateNumber"] == '"\\xE9A\\"B\\\\"', f"JSON keeps bytes that are not UTF-8: {fields['szPlateNumber']!r}")
    json_args = [f"{k}={','.join(map(str, v)) if isinstance(v, list) else v}" for k, v in fields.items()
                 if k not in ("checksum", "osd_plate_flag")]
    code, _, err = run("set", card, "--raw", *json_args)
    check(code == DONE and open(card, "rb").read() == before, f"the JSON listing fed back to set: {code} {err}")
    for bad in ("dummy00=1,2,3,4,5,6,7,8,", "dummy00=1,2,3,4,5,6,7,8,9", 'szPlateNumber="\\q"'):
        code, _, err = run("set", card, "--raw", bad)
        check(code == USAGE and "nothing changed" in err, f"set {bad} refused: {code} {err}")
    check(open(card, "rb").read() == before, "refused sets leave the file byte for byte")

    # reset --force replaces a damaged record after keeping its bytes; a FIFO or a large file never
    damaged = os.path.join(tmp, "damaged.bin")
    open(damaged, "wb").write(b"\x07" * 499)
    p = subprocess.run([NURA, "config", "reset", damaged], capture_output=True, env=env, timeout=60)
    check(p.returncode == NOT_OUR_FILE and b"--force" in p.stderr, f"reset names --force: {p.stderr!r}")
    p = subprocess.run([NURA, "config", "reset", "--force", damaged], capture_output=True, env=env, timeout=60)
    kept = sorted(os.listdir(os.path.join(tmp, "data", "nura-viewer", "backups")))
    check(p.returncode == DONE and len(open(damaged, "rb").read()) == 500, f"reset --force: {p.stderr!r}")
    check(len(kept) == 1 and open(os.path.join(tmp, "data", "nura-viewer", "backups", kept[0]), "rb").read()
          == b"\x07" * 499 and kept[0].encode() in p.stderr, f"the old bytes kept and named: {kept} {p.stderr!r}")
    fifo = os.path.join(tmp, "fifo.bin")
    os.mkfifo(fifo)
    large = os.path.join(tmp, "large.bin")
    with open(large, "wb") as f:
        f.truncate(65 << 20)
    for path in (fifo, large):
        p = subprocess.run([NURA, "config", "reset", "--force", path], capture_output=True, env=env, timeout=60)
        check(p.returncode == NOT_OUR_FILE and (path == fifo or b"too large" in p.stderr),
              f"reset --force of {path}: {p.returncode} {p.stderr!r}")
    check(os.path.getsize(large) == 65 << 20 and len(os.listdir(os.path.join(tmp, "data", "nura-viewer",
                                                                            "backups"))) == 1,
          "the large file is untouched and not copied")
    os.unlink(fifo)
    os.unlink(large)

    # a link given as the target is replaced by a file of its own; one line says the other file is unchanged
    link = os.path.join(tmp, "link.bin")
    os.symlink(card, link)
    before = open(card, "rb").read()
    code, _, err = run("set", link, "vid_hue=3")
    check(code == DONE and not os.path.islink(link) and open(link, "rb").read()[84] == 3, f"link replaced: {err}")
    check(open(card, "rb").read() == before and len(err.splitlines()) == 1 and card in err and "unchanged" in err,
          f"the file the link led to is left and said so: {err!r}")
    os.unlink(link)

    leftovers = [n for n in os.listdir(tmp) if n.startswith(".")]
    check(not leftovers, f"no temporary files left: {leftovers}")

finish()
