# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads an MP4 file's box tree by hand (Python's struct, not the program's reader), for tests that
check or change the chunk table."""
import struct

CONTAINERS = (b"moov", b"trak", b"mdia", b"minf", b"stbl")


def chunk_offset_tables(data):
    """Byte positions of every chunk-offset table ("stco") in file order; the last is the data track's."""
    found = []

    def walk(start, end):
        while start + 8 <= end:
            size, kind = struct.unpack_from(">I4s", data, start)
            if size < 8:
                return
            if kind in CONTAINERS:
                walk(start + 8, start + size)
            elif kind == b"stco":
                found.append(start)
            start += size

    walk(0, len(data))
    return found


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
