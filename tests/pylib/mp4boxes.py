# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads an MP4 file's box tree by hand (Python's struct, not the program's reader), for tests that
check or change the chunk table, and the samples and telemetry records of its tracks."""
import struct

CONTAINERS = (b"moov", b"trak", b"mdia", b"minf", b"stbl")


def boxes(data, start=0, end=None, path=""):
    """Every box as (path, offset, size), containers walked; a repeated name gets "[2]", "[3]"..."""
    end = len(data) if end is None else end
    out, seen = [], {}
    while start + 8 <= end:
        size, kind = struct.unpack_from(">I4s", data, start)
        if size < 8 or start + size > end:
            break
        name = kind.decode("latin-1")
        seen[name] = seen.get(name, 0) + 1
        p = path + name + (f"[{seen[name]}]" if seen[name] > 1 else "")
        out.append((p, start, size))
        if kind in CONTAINERS:
            out += boxes(data, start + 8, start + size, p + "/")
        start += size
    return out


def top_level(path):
    """The names of a file's top-level boxes, in order."""
    with open(path, "rb") as f:
        return [p for p, _, _ in boxes(f.read()) if "/" not in p]


def trak_of(data, handler):
    """The box path ("trak", "trak[2]", ...) of the track with this handler type."""
    for path, o, _ in boxes(data):
        if path.startswith("moov/trak") and path.endswith("/mdia/hdlr") and data[o + 16:o + 20] == handler:
            return path.split("/")[1]
    return None


def samples(data, trak):
    """(offset, size) of every sample of a track, from its stsz, stsc and stco."""
    b = {p: o for p, o, _ in boxes(data)}
    stbl = f"moov/{trak}/mdia/minf/stbl/"
    uniform, count = struct.unpack_from(">II", data, b[stbl + "stsz"] + 12)
    sizes = [uniform] * count if uniform else list(struct.unpack_from(f">{count}I", data, b[stbl + "stsz"] + 20))
    (n,) = struct.unpack_from(">I", data, b[stbl + "stco"] + 12)
    chunks = struct.unpack_from(f">{n}I", data, b[stbl + "stco"] + 16)
    (runs,) = struct.unpack_from(">I", data, b[stbl + "stsc"] + 12)
    table = [struct.unpack_from(">III", data, b[stbl + "stsc"] + 16 + 12 * i) for i in range(runs)]
    out, k = [], 0
    for c, at in enumerate(chunks):
        for _ in range([t[1] for t in table if t[0] <= c + 1][-1]):
            out.append((at, sizes[k]))
            at += sizes[k]
            k += 1
    return out


def telemetry_records(path):
    """The 153-byte record of every telemetry sample."""
    with open(path, "rb") as f:
        data = f.read()
    return [data[o + 2:o + 155] for o, _ in samples(data, trak_of(data, b"gps "))]
